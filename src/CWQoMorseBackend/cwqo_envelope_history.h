// The backend's 3-second envelope history: the values in time order for the
// run-length pass, and counts of them by value range, so that a percentile
// costs a walk over the counts and a selection among the few values of one
// range instead of keeping the whole history sorted.
#pragma once

#include "cwqo_sample_ring.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A range holds the values whose bit patterns share their top bits (for
// values that are not negative that order is the order of the values): the
// range is 0.2 % of its values wide, so few values fall in each, and a
// percentile gathers few. The ranges are counted in groups too, so that a
// walk skips most of them.
inline constexpr unsigned kCwqoRangeShift = 14;
inline constexpr size_t kCwqoRanges = size_t{1} << (31 - kCwqoRangeShift);
inline constexpr unsigned kCwqoGroupShift = 7;
inline constexpr size_t kCwqoGroups = kCwqoRanges >> kCwqoGroupShift;
// Ring slots are also taken in stretches of this many, each with the least
// and greatest value it holds, so that a pass comparing every value with a
// level can step over a stretch that lies wholly on one side.
inline constexpr size_t kCwqoStretchSlots = 32;
// Slots and counts in 16 bits keep the per-range tables small: a history
// holds at most this many values.
inline constexpr size_t kCwqoHistoryMost = 65535;

struct CWQO_ENVELOPE_HISTORY {
    CWQO_SAMPLE_RING ring;
    size_t arrived = 0;  // appended since the last commit
    size_t held = 0;     // values counted, as of the last commit
    // Per ring slot: the range its counted value lies in (UINT32_MAX when
    // none) and its neighbours in that range's list of slots (UINT16_MAX
    // for none).
    std::vector<uint32_t> slotRange;
    std::vector<uint16_t> next;
    std::vector<uint16_t> previous;
    std::vector<uint16_t> first;        // per range: its first slot
    std::vector<uint16_t> rangeCounts;  // per range
    std::vector<uint32_t> groupCounts;  // per group of ranges
    // Per stretch of slots, as of the last commit; a stretch not wholly
    // inside the held values has slots that count for nothing here.
    std::vector<float> stretchLeast;
    std::vector<float> stretchMost;
    // No group below this one has a count: a walk starts here. A count
    // going to 0 leaves it where it is; the next walk moves it up.
    mutable size_t lowestGroup = kCwqoGroups;
    // Scratch for the values of one range while a percentile is read, and
    // for those of one share of it.
    mutable std::vector<float> picked;
    mutable std::vector<float> narrowed;
};

// Takes all storage for capacity values, at most kCwqoHistoryMost; may
// throw std::bad_alloc (only at creation).
void cwqo_history_init(CWQO_ENVELOPE_HISTORY* history, size_t capacity);

void cwqo_history_clear(CWQO_ENVELOPE_HISTORY* history);

// Appends count values (finite, not negative); the oldest give way when full.
void cwqo_history_append(CWQO_ENVELOPE_HISTORY* history, const float* values, size_t count);

// Brings the counts up to date with the appends since the last commit.
void cwqo_history_commit(CWQO_ENVELOPE_HISTORY* history);

size_t cwqo_history_size(const CWQO_ENVELOPE_HISTORY& history);

// Linear-interpolated percentile q (0..1) of the committed values; 0 when empty.
float cwqo_history_quantile(const CWQO_ENVELOPE_HISTORY& history, double q);
