#include "fft.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace {

std::vector<float> randomSignal(int N, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> f(2 * N);
    for (float& x : f)
        x = u(rng);
    return f;
}

std::complex<double> bin(const std::vector<float>& f, int k)
{
    return {f[2 * k], f[2 * k + 1]};
}

}  // namespace

TEST(FftTransform, MatchesDirectDftForEverySize)
{
    for (int N = 1; N <= fft::kMaxSize; N *= 2) {
        std::vector<float> f = randomSignal(N, 7u + N);
        std::vector<std::complex<double>> X(N);
        double norm = 0.0;
        for (int n = 0; n < N; ++n) {
            norm += std::norm(bin(f, n));
            for (int k = 0; k < N; ++k)
                X[k] += bin(f, n) * std::polar(1.0, -2.0 * std::numbers::pi * k * n / N);
        }
        // Rounding grows a few float ulps per stage, on the signal's norm.
        const double tolerance = 4.0 * FLT_EPSILON * std::max(1, fft::log2(N)) * std::sqrt(norm);
        ASSERT_TRUE(fft::transform(f.data(), N));
        for (int k = 0; k < N; ++k)
            ASSERT_LT(std::abs(bin(f, k) - X[k]), tolerance) << "N=" << N << " k=" << k;
    }
}

TEST(FftBadInput, RefusedWithDataUntouched)
{
    std::vector<float> f = randomSignal(2048, 1u);
    const std::vector<float> before = f;
    for (int N : {0, -4, 3, 12, 2048})
        EXPECT_FALSE(fft::transform(f.data(), N) || fft::ordina(f.data(), N) || fft::FFT(f.data(), N, 2.0f)) << N;
    EXPECT_FALSE(fft::transform(nullptr, 8) || fft::FFT(nullptr, f.data(), 8, 1.0f));
    EXPECT_EQ(f, before);
}

// The split form is the same arithmetic as transform(): identical floats, not just close ones.
TEST(FftSplit, BitIdenticalToTransformForEverySize)
{
    for (int N = 1; N <= fft::kMaxSize; N *= 2) {
        const std::vector<float> f = randomSignal(N, 31u + N);
        std::vector<float> expected = f;
        ASSERT_TRUE(fft::transform(expected.data(), N));
        std::vector<float> re(N), im(N), wRe(N), wIm(N);
        for (int i = 0; i < N; ++i) {
            re[i] = f[2 * fft::reverse(N, i)];
            im[i] = f[2 * fft::reverse(N, i) + 1];
        }
        ASSERT_TRUE(fft::stage_twiddles(N, wRe.data(), wIm.data()));
        ASSERT_TRUE(fft::butterflies_split(re.data(), im.data(), N, wRe.data(), wIm.data()));
        for (int k = 0; k < N; ++k) {
            ASSERT_EQ(re[k], expected[2 * k]) << "N=" << N << " k=" << k;
            ASSERT_EQ(im[k], expected[2 * k + 1]) << "N=" << N << " k=" << k;
        }
    }
    std::vector<float> v(8);
    EXPECT_FALSE(fft::stage_twiddles(12, v.data(), v.data()));
    EXPECT_FALSE(fft::butterflies_split(v.data(), v.data(), 6, v.data(), v.data()));
}
