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

// Float sums: within a thousandth of the frame's energy, the typical power
// of a bin of noise. Whole and partial groups of filters alike.
TEST(GoertzelBank, EveryFilterReportsTheDftPowerAtItsFrequency)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x(1024);
    double energy = 0.0;
    for (float& v : x)
        v = u(rng), energy += v * v;
    for (size_t bins : {1u, 19u, 32u, 45u}) {
        std::vector<float> c(bins), power(bins, -1.0f);
        for (size_t k = 0; k < bins; ++k)
            c[k] = static_cast<float>(2.0 * std::cos(2.0 * std::numbers::pi * (0.01 + 0.011 * k)));
        cw_goertzel_bank_power(x.data(), x.size(), c.data(), bins, power.data());
        for (size_t k = 0; k < bins; ++k)
            EXPECT_NEAR(power[k], dft_power(x, c[k]), 1e-3 * energy) << bins << " bins, filter " << k;
    }
}

// However the filters are grouped, each runs its own recurrence: a bin's
// power is the same number whether it is run alone or among up to 40.
TEST(GoertzelBank, AFilterReportsTheSamePowerAloneAsInAnyGroup)
{
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x(341);
    for (float& v : x)
        v = u(rng);
    std::vector<float> c(40);
    for (size_t k = 0; k < c.size(); ++k)
        c[k] = static_cast<float>(2.0 * std::cos(2.0 * std::numbers::pi * 0.012 * static_cast<double>(k)));
    std::vector<float> alone(c.size());
    for (size_t k = 0; k < c.size(); ++k)
        cw_goertzel_bank_power(x.data(), x.size(), &c[k], 1, &alone[k]);
    for (size_t bins = 2; bins <= c.size(); ++bins) {
        std::vector<float> power(bins, -1.0f);
        cw_goertzel_bank_power(x.data(), x.size(), c.data(), bins, power.data());
        for (size_t k = 0; k < bins; ++k)
            ASSERT_EQ(power[k], alone[k]) << bins << " bins, filter " << k;
    }
}
