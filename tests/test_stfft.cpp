#include "stfft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

STFFT engineAnalyser()
{
    STFFT s;
    EXPECT_TRUE(s.init(4000, 512, 128, 3.0f));
    return s;
}

void pushTone(STFFT& s, double hz, int n)
{
    for (int i = 0; i < n; ++i) s.push(static_cast<float>(std::cos(2.0 * kPi * hz * i / 4000.0)));
}

}  // namespace

TEST(StfftInit, EngineSizes)
{
    STFFT s = engineAnalyser();
    EXPECT_EQ(s.nColumns(), 90);
    EXPECT_EQ(s.ringSize(), 12000);
    EXPECT_EQ(s.windowSize(), 512);
    EXPECT_EQ(s.column(89).size(), 512u);
    EXPECT_TRUE(s.column(90).empty());
    EXPECT_TRUE(s.column(-1).empty());
}

TEST(StfftInit, BadSizesLeaveAnInertAnalyser)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    STFFT s;
    EXPECT_FALSE(s.init(4000, 500, 128, 3.0f));   // not a power of two
    EXPECT_FALSE(s.init(4000, 2048, 128, 3.0f));  // larger than the FFT
    EXPECT_FALSE(s.init(4000, 512, 0, 3.0f));
    EXPECT_FALSE(s.init(4000, 512, 128, 0.1f));  // history shorter than the window
    EXPECT_FALSE(s.init(4000, 512, 128, nan));
    EXPECT_FALSE(s.init(0, 512, 128, 3.0f));
    EXPECT_EQ(s.nColumns(), 0);
    EXPECT_FALSE(s.push(1.0f));
    s.filter(-10);
    EXPECT_TRUE(s.spectrogram().empty());
}

TEST(StfftPush, ColumnEveryHopWrappingAfter90)
{
    STFFT s = engineAnalyser();
    int made = 0;
    for (int i = 1; i <= 128 * 91; ++i) {
        const bool column = s.push(0.0f);
        EXPECT_EQ(column, i % 128 == 0) << i;
        made += column;
    }
    EXPECT_EQ(made, 91);
    EXPECT_EQ(s.currentColumn(), 1);
    EXPECT_EQ(s.sampleCount(), 128 * 91);
}

TEST(StfftSpectrum, SilenceIsAllZero)
{
    STFFT s = engineAnalyser();
    for (int i = 0; i < 12000; ++i) s.push(0.0f);
    for (const auto& column : s.spectrogram())
        EXPECT_TRUE(std::all_of(column.begin(), column.end(), [](float p) { return p == 0.0f; }));
}

TEST(StfftSpectrum, PureToneAtItsBin)
{
    // 625 Hz is bin 80 of 512 at 4000 Hz. A periodic Hamming window sums to
    // 0.54 N and leaves no leakage from the mirror image at bins -80 and 160
    // apart, so the peak is exactly (0.54 N / 2)^2.
    STFFT s = engineAnalyser();
    pushTone(s, 625.0, 1024);
    const std::vector<float>& newest = s.column(s.currentColumn() - 1);
    const auto peak = std::max_element(newest.begin(), newest.begin() + 256);
    EXPECT_EQ(peak - newest.begin(), 80);
    const double expected = std::pow(0.54 * 512 / 2, 2);
    EXPECT_NEAR(*peak, expected, expected * 1e-4);
    EXPECT_NEAR(newest[512 - 80], expected, expected * 1e-4);
    EXPECT_LT(newest[120], expected * 1e-6);
}

TEST(StfftSpectrum, SpectrogramIsOldestColumnFirst)
{
    STFFT s = engineAnalyser();
    pushTone(s, 625.0, 128 * 100);
    const auto history = s.spectrogram();
    ASSERT_EQ(history.size(), 90u);
    EXPECT_EQ(history.front(), s.column(s.currentColumn()));
    EXPECT_EQ(history.back(), s.column((s.currentColumn() + 89) % 90));
}

TEST(StfftFilter, NegativeStartReadsFromTheRingEnd)
{
    // After 12000 pushes ring position p holds sample p. Impulses at 11990
    // and 1 appear at window offsets 0 and 11 when reading from -10.
    STFFT s = engineAnalyser();
    for (int i = 0; i < 12000; ++i) s.push(i == 11990 || i == 1 ? 1.0f : 0.0f);
    s.filter(-10);
    const std::vector<float>& power = s.column(s.currentColumn());
    const double w0 = 0.54 - 0.46, w11 = 0.54 - 0.46 * std::cos(2.0 * kPi * 11 / 512);
    for (int k = 0; k < 512; k += 37) {
        const double expected = std::norm(w0 + w11 * std::polar(1.0, -2.0 * kPi * k * 11 / 512));
        EXPECT_NEAR(power[k], expected, 1e-5) << k;
    }
    const std::vector<float> fromMinus10 = power;
    s.filter(12000 - 10);
    EXPECT_EQ(s.column(s.currentColumn()), fromMinus10);
}
