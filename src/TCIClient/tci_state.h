// What the transceiver reports in TCI text messages: its frequency, its
// mode and the CW speed, as the window follows them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A server reports every receiver and channel, and the panorama centre
// (dds) beside them; the radio's frequency is the dial of receiver 0,
// channel 0. Cleared (to {}) at every connection.
struct TCI_RADIO_STATE {
    double frequencyHz = 0.0;  // 0: not known
    std::string mode;          // empty: not known
    bool mainVfoSeen = false;  // a vfo of receiver 0, channel 0 (or one without indices) was taken
};

// The operator clicked a spot on the panorama: tune there.
// "rx_clicked_on_spot:RX,CH,CALL,HZ;" names the receiver and channel, the
// older "clicked_on_spot:CALL,HZ;" does not (both -1).
struct TCI_SPOT_CLICK {
    std::string call;          // as the server sent it, trimmed, never empty
    double frequencyHz = 0.0;  // 1..kTCIMaxClickFrequencyHz
    int32_t receiver = -1;     // 0..kTCIMaxReceiverIndex, or -1
    int32_t channel = -1;      // 0..kTCIMaxReceiverIndex, or -1
};

// "iq_start:RX;" or "iq_stop:RX;" from the server. A server may answer a
// start it refuses with a stop, so only these say whether IQ flows.
struct TCI_IQ_SWITCH {
    int32_t receiver = 0;
    bool running = false;
};

// Servers have a handful of receivers; a larger index is a broken message.
constexpr int32_t kTCIMaxReceiverIndex = 255;
constexpr double kTCIMaxClickFrequencyHz = 1e11;
// Rates an IQ stream runs at.
constexpr uint32_t kTCIMinIqSampleRate = 48000;
constexpr uint32_t kTCIMaxIqSampleRate = 384000;

// What one message changed.
struct TCI_STATE_EVENTS {
    bool titleChanged = false;               // frequency or mode taken
    std::optional<double> txWpm;             // the last speed reply, 1..100
    std::vector<TCI_SPOT_CLICK> spotClicks;  // in the order they came
    std::optional<uint32_t> iqSampleRate;    // the last "iq_samplerate:HZ;", 48000..384000
    std::vector<TCI_IQ_SWITCH> iqSwitches;   // in the order they came
};

// Every command of a message, in order: vfo, dds and the *frequency
// commands give the frequency, modulation and mode the mode, and the
// replies to "cw_macros_speed" and "cw_keyer_speed" the speed; spot clicks,
// the IQ rate and IQ starts and stops are reported (their names in any
// case). Broken or unknown commands change nothing: a missing field, a
// number that is not a plain non-negative decimal, or one out of range
// drops the whole command. Where vfo, dds, modulation or mode name their
// receiver (and channel) in leading plain indices, only receiver 0 (channel
// 0) counts; dds counts only until a vfo has been taken, being the centre of
// the panorama rather than the dial.
TCI_STATE_EVENTS tci_state_apply_message(TCI_RADIO_STATE* state, const std::string& message);

// The mode named in a command's arguments ("0,cw" gives "CW"), or empty.
std::string tci_mode_in_arguments(const std::string& arguments);
