// Faults a simulated server can inject between its good frames: malformed
// binary messages, garbage text, giant text messages and floods of small
// ones.
#pragma once

#include "tci_sim_output.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

size_t tci_sim_malformed_kinds();
// A broken copy of a good frame; *name (may be null) says how it is broken.
std::vector<uint8_t> tci_sim_malformed_frame(size_t kind, const std::vector<uint8_t>& good, std::string* name);

size_t tci_sim_garbage_count();
std::string tci_sim_garbage_text(size_t index);

// Size of the giant text messages.
constexpr size_t kTciSimLongTextBytes = 256 * 1024;
// A giant text message; they take turns between one unbroken word and a
// run of well-formed state commands.
std::string tci_sim_long_text(size_t index);

struct TCI_SIM_FAULT_RATES {
    uint32_t malformedEvery;  // one malformed frame after every N good ones, 0 none
    uint32_t garbageEvery;    // one garbage text after every N good frames, 0 none
    uint32_t longTextEvery;   // one giant text after every N good frames, 0 none
    uint32_t floodPerFrame;   // this many small texts after every good frame
};

class TciSimFaults {
public:
    explicit TciSimFaults(const TCI_SIM_FAULT_RATES& rates);
    // Appends the faults due after one more good frame, taking turns through
    // the kinds.
    void afterGoodFrame(const std::vector<uint8_t>& frame, TCI_SIM_OUTPUT* out);

private:
    TCI_SIM_FAULT_RATES rates_;
    uint64_t goodFrames_ = 0;
    size_t nextMalformed_ = 0;
    size_t nextGarbage_ = 0;
    size_t nextLongText_ = 0;
};
