#include "cw_spectrum_tables.h"

#include <algorithm>
#include <cmath>
#include <numbers>

double cw_bessel_i0(double x)
{
    const double half = x / 2.0;
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k <= 24; ++k) {
        const double ratio = half / k;
        term *= ratio * ratio;
        sum += term;
        if (sum * 1e-12 > term) break;
    }
    return sum;
}

bool CWSpectrumTables::prepare(double sampleRate)
{
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0) return false;
    if (std::fabs(preparedSampleRate_ - sampleRate) < 0.5) return false;

    const double norm = cw_bessel_i0(kCWSpectrumKaiserBeta);
    const double last = static_cast<double>(kCWSpectrumFrameSize - 1);
    for (size_t n = 0; n < kCWSpectrumFrameSize; ++n) {
        const double t = 2.0 * static_cast<double>(n) / last - 1.0;
        const double x = kCWSpectrumKaiserBeta * std::sqrt(std::max(0.0, 1.0 - t * t));
        window_[n] = static_cast<float>(cw_bessel_i0(x) / norm);
    }
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k) {
        const double f = static_cast<double>(k) * kCWSpectrumSpanHz / (kCWSpectrumBinCount - 1);
        coefficients_[k] = 2.0 * std::cos(2.0 * std::numbers::pi * f / sampleRate);
    }
    preparedSampleRate_ = sampleRate;
    ++buildCount_;
    return true;
}
