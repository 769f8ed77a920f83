// Command line of zarvo-decode: receiver settings, block size, input and
// status file, as plain records and a parser that never exits the program.
#pragma once

#include "CWRx.h"
#include "decode_audio_input.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class Validator;
}

struct DECODE_OPTIONS {
    CW_RX_CONFIG config;  // sampleRate comes from the input
    size_t blockSamples = 2048;
    std::string input;                          // path, or "-" for standard input
    DECODE_RAW_ENCODING raw = DECODE_RAW_NONE;  // --raw: headerless input at rawRate
    uint32_t rawRate = 0;
    uint16_t rawChannels = 1;
    bool timestamps = false;  // each line starts with the UTC time and the pitch
    std::string outPath;      // empty: text to standard output; else appended here
    std::string tciHost;      // with tciPort: decode a live TCI stream instead
    uint64_t tciPort = 0;
    bool reconnect = false;  // with --tci: try again after a failed or lost link
    std::string statusPath;  // empty: no status lines
    bool fallback = false;   // use the receiver's own decoder
    bool autoTune = true;    // --pitch auto: find the tone, retune per new signal
    double squelch = 0.5;    // text squelch level 0..1, 0 off
    std::string infoText;    // --help or --version: print it and stop
};

// The window's defaults: receiver defaults with the release threshold at
// half the threshold.
DECODE_OPTIONS decode_default_options();

// Parses the arguments after the program name. On failure returns false
// with a one-line reason in *error.
bool decode_parse_options(const std::vector<std::string>& args, DECODE_OPTIONS* options, std::string* error);

// "ws://HOST:PORT" with a host and port that name exactly one server.
bool decode_parse_tci_url(const std::string& url, std::string* host, uint64_t* port);

// The check of a --tci option's value, for every program that takes one.
CLI::Validator decode_tci_url_check();
