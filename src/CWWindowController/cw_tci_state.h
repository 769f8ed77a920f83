// What the transceiver reports over TCI text messages: its frequency, its
// mode and the CW speed, read without any toolkit.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CW_TCI_STATE {
    double frequencyHz = 0.0;  // 0: not known
    std::string mode;          // empty: not known
};

// What one message changed.
struct CW_TCI_MESSAGE_EFFECT {
    bool titleChanged = false;        // frequency or mode taken
    std::optional<double> txWpm;      // the last speed reply, 1..100
};

// The pieces between ";" in order, the (usually empty) last one included.
std::vector<std::string> cw_tci_commands(const std::string& message);

// The mode named in a command's arguments ("0,cw" gives "CW"), or empty.
std::string cw_parse_tci_title_mode_string(const std::string& arguments);

// The frequency in Hz a vfo, dds or *frequency command reports, or 0.
double cw_tci_command_frequency(const std::string& command);

// Takes frequency and mode from one command; true when either changed.
bool cw_tci_track_command(CW_TCI_STATE* state, const std::string& command);

// The speed of a "cw_macros_speed:" or "cw_keyer_speed:" reply clamped to
// 1..100; nothing for other commands and for values that are not numbers.
std::optional<double> cw_tci_speed_reply(const std::string& command);

// Every command of a message, in order.
CW_TCI_MESSAGE_EFFECT cw_tci_apply_message(CW_TCI_STATE* state, const std::string& message);
