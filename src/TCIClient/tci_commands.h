// Text side of the TCI link: the commands the client sends, the URL it
// opens, splitting of "name:arg,arg;" messages and the CW macro escapes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr const char* kTCIDefaultHost = "127.0.0.1";
constexpr uint64_t kTCIDefaultPort = 50001;
constexpr uint64_t kTCIMaxPort = 65535;

// Start-up commands go out one per interval after connecting; the close
// follows "audio_stop:0;" after the close delay.
constexpr int kTCIStartupCommandSpacingMs = 50;
constexpr int kTCICloseDelayMs = 50;
constexpr const char* kTCIAudioStopCommand = "audio_stop:0;";

// Log prefixes of sent and received traffic.
constexpr const char* kTCISentPrefix = ">> ";
constexpr const char* kTCIReceivedPrefix = "<< ";

// Asks for a mono float32 receive stream of transceiver 0; the last one
// starts it.
constexpr std::array<const char*, 11> kTCIStartupCommands = {
    "protocol:ExpertSDR3;",
    "device;",
    "trx_count;",
    "channels_count;",
    "modulation:0;",
    "cw_macros_speed;",
    "cw_keyer_speed;",
    "audio_stream_sample_type:float32;",
    "audio_stream_channels:1;",
    "audio_stream_samples;",
    "audio_start:0;",
};

// White space and line breaks (ASCII) removed at both ends.
std::string tci_trimmed(const std::string& text);

std::string tci_lower(const std::string& text);

struct TCI_URL {
    std::string text;  // "ws://host:port", with the host as given (trimmed)
    bool acceptable;   // host and port name exactly one server
};

// A host of letters, digits, '.', '-', '_' or a bracketed IPv6 literal and a
// port of at most 65535 are acceptable; anything that would move the port,
// path, fragment or user part of the URL is not. An empty host is the
// default host.
TCI_URL tci_make_url(const std::string& host, uint64_t port);

struct TCI_COMMAND {
    std::string name;                    // lower case
    std::string argumentText;            // everything after the first ':'
    std::vector<std::string> arguments;  // argumentText split at ',', trimmed
    bool hasArguments;                   // a ':' was present
};

// The non-empty commands of a message, trimmed, without their ';'.
std::vector<std::string> tci_split_commands(const std::string& message);

TCI_COMMAND tci_parse_command(const std::string& command);

// CW macro text escaped for a command: tab and line breaks become spaces;
// ',' ':' ';' become '~' '^' '*', which the command syntax would otherwise
// take as separators.
std::string tci_encode_cw_macro_text(const std::string& text);

// Undoes the CW macro escapes: '~' is ',', '^' is ':' and '*' is ';'.
std::string tci_decode_cw_macro_text(const std::string& encoded);

// The commands that send `text` as CW at `wpm` through the server's macro
// keyer of transceiver 0, in order.
std::vector<std::string> tci_cw_macro_commands(long wpm, const std::string& text);

constexpr const char* kTCICwMacroStopCommand = "cw_macros_stop;";

// Spots on the server's panorama. The command syntax reserves ':' ',' ';',
// so a call, mode or text never carries them: each, and every control
// character, becomes a space; the call and mode are trimmed as well.
// Frequencies are whole Hz, rounded and clamped to 0..kTCIMaxSpotFrequencyHz
// (not finite: 0). The colour is ARGB, sent as one decimal 32-bit value.
constexpr double kTCIMaxSpotFrequencyHz = 1e11;
constexpr uint32_t kTCISpotDefaultArgb = 0xFFFF0000;  // opaque red
constexpr const char* kTCISpotClearCommand = "spot_clear;";

std::string tci_spot_safe_text(const std::string& text);

// "spot:DL2QZA,cw,7025300,4294901760,24 WPM 18 dB CQ;"
std::string tci_spot_command(const std::string& call, const std::string& mode, double frequencyHz, uint32_t argb,
                             const std::string& text);

// "spot_delete:DL2QZA;"
std::string tci_spot_delete_command(const std::string& call);

// The wideband IQ stream of a receiver. Servers offer these rates; a rate
// asked for in between becomes the next offered one above it, anything
// beyond the last the last.
constexpr std::array<uint32_t, 4> kTCIIqSampleRates = {48000, 96000, 192000, 384000};
uint32_t tci_iq_offered_rate(uint32_t sampleRate);

// "iq_samplerate:96000;", "iq_start:0;", "iq_stop:0;"
std::string tci_iq_samplerate_command(uint32_t sampleRate);
std::string tci_iq_start_command(uint32_t receiver);
std::string tci_iq_stop_command(uint32_t receiver);
