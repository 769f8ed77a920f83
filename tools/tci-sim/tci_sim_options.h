// Command line of zarvo-tci-sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WAV_AUDIO;

enum class TCI_SIM_SOURCE {
    Qso,   // endless generated CW traffic with noise
    Wav,   // a recording, looped
    Ramp,  // a counting sawtooth that shows lost or reordered frames
};

struct TCI_SIM_OPTIONS {
    std::string host = "127.0.0.1";
    uint32_t port = 50001;  // 0 picks a free port
    uint32_t sampleRate = 48000;
    bool rateGiven = false;
    uint32_t frameSamples = 1024;  // samples per channel in one frame
    TCI_SIM_SOURCE source = TCI_SIM_SOURCE::Qso;
    std::string wavPath;
    double snrDb = 12.0;
    uint32_t seed = 1;
    // Behaviour of some real servers.
    bool stereo = false;  // two channels whatever was asked
    bool echo = false;    // every command sent back
    bool chatty = false;  // state messages unasked every few seconds
    // Faults; a negative time is off.
    uint32_t malformedEvery = 0;      // one malformed frame after every N good ones
    uint32_t garbageEvery = 0;        // one garbage text after every N good frames
    uint32_t longTextEvery = 0;       // one 256 KiB text after every N good frames
    uint32_t floodPerFrame = 0;       // this many small texts after every good frame
    double closeAfterSeconds = -1.0;  // drop the connection without a close frame
    double stallAfterSeconds = -1.0;  // then send nothing ...
    double stallForSeconds = -1.0;    // ... for this long (negative: for ever)
    double exitAfterSeconds = -1.0;   // the whole program
    std::string infoText;             // --help or --version: print it and stop
};

constexpr uint32_t kTciSimMinRate = 8000;
constexpr uint32_t kTciSimMaxRate = 48000;
constexpr uint32_t kTciSimMinFrame = 16;
constexpr uint32_t kTciSimMaxFrame = 16384;

// Fills *options from the arguments after the program name; on failure
// returns false with a one-line reason. Values follow their option or '='
// (--port=50001).
bool tci_sim_parse_options(const std::vector<std::string>& args, TCI_SIM_OPTIONS* options, std::string* error);

// Takes the stream rate from a recording; a --rate that differs is an error,
// and so is a rate outside what the simulator streams.
bool tci_sim_adopt_wav_rate(const WAV_AUDIO& wav, TCI_SIM_OPTIONS* options, std::string* error);
