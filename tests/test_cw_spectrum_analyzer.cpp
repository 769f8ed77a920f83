#include "cw_spectrum_analyzer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr size_t kN = kCWSpectrumFrameSize;

std::vector<float> tone(double hz, double rate, size_t count, double amplitude = 0.5, size_t start = 0)
{
    std::vector<float> x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * (start + i) / rate));
    return x;
}

std::vector<float> mix(std::vector<float> a, const std::vector<float>& b)
{
    for (size_t i = 0; i < a.size(); ++i) a[i] += b[i];
    return a;
}

CW_SPECTRUM_FIGURES figures_at(double pitchHz)
{
    CW_SPECTRUM_FIGURES f = cw_spectrum_initial_figures();
    f.pitchHz = pitchHz;
    return f;
}

// Feeds a whole frame per call, each at a new accepted moment.
struct Feeder {
    CWSpectrumAnalyzer analyzer;
    double now = 1.0;

    bool frame(const std::vector<float>& x, double rate, double pitchHz = 600.0)
    {
        now += 1.0;
        return analyzer.update(x.data(), x.size(), rate, figures_at(pitchHz), now);
    }
};

size_t loudest_bin(const CWSpectrumAnalyzer& a)
{
    const float* s = a.spectrum();
    return static_cast<size_t>(std::max_element(s, s + kCWSpectrumBinCount) - s);
}

bool all_finite_in_unit_range(const CWSpectrumAnalyzer& a)
{
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k)
        if (!(a.spectrum()[k] >= 0.0f && a.spectrum()[k] <= 1.0f)) return false;
    return std::isfinite(a.peakHz()) && std::isfinite(a.peakLevel());
}

}  // namespace

TEST(SpectrumBins, APureToneLandsInItsBinAtEveryRate)
{
    for (double rate : {8000.0, 12000.0, 48000.0}) {
        Feeder f;
        ASSERT_TRUE(f.frame(tone(700.0, rate, kN), rate)) << rate;
        EXPECT_EQ(loudest_bin(f.analyzer), 140u) << rate;
        EXPECT_DOUBLE_EQ(f.analyzer.currentPeakHz(), 700.0) << rate;
        // Far from the tone only sidelobes and the floor remain.
        EXPECT_EQ(f.analyzer.spectrum()[60], 0.0f) << rate;
    }
}

TEST(SpectrumLevels, FirstSpectraRiseByTheAttackAndSilenceFallsByTheRelease)
{
    Feeder f;
    const std::vector<float> x = tone(700.0, 48000.0, kN);
    f.frame(x, 48000.0);
    // The loudest bin is the top of the range, so its target is 1.
    const float first = f.analyzer.spectrum()[140];
    EXPECT_FLOAT_EQ(first, 0.34f);
    f.frame(x, 48000.0);
    const float second = f.analyzer.spectrum()[140];
    EXPECT_FLOAT_EQ(second, 0.66f * 0.34f + 0.34f);
    f.frame(std::vector<float>(kN, 0.0f), 48000.0);
    EXPECT_NEAR(f.analyzer.spectrum()[140], second * (1.0f - 0.055f), 1e-6);
}

TEST(SpectrumLevels, AToneSixDecibelsDownSettlesWhereTheShapingPutsIt)
{
    Feeder f;
    const std::vector<float> x = mix(tone(500.0, 8000.0, kN, 0.5), tone(700.0, 8000.0, kN, 0.25));
    for (int i = 0; i < 100; ++i) f.frame(x, 8000.0);
    // The floor lies 28 dB under the louder tone; the other is 6.02 dB down.
    const double v = (28.0 - 20.0 * std::log10(2.0)) / 28.0;
    EXPECT_NEAR(f.analyzer.spectrum()[100], 1.0, 1e-5);
    EXPECT_NEAR(f.analyzer.spectrum()[140], std::pow((v - 0.22) / 0.78, 1.65), 1e-3);
}

TEST(SpectrumLevels, BinsWithinTenDecibelsOfEachOtherNeverReachTheTop)
{
    // Two impulses 8 samples apart: a spectrum rippling between the sum and
    // the difference of their windowed heights, every 1000 Hz at 8 kHz. A
    // first short block moves the ring's head off 0, so the frame must be
    // read from the oldest sample on for the heights to come out right.
    const size_t n0 = 700, n1 = 708;
    const float b = 0.4f;
    std::vector<float> x(kN, 0.0f);
    x[n0] = 1.0f;
    x[n1] = b;
    Feeder f;
    f.frame(std::vector<float>(1500, 0.0f), 8000.0);
    for (int i = 0; i < 100; ++i) f.frame(x, 8000.0);
    const double w0 = f.analyzer.tables().window()[n0], w1 = f.analyzer.tables().window()[n1];
    const double spreadDb = 20.0 * std::log10((w0 + w1 * b) / (w0 - w1 * b));
    ASSERT_LT(spreadDb, 10.0);
    const double loudest = std::pow((spreadDb / 10.0 - 0.22) / 0.78, 1.65);
    EXPECT_NEAR(f.analyzer.spectrum()[0], loudest, 1e-4);    // 0 Hz: heights add
    EXPECT_NEAR(f.analyzer.spectrum()[200], loudest, 1e-4);  // 1000 Hz
    EXPECT_EQ(f.analyzer.spectrum()[100], 0.0f);             // 500 Hz: they cancel
}

TEST(SpectrumLevels, SilenceNanInfinityAndClippingStayFinite)
{
    Feeder silent;
    for (int i = 0; i < 3; ++i) silent.frame(std::vector<float>(kN, 0.0f), 48000.0);
    EXPECT_TRUE(all_finite_in_unit_range(silent.analyzer));
    EXPECT_EQ(*std::max_element(silent.analyzer.spectrum(), silent.analyzer.spectrum() + kCWSpectrumBinCount), 0.0f);

    // Bad samples count as silence, so the tone around them still shows.
    std::vector<float> bad = tone(700.0, 48000.0, kN);
    bad[10] = std::numeric_limits<float>::quiet_NaN();
    bad[2000] = std::numeric_limits<float>::infinity();
    bad[3000] = -std::numeric_limits<float>::infinity();
    Feeder poisoned;
    poisoned.frame(bad, 48000.0);
    EXPECT_TRUE(all_finite_in_unit_range(poisoned.analyzer));
    EXPECT_EQ(loudest_bin(poisoned.analyzer), 140u);

    std::vector<float> clipped(kN);
    for (size_t i = 0; i < kN; ++i) clipped[i] = (i / 20) % 2 ? 1.0f : -1.0f;  // 1200 Hz square at 48 kHz
    std::vector<float> huge(kN, std::numeric_limits<float>::max());
    for (const std::vector<float>* x : {&clipped, &huge}) {
        Feeder f;
        f.frame(*x, 48000.0);
        EXPECT_TRUE(all_finite_in_unit_range(f.analyzer));
    }
}

TEST(SpectrumInput, InvalidBlocksChangeNothing)
{
    CWSpectrumAnalyzer a;
    const std::vector<float> x = tone(700.0, 8000.0, kN);
    CW_SPECTRUM_FIGURES f = figures_at(900.0);
    EXPECT_FALSE(a.update(nullptr, kN, 8000.0, f, 1.0));
    EXPECT_FALSE(a.update(x.data(), 0, 8000.0, f, 1.0));
    for (double rate : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(a.update(x.data(), kN, rate, f, 1.0));
    EXPECT_EQ(a.ringCount(), 0u);
    EXPECT_EQ(a.figures().pitchHz, 600.0);
    EXPECT_EQ(a.lastAcceptedTime(), 0.0);
}

TEST(SpectrumInput, FiguresAreTakenOnEveryBlockEvenWhenThrottled)
{
    CWSpectrumAnalyzer a;
    const std::vector<float> x = tone(700.0, 8000.0, 64);
    CW_SPECTRUM_FIGURES f = figures_at(650.0);
    f.threshold = 0.4f;
    a.update(x.data(), x.size(), 8000.0, f, 1.0);
    f.pitchHz = 720.0;
    f.lock = 2;
    EXPECT_FALSE(a.update(x.data(), x.size(), 8000.0, f, 1.01));
    EXPECT_EQ(a.figures().pitchHz, 720.0);
    EXPECT_EQ(a.figures().lock, 2);
    EXPECT_EQ(a.currentPeakHz(), 720.0);  // no peak tracked yet
}

TEST(SpectrumInput, OneLongBlockLeavesTheRingAsManyShortOnesDo)
{
    const std::vector<float> x = mix(tone(640.0, 8000.0, 10000), tone(910.0, 8000.0, 10000, 0.2));
    CWSpectrumAnalyzer whole, pieces;
    const CW_SPECTRUM_FIGURES f = figures_at(600.0);
    ASSERT_TRUE(whole.update(x.data(), x.size(), 8000.0, f, 2.0));
    for (size_t at = 0; at + 100 < x.size(); at += 100) pieces.update(x.data() + at, 100, 8000.0, f, 1.0);
    ASSERT_TRUE(pieces.update(x.data() + x.size() - 100, 100, 8000.0, f, 2.0));
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k) ASSERT_EQ(whole.spectrum()[k], pieces.spectrum()[k]) << k;
}

TEST(SpectrumThrottle, HoldsSpectraToFivePerSecondOfClockTime)
{
    CWSpectrumAnalyzer a;
    const double rate = 48000.0;
    const size_t block = 256;  // 187.5 blocks a second
    std::vector<double> accepted;
    for (size_t i = 1; i <= static_cast<size_t>(10.0 * rate / block); ++i) {
        const double now = 100.0 + i * block / rate;
        const std::vector<float> x = tone(700.0, rate, block, 0.5, (i - 1) * block);
        if (a.update(x.data(), block, rate, figures_at(600.0), now)) accepted.push_back(now);
    }
    ASSERT_GE(accepted.size(), 49u);
    EXPECT_LE(accepted.size(), 50u);
    for (size_t i = 1; i < accepted.size(); ++i) EXPECT_GE(accepted[i] - accepted[i - 1], 0.2 - 1e-9);
}

TEST(SpectrumThrottle, UpdatesBeforeTheRingIsFullStillStartTheWait)
{
    CWSpectrumAnalyzer a;
    const std::vector<float> half = tone(700.0, 8000.0, kN / 2);
    EXPECT_FALSE(a.update(half.data(), half.size(), 8000.0, figures_at(600.0), 5.0));
    EXPECT_EQ(a.lastAcceptedTime(), 5.0);
    EXPECT_FALSE(a.update(half.data(), half.size(), 8000.0, figures_at(600.0), 5.1));  // full, but too soon
    EXPECT_TRUE(a.update(half.data(), half.size(), 8000.0, figures_at(600.0), 5.2));
}

TEST(SpectrumThrottle, AClockThatStepsBackDoesNotFreezeTheDisplay)
{
    CWSpectrumAnalyzer a;
    const std::vector<float> x = tone(700.0, 8000.0, kN);
    ASSERT_TRUE(a.update(x.data(), x.size(), 8000.0, figures_at(600.0), 500.0));
    EXPECT_TRUE(a.update(x.data(), x.size(), 8000.0, figures_at(600.0), 20.0));
    EXPECT_FALSE(a.update(x.data(), x.size(), 8000.0, figures_at(600.0), 20.1));
}

TEST(SpectrumTablesInUse, ARateChangeRebuildsTheWindowOnce)
{
    Feeder f;
    for (int i = 0; i < 5; ++i) f.frame(tone(700.0, 48000.0, kN), 48000.0);
    EXPECT_EQ(f.analyzer.tables().buildCount(), 1u);
    f.frame(tone(700.0, 48000.0, kN), 48000.3);
    EXPECT_EQ(f.analyzer.tables().buildCount(), 1u);
    for (int i = 0; i < 5; ++i) f.frame(tone(700.0, 48000.5, kN), 48000.5);
    EXPECT_EQ(f.analyzer.tables().buildCount(), 2u);
    EXPECT_EQ(f.analyzer.tables().preparedSampleRate(), 48000.5);
}

TEST(SpectrumPeak, FollowsTheToneNearThePitchNotTheLouderOneFarAway)
{
    const std::vector<float> x = mix(tone(450.0, 12000.0, kN, 0.3), tone(1000.0, 12000.0, kN, 0.3));
    for (const auto& [pitch, expected] : {std::pair{950.0, 1000.0}, std::pair{500.0, 450.0}}) {
        Feeder f;
        for (int i = 0; i < 10; ++i) f.frame(x, 12000.0, pitch);
        EXPECT_NEAR(f.analyzer.currentPeakHz(), expected, 1e-9) << pitch;
        EXPECT_TRUE(f.analyzer.peakMarkerVisible());
    }
    Feeder f;
    const std::vector<float> far = mix(tone(1300.0, 12000.0, kN, 0.5), tone(620.0, 12000.0, kN, 0.16));
    for (int i = 0; i < 10; ++i) f.frame(far, 12000.0, 600.0);
    EXPECT_NEAR(f.analyzer.currentPeakHz(), 620.0, 1e-9);
}

TEST(SpectrumPeak, MovesGraduallyToANewTone)
{
    Feeder f;
    for (int i = 0; i < 30; ++i) f.frame(tone(700.0, 8000.0, kN), 8000.0);
    ASSERT_NEAR(f.analyzer.peakHz(), 700.0, 1e-9);
    double previous = f.analyzer.peakHz();
    bool moved = false;
    for (int i = 0; i < 60; ++i) {
        f.frame(tone(760.0, 8000.0, kN), 8000.0);
        // The first step takes 18 % of the way once the new tone is the peak.
        if (!moved && f.analyzer.peakHz() != 700.0) {
            EXPECT_NEAR(f.analyzer.peakHz(), 0.18 * 760.0 + 0.82 * 700.0, 1e-9);
        }
        moved = moved || f.analyzer.peakHz() != 700.0;
        ASSERT_GE(f.analyzer.peakHz(), previous);
        ASSERT_LE(f.analyzer.peakHz(), 760.0);
        previous = f.analyzer.peakHz();
    }
    EXPECT_NEAR(f.analyzer.peakHz(), 760.0, 0.5);
}

TEST(SpectrumPeak, TheFirstSearchStartsTheSmootherWhateverTheLevel)
{
    Feeder f;
    f.frame(std::vector<float>(kN, 0.0f), 8000.0, 600.0);
    // All bins tie at 0; the lowest one in 350..850 Hz wins.
    EXPECT_DOUBLE_EQ(f.analyzer.peakHz(), 350.0);
    EXPECT_FALSE(f.analyzer.peakMarkerVisible());
    // A quiet window no longer moves a running smoother.
    f.frame(std::vector<float>(kN, 0.0f), 8000.0, 1000.0);
    EXPECT_DOUBLE_EQ(f.analyzer.peakHz(), 350.0);
}

TEST(SpectrumPeak, APitchAbove1750HzHasNoBinsToSearch)
{
    Feeder f;
    for (int i = 0; i < 5; ++i) f.frame(tone(1400.0, 8000.0, kN), 8000.0, 1300.0);
    ASSERT_NEAR(f.analyzer.peakHz(), 1400.0, 1e-9);
    f.frame(tone(1400.0, 8000.0, kN), 8000.0, 1800.0);
    EXPECT_NEAR(f.analyzer.peakHz(), 1400.0, 1e-9);
    EXPECT_EQ(f.analyzer.peakLevel(), 0.0f);
    EXPECT_FALSE(f.analyzer.peakMarkerVisible());
}
