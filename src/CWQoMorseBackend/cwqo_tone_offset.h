// How far the tone in the passband sits from the pitch: the phase advance
// per sample of the prefiltered 4000 Hz signal mixed down by the pitch,
// averaged over about a second with each sample weighted by its power. A
// keyed tone dominates that average; band noise, symmetric about the pitch
// as the prefilter is, pulls it towards 0. A neighbour at the edge of the
// filter keys as cleanly as a tuned station but is not the one the operator
// chose, and this is how it is told apart.
#pragma once

#include <cmath>
#include <cstddef>
#include <numbers>

inline constexpr double kCwqoTwoPi = 2.0 * std::numbers::pi;

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

// Prefiltered 4000 Hz samples go in one pass at a time, beside the
// caller's own loop over them: begin, a step per finite sample, end. The
// recursions live in the pass, a local of the caller; kept in the record,
// each would wait on its own last store, twice as slow, and beside another
// loop their waits and the other's overlap.
struct CWQO_TONE_OFFSET_PASS {
    double step, turnCos, turnSin, lowpass, keep;  // fixed for the pass
    double oscCos, oscSin, phase;
    double lowI1, lowI2, lowQ1, lowQ2;
    double lastI, lastQ, lagRe, lagIm, power;
};

CWQO_TONE_OFFSET_PASS cwqo_tone_offset_begin(const CWQO_TONE_OFFSET& offset);

inline void cwqo_tone_offset_step(CWQO_TONE_OFFSET_PASS* p, float sample)
{
    // The mixing oscillator turns by a fixed step: a rotation per sample
    // instead of a sine and cosine, started from the phase itself at every
    // pass so that its rounding cannot build up.
    const double mixedI = sample * p->oscCos;
    const double mixedQ = -sample * p->oscSin;
    const double turned = p->oscCos * p->turnCos - p->oscSin * p->turnSin;
    p->oscSin = p->oscSin * p->turnCos + p->oscCos * p->turnSin;
    p->oscCos = turned;
    const double next = p->phase + p->step;
    p->phase = next < kCwqoTwoPi ? next : next < 2.0 * kCwqoTwoPi ? next - kCwqoTwoPi : std::fmod(next, kCwqoTwoPi);
    p->lowI1 += p->lowpass * (mixedI - p->lowI1);
    p->lowI2 += p->lowpass * (p->lowI1 - p->lowI2);
    p->lowQ1 += p->lowpass * (mixedQ - p->lowQ1);
    p->lowQ2 += p->lowpass * (p->lowQ1 - p->lowQ2);
    // The sample times the conjugate of the previous one: its angle is the
    // phase advance, its size the power.
    const double re = p->lowI2 * p->lastI + p->lowQ2 * p->lastQ;
    const double im = p->lowQ2 * p->lastI - p->lowI2 * p->lastQ;
    p->lagRe = p->keep * p->lagRe + (1.0 - p->keep) * re;
    p->lagIm = p->keep * p->lagIm + (1.0 - p->keep) * im;
    p->power = p->keep * p->power + (1.0 - p->keep) * (p->lowI2 * p->lowI2 + p->lowQ2 * p->lowQ2);
    p->lastI = p->lowI2;
    p->lastQ = p->lowQ2;
}

void cwqo_tone_offset_end(CWQO_TONE_OFFSET* offset, const CWQO_TONE_OFFSET_PASS& pass);

// The offset of the tone from the pitch in Hz (positive: above); 0 before
// anything was heard.
float cwqo_tone_offset_hz(const CWQO_TONE_OFFSET& offset);
