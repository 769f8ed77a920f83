// How far the tone in the passband sits from the pitch: the phase advance
// per sample of the prefiltered 4000 Hz signal mixed down by the pitch,
// averaged over about a second with each sample weighted by its power. A
// keyed tone dominates that average; band noise, symmetric about the pitch
// as the prefilter is, pulls it towards 0. A neighbour at the edge of the
// filter keys as cleanly as a tuned station but is not the one the operator
// chose, and this is how it is told apart.
#pragma once

#include <cstddef>

struct CWQO_TONE_OFFSET {
    double pitchHz;
    double phase;          // of the mixing oscillator, radians
    double lowpass[2][2];  // two poles each for I and Q
    double previous[2];    // the last mixed-down sample, I and Q
    double lag1[2];        // power-weighted phase advance, real and imaginary
    double power;
};

// Cleared, mixing at pitchHz.
void cwqo_tone_offset_reset(CWQO_TONE_OFFSET* offset, double pitchHz);

// A new pitch: what was measured is moved along, as the tone itself did not
// move, so the figure is right at once.
void cwqo_tone_offset_tune(CWQO_TONE_OFFSET* offset, double pitchHz);

// Prefiltered 4000 Hz samples; any that is not finite is passed over.
void cwqo_tone_offset_add(CWQO_TONE_OFFSET* offset, const float* samples, size_t count);

// The offset of the tone from the pitch in Hz (positive: above); 0 before
// anything was heard.
float cwqo_tone_offset_hz(const CWQO_TONE_OFFSET& offset);
