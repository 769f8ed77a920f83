#include "cw_capture_ring.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

void cw_capture_reset(CW_CAPTURE_RING* ring)
{
    if (ring == nullptr)
        return;
    ring->writeIndex = 0;
    ring->count = 0;
}

CW_CAPTURE_SIZING cw_capture_ensure_rate(CW_CAPTURE_RING* ring, uint32_t rate)
{
    if (ring == nullptr || rate == 0)
        return CW_CAPTURE_SIZING::BadRate;
    const uint64_t capacity = static_cast<uint64_t>(std::llround(rate * kCWCaptureSeconds));
    if (capacity == 0)
        return CW_CAPTURE_SIZING::BadRate;
    if (ring->storage.size() == capacity && ring->sampleRate == rate)
        return CW_CAPTURE_SIZING::Ready;
    try {
        std::vector<float> storage(capacity, 0.0f);
        ring->storage.swap(storage);
    } catch (const std::exception&) {
        return CW_CAPTURE_SIZING::NoMemory;
    }
    ring->sampleRate = rate;
    cw_capture_reset(ring);
    return CW_CAPTURE_SIZING::Ready;
}

CW_CAPTURE_SIZING cw_capture_append(CW_CAPTURE_RING* ring, const float* samples, uint64_t count, uint32_t rate)
{
    if (ring == nullptr || samples == nullptr || count == 0)
        return CW_CAPTURE_SIZING::Ready;
    const CW_CAPTURE_SIZING sizing = cw_capture_ensure_rate(ring, rate);
    if (sizing != CW_CAPTURE_SIZING::Ready)
        return sizing;
    const uint64_t capacity = ring->storage.size();
    // Only the newest capacity samples can survive the copy.
    const uint64_t skip = count > capacity ? count - capacity : 0;
    if (skip > 0)
        ring->writeIndex = (ring->writeIndex + skip) % capacity;
    for (uint64_t i = skip; i < count;) {
        const uint64_t run = std::min(count - i, capacity - ring->writeIndex);
        std::copy(samples + i, samples + i + run, ring->storage.begin() + static_cast<ptrdiff_t>(ring->writeIndex));
        ring->writeIndex = (ring->writeIndex + run) % capacity;
        i += run;
    }
    ring->count = std::min(capacity, ring->count + count);
    return CW_CAPTURE_SIZING::Ready;
}

std::vector<float> cw_capture_samples(const CW_CAPTURE_RING& ring)
{
    const uint64_t capacity = ring.storage.size();
    std::vector<float> samples;
    if (capacity == 0 || ring.count == 0)
        return samples;
    samples.reserve(ring.count);
    const uint64_t start = (ring.writeIndex + capacity - ring.count) % capacity;
    for (uint64_t i = 0; i < ring.count; ++i)
        samples.push_back(ring.storage[(start + i) % capacity]);
    return samples;
}

double cw_capture_seconds(const CW_CAPTURE_RING& ring)
{
    return static_cast<double>(ring.count) / (ring.sampleRate == 0 ? 1.0 : ring.sampleRate);
}

std::string cw_capture_file_name(const std::tm& t, uint32_t sampleRate, unsigned serial)
{
    char name[192];
    char suffix[16] = "";
    if (serial > 0)
        std::snprintf(suffix, sizeof suffix, "-%u", serial + 1);
    std::snprintf(name, sizeof name, "Zarvo-rx-%04d%02d%02d-%02d%02d%02d-%uHz%s.wav", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, sampleRate, suffix);
    return name;
}
