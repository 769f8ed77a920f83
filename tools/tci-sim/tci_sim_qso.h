// The endless on-air traffic of the built-in audio: stations of their own
// speed, pitch, strength and fist taking turns in short CW contacts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

struct TCI_SIM_STATION {
    const char* call;
    const char* name;
    const char* qth;
    double wpm;
    double pitchHz;
    double amplitude;
    double jitterPercent;
};

struct TCI_SIM_TRANSMISSION {
    std::string text;
    size_t station;       // index into tci_sim_stations()
    double pauseSeconds;  // silence before it
};

const std::vector<TCI_SIM_STATION>& tci_sim_stations();

class TciSimQso {
public:
    explicit TciSimQso(uint32_t seed);
    // The next transmission; contacts follow one another for ever, each
    // between a different pair of stations.
    TCI_SIM_TRANSMISSION next();

private:
    std::string reportText();

    std::mt19937 rng_;
    uint64_t contact_ = 0;
    size_t step_ = 0;
};
