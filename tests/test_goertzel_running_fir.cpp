#include "goertzel_running_fir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kW = 128;

GoertzelRunningFIR engineFilter()
{
    GoertzelRunningFIR g;
    EXPECT_TRUE(g.init(4000.0f, kW, 3.0f));
    return g;
}

std::vector<float> tone(double hz, int n)
{
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>(std::cos(2.0 * kPi * hz * i / 4000.0 + 0.3));
    return x;
}

// One window at a time, straight from the definition.
float referenceValue(const float* x, float hz)
{
    const float w = static_cast<float>(2.0 * kPi * static_cast<double>(hz / 4000.0f));
    const float sine = std::sin(w), cosine = std::cos(w), coefficient = 2.0f * cosine;
    double s1 = 0.0, s2 = 0.0;
    for (int k = 0; k < kW; ++k) {
        const float window = static_cast<float>(0.54 - 0.46 * std::cos(2.0 * kPi * k / kW));
        const double s = coefficient * s1 + (window * x[k]) - s2;
        s2 = s1;
        s1 = s;
    }
    const double re = cosine * s1 - s2, im = -sine * s1;
    return static_cast<float>(re * re + im * im);
}

// The envelope the filter should hold, oldest first, after seeing all of x.
std::vector<float> referenceEnvelope(const std::vector<float>& x, float hz, int size)
{
    std::vector<float> e(size);
    for (int i = 0; i < size; ++i) e[i] = referenceValue(x.data() + x.size() - kW - size + 1 + i, hz);
    return e;
}

}  // namespace

TEST(GoertzelWindowFill, First127SamplesGiveNoValue)
{
    GoertzelRunningFIR g = engineFilter();
    const std::vector<float> x = tone(500.0, kW);
    for (int i = 0; i < kW - 1; ++i) g.process(&x[i], 1, 500.0f);
    EXPECT_EQ(g.outputIndex(), 0);
    g.process(&x[kW - 1], 1, 500.0f);
    EXPECT_EQ(g.outputIndex(), 1);
    EXPECT_EQ(g.envelopeRing()[0], referenceValue(x.data(), 500.0f));
}

TEST(GoertzelTone, SteadyValueOnFrequencyAndFarBelowOffIt)
{
    // 500 Hz is bin 16 of a 128-sample window: a periodic Hamming window sums
    // to 0.54 W and the mirror image at bin -16 leaks nothing, so the power
    // of a unit tone is exactly (0.54 W / 2)^2.
    GoertzelRunningFIR on = engineFilter(), off = engineFilter();
    std::vector<float> x(200, 0.0f);
    const std::vector<float> t = tone(500.0, 600);
    x.insert(x.end(), t.begin(), t.end());
    on.process(x.data(), static_cast<int>(x.size()), 500.0f);
    off.process(x.data(), static_cast<int>(x.size()), 600.0f);
    const std::vector<float>& eOn = on.envelopeInTimeOrder();
    const std::vector<float>& eOff = off.envelopeInTimeOrder();
    const int newest = on.outputIndex() - 1, onset = 200 - (kW - 1);  // first window touching the tone
    const double steady = std::pow(0.54 * kW / 2, 2);
    for (int i = onset + kW; i <= newest; ++i) EXPECT_NEAR(on.envelopeRing()[i], steady, steady * 1e-4) << i;
    EXPECT_GT(on.envelopeRing()[onset + kW / 2], 0.1 * steady);  // rising
    EXPECT_LT(on.envelopeRing()[onset + kW / 2], 0.9 * steady);
    float offMax = 0.0f;
    for (size_t i = eOff.size() - 400; i < eOff.size(); ++i) offMax = std::max(offMax, eOff[i]);
    EXPECT_LT(offMax, 1e-3 * eOn.back());  // 100 Hz lies beyond the main lobe
}

TEST(GoertzelRecompute, AllZeroHistoryGivesAllZeroEnvelope)
{
    GoertzelRunningFIR g = engineFilter();
    g.recompute(700.0f);
    const std::vector<float>& e = g.envelopeInTimeOrder();
    EXPECT_TRUE(std::all_of(e.begin(), e.end(), [](float v) { return v == 0.0f; }));
    EXPECT_EQ(g.sampleCount(), 12000);
    EXPECT_EQ(g.outputIndex(), 1);
}

TEST(GoertzelRecompute, PitchChangeEqualsFilteringAtTheNewPitchFromTheStart)
{
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 0.2f);
    std::vector<float> x = tone(640.0, 15007);
    for (float& v : x) v += noise(rng);
    GoertzelRunningFIR moved = engineFilter(), direct = engineFilter();
    moved.process(x.data(), static_cast<int>(x.size()), 500.0f);
    moved.recompute(640.0f);
    direct.process(x.data(), static_cast<int>(x.size()), 640.0f);
    // Same windows of the same samples with the same arithmetic: exact.
    EXPECT_EQ(moved.envelopeInTimeOrder(), direct.envelopeInTimeOrder());
    EXPECT_EQ(moved.envelopeInTimeOrder(), referenceEnvelope(x, 640.0f, moved.envelopeSize()));
}

TEST(GoertzelFastPath, BitIdenticalToOneWindowAtATime)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x(40000);
    for (float& v : x) v = u(rng);
    for (int block : {1, 7, 128, 1000, 30000}) {
        GoertzelRunningFIR g = engineFilter();
        for (size_t at = 0; at < x.size(); at += block)
            g.process(x.data() + at, static_cast<int>(std::min<size_t>(block, x.size() - at)), 733.3f);
        EXPECT_EQ(g.envelopeInTimeOrder(), referenceEnvelope(x, 733.3f, g.envelopeSize())) << block;
    }
}

TEST(GoertzelBadInput, NothingHappensAndNothingBreaks)
{
    GoertzelRunningFIR g;
    EXPECT_FALSE(g.init(4000.0f, 128, 0.01f));  // history not longer than the window
    EXPECT_FALSE(g.init(4000.0f, 0, 3.0f));
    EXPECT_FALSE(g.init(std::numeric_limits<float>::quiet_NaN(), 128, 3.0f));
    EXPECT_FALSE(g.init(4000.0f, 128, 1e9f));
    const float one = 1.0f;
    g.process(&one, 1, 500.0f);
    g.recompute(500.0f);
    EXPECT_TRUE(g.envelopeInTimeOrder().empty());

    GoertzelRunningFIR h = engineFilter();
    h.process(nullptr, 10, 500.0f);
    h.process(&one, -3, 500.0f);
    EXPECT_EQ(h.sampleCount(), 0);
    std::vector<float> x(300, 0.5f);
    h.process(x.data(), 300, std::numeric_limits<float>::infinity());
    EXPECT_EQ(h.outputIndex(), 300 - kW + 1);
}
