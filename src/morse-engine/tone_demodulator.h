// Tone demodulator: brings the tone at the pitch to baseband, follows a
// slowly drifting pitch, averages coherently over a window matched to the
// dot length and yields the tone's envelope every 2 ms. Plain functions over
// an opaque handle; nothing throws, values are clamped.
#pragma once

#include <cstdint>

struct TONE_DEMOD_CONFIG {
    float sampleRate;  // Hz of the input, a multiple of 500 (the engine's 4000)
    float pitchHz;     // nominal tone frequency
    float pullHz;      // how far the tracker may move from pitchHz; 0 holds it
    float windowMs;    // coherent averaging window, 2..128 ms
};

struct TONE_DEMOD_STATUS {
    float pitchHz;       // frequency in use
    float windowMs;      // averaging window in use
    int32_t incoherent;  // flutter: the window averages power, not the tone
};

struct TONE_DEMOD;

// Envelope values come every kToneDemodStepMs milliseconds.
constexpr float kToneDemodStepMs = 2.0f;

// Null on a bad configuration or without memory.
TONE_DEMOD* tone_demod_create(const TONE_DEMOD_CONFIG* config);

// Returns the demodulator to the state tone_demod_create(config) gives,
// without allocating; a null config leaves it as it is.
void tone_demod_restart(TONE_DEMOD* demod, const TONE_DEMOD_CONFIG* config);

// A pitch moved by more than a tracker could follow starts the tracking and
// the averaging afresh; anything else keeps them.
void tone_demod_configure(TONE_DEMOD* demod, const TONE_DEMOD_CONFIG* config);

// Changes only the averaging window (the slicer matches it to the speed).
void tone_demod_set_window(TONE_DEMOD* demod, float windowMs);

// Consumes n samples; writes the envelope values they complete to
// `envelope` (at most `capacity`) and returns their count.
int tone_demod_process(TONE_DEMOD* demod, const float* samples, int n, float* envelope, int capacity);

// The same, and the tone's baseband before the window's averaging: for
// each envelope value, the 2 ms mean brought down at the nominal pitch (a
// tracker's steps would turn the phase along a long mark) as
// real and imaginary parts (2 * capacity floats; null leaves it out),
// scaled like the envelope, so that a steady tone of amplitude a gives
// magnitude a. A weak signal is read from these again.
int tone_demod_process_baseband(TONE_DEMOD* demod, const float* samples, int n, float* envelope, float* baseband,
                                int capacity);

void tone_demod_get_status(const TONE_DEMOD* demod, TONE_DEMOD_STATUS* status);

void tone_demod_destroy(TONE_DEMOD* demod);
