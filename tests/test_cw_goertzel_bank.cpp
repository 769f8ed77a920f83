// The tuner's bank of Goertzel filters against a direct DFT.
#include "cw_goertzel_bank.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace {

// |sum x[n] e^(-i w n)|^2, the power a Goertzel filter at w must report.
double dft_power(const std::vector<float>& x, float coefficient)
{
    const long double w = std::acos(static_cast<long double>(coefficient) / 2.0L);
    std::complex<long double> sum = 0.0L;
    for (size_t n = 0; n < x.size(); ++n)
        sum += static_cast<long double>(x[n]) * std::polar(1.0L, -w * static_cast<long double>(n));
    return static_cast<double>(std::norm(sum));
}

}  // namespace

// Float sums: within a thousandth of the frame's energy, the typical power of a bin of noise. Every
// count of filters from 1 to 45, so that whole and partial groups of every size are met.
TEST(GoertzelBank, EveryFilterReportsTheDftPowerAtItsFrequency)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x(1024);
    double energy = 0.0;
    for (float& v : x)
        v = u(rng), energy += v * v;
    std::vector<float> c(45);
    std::vector<double> expected(c.size());
    for (size_t k = 0; k < c.size(); ++k) {
        c[k] = static_cast<float>(2.0 * std::cos(2.0 * std::numbers::pi * (0.01 + 0.011 * k)));
        expected[k] = dft_power(x, c[k]);
    }
    for (size_t bins = 1; bins <= c.size(); ++bins) {
        std::vector<float> power(bins, -1.0f);
        cw_goertzel_bank_power(x.data(), x.size(), c.data(), bins, power.data());
        for (size_t k = 0; k < bins; ++k)
            ASSERT_NEAR(power[k], expected[k], 1e-3 * energy) << bins << " bins, filter " << k;
    }
}
