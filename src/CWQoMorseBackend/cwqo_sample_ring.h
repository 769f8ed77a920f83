// Fixed-capacity double-ended queue of floats: appends at the back, drops
// from the front, oldest entry first. All storage is taken at init, so the
// per-block traffic of the backend allocates nothing.
#pragma once

#include <cstddef>
#include <vector>

struct CWQO_SAMPLE_RING {
    std::vector<float> data;
    size_t head = 0;  // index of the oldest entry
    size_t count = 0;
};

// Takes the storage; may throw std::bad_alloc (only at creation).
void cwqo_ring_init(CWQO_SAMPLE_RING* ring, size_t capacity);

void cwqo_ring_clear(CWQO_SAMPLE_RING* ring);

size_t cwqo_ring_capacity(const CWQO_SAMPLE_RING& ring);

// Entry i in time order, 0 the oldest; i must be below count.
inline float cwqo_ring_at(const CWQO_SAMPLE_RING& ring, size_t i)
{
    const size_t k = ring.head + i;
    return ring.data[k < ring.data.size() ? k : k - ring.data.size()];
}

// Appends count values in order; when full the oldest give way.
void cwqo_ring_append(CWQO_SAMPLE_RING* ring, const float* values, size_t count);

// Moves the n oldest entries to dst; false (nothing moved) when fewer are held.
bool cwqo_ring_pop_front(CWQO_SAMPLE_RING* ring, float* dst, size_t n);
