#include "cw_goertzel_bank.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace {

// |sum x[n] e^(-i w n)|^2, the power a Goertzel filter at w must report.
double dft_power(const std::vector<double>& x, double coefficient)
{
    const long double w = std::acos(static_cast<long double>(coefficient) / 2.0L);
    std::complex<long double> sum = 0.0L;
    for (size_t n = 0; n < x.size(); ++n) sum += static_cast<long double>(x[n]) * std::polar(1.0L, -w * static_cast<long double>(n));
    return static_cast<double>(std::norm(sum));
}

}  // namespace

TEST(GoertzelBank, EveryFilterReportsTheDftPowerAtItsFrequency)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> x(1024);
    for (double& v : x) v = u(rng);
    for (size_t bins : {1u, 8u, 11u, 19u}) {  // whole and partial groups of filters
        std::vector<double> c(bins), power(bins, -1.0);
        for (size_t k = 0; k < bins; ++k) c[k] = 2.0 * std::cos(2.0 * std::numbers::pi * (0.01 + 0.023 * k));
        cw_goertzel_bank_power(x.data(), x.size(), c.data(), bins, power.data());
        for (size_t k = 0; k < bins; ++k) {
            const double expected = dft_power(x, c[k]);
            EXPECT_NEAR(power[k], expected, 1e-8 * expected + 1e-9) << bins << " bins, filter " << k;
        }
    }
}
