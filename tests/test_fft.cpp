#include "fft.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace {

using Complex = std::complex<double>;
constexpr double kPi = std::numbers::pi;

std::vector<float> randomSignal(int N, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> f(2 * N);
    for (float& x : f) x = u(rng);
    return f;
}

Complex bin(const std::vector<float>& f, int k)
{
    return {f[2 * k], f[2 * k + 1]};
}

std::vector<Complex> directDft(const std::vector<float>& f, int N)
{
    std::vector<Complex> X(N);
    for (int k = 0; k < N; ++k)
        for (int n = 0; n < N; ++n) X[k] += bin(f, n) * std::polar(1.0, -2.0 * kPi * k * n / N);
    return X;
}

// Textbook radix-2 loop with its twiddles computed for this N on each call.
void referenceFft(std::vector<float>& f, int N)
{
    std::vector<float> r(2 * N);
    for (int i = 0; i < N; ++i) {
        r[2 * i] = f[2 * fft::reverse(N, i)];
        r[2 * i + 1] = f[2 * fft::reverse(N, i) + 1];
    }
    f = r;
    std::vector<float> wr(N / 2 + 1, 1.0f), wi(N / 2 + 1, 0.0f);
    for (int k = 1; k < N / 2; ++k) {
        wr[k] = static_cast<float>(std::cos(-2.0 * kPi * k / N));
        wi[k] = static_cast<float>(std::sin(-2.0 * kPi * k / N));
    }
    for (int n = 1; n < N; n *= 2) {
        const int a = N / (2 * n);
        for (int i = 0; i < N; ++i) {
            if (i & n) continue;
            const int k = (i * a) % (N / 2);
            const float tr = wr[k] * f[2 * (i + n)] - wi[k] * f[2 * (i + n) + 1];
            const float ti = wr[k] * f[2 * (i + n) + 1] + wi[k] * f[2 * (i + n)];
            f[2 * (i + n)] = f[2 * i] - tr;
            f[2 * (i + n) + 1] = f[2 * i + 1] - ti;
            f[2 * i] += tr;
            f[2 * i + 1] += ti;
        }
    }
}

}  // namespace

TEST(FftIndexHelpers, Log2AndReverse)
{
    EXPECT_EQ(fft::log2(512), 9);
    EXPECT_EQ(fft::log2(1), 0);
    EXPECT_EQ(fft::log2(1023), 9);
    EXPECT_EQ(fft::log2(0), -1);
    EXPECT_EQ(fft::log2(-8), -1);
    EXPECT_EQ(fft::reverse(8, 1), 4);
    EXPECT_EQ(fft::reverse(8, 6), 3);
    EXPECT_EQ(fft::reverse(1024, 1), 512);
    EXPECT_EQ(fft::reverse(0, 5), 0);
}

TEST(FftIndexHelpers, OrdinaPutsEachValueAtItsReversedIndex)
{
    const int N = 16;
    std::vector<float> f(2 * N);
    for (int i = 0; i < N; ++i) f[2 * i] = static_cast<float>(i), f[2 * i + 1] = -static_cast<float>(i);
    ASSERT_TRUE(fft::ordina(f.data(), N));
    for (int i = 0; i < N; ++i) {
        EXPECT_EQ(f[2 * i], fft::reverse(N, i));
        EXPECT_EQ(f[2 * i + 1], -fft::reverse(N, i));
    }
}

TEST(FftTransform, MatchesDirectDftForEverySize)
{
    for (int N = 1; N <= fft::kMaxSize; N *= 2) {
        std::vector<float> f = randomSignal(N, 7u + N);
        const std::vector<Complex> X = directDft(f, N);
        double norm = 0.0;
        for (int n = 0; n < N; ++n) norm += std::norm(bin(f, n));
        // Radix-2 rounding grows with the number of stages and with the
        // signal's energy: a few float ulps per stage, on the signal's norm.
        const double tolerance = 4.0 * FLT_EPSILON * std::max(1, fft::log2(N)) * std::sqrt(norm);
        ASSERT_TRUE(fft::transform(f.data(), N));
        for (int k = 0; k < N; ++k) ASSERT_LT(std::abs(bin(f, k) - X[k]), tolerance) << "N=" << N << " k=" << k;
    }
}

TEST(FftTransform, SharedTwiddlesEqualThoseComputedPerSize)
{
    for (int N = 2; N <= fft::kMaxSize; N *= 2) {
        std::vector<float> f = randomSignal(N, 100u + N);
        std::vector<float> expected = f;
        referenceFft(expected, N);
        fft::transform(f.data(), N);
        for (int i = 0; i < 2 * N; ++i) ASSERT_EQ(f[i], expected[i]) << "N=" << N << " i=" << i;
    }
}

TEST(FftTransform, ImpulseConstantAndSingleTone)
{
    const int N = 512;
    std::vector<float> impulse(2 * N, 0.0f), constant(2 * N, 0.0f), tone(2 * N);
    impulse[0] = 1.0f;
    for (int n = 0; n < N; ++n) {
        constant[2 * n] = 1.0f;
        tone[2 * n] = static_cast<float>(std::cos(2.0 * kPi * 3 * n / N));
        tone[2 * n + 1] = static_cast<float>(std::sin(2.0 * kPi * 3 * n / N));
    }
    fft::transform(impulse.data(), N);
    fft::transform(constant.data(), N);
    fft::transform(tone.data(), N);
    for (int k = 0; k < N; ++k) {
        EXPECT_EQ(bin(impulse, k), Complex(1.0, 0.0));
        EXPECT_NEAR(std::abs(bin(constant, k) - Complex(k == 0 ? N : 0, 0)), 0.0, 1e-3);
        EXPECT_NEAR(std::abs(bin(tone, k) - Complex(k == 3 ? N : 0, 0)), 0.0, 1e-3) << k;
    }
}

TEST(FftScaled, BothOverloadsScaleTheTransform)
{
    const int N = 64;
    std::vector<float> real(N);
    for (int n = 0; n < N; ++n) real[n] = static_cast<float>(std::sin(0.3 * n) + 0.25);
    std::vector<float> complexIn(2 * N, 0.0f);
    for (int n = 0; n < N; ++n) complexIn[2 * n] = real[n];
    std::vector<float> expected = complexIn;
    fft::transform(expected.data(), N);

    std::vector<float> out(2 * N, 99.0f);
    ASSERT_TRUE(fft::FFT(real.data(), out.data(), N, 0.5f));
    ASSERT_TRUE(fft::FFT(complexIn.data(), N, 0.5f));
    for (int i = 0; i < 2 * N; ++i) {
        EXPECT_EQ(out[i], expected[i] * 0.5f);
        EXPECT_EQ(complexIn[i], expected[i] * 0.5f);
    }
}

TEST(FftBadInput, RefusedWithDataUntouched)
{
    std::vector<float> f = randomSignal(2048, 1u);
    const std::vector<float> before = f;
    for (int N : {0, -4, 3, 12, 2048}) {
        EXPECT_FALSE(fft::transform(f.data(), N)) << N;
        EXPECT_FALSE(fft::ordina(f.data(), N)) << N;
        EXPECT_FALSE(fft::FFT(f.data(), N, 2.0f)) << N;
    }
    EXPECT_FALSE(fft::transform(nullptr, 8));
    EXPECT_FALSE(fft::FFT(nullptr, f.data(), 8, 1.0f));
    EXPECT_EQ(f, before);
}
