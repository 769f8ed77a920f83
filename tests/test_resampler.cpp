#include "resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kBlock = 1536;  // 32 ms at 48 kHz

// Hann-windowed sinc reaching 64 input samples out, cut at 63.
double kernel(double x)
{
    if (x == 0.0) return 1.0;
    if (std::fabs(x) >= 63.0) return 0.0;
    return std::sin(kPi * x) / (kPi * x) * (0.5 + 0.5 * std::cos(kPi * x / 64));
}

std::vector<float> tone(double hz, double rate, int n)
{
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>(std::sin(2.0 * kPi * hz * i / rate));
    return x;
}

// Runs the input through in blocks, as the engine does.
std::vector<float> run(Resampler& r, float factor, const std::vector<float>& in, int block)
{
    std::vector<float> out;
    std::vector<float> part(static_cast<size_t>(block / factor) + 4);
    for (size_t at = 0; at + block <= in.size(); at += block) {
        const int m = r.resample(factor, block, in.data() + at, part.data());
        out.insert(out.end(), part.begin(), part.begin() + m);
    }
    return out;
}

double amplitudeAfterSettling(const std::vector<float>& y)
{
    double sum = 0.0;
    const size_t from = 200, to = 1000;  // 800 samples: whole periods of both test tones
    for (size_t i = from; i < to; ++i) sum += double(y[i]) * y[i];
    return std::sqrt(2.0 * sum / double(to - from));
}

}  // namespace

TEST(ResamplerKernel, SincTableValues)
{
    Resampler r;
    EXPECT_EQ(r.sinc(0.0), 1.0);
    EXPECT_EQ(r.sinc(63.0), 0.0);
    EXPECT_EQ(r.sinc(-100.0), 0.0);
    EXPECT_EQ(r.sinc(std::numeric_limits<double>::quiet_NaN()), 0.0);
    EXPECT_NEAR(r.sinc(1.0), 0.0, 1e-7);
    EXPECT_NEAR(r.sinc(-3.0), 0.0, 1e-7);
    // Linear interpolation between table points 1/32 apart: error below 1e-3.
    EXPECT_NEAR(r.sinc(0.51), kernel(0.51), 1e-3);
    EXPECT_NEAR(r.sinc(40.2), kernel(40.2), 1e-3);
    EXPECT_EQ(r.sinc(-0.51), r.sinc(0.51));
}

TEST(ResamplerDelayLine, NewestSampleAtOffset71)
{
    Resampler r;
    for (int i = 1; i <= 136; ++i) r.new_data(static_cast<float>(i));
    EXPECT_EQ(r.gimme_data(71), 136.0f);
    EXPECT_EQ(r.gimme_data(0), 65.0f);
    EXPECT_EQ(r.gimme_data(-64), 1.0f);
    EXPECT_EQ(r.gimme_data(-65), 0.0f);
    EXPECT_EQ(r.gimme_data(500), 0.0f);
}

TEST(ResamplerResponse, PassBandKeepsAmplitude)
{
    Resampler r;
    const std::vector<float> y = run(r, 12.0f, tone(500.0, 48000.0, 40 * kBlock), kBlock);
    ASSERT_GT(y.size(), 1000u);
    // A sinc cut off at +-64 input samples ripples by a few percent.
    EXPECT_NEAR(amplitudeAfterSettling(y), 1.0, 0.03);
}

TEST(ResamplerResponse, StopBandIsAttenuated)
{
    for (double hz : {3000.0, 5000.0}) {  // above the 2000 Hz output Nyquist
        Resampler r;
        const std::vector<float> y = run(r, 12.0f, tone(hz, 48000.0, 40 * kBlock), kBlock);
        EXPECT_LT(amplitudeAfterSettling(y), 0.03) << hz;  // better than -30 dB
    }
}

TEST(ResamplerResponse, ImpulseComesOut136InputSamplesLate)
{
    // 64 samples in the edge buffer, 72 from the delay line's newest slot to
    // its centre. Integer and half-integer times hit exact table points.
    std::vector<float> x(4 * 512, 0.0f);
    x[300] = 1.0f;
    for (float factor : {1.0f, 0.5f}) {
        Resampler r;
        const std::vector<float> y = run(r, factor, x, 512);
        ASSERT_GT(y.size() * factor, 600u);
        for (size_t k = 0; k < y.size(); ++k) EXPECT_NEAR(y[k], kernel(k * factor - 436.0), 1e-6) << k;
    }
}

TEST(ResamplerStream, BlockSizeDoesNotChangeTheOutput)
{
    const std::vector<float> x = tone(700.0, 44100.0, 44100);
    Resampler a, b;
    const float factor = 44100.0f / 4000.0f;
    std::vector<float> ya = run(a, factor, x, 1470);
    std::vector<float> yb = run(b, factor, x, 210);
    ya.resize(std::min(ya.size(), yb.size()));
    yb.resize(ya.size());
    ASSERT_GT(ya.size(), 3900u);
    EXPECT_EQ(ya, yb);
}

TEST(ResamplerDryRun, CountsLikeARealCallAndChangesNothing)
{
    const std::vector<float> x = tone(300.0, 48000.0, 256);
    std::vector<float> outA(64), outB(64);
    Resampler counted, plain;
    for (int call = 0; call < 5; ++call) {
        const int expected = counted.resample(12.0f, 256, x.data(), nullptr);
        EXPECT_EQ(counted.resample(12.0f, 256, x.data(), nullptr), expected);
        EXPECT_EQ(counted.nSamplesTotal(), 256 * call);
        ASSERT_EQ(counted.resample(12.0f, 256, x.data(), outA.data()), expected);
        ASSERT_EQ(plain.resample(12.0f, 256, x.data(), outB.data()), expected);
        EXPECT_EQ(outA, outB);
    }
}

TEST(ResamplerState, ResetRestartsTheStream)
{
    const std::vector<float> x = tone(300.0, 48000.0, 8 * kBlock);
    Resampler used, fresh;
    run(used, 12.0f, x, kBlock);
    used.reset();
    EXPECT_EQ(used.nSamplesTotal(), 0);
    EXPECT_EQ(run(used, 12.0f, x, kBlock), run(fresh, 12.0f, x, kBlock));
}

TEST(ResamplerBadInput, RefusedWithoutStateChange)
{
    const std::vector<float> x = tone(300.0, 48000.0, kBlock);
    std::vector<float> out(kBlock * 2, 7.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Resampler r, fresh;
    EXPECT_EQ(r.resample(12.0f, 64, x.data(), out.data()), 0);
    EXPECT_EQ(r.resample(12.0f, -5, x.data(), nullptr), 0);
    EXPECT_EQ(r.resample(12.0f, kBlock, nullptr, out.data()), 0);
    for (float f : {0.0f, -1.0f, nan, inf, 1e-9f, 1e9f}) EXPECT_EQ(r.resample(f, kBlock, x.data(), out.data()), 0) << f;
    EXPECT_EQ(out, std::vector<float>(kBlock * 2, 7.0f));
    EXPECT_EQ(r.nSamplesTotal(), 0);
    EXPECT_EQ(run(r, 12.0f, x, kBlock), run(fresh, 12.0f, x, kBlock));
}
