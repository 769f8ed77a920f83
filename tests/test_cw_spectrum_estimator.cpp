// The tuner's spectrum: 301 bins from 0 to 1500 Hz at any stream rate,
// shaped and smoothed for display, at most five a second, with the
// strongest tone near the pitch followed gently.
#include "cw_spectrum_estimator.h"

#include "cw_decimator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
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

using Estimator = std::unique_ptr<CW_SPECTRUM_ESTIMATOR, decltype(&cw_spectrum_estimator_destroy)>;

Estimator make_estimator()
{
    return Estimator(cw_spectrum_estimator_create(), cw_spectrum_estimator_destroy);
}

// Feeds a whole frame per call, each at a new accepted moment.
struct Feeder {
    Estimator estimator = make_estimator();
    double now = 1.0;

    bool frame(const std::vector<float>& x, double rate, double pitchHz = 600.0)
    {
        now += 1.0;
        return cw_spectrum_estimator_process(estimator.get(), x.data(), x.size(), rate, pitchHz, now) != 0;
    }

    CW_SPECTRUM_SNAPSHOT snapshot() const
    {
        CW_SPECTRUM_SNAPSHOT s;
        cw_spectrum_estimator_get_snapshot(estimator.get(), &s);
        return s;
    }

    float bin(size_t k) const { return snapshot().bins[k]; }
};

size_t loudest_bin(const CW_SPECTRUM_SNAPSHOT& s)
{
    return static_cast<size_t>(std::max_element(s.bins, s.bins + kCWSpectrumBinCount) - s.bins);
}

bool all_finite_in_unit_range(const CW_SPECTRUM_SNAPSHOT& s)
{
    for (float v : s.bins)
        if (!(v >= 0.0f && v <= 1.0f)) return false;
    return std::isfinite(s.peakHz) && std::isfinite(s.peakLevel);
}

}  // namespace

TEST(BesselI0, MatchesTabulatedValues)
{
    EXPECT_DOUBLE_EQ(cw_bessel_i0(0.0), 1.0);
    EXPECT_NEAR(cw_bessel_i0(1.0), 1.2660658777520082, 1e-13);
    EXPECT_NEAR(cw_bessel_i0(3.0), 4.8807925858650249, 1e-12);
}

TEST(SpectrumBins, APureToneLandsInItsBinAtEveryRate)
{
    for (double rate : {8000.0, 11025.0, 12000.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
        Feeder f;
        ASSERT_TRUE(f.frame(tone(700.0, rate, kN), rate)) << rate;
        EXPECT_EQ(loudest_bin(f.snapshot()), 140u) << rate;
        EXPECT_DOUBLE_EQ(f.snapshot().peakHz, 700.0) << rate;
        // Far from the tone only sidelobes and the floor remain.
        EXPECT_EQ(f.bin(60), 0.0f) << rate;
    }
}

TEST(SpectrumBins, TonesAboveTheSpanDoNotFoldOntoIt)
{
    // Brought down to 4 kHz unfiltered, 2600 Hz would land on 1400 Hz and
    // 5300 Hz on 1300 Hz, far above a tone 30 dB weaker.
    for (double strayHz : {2600.0, 5300.0}) {
        Feeder f;
        const std::vector<float> x = mix(tone(strayHz, 48000.0, kN, 0.5), tone(700.0, 48000.0, kN, 0.0158));
        for (int i = 0; i < 20; ++i) f.frame(x, 48000.0);
        EXPECT_EQ(loudest_bin(f.snapshot()), 140u) << strayHz;
        const double foldedHz = std::fabs(strayHz - 4000.0 * std::round(strayHz / 4000.0));
        ASSERT_LE(foldedHz, kCWSpectrumSpanHz);
        EXPECT_EQ(f.bin(static_cast<size_t>(foldedHz / kCWSpectrumBinHz)), 0.0f) << strayHz;
    }
}

TEST(SpectrumLevels, FirstSpectraRiseByTheAttackAndSilenceFallsByTheRelease)
{
    Feeder f;
    const std::vector<float> x = tone(700.0, 48000.0, kN);
    f.frame(x, 48000.0);
    // The loudest bin is the top of the range, so its target is 1.
    const float first = f.bin(140);
    EXPECT_FLOAT_EQ(first, 0.34f);
    f.frame(x, 48000.0);
    const float second = f.bin(140);
    EXPECT_FLOAT_EQ(second, 0.66f * 0.34f + 0.34f);
    // Long enough for the tone to have left the frame and the filter.
    f.frame(std::vector<float>(2 * kN, 0.0f), 48000.0);
    EXPECT_NEAR(f.bin(140), second * (1.0f - 0.055f), 1e-6);
}

TEST(SpectrumLevels, AToneSixDecibelsDownSettlesWhereTheShapingPutsIt)
{
    Feeder f;
    const std::vector<float> x = mix(tone(500.0, 8000.0, kN, 0.5), tone(700.0, 8000.0, kN, 0.25));
    for (int i = 0; i < 100; ++i) f.frame(x, 8000.0);
    // The floor lies 28 dB under the louder tone; the other is 6.02 dB down.
    const double v = (28.0 - 20.0 * std::log10(2.0)) / 28.0;
    EXPECT_NEAR(f.bin(100), 1.0, 1e-5);
    EXPECT_NEAR(f.bin(140), std::pow((v - 0.22) / 0.78, 1.65), 2e-3);
}

TEST(SpectrumLevels, SilenceNanInfinityAndClippingStayFinite)
{
    Feeder silent;
    for (int i = 0; i < 3; ++i) silent.frame(std::vector<float>(kN, 0.0f), 48000.0);
    const CW_SPECTRUM_SNAPSHOT quiet = silent.snapshot();
    EXPECT_TRUE(all_finite_in_unit_range(quiet));
    EXPECT_EQ(*std::max_element(quiet.bins, quiet.bins + kCWSpectrumBinCount), 0.0f);

    // Bad samples count as silence, so the tone around them still shows.
    std::vector<float> bad = tone(700.0, 48000.0, kN);
    bad[10] = std::numeric_limits<float>::quiet_NaN();
    bad[2000] = std::numeric_limits<float>::infinity();
    bad[3000] = -std::numeric_limits<float>::infinity();
    Feeder poisoned;
    poisoned.frame(bad, 48000.0);
    EXPECT_TRUE(all_finite_in_unit_range(poisoned.snapshot()));
    EXPECT_EQ(loudest_bin(poisoned.snapshot()), 140u);

    std::vector<float> clipped(kN);
    for (size_t i = 0; i < kN; ++i) clipped[i] = (i / 20) % 2 ? 1.0f : -1.0f;  // 1200 Hz square at 48 kHz
    std::vector<float> huge(kN, std::numeric_limits<float>::max());
    for (const std::vector<float>* x : {&clipped, &huge}) {
        Feeder f;
        f.frame(*x, 48000.0);
        EXPECT_TRUE(all_finite_in_unit_range(f.snapshot()));
    }
}

TEST(SpectrumInput, InvalidBlocksChangeNothing)
{
    Estimator e = make_estimator();
    const std::vector<float> x = tone(700.0, 8000.0, kN);
    EXPECT_EQ(cw_spectrum_estimator_process(e.get(), nullptr, kN, 8000.0, 900.0, 1.0), 0);
    EXPECT_EQ(cw_spectrum_estimator_process(e.get(), x.data(), 0, 8000.0, 900.0, 1.0), 0);
    for (double rate : {0.0, -1.0, 4000.0, 500000.0, std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity()})
        EXPECT_EQ(cw_spectrum_estimator_process(e.get(), x.data(), kN, rate, 900.0, 1.0), 0) << rate;
    CW_SPECTRUM_SNAPSHOT s;
    cw_spectrum_estimator_get_snapshot(e.get(), &s);
    EXPECT_EQ(s.pitchHz, 600.0);
    EXPECT_EQ(s.peakHz, 0.0);
    // Nothing started the throttle: the first good frame is drawn at once.
    EXPECT_EQ(cw_spectrum_estimator_process(e.get(), x.data(), kN, 8000.0, 900.0, 1.0), 1);
}

TEST(SpectrumInput, ThePitchIsTakenOnEveryBlockEvenWhenThrottled)
{
    Estimator e = make_estimator();
    const std::vector<float> x = tone(700.0, 8000.0, 64);
    cw_spectrum_estimator_process(e.get(), x.data(), x.size(), 8000.0, 650.0, 1.0);
    EXPECT_EQ(cw_spectrum_estimator_process(e.get(), x.data(), x.size(), 8000.0, 720.0, 1.01), 0);
    CW_SPECTRUM_SNAPSHOT s;
    cw_spectrum_estimator_get_snapshot(e.get(), &s);
    EXPECT_EQ(s.pitchHz, 720.0);
    EXPECT_EQ(s.peakHz, 0.0);  // no spectrum yet
}

TEST(SpectrumInput, OneLongBlockGivesWhatManyShortOnesGive)
{
    const std::vector<float> x = mix(tone(640.0, 8000.0, 10000), tone(910.0, 8000.0, 10000, 0.2));
    Estimator whole = make_estimator(), pieces = make_estimator();
    ASSERT_EQ(cw_spectrum_estimator_process(whole.get(), x.data(), x.size(), 8000.0, 600.0, 2.0), 1);
    for (size_t at = 0; at + 100 < x.size(); at += 100)
        cw_spectrum_estimator_process(pieces.get(), x.data() + at, 100, 8000.0, 600.0, 1.0);
    ASSERT_EQ(cw_spectrum_estimator_process(pieces.get(), x.data() + x.size() - 100, 100, 8000.0, 600.0, 2.0), 1);
    CW_SPECTRUM_SNAPSHOT a, b;
    cw_spectrum_estimator_get_snapshot(whole.get(), &a);
    cw_spectrum_estimator_get_snapshot(pieces.get(), &b);
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k) ASSERT_EQ(a.bins[k], b.bins[k]) << k;
}

TEST(SpectrumThrottle, HoldsSpectraToFivePerSecondOfClockTime)
{
    Estimator e = make_estimator();
    const double rate = 48000.0;
    const size_t block = 256;  // 187.5 blocks a second
    std::vector<double> accepted;
    for (size_t i = 1; i <= static_cast<size_t>(10.0 * rate / block); ++i) {
        const double now = 100.0 + i * block / rate;
        const std::vector<float> x = tone(700.0, rate, block, 0.5, (i - 1) * block);
        if (cw_spectrum_estimator_process(e.get(), x.data(), block, rate, 600.0, now)) accepted.push_back(now);
    }
    ASSERT_GE(accepted.size(), 49u);
    EXPECT_LE(accepted.size(), 50u);
    for (size_t i = 1; i < accepted.size(); ++i) EXPECT_GE(accepted[i] - accepted[i - 1], 0.2 - 1e-9);
}

TEST(SpectrumThrottle, UpdatesBeforeTheFrameIsFullStillStartTheWait)
{
    Estimator e = make_estimator();
    const std::vector<float> half = tone(700.0, 8000.0, kN / 2);
    EXPECT_EQ(cw_spectrum_estimator_process(e.get(), half.data(), half.size(), 8000.0, 600.0, 5.0), 0);
    EXPECT_EQ(cw_spectrum_estimator_process(e.get(), half.data(), half.size(), 8000.0, 600.0, 5.1), 0);  // too soon
    EXPECT_EQ(cw_spectrum_estimator_process(e.get(), half.data(), half.size(), 8000.0, 600.0, 5.2), 1);
}

TEST(SpectrumThrottle, AClockThatStepsBackDoesNotFreezeTheDisplay)
{
    Estimator e = make_estimator();
    const std::vector<float> x = tone(700.0, 8000.0, kN);
    ASSERT_EQ(cw_spectrum_estimator_process(e.get(), x.data(), x.size(), 8000.0, 600.0, 500.0), 1);
    EXPECT_EQ(cw_spectrum_estimator_process(e.get(), x.data(), x.size(), 8000.0, 600.0, 20.0), 1);
    EXPECT_EQ(cw_spectrum_estimator_process(e.get(), x.data(), x.size(), 8000.0, 600.0, 20.1), 0);
}

TEST(SpectrumPeak, FollowsTheToneNearThePitchNotTheLouderOneFarAway)
{
    const std::vector<float> x = mix(tone(450.0, 12000.0, kN, 0.3), tone(1000.0, 12000.0, kN, 0.3));
    for (const auto& [pitch, expected] : {std::pair{950.0, 1000.0}, std::pair{500.0, 450.0}}) {
        Feeder f;
        for (int i = 0; i < 10; ++i) f.frame(x, 12000.0, pitch);
        EXPECT_NEAR(f.snapshot().peakHz, expected, 1e-9) << pitch;
        EXPECT_TRUE(f.snapshot().peakMarkerVisible);
    }
    Feeder f;
    const std::vector<float> far = mix(tone(1300.0, 12000.0, kN, 0.5), tone(620.0, 12000.0, kN, 0.16));
    for (int i = 0; i < 10; ++i) f.frame(far, 12000.0, 600.0);
    EXPECT_NEAR(f.snapshot().peakHz, 620.0, 1e-9);
}

TEST(SpectrumPeak, MovesGraduallyToANewTone)
{
    Feeder f;
    for (int i = 0; i < 30; ++i) f.frame(tone(700.0, 8000.0, kN), 8000.0);
    ASSERT_NEAR(f.snapshot().peakHz, 700.0, 1e-9);
    double previous = f.snapshot().peakHz;
    bool moved = false;
    for (int i = 0; i < 60; ++i) {
        f.frame(tone(760.0, 8000.0, kN), 8000.0);
        const double peak = f.snapshot().peakHz;
        // The first step takes 18 % of the way once the new tone is the peak.
        if (!moved && peak != 700.0) {
            EXPECT_NEAR(peak, 0.18 * 760.0 + 0.82 * 700.0, 1e-9);
        }
        moved = moved || peak != 700.0;
        ASSERT_GE(peak, previous);
        ASSERT_LE(peak, 760.0);
        previous = peak;
    }
    EXPECT_NEAR(f.snapshot().peakHz, 760.0, 0.5);
}

TEST(SpectrumPeak, TheFirstSearchStartsTheSmootherWhateverTheLevel)
{
    Feeder f;
    f.frame(std::vector<float>(kN, 0.0f), 8000.0, 600.0);
    // All bins tie at 0; the lowest one in 350..850 Hz wins.
    EXPECT_DOUBLE_EQ(f.snapshot().peakHz, 350.0);
    EXPECT_FALSE(f.snapshot().peakMarkerVisible);
    // A quiet window no longer moves a running smoother.
    f.frame(std::vector<float>(kN, 0.0f), 8000.0, 1000.0);
    EXPECT_DOUBLE_EQ(f.snapshot().peakHz, 350.0);
}

TEST(SpectrumPeak, APitchAbove1750HzHasNoBinsToSearch)
{
    Feeder f;
    for (int i = 0; i < 5; ++i) f.frame(tone(1400.0, 8000.0, kN), 8000.0, 1300.0);
    ASSERT_NEAR(f.snapshot().peakHz, 1400.0, 1e-9);
    f.frame(tone(1400.0, 8000.0, kN), 8000.0, 1800.0);
    EXPECT_NEAR(f.snapshot().peakHz, 1400.0, 1e-9);
    EXPECT_EQ(f.snapshot().peakLevel, 0.0f);
    EXPECT_FALSE(f.snapshot().peakMarkerVisible);
}
