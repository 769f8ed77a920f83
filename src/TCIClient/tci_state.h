// What the transceiver reports in TCI text messages: its frequency, its
// mode and the CW speed, as the window follows them.
#pragma once

#include <optional>
#include <string>

struct TCI_RADIO_STATE {
    double frequencyHz = 0.0;  // 0: not known
    std::string mode;          // empty: not known
};

// What one message changed.
struct TCI_STATE_EVENTS {
    bool titleChanged = false;    // frequency or mode taken
    std::optional<double> txWpm;  // the last speed reply, 1..100
};

// Every command of a message, in order: vfo, dds and the *frequency
// commands give the frequency, modulation and mode the mode, and the
// replies to "cw_macros_speed" and "cw_keyer_speed" the speed. Broken or
// unknown commands change nothing.
TCI_STATE_EVENTS tci_state_apply_message(TCI_RADIO_STATE* state, const std::string& message);

// The mode named in a command's arguments ("0,cw" gives "CW"), or empty.
std::string tci_mode_in_arguments(const std::string& arguments);
