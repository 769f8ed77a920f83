// The tuner's transform of a frame at the bins of an even grid, against a
// direct DFT.
#include "cw_grid_dft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace {

// |sum x[n] e^(-2 pi i k n / period)|^2 summed directly, for every k up to
// half the period.
std::vector<double> dft_powers(const std::vector<float>& x, size_t period)
{
    std::vector<std::complex<long double>> roots(period);
    for (size_t r = 0; r < period; ++r)
        roots[r] = std::polar(1.0L, -2.0L * std::numbers::pi_v<long double> * static_cast<long double>(r) /
                                        static_cast<long double>(period));
    std::vector<double> powers(period / 2 + 1);
    for (size_t k = 0; k < powers.size(); ++k) {
        std::complex<long double> sum = 0.0L;
        for (size_t n = 0; n < x.size(); ++n)
            sum += static_cast<long double>(x[n]) * roots[k * n % period];
        powers[k] = static_cast<double>(std::norm(sum));
    }
    return powers;
}

}  // namespace

// Periods whose halves need every radix (2, 3, 4, 5), frames shorter than
// the period and longer, so that they fold: every bin up to half the period
// as a direct sum gives it, to a millionth of the frame's energy.
TEST(GridDft, EveryBinIsTheDirectDftPowerOfTheFrame)
{
    CW_GRID_DFT* d = cw_grid_dft_create();
    ASSERT_NE(d, nullptr);
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (size_t period : {2, 6, 10, 16, 800, 1000, 1200, 1536, 1600}) {
        ASSERT_EQ(cw_grid_dft_configure(d, period), 1) << period;
        for (size_t count : {size_t{1}, period / 2 + 1, 341 % period + 1, 2 * period + 7}) {
            std::vector<float> x(count);
            double energy = 0.0;
            for (size_t n = 0; n < count; ++n) {
                // A tone on a bin and one between two, over noise.
                const double t = static_cast<double>(n);
                x[n] = static_cast<float>(0.5 * std::cos(2.0 * std::numbers::pi * 0.25 * t) +
                                          0.3 * std::sin(2.0 * std::numbers::pi * 0.1234 * t)) +
                       0.2f * u(rng);
                energy += static_cast<double>(x[n]) * x[n];
            }
            const size_t bins = period / 2 + 1;
            std::vector<float> power(bins, -1.0f);
            cw_grid_dft_power(d, x.data(), count, bins, power.data());
            const std::vector<double> expected = dft_powers(x, period);
            for (size_t k = 0; k < bins; ++k)
                ASSERT_NEAR(power[k], expected[k], 1e-6 * energy * static_cast<double>(count))
                    << "period " << period << ", " << count << " samples, bin " << k;
        }
    }
    cw_grid_dft_destroy(d);
}

// Periods that are odd, too long, or whose half has another factor are
// refused, and a refused transform writes nothing.
TEST(GridDft, PeriodsItCannotTransformAreRefused)
{
    CW_GRID_DFT* d = cw_grid_dft_create();
    ASSERT_NE(d, nullptr);
    for (size_t period : {0, 1, 801, 882, 14, 1602, 3200})
        EXPECT_EQ(cw_grid_dft_configure(d, period), 0) << period;
    const std::vector<float> x(64, 1.0f);
    float power[3] = {-1.0f, -1.0f, -1.0f};
    cw_grid_dft_power(d, x.data(), x.size(), 3, power);
    EXPECT_EQ(std::vector<float>(power, power + 3), std::vector<float>(3, -1.0f));
    cw_grid_dft_destroy(d);
}
