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
