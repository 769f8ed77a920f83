#include "cwqo_sample_ring.h"

#include <algorithm>

void cwqo_ring_init(CWQO_SAMPLE_RING* ring, size_t capacity)
{
    ring->data.assign(std::max<size_t>(capacity, 1), 0.0f);
    ring->head = 0;
    ring->count = 0;
}

void cwqo_ring_clear(CWQO_SAMPLE_RING* ring)
{
    ring->head = 0;
    ring->count = 0;
}

size_t cwqo_ring_capacity(const CWQO_SAMPLE_RING& ring)
{
    return ring.data.size();
}

void cwqo_ring_append(CWQO_SAMPLE_RING* ring, const float* values, size_t count)
{
    const size_t capacity = ring->data.size();
    // Only the newest capacity values can stay.
    if (count > capacity) {
        values += count - capacity;
        count = capacity;
    }
    // Copied in at most two runs, either side of the ring's end.
    size_t tail = ring->head + ring->count;
    if (tail >= capacity)
        tail -= capacity;
    const size_t first = std::min(count, capacity - tail);
    std::copy_n(values, first, ring->data.data() + tail);
    std::copy_n(values + first, count - first, ring->data.data());
    const size_t overflow = ring->count + count > capacity ? ring->count + count - capacity : 0;
    ring->head = (ring->head + overflow) % capacity;
    ring->count = std::min(capacity, ring->count + count);
}

bool cwqo_ring_pop_front(CWQO_SAMPLE_RING* ring, float* dst, size_t n)
{
    if (ring->count < n)
        return false;
    const size_t capacity = ring->data.size();
    const size_t first = std::min(n, capacity - ring->head);
    std::copy_n(ring->data.data() + ring->head, first, dst);
    std::copy_n(ring->data.data(), n - first, dst + first);
    ring->head = (ring->head + n) % capacity;
    ring->count -= n;
    return true;
}
