#include "cw_skim_filter.h"

#include "cw_decimator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

size_t cw_skim_taps(double transitionHz, double rate, double widthFactor, size_t most)
{
    const size_t taps = static_cast<size_t>(std::ceil(widthFactor * rate / transitionHz)) | 1;
    return std::min(taps, most % 2 == 1 ? most : most - 1);
}

void cw_skim_lowpass(float* kernel, size_t taps, double cutoff, double beta)
{
    const double centre = 0.5 * static_cast<double>(taps - 1);
    const double norm = cw_bessel_i0(beta);
    auto tap = [&](size_t i) {
        const double x = static_cast<double>(i) - centre;
        const double sinc =
            x == 0.0 ? 2.0 * cutoff : std::sin(2.0 * std::numbers::pi * cutoff * x) / (std::numbers::pi * x);
        const double r = x / (centre + 1.0);
        return sinc * cw_bessel_i0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / norm;
    };
    double sum = 0.0;
    for (size_t i = 0; i < taps; ++i)
        sum += tap(i);
    for (size_t i = 0; i < taps; ++i)
        kernel[i] = static_cast<float>(tap(i) / sum);
}

float cw_skim_dot(const float* kernel, const float* values, size_t taps)
{
    float acc[8] = {};
    size_t k = 0;
    for (; k + 8 <= taps; k += 8) {
        for (size_t l = 0; l < 8; ++l)
            acc[l] += kernel[k + l] * values[k + l];
    }
    for (; k < taps; ++k)
        acc[0] += kernel[k] * values[k];
    float sum = 0.0f;
    for (float a : acc)
        sum += a;
    return sum;
}
