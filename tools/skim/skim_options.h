// Command line of zarvo-skim: input, span and capacity of the skimmer, what
// it prints and where else the spots go, as a plain record and a parser
// that never exits the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SKIM_OPTIONS {
    std::string input;                // path, or "-" for standard input
    bool iq = false;                  // two channels: I left, Q right
    std::string spotter = "ZARVO-#";  // the cluster lines' spotter
    double dialHz = 0.0;              // files: added to every pitch or IQ offset
    bool text = false;                // also print what every channel reads
    int32_t channels = 32;            // receivers decoding at once
    bool spanGiven = false;           // else the whole stream (IQ) or 300..3200 Hz (audio)
    double lowHz = 300.0;
    double highHz = 3200.0;
    uint16_t clusterPort = 0;  // 0: no telnet feed
    std::string tciHost;       // with tciPort: skim a live TCI stream instead
    uint64_t tciPort = 0;
    uint32_t iqRate = 96000;    // asked of the server with --iq
    double pitchHz = 600.0;     // the server's CW pitch: audio at it is the vfo
    bool spotsToRadio = false;  // with --tci: spot: and spot_delete: to the server
    size_t blockFrames = 4096;
    std::string infoText;  // --help or --version: print it and stop
};

// Parses the arguments after the program name. On failure returns false
// with a one-line reason in *error.
bool skim_parse_options(const std::vector<std::string>& args, SKIM_OPTIONS* options, std::string* error);
