// The last 30 seconds of receive audio, kept for "Save WAV", and the names
// its files get.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

constexpr double kCWCaptureSeconds = 30.0;

struct CW_CAPTURE_RING {
    std::vector<float> storage;  // capacity samples once sized
    uint64_t writeIndex = 0;     // where the next sample goes
    uint64_t count = 0;          // samples held, at most the capacity
    uint32_t sampleRate = 0;     // rate the ring was sized for
};

enum class CW_CAPTURE_SIZING { Ready, BadRate, NoMemory };

// Empties the ring; the storage stays.
void cw_capture_reset(CW_CAPTURE_RING* ring);

// Sizes the ring for 30 s at `rate`; a new size empties it. On failure the
// old ring stays as it was.
CW_CAPTURE_SIZING cw_capture_ensure_rate(CW_CAPTURE_RING* ring, uint32_t rate);

// Appends `count` samples, resizing (and so emptying) the ring when the rate
// changes; oldest samples are overwritten once it is full.
CW_CAPTURE_SIZING cw_capture_append(CW_CAPTURE_RING* ring, const float* samples, uint64_t count, uint32_t rate);

// The samples held, oldest first.
std::vector<float> cw_capture_samples(const CW_CAPTURE_RING& ring);

// Seconds held; 0 for an unsized ring.
double cw_capture_seconds(const CW_CAPTURE_RING& ring);

// "Zarvo-rx-20260105-213015-48000Hz.wav"; a `serial` above 0 adds "-2",
// "-3" ... before the extension so a second save in one second keeps both.
std::string cw_capture_file_name(const std::tm& localTime, uint32_t sampleRate, unsigned serial);
