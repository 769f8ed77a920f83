// Impulse blanker: finds static crashes by their breadth. A crash raises
// the level well away from the tone on both sides at once and about as
// high as at the tone, which neither the tone nor a neighbouring station
// does; those moments of audio are silenced before the receive filter
// turns the crash into a burst of tone. With a radio filter narrower than
// the watched bands it finds nothing and passes the audio as it is. Plain
// functions over an opaque handle; nothing throws.
#pragma once

#include <cstdint>

struct IMPULSE_BLANKER_CONFIG {
    float sampleRate;  // Hz of the audio, 4000..48000
    float pitchHz;     // the tone; the watched bands lie 500 Hz either side of it
};

struct IMPULSE_BLANKER_STATUS {
    int64_t blankedMs;  // audio silenced so far
};

struct IMPULSE_BLANKER;

IMPULSE_BLANKER* impulse_blanker_create(const IMPULSE_BLANKER_CONFIG* config);

// A new pitch moves the watched bands; what was learned of their levels stays.
void impulse_blanker_configure(IMPULSE_BLANKER* blanker, const IMPULSE_BLANKER_CONFIG* config);

// n samples in, n out: the audio of 4 ms before, silenced within a crash
// (held one 4 ms block, so that a crash is silenced from its start). `in`
// and `out` may be the same array. Without a blanker the audio passes as
// it is.
void impulse_blanker_process(IMPULSE_BLANKER* blanker, const float* in, float* out, int n);

void impulse_blanker_get_status(const IMPULSE_BLANKER* blanker, IMPULSE_BLANKER_STATUS* status);

void impulse_blanker_destroy(IMPULSE_BLANKER* blanker);
