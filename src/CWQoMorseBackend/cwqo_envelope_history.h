// The backend's 3-second envelope history: the values in time order for the
// run-length pass, and the same values kept in ascending order so that the
// percentiles of every call cost one copy with a short scan for each new
// and dropped value instead of sorting the whole history again.
#pragma once

#include "cwqo_sample_ring.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The values that arrived at one commit, ascending, with the ring slot of
// each: when they leave, in time order, they leave already sorted.
struct CWQO_HISTORY_ENTRY {
    float value;
    uint32_t slot;
};

struct CWQO_ENVELOPE_HISTORY {
    CWQO_SAMPLE_RING ring;
    std::vector<float> sorted;    // the ring's values, ascending, as of the last commit
    std::vector<float> merged;    // spare storage for the next sorted
    std::vector<float> arriving;  // appended since the last commit
    std::vector<float> leaving;   // at a commit: the dropped values, ascending
    std::vector<float> part;      // spare storage for a part of those
    size_t dropped = 0;           // values dropped since the last commit
    bool resort = false;          // too much changed: sort the ring afresh
    // Each commit's arrivals, ascending, stored in the slots they hold in the
    // ring (the batches lie in time order, as the ring does); the lengths of
    // the batches, oldest at batchHead, the oldest starting at oldestSlot.
    std::vector<CWQO_HISTORY_ENTRY> batches;
    std::vector<size_t> batchLengths;
    size_t batchHead = 0;
    size_t batchCount = 0;
    size_t oldestSlot = 0;
    std::vector<CWQO_HISTORY_ENTRY> order;  // spare storage for sorting and trimming a batch
};

// Takes all storage; may throw std::bad_alloc (only at creation).
void cwqo_history_init(CWQO_ENVELOPE_HISTORY* history, size_t capacity);

void cwqo_history_clear(CWQO_ENVELOPE_HISTORY* history);

// Appends one value (finite, not negative); the oldest gives way when full.
void cwqo_history_append(CWQO_ENVELOPE_HISTORY* history, float value);

// Brings the ascending copy up to date with the appends since the last commit.
void cwqo_history_commit(CWQO_ENVELOPE_HISTORY* history);

size_t cwqo_history_size(const CWQO_ENVELOPE_HISTORY& history);

// Linear-interpolated percentile q (0..1) of the committed values; 0 when empty.
float cwqo_history_quantile(const CWQO_ENVELOPE_HISTORY& history, double q);
