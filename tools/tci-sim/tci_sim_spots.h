// The spots a client put on the simulated panorama, one a call, newest
// last, and the checks a spot command must pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TCI_SIM_SPOT {
    std::string call;  // upper case
    std::string mode;  // lower case
    uint64_t frequencyHz;
    uint32_t argb;
    std::string text;
};

class TciSimSpots {
public:
    // A spot for a call already shown replaces it and becomes the newest.
    void put(const TCI_SIM_SPOT& spot);
    // False when no spot has that call (in any case).
    bool remove(const std::string& call);
    // Returns the spots removed.
    size_t clear();
    // Oldest first.
    const std::vector<TCI_SIM_SPOT>& spots() const;
    // Null when there is none.
    const TCI_SIM_SPOT* newest() const;

private:
    std::vector<TCI_SIM_SPOT> spots_;
};

// The arguments of "spot:CALL,MODE,HZ,ARGB,TEXT;" (TEXT may be empty) as a
// spot; on failure false with the reason.
bool tci_sim_parse_spot(const std::vector<std::string>& arguments, TCI_SIM_SPOT* spot, std::string* why);

// A call as spots carry it: 1 to 20 letters, digits and '/', with a letter
// or digit at both ends.
bool tci_sim_spot_call_valid(const std::string& call);

// "spot DL2QZA 7025300 cw FFFF0000 24 WPM 18 dB CQ": what a client put up,
// for the log.
std::string tci_sim_spot_log_line(const TCI_SIM_SPOT& spot);
