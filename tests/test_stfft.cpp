#include "stfft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

TEST(StfftInit, EngineSizesColumnsEveryHopAndRefusedSizes)
{
    STFFT s;
    ASSERT_TRUE(s.init(4000, 512, 128, 3.0f));
    EXPECT_EQ(s.nColumns(), 90);  // (12000 - 512) / 128 + 1
    EXPECT_EQ(s.column(89).size(), 512u);
    EXPECT_TRUE(s.column(90).empty() && s.column(-1).empty());
    for (int i = 1; i <= 128 * 91; ++i)
        ASSERT_EQ(s.push(0.0f), i % 128 == 0) << i;  // a column every hop
    EXPECT_EQ(s.currentColumn(), 1);                 // wrapped after 90
    // Window not a power of two or larger than the FFT, no hop, history shorter than the window.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        int rate, window, hop;
        float seconds;
    } bad[] = {{4000, 500, 128, 3.0f}, {4000, 2048, 128, 3.0f}, {4000, 512, 0, 3.0f},
               {4000, 512, 128, 0.1f}, {4000, 512, 128, nan},   {0, 512, 128, 3.0f}};
    for (const auto& b : bad)
        EXPECT_FALSE(s.init(b.rate, b.window, b.hop, b.seconds)) << b.window << " " << b.hop;
    EXPECT_EQ(s.nColumns(), 0);
    EXPECT_FALSE(s.push(1.0f));
    s.filter(-10);
    EXPECT_TRUE(s.spectrogram().empty());
}

TEST(StfftSpectrum, PureToneAtItsBinAcrossTheRingEnd)
{
    // Bin 81 of 512; a periodic Hamming window peaks at (0.54 N / 2)^2, the window across the ring's end.
    STFFT s;
    ASSERT_TRUE(s.init(4000, 512, 128, 3.0f));
    for (int i = 0; i < 128 * 96; ++i)  // silent until the last 600 samples
        s.push(i < 11688 ? 0.0f : static_cast<float>(std::cos(2.0 * std::numbers::pi * 632.8125 * i / 4000.0)));
    const std::vector<float>& newest = s.column(5);
    const auto peak = std::max_element(newest.begin(), newest.begin() + 256);
    EXPECT_EQ(peak - newest.begin(), 81);
    const double expected = std::pow(0.54 * 512 / 2, 2);
    EXPECT_NEAR(*peak, expected, expected * 1e-4);
    EXPECT_NEAR(newest[512 - 81], expected, expected * 1e-4);
    EXPECT_LT(newest[120], expected * 1e-6);
    const auto history = s.spectrogram();
    ASSERT_EQ(history.size(), 90u);
    EXPECT_EQ(history.front(), s.column(6));
    EXPECT_EQ(history.back(), newest);
}

// restart() forgets the history: the same samples then give a new analyser's columns.
TEST(StfftRestart, GivesTheColumnsOfANewAnalyser)
{
    STFFT used;
    ASSERT_TRUE(used.init(4000, 512, 128, 3.0f));
    for (int i = 0; i < 128 * 40 + 17; ++i)
        used.push(std::sin(0.3f * static_cast<float>(i)));
    used.restart();
    EXPECT_EQ(used.sampleCount(), 0);
    EXPECT_EQ(used.currentColumn(), 0);
    STFFT fresh;
    ASSERT_TRUE(fresh.init(4000, 512, 128, 3.0f));
    for (int i = 0; i < 128 * 20; ++i) {
        const float x = std::cos(0.11f * static_cast<float>(i)) * static_cast<float>(i % 7);
        ASSERT_EQ(used.push(x), fresh.push(x)) << i;
    }
    EXPECT_EQ(used.spectrogram(), fresh.spectrogram());
}
