// Keying slicer: turns the tone envelope into key-down and key-up runs with
// a threshold that follows the signal. Each value is judged a few dots late,
// against the strongest value within a few dots on either side (so the
// threshold follows fading within a few dot lengths) and against the noise
// floor (so band noise between and after overs stays key-up). Plain
// functions over an opaque handle; nothing throws.
#pragma once

#include <cstdint>

struct KEYING_RUN {
    int32_t keyDown;  // 1 for a key-down run, 0 for key-up
    float durationMs;
    float peak;   // key-down: the run's largest value over the noise floor, in noise floors
    float level;  // key-down: the run's largest value, as the envelope gives it
};

struct KEYING_SLICER_STATUS {
    float noise;      // noise floor of the envelope
    float signal;     // local signal level at the decision point
    float threshold;  // threshold at the decision point
    float level;      // envelope at the decision point
    int32_t keyDown;  // state at the decision point
    int32_t present;  // a signal stands clear of the noise at the decision point
    float runMs;      // length of the run in progress
    float delayMs;    // how far the decision point lies behind the newest value
};

struct KEYING_SLICER;

// stepMs: time between envelope values.
KEYING_SLICER* keying_slicer_create(float stepMs);

// The dot length sets how far around each value the slicer looks.
void keying_slicer_set_dot(KEYING_SLICER* slicer, float dotMs);

// Where between noise floor and signal the key goes down, by default a
// little below the middle.
constexpr float kKeyingSlicerThreshold = 0.35f;

// Sets that place, 0.15 to 0.5. Signals far above the noise key
// down lower still (0.22 from 30 noise floors up).
void keying_slicer_set_threshold(KEYING_SLICER* slicer, float fraction);

// A mark must reach this fraction (0 off, up to 0.8) of the strongest
// value of the last seconds. In a skimmer channel the key clicks of a
// strong neighbour a few tens of hertz away are short blips 10 to 20 dB
// under the station; judged against themselves between the station's
// marks (the slicer follows deep fades that way) they read as strings of
// E and I. A single receiver leaves it off: it would cut marks in fades.
void keying_slicer_set_mark_floor(KEYING_SLICER* slicer, float fraction);

// Pushes one envelope value; returns how many runs ended at the decision
// point (0 to 2: the point moves two values at once while the reach
// shrinks) and fills runs[0..count).
int32_t keying_slicer_push(KEYING_SLICER* slicer, float value, KEYING_RUN runs[2]);

void keying_slicer_get_status(const KEYING_SLICER* slicer, KEYING_SLICER_STATUS* status);

void keying_slicer_reset(KEYING_SLICER* slicer);

// Returns the slicer to the state keying_slicer_create(stepMs) gives (dot,
// threshold and all), keeping its storage: nothing is allocated.
void keying_slicer_restart(KEYING_SLICER* slicer, float stepMs);

// Starts the noise floor at a level known from elsewhere instead of
// learning it from the first values.
void keying_slicer_start_noise(KEYING_SLICER* slicer, float noise);

void keying_slicer_destroy(KEYING_SLICER* slicer);
