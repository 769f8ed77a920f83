#include "cwqo_prefilter.h"

#include <algorithm>
#include <cmath>

void cwqo_biquad_pass_through(CWQO_BIQUAD* section)
{
    *section = CWQO_BIQUAD{1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
}

void cwqo_biquad_band_pass(CWQO_BIQUAD* section, double sampleRate, double pitchHz, double bandwidthHz)
{
    if (!(pitchHz > 0.0)) {
        cwqo_biquad_pass_through(section);
        return;
    }
    const double f0 = pitchHz < 100.0 ? 100.0 : std::min(0.45 * sampleRate, pitchHz);
    const double bw = bandwidthHz < 20.0 ? 20.0 : std::min(0.4 * sampleRate, bandwidthHz);
    const double q = f0 / bw;
    const double w0 = 2.0 * M_PI * f0 / sampleRate;
    // Below Q 0.5 the section would no longer be a band-pass.
    const double divisor = q < 0.5 ? 1.0 : 2.0 * std::min(q, 24.0);
    const double alpha = std::sin(w0) / divisor;
    const double a0 = 1.0 + alpha;
    *section = CWQO_BIQUAD{.b0 = alpha / a0,
                           .b1 = 0.0,
                           .b2 = -alpha / a0,
                           .a1 = -2.0 * std::cos(w0) / a0,
                           .a2 = (1.0 - alpha) / a0,
                           .z1 = 0.0,
                           .z2 = 0.0};
}

void cwqo_conditioner_clear(CWQO_CONDITIONER* c)
{
    for (CWQO_BIQUAD& section : c->sections)
        section.z1 = section.z2 = 0.0;
    c->dcPrevIn = 0.0;
    c->dcPrevOut = 0.0;
    c->decimPhase = 0.0;
}

namespace {

constexpr double kDcPole = 0.995;
// The second section runs this many samples behind the first, so that the
// two recursions, each bound by its own chain of dependent operations,
// overlap in one loop. Every sample still passes both in order.
constexpr size_t kLag = 256;
constexpr size_t kRingMask = 2 * kLag - 1;

struct FirstStage {
    double prevIn;
    double prevOut;
    CWQO_BIQUAD section;

    float run(float sample)
    {
        const double x = sample;
        const double d = x - prevIn + kDcPole * prevOut;
        prevIn = x;
        prevOut = d;
        return static_cast<float>(cwqo_biquad_run(&section, static_cast<float>(d)));
    }
};

struct SecondStage {
    CWQO_BIQUAD section;
    double phase;
    double step;
    float* out;
    size_t written;

    void run(float u)
    {
        const double y = cwqo_biquad_run(&section, u);
        phase += step;
        while (phase >= 1.0) {
            out[written++] = static_cast<float>(y);
            phase -= 1.0;
        }
    }
};

}  // namespace

size_t cwqo_conditioner_run(CWQO_CONDITIONER* c, const float* in, size_t n, double step, float* out)
{
    FirstStage first{.prevIn = c->dcPrevIn, .prevOut = c->dcPrevOut, .section = c->sections[0]};
    SecondStage second{.section = c->sections[1], .phase = c->decimPhase, .step = step, .out = out, .written = 0};
    float u[2 * kLag];
    const size_t lead = std::min(n, kLag);
    for (size_t i = 0; i < lead; ++i)
        u[i] = first.run(in[i]);
    for (size_t i = lead; i < n; ++i) {
        u[i & kRingMask] = first.run(in[i]);
        second.run(u[(i - kLag) & kRingMask]);
    }
    for (size_t i = n - lead; i < n; ++i)
        second.run(u[i & kRingMask]);
    c->dcPrevIn = first.prevIn;
    c->dcPrevOut = first.prevOut;
    c->sections[0] = first.section;
    c->sections[1] = second.section;
    c->decimPhase = second.phase;
    return second.written;
}
