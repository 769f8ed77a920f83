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
constexpr size_t kPiece = 256;

// DC blocker and first section: few enough values to stay in registers,
// so each recursion runs at the speed of its own dependency chain.
void run_first(CWQO_CONDITIONER* c, const float* in, size_t n, float* u)
{
    double prevIn = c->dcPrevIn;
    double prevOut = c->dcPrevOut;
    CWQO_BIQUAD s = c->sections[0];
    for (size_t i = 0; i < n; ++i) {
        const double x = in[i];
        const double d = x - prevIn + kDcPole * prevOut;
        prevIn = x;
        prevOut = d;
        u[i] = static_cast<float>(cwqo_biquad_run(&s, static_cast<float>(d)));
    }
    c->dcPrevIn = prevIn;
    c->dcPrevOut = prevOut;
    c->sections[0] = s;
}

size_t run_second(CWQO_CONDITIONER* c, const float* u, size_t n, double step, float* out)
{
    CWQO_BIQUAD s = c->sections[1];
    double phase = c->decimPhase;
    size_t written = 0;
    for (size_t i = 0; i < n; ++i) {
        const double y = cwqo_biquad_run(&s, u[i]);
        phase += step;
        while (phase >= 1.0) {
            out[written++] = static_cast<float>(y);
            phase -= 1.0;
        }
    }
    c->sections[1] = s;
    c->decimPhase = phase;
    return written;
}

}  // namespace

size_t cwqo_conditioner_run(CWQO_CONDITIONER* c, const float* in, size_t n, double step, float* out)
{
    float u[kPiece];
    size_t written = 0;
    for (size_t at = 0; at < n; at += kPiece) {
        const size_t m = std::min(kPiece, n - at);
        run_first(c, in + at, m, u);
        written += run_second(c, u, m, step, out + written);
    }
    return written;
}
