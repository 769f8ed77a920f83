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
    Band,  // many CW stations over 300..2800 Hz, with noise
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
    uint32_t bandStations = 0;  // stations of the Band source
    // The IQ stream of receiver 0 and the spots a client puts on the panorama.
    uint32_t iqStations = 30;
    std::string iqTruthPath;         // the IQ band's stations are written here; empty: nowhere
    double clickSpotSeconds = -1.0;  // the newest spot is clicked this long after the first; negative: never
    bool oldClicks = false;          // the click also in the older form without receiver and channel
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
// Stations 60 Hz apart fit 2500 Hz of audio 42 times, 0.9 of the lowest IQ
// rate far more often than a client can use.
constexpr uint32_t kTciSimMaxBandStations = 40;
constexpr uint32_t kTciSimMaxIqStations = 500;

// Fills *options from the arguments after the program name; on failure
// returns false with a one-line reason. Values follow their option or '='
// (--port=50001).
bool tci_sim_parse_options(const std::vector<std::string>& args, TCI_SIM_OPTIONS* options, std::string* error);

// Takes the stream rate from a recording; a --rate that differs is an error,
// and so is a rate outside what the simulator streams.
bool tci_sim_adopt_wav_rate(const WAV_AUDIO& wav, TCI_SIM_OPTIONS* options, std::string* error);
