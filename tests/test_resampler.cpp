#include "resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <tuple>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

std::vector<float> tone(double hz, int n)
{
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i)
        x[i] = static_cast<float>(std::sin(2.0 * kPi * hz * i / 48000.0));
    return x;
}

// In blocks, each after a dry run that must count the same and leave the stream as it was.
std::vector<float> run(Resampler& r, float factor, const std::vector<float>& in, int block)
{
    std::vector<float> out, part(static_cast<size_t>(block / factor) + 4);
    for (size_t at = 0; at + block <= in.size(); at += block) {
        const int32_t total = r.nSamplesTotal();
        const int counted = r.resample(factor, block, in.data() + at, nullptr);
        EXPECT_EQ(r.nSamplesTotal(), total);
        const int m = r.resample(factor, block, in.data() + at, part.data());
        EXPECT_EQ(m, counted);
        out.insert(out.end(), part.begin(), part.begin() + m);
    }
    return out;
}

}  // namespace

TEST(ResamplerResponse, PassBandKeptStopBandAttenuated)
{
    // 48 kHz to 4 kHz: a few percent ripple in the pass band, better than -30 dB beyond 2000 Hz.
    for (const auto& [hz, low, high] : {std::tuple{500.0, 0.97, 1.03}, {3000.0, 0.0, 0.03}, {5000.0, 0.0, 0.03}}) {
        Resampler r;
        const std::vector<float> y = run(r, 12.0f, tone(hz, 40 * 1536), 1536);
        ASSERT_GT(y.size(), 1000u);
        double sum = 0.0;  // 800 samples after settling: whole periods of every tone
        for (size_t i = 200; i < 1000; ++i)
            sum += double(y[i]) * y[i];
        const double rms = std::sqrt(sum / 400.0);
        EXPECT_TRUE(rms >= low && rms <= high) << hz << ": " << rms;
    }
}

TEST(ResamplerState, BadCallsChangeNothingAndResetRestarts)
{
    const std::vector<float> x = tone(300.0, 4 * 1536);
    std::vector<float> out(3072, 7.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    Resampler r, fresh;
    EXPECT_EQ(r.resample(12.0f, 64, x.data(), out.data()) + r.resample(12.0f, -5, x.data(), nullptr) +
                  r.resample(12.0f, 1536, nullptr, out.data()),
              0);
    for (float f : {0.0f, -1.0f, nan, inf, 1e-9f, 1e9f})
        EXPECT_EQ(r.resample(f, 1536, x.data(), out.data()), 0) << f;
    EXPECT_EQ(out, std::vector<float>(3072, 7.0f));
    const std::vector<float> first = run(r, 12.0f, x, 1536);
    EXPECT_EQ(first, run(fresh, 12.0f, x, 1536));
    r.reset();
    EXPECT_EQ(r.nSamplesTotal(), 0);
    EXPECT_EQ(run(r, 12.0f, x, 1536), first);
}
