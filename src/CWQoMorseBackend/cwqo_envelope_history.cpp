#include "cwqo_envelope_history.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

constexpr uint32_t kNoRange = UINT32_MAX;
constexpr uint16_t kNone = UINT16_MAX;  // no slot

// The pattern without its sign, so that -0 counts with +0, which it equals;
// for values that are not negative it orders as they do.
uint32_t pattern_of(float value)
{
    return std::bit_cast<uint32_t>(value) & 0x7fffffffu;
}

uint32_t range_of(float value)
{
    return pattern_of(value) >> kCwqoRangeShift;
}

// The next eight bits below those of the range: shares of a range in order.
constexpr size_t kShares = 256;
constexpr size_t kNarrowAbove = 48;

uint32_t share_of(float value)
{
    return (pattern_of(value) >> (kCwqoRangeShift - 8)) & (kShares - 1);
}

void link(CWQO_ENVELOPE_HISTORY* h, uint16_t slot, uint32_t range)
{
    const uint16_t head = h->first[range];
    h->next[slot] = head;
    h->previous[slot] = kNone;
    if (head != kNone)
        h->previous[head] = slot;
    h->first[range] = slot;
    h->slotRange[slot] = range;
    ++h->rangeCounts[range];
    const size_t group = range >> kCwqoGroupShift;
    ++h->groupCounts[group];
    h->lowestGroup = std::min(h->lowestGroup, group);
    ++h->held;
}

void unlink(CWQO_ENVELOPE_HISTORY* h, uint16_t slot)
{
    const uint32_t range = h->slotRange[slot];
    const uint16_t after = h->next[slot];
    const uint16_t before = h->previous[slot];
    if (before != kNone)
        h->next[before] = after;
    else
        h->first[range] = after;
    if (after != kNone)
        h->previous[after] = before;
    h->slotRange[slot] = kNoRange;
    --h->rangeCounts[range];
    --h->groupCounts[range >> kCwqoGroupShift];
    --h->held;
}

// The values of ranks i and i + 1 (0 the smallest) among the counted ones;
// i must be below their count, and i + 1 is read as i when it is not.
// The two mostly share a range: one walk and one selection serve both.
void values_at(const CWQO_ENVELOPE_HISTORY& h, size_t i, float* vi, float* vj)
{
    const size_t rank = i;
    while (h.groupCounts[h.lowestGroup] == 0)
        ++h.lowestGroup;
    size_t group = h.lowestGroup;
    while (i >= h.groupCounts[group]) {
        i -= h.groupCounts[group];
        ++group;
    }
    size_t range = group << kCwqoGroupShift;
    while (i >= h.rangeCounts[range]) {
        i -= h.rangeCounts[range];
        ++range;
    }
    std::vector<float>& picked = h.picked;
    picked.clear();
    for (uint16_t slot = h.first[range]; slot != kNone; slot = h.next[slot])
        picked.push_back(h.ring.data[slot]);
    // Many values in the range: counted again by the next bits of their
    // patterns, so that the selection runs over one narrower share.
    std::vector<float>* pool = &picked;
    uint32_t share = 0;
    if (picked.size() > kNarrowAbove) {
        uint32_t counts[kShares] = {};
        for (float v : picked)
            ++counts[share_of(v)];
        while (i >= counts[share]) {
            i -= counts[share];
            ++share;
        }
        h.narrowed.clear();
        for (float v : picked)
            if (share_of(v) == share)
                h.narrowed.push_back(v);
        pool = &h.narrowed;
    }
    const auto nth = pool->begin() + static_cast<std::ptrdiff_t>(i);
    std::nth_element(pool->begin(), nth, pool->end());
    *vi = *nth;
    if (rank + 1 >= h.held) {
        *vj = *vi;
        return;
    }
    if (nth + 1 != pool->end()) {
        // Those after the selected one are not smaller: the least is next.
        *vj = *std::min_element(nth + 1, pool->end());
        return;
    }
    if (pool != &picked) {
        // Or the least of a later share of the range.
        bool found = false;
        float least = 0.0f;
        for (float v : picked)
            if (share_of(v) > share && (!found || v < least))
                least = v, found = true;
        if (found) {
            *vj = least;
            return;
        }
    }
    // Rank i + 1 is the least value of the next range that holds any.
    do
        ++range;
    while (h.rangeCounts[range] == 0);
    float least = h.ring.data[h.first[range]];
    for (uint16_t slot = h.next[h.first[range]]; slot != kNone; slot = h.next[slot])
        least = std::min(least, h.ring.data[slot]);
    *vj = least;
}

// The least and greatest of a stretch's slots, read again whole.
void measure_stretch(CWQO_ENVELOPE_HISTORY* h, size_t stretch)
{
    const float* data = h->ring.data.data();
    const size_t from = stretch * kCwqoStretchSlots;
    const size_t to = std::min(from + kCwqoStretchSlots, h->ring.data.size());
    float least = data[from];
    float most = data[from];
    for (size_t s = from + 1; s < to; ++s) {
        least = std::min(least, data[s]);
        most = std::max(most, data[s]);
    }
    h->stretchLeast[stretch] = least;
    h->stretchMost[stretch] = most;
}

}  // namespace

void cwqo_history_init(CWQO_ENVELOPE_HISTORY* history, size_t capacity)
{
    cwqo_ring_init(&history->ring, std::min(capacity, kCwqoHistoryMost));
    const size_t slots = cwqo_ring_capacity(history->ring);
    history->slotRange.assign(slots, kNoRange);
    history->next.assign(slots, kNone);
    history->previous.assign(slots, kNone);
    history->first.assign(kCwqoRanges, kNone);
    history->rangeCounts.assign(kCwqoRanges, 0);
    history->groupCounts.assign(kCwqoGroups, 0);
    const size_t stretches = (slots + kCwqoStretchSlots - 1) / kCwqoStretchSlots;
    history->stretchLeast.assign(stretches, 0.0f);
    history->stretchMost.assign(stretches, 0.0f);
    history->picked.reserve(slots);
    history->narrowed.reserve(slots);
    cwqo_history_clear(history);
}

void cwqo_history_clear(CWQO_ENVELOPE_HISTORY* history)
{
    cwqo_ring_clear(&history->ring);
    std::fill(history->slotRange.begin(), history->slotRange.end(), kNoRange);
    std::fill(history->first.begin(), history->first.end(), kNone);
    std::fill(history->rangeCounts.begin(), history->rangeCounts.end(), 0);
    std::fill(history->groupCounts.begin(), history->groupCounts.end(), 0);
    history->arrived = 0;
    history->held = 0;
    history->lowestGroup = kCwqoGroups;
}

void cwqo_history_append(CWQO_ENVELOPE_HISTORY* history, const float* values, size_t count)
{
    cwqo_ring_append(&history->ring, values, count);
    history->arrived += count;
}

void cwqo_history_commit(CWQO_ENVELOPE_HISTORY* history)
{
    // The newest slots took the arrivals; a slot still counted held a value
    // that has left since.
    const CWQO_SAMPLE_RING& ring = history->ring;
    const size_t capacity = ring.data.size();
    const size_t fresh = std::min(history->arrived, ring.count);
    size_t slot = ring.head + ring.count - fresh;
    if (slot >= capacity)
        slot -= capacity;
    size_t measured = SIZE_MAX;
    for (size_t k = 0; k < fresh; ++k) {
        const auto s = static_cast<uint16_t>(slot);
        if (history->slotRange[s] != kNoRange)
            unlink(history, s);
        link(history, s, range_of(ring.data[s]));
        if (slot / kCwqoStretchSlots != measured) {
            measured = slot / kCwqoStretchSlots;
            measure_stretch(history, measured);
        }
        slot = slot + 1 == capacity ? 0 : slot + 1;
    }
    history->arrived = 0;
}

size_t cwqo_history_size(const CWQO_ENVELOPE_HISTORY& history)
{
    return history.ring.count;
}

float cwqo_history_quantile(const CWQO_ENVELOPE_HISTORY& history, double q)
{
    if (history.held == 0)
        return 0.0f;
    const size_t last = history.held - 1;
    const double p = q * static_cast<double>(last);
    const size_t i = std::min(static_cast<size_t>(std::floor(p)), last);
    const double f = p - static_cast<double>(i);
    float vi = 0.0f;
    float vj = 0.0f;
    values_at(history, i, &vi, &vj);
    return static_cast<float>(static_cast<double>(vi) * (1.0 - f) + static_cast<double>(vj) * f);
}
