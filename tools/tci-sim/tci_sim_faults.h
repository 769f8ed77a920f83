// Faults a simulated server can inject between its good frames: malformed
// binary messages and garbage text.
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

class TciSimFaults {
public:
    TciSimFaults(uint32_t malformedEvery, uint32_t garbageEvery);
    // Appends the faults due after one more good frame, taking turns through
    // the kinds.
    void afterGoodFrame(const std::vector<uint8_t>& frame, TCI_SIM_OUTPUT* out);

private:
    uint32_t malformedEvery_;
    uint32_t garbageEvery_;
    uint64_t goodFrames_ = 0;
    size_t nextMalformed_ = 0;
    size_t nextGarbage_ = 0;
};
