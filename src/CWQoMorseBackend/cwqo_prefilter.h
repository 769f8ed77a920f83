// The backend's band-pass prefilter: a biquad section in transposed direct
// form II and the constant-0-dB-peak band-pass design of the audio-EQ
// cookbook.
#pragma once

#include <cstddef>

struct CWQO_BIQUAD {
    double b0, b1, b2, a1, a2;  // a0 normalised to 1
    double z1, z2;
};

// b0 = 1, everything else 0.
void cwqo_biquad_pass_through(CWQO_BIQUAD* section);

// Band-pass around pitchHz of width bandwidthHz at sampleRate, state cleared.
void cwqo_biquad_band_pass(CWQO_BIQUAD* section, double sampleRate, double pitchHz, double bandwidthHz);

// The running state of the chain ahead of the engine: DC blocker, the two
// band-pass sections and the decimation phase.
struct CWQO_CONDITIONER {
    CWQO_BIQUAD sections[2];
    double dcPrevIn;
    double dcPrevOut;
    double decimPhase;
};

// Clears the DC blocker, the sections' state and the phase; keeps the design.
void cwqo_conditioner_clear(CWQO_CONDITIONER* c);

// Runs n samples through the DC blocker and both sections; each time the
// phase, advanced by step per sample, passes 1 the filtered sample is
// written to out. Returns the samples written, at most n * step + 1.
size_t cwqo_conditioner_run(CWQO_CONDITIONER* c, const float* in, size_t n, double step, float* out);

inline double cwqo_biquad_run(CWQO_BIQUAD* s, double u)
{
    const double y = s->b0 * u + s->z1;
    s->z1 = s->b1 * u - s->a1 * y + s->z2;
    s->z2 = s->b2 * u - s->a2 * y;
    return y;
}
