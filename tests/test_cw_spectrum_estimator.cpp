// The tuner's spectrum: 301 bins from 0 to 1500 Hz at any stream rate,
// shaped and smoothed for display, at most five a second, with the
// strongest tone near the pitch followed gently.
#include "cw_spectrum_estimator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <tuple>
#include <vector>

namespace {

constexpr size_t kN = kCWSpectrumFrameSize;
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<float> tone(double hz, double rate, size_t count, double amplitude = 0.5, size_t start = 0)
{
    std::vector<float> x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * (start + i) / rate));
    return x;
}

std::vector<float> mix(std::vector<float> a, const std::vector<float>& b)
{
    for (size_t i = 0; i < a.size(); ++i)
        a[i] += b[i];
    return a;
}

struct Estimator {
    std::unique_ptr<CW_SPECTRUM_ESTIMATOR, decltype(&cw_spectrum_estimator_destroy)> e{cw_spectrum_estimator_create(),
                                                                                       cw_spectrum_estimator_destroy};
    double now = 1.0;

    int process(const std::vector<float>& x, double rate, double pitchHz, double at)
    {
        return cw_spectrum_estimator_process(e.get(), x.data(), x.size(), rate, pitchHz, at);
    }
    // A whole block at a new accepted moment.
    bool frame(const std::vector<float>& x, double rate, double pitch = 600.0)
    {
        return process(x, rate, pitch, now += 1.0);
    }
    CW_SPECTRUM_SNAPSHOT snapshot() const
    {
        CW_SPECTRUM_SNAPSHOT s;
        return cw_spectrum_estimator_get_snapshot(e.get(), &s), s;
    }
    float bin(size_t k) const { return snapshot().bins[k]; }
    size_t loudest() const
    {
        const CW_SPECTRUM_SNAPSHOT s = snapshot();
        return static_cast<size_t>(std::max_element(s.bins, s.bins + kCWSpectrumBinCount) - s.bins);
    }
    bool sane() const
    {
        const CW_SPECTRUM_SNAPSHOT s = snapshot();
        return std::all_of(s.bins, s.bins + kCWSpectrumBinCount, [](float v) { return v >= 0.0f && v <= 1.0f; }) &&
               std::isfinite(s.peakHz) && std::isfinite(s.peakLevel);
    }
};

}  // namespace

TEST(SpectrumBins, APureToneLandsInItsBinAtEveryRateAndNothingFoldsOntoTheSpan)
{
    for (double rate : {8000.0, 11025.0, 12000.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
        Estimator f;
        ASSERT_TRUE(f.frame(tone(700.0, rate, kN), rate)) << rate;
        EXPECT_EQ(f.loudest(), 140u) << rate;
        EXPECT_DOUBLE_EQ(f.snapshot().peakHz, 700.0) << rate;
        EXPECT_EQ(f.bin(60), 0.0f) << rate;  // far from the tone only the floor remains
    }
    // Brought down to 4 kHz unfiltered, 2600 Hz would land on 1400 Hz and
    // 5300 Hz on 1300 Hz, far above a tone 30 dB weaker.
    for (double strayHz : {2600.0, 5300.0}) {
        Estimator f;
        const std::vector<float> x = mix(tone(strayHz, 48000.0, kN, 0.5), tone(700.0, 48000.0, kN, 0.0158));
        for (int i = 0; i < 20; ++i)
            f.frame(x, 48000.0);
        EXPECT_EQ(f.loudest(), 140u) << strayHz;
        const double foldedHz = std::fabs(strayHz - 4000.0 * std::round(strayHz / 4000.0));
        EXPECT_EQ(f.bin(static_cast<size_t>(foldedHz / kCWSpectrumBinHz)), 0.0f) << strayHz;
    }
}

// Over silence the floor lies 28 dB under the strongest bin and the shape
// starts 22% of the way up: a second tone 20 dB under the first shows, one
// 24 dB under it does not, on either way of computing the bins.
TEST(SpectrumLevels, ATone20DbUnderTheTopShowsAndOne24DbUnderDoesNot)
{
    for (double rate : {48000.0, 44100.0}) {
        for (const double underDb : {20.0, 24.0}) {
            Estimator f;
            const double weak = 0.5 * std::pow(10.0, -underDb / 20.0);
            ASSERT_TRUE(f.frame(mix(tone(700.0, rate, kN, 0.5), tone(1000.0, rate, kN, weak)), rate));
            EXPECT_EQ(f.bin(200) > 0.0f, underDb == 20.0) << rate << " Hz, " << underDb << " dB under";
            EXPECT_GT(f.bin(140), 0.3f) << rate;
        }
    }
}

// Bad samples count as silence, so a tone around them still shows.
TEST(SpectrumLevels, SilenceNanInfinityAndClippingStayFinite)
{
    std::vector<float> bad = tone(700.0, 48000.0, kN);
    bad[10] = std::nanf(""), bad[2000] = kInf, bad[3000] = -kInf;
    std::vector<float> square(kN);
    for (size_t i = 0; i < kN; ++i)
        square[i] = (i / 20) % 2 ? 1.0f : -1.0f;  // 1200 Hz, clipped
    for (const std::vector<float>& x :
         {bad, square, std::vector<float>(kN, std::numeric_limits<float>::max()), std::vector<float>(kN, 0.0f)}) {
        Estimator f;
        f.frame(x, 48000.0);
        EXPECT_TRUE(f.sane());
    }
    Estimator poisoned;
    EXPECT_TRUE(poisoned.frame(bad, 48000.0) && poisoned.loudest() == 140u);
}

TEST(SpectrumInput, InvalidBlocksChangeNothingButThePitchIsTakenEvenWhenThrottled)
{
    Estimator e;
    const std::vector<float> x = tone(700.0, 8000.0, kN);
    EXPECT_EQ(cw_spectrum_estimator_process(e.e.get(), nullptr, kN, 8000.0, 900.0, 1.0) +
                  cw_spectrum_estimator_process(e.e.get(), x.data(), 0, 8000.0, 900.0, 1.0),
              0);
    for (double rate : {0.0, -1.0, 4000.0, 500000.0, std::nan(""), double(kInf)})
        EXPECT_EQ(e.process(x, rate, 900.0, 1.0), 0) << rate;
    EXPECT_TRUE(e.snapshot().pitchHz == 600.0 && e.snapshot().peakHz == 0.0);
    EXPECT_EQ(e.process(x, 8000.0, 900.0, 1.0), 1);  // nothing started the throttle

    Estimator t;
    const std::vector<float> short_block = tone(700.0, 8000.0, 64);
    t.process(short_block, 8000.0, 650.0, 1.0);
    EXPECT_EQ(t.process(short_block, 8000.0, 720.0, 1.01), 0);
    EXPECT_TRUE(t.snapshot().pitchHz == 720.0 && t.snapshot().peakHz == 0.0);  // no spectrum yet
}

TEST(SpectrumInput, OneLongBlockGivesWhatManyShortOnesGive)
{
    const std::vector<float> x = mix(tone(640.0, 8000.0, 10000), tone(910.0, 8000.0, 10000, 0.2));
    Estimator whole, pieces;
    ASSERT_EQ(whole.process(x, 8000.0, 600.0, 2.0), 1);
    for (size_t at = 0; at < x.size(); at += 100)
        cw_spectrum_estimator_process(pieces.e.get(), x.data() + at, 100, 8000.0, 600.0,
                                      at + 100 < x.size() ? 1.0 : 2.0);
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k)
        ASSERT_EQ(whole.bin(k), pieces.bin(k)) << k;
}

// Spectra come at most every 0.2 s of clock time; a clock that steps back
// does not freeze the display.
TEST(SpectrumThrottle, HoldsSpectraToFivePerSecondOfClockTime)
{
    Estimator e;
    const size_t block = 256;  // 187.5 blocks a second at 48 kHz
    std::vector<double> accepted;
    for (size_t i = 1; i <= static_cast<size_t>(10.0 * 48000.0 / block); ++i) {
        const double now = 100.0 + i * block / 48000.0;
        if (e.process(tone(700.0, 48000.0, block, 0.5, (i - 1) * block), 48000.0, 600.0, now))
            accepted.push_back(now);
    }
    ASSERT_TRUE(accepted.size() >= 49u && accepted.size() <= 50u) << accepted.size();
    for (size_t i = 1; i < accepted.size(); ++i)
        EXPECT_GE(accepted[i] - accepted[i - 1], 0.2 - 1e-9);

    Estimator back;
    const std::vector<float> full = tone(700.0, 8000.0, kN);
    ASSERT_EQ(back.process(full, 8000.0, 600.0, 500.0), 1);
    EXPECT_EQ(back.process(full, 8000.0, 600.0, 20.0), 1);
    EXPECT_EQ(back.process(full, 8000.0, 600.0, 20.1), 0);
}

TEST(SpectrumPeak, FollowsTheToneNearThePitchNotTheLouderOneFarAway)
{
    const std::vector<float> x = mix(tone(450.0, 12000.0, kN, 0.3), tone(1000.0, 12000.0, kN, 0.3));
    const std::vector<float> far = mix(tone(1300.0, 12000.0, kN, 0.5), tone(620.0, 12000.0, kN, 0.16));
    for (auto [input, pitch, expected] : {std::tuple{&x, 950.0, 1000.0}, {&x, 500.0, 450.0}, {&far, 600.0, 620.0}}) {
        Estimator f;
        for (int i = 0; i < 10; ++i)
            f.frame(*input, 12000.0, pitch);
        EXPECT_TRUE(std::fabs(f.snapshot().peakHz - expected) < 1e-9 && f.snapshot().peakMarkerVisible) << pitch;
    }
}

TEST(SpectrumPeak, MovesGraduallyToANewTone)
{
    Estimator f;
    for (int i = 0; i < 30; ++i)
        f.frame(tone(700.0, 8000.0, kN), 8000.0);
    double previous = 700.0;
    for (int i = 0; i < 60; ++i) {
        f.frame(tone(760.0, 8000.0, kN), 8000.0);
        const double peak = f.snapshot().peakHz;
        ASSERT_TRUE(peak >= previous && peak <= 760.0 && (previous != 700.0 || peak < 750.0)) << peak;
        previous = peak;
    }
    EXPECT_NEAR(previous, 760.0, 0.5);
}

TEST(SpectrumPeak, QuietWindowsAndPitchesBeyondTheBinsMoveNothing)
{
    Estimator f;
    f.frame(std::vector<float>(kN, 0.0f), 8000.0, 600.0);
    EXPECT_FALSE(f.snapshot().peakMarkerVisible);
    Estimator high;
    for (int i = 0; i < 5; ++i)
        high.frame(tone(1400.0, 8000.0, kN), 8000.0, 1300.0);
    high.frame(tone(1400.0, 8000.0, kN), 8000.0, 1800.0);  // above 1750 Hz no bins lie in reach
    const CW_SPECTRUM_SNAPSHOT s = high.snapshot();
    EXPECT_TRUE(std::fabs(s.peakHz - 1400.0) < 1e-9 && s.peakLevel == 0.0f && !s.peakMarkerVisible);
}
