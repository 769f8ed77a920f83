#include "goertzel_running_fir.h"
#include "saturating_counter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
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

// Values of the newest count windows of x, oldest first, one window at a
// time straight from the definition.
std::vector<float> reference(const std::vector<float>& x, float hz, size_t count)
{
    const size_t first = x.size() - kW + 1 - count;
    const float w = static_cast<float>(2.0 * kPi * static_cast<double>(hz / 4000.0f));
    const float sine = std::sin(w), cosine = std::cos(w), coefficient = 2.0f * cosine;
    std::vector<float> e(count);
    for (size_t i = 0; i < count; ++i) {
        double s1 = 0.0, s2 = 0.0;
        for (int k = 0; k < kW; ++k) {
            const float window = static_cast<float>(0.54 - 0.46 * std::cos(2.0 * kPi * k / kW));
            const double s = coefficient * s1 + (window * x[first + i + k]) - s2;
            s2 = s1;
            s1 = s;
        }
        const double re = cosine * s1 - s2, im = -sine * s1;
        e[i] = static_cast<float>(re * re + im * im);
    }
    return e;
}

}  // namespace

TEST(GoertzelTone, FirstValueAt128thSampleThenSteadyOnFrequencyAndSmallOffIt)
{
    // Silence, then 500 Hz: bin 16 of a 128-sample window. A periodic Hamming
    // window sums to 0.54 W and the mirror image leaks nothing, so a unit
    // tone's power is exactly (0.54 W / 2)^2.
    std::vector<float> x = tone(500.0, 800);
    std::fill(x.begin(), x.begin() + 200, 0.0f);
    GoertzelRunningFIR on = engineFilter(), off = engineFilter();
    for (int i = 0; i < kW - 1; ++i) on.process(&x[i], 1, 500.0f);
    EXPECT_EQ(on.outputIndex(), 0);
    on.process(&x[kW - 1], 800 - (kW - 1), 500.0f);
    off.process(x.data(), 800, 600.0f);
    const int count = 800 - kW + 1;
    ASSERT_EQ(on.outputIndex(), count);
    const std::vector<float>& e = on.envelopeRing();
    EXPECT_EQ(std::vector<float>(e.begin(), e.begin() + count), reference(x, 500.0f, count));
    const double steady = std::pow(0.54 * kW / 2, 2);
    for (int i = 200; i < count; ++i) {  // windows wholly inside the tone
        EXPECT_NEAR(e[i], steady, steady * 1e-4) << i;
        EXPECT_LT(off.envelopeRing()[i], 1e-3 * steady) << i;  // 100 Hz lies beyond the main lobe
    }
}

TEST(GoertzelTone, FastPathBitIdenticalToOneWindowAtATimeForAnyBlocking)
{
    const std::vector<float> x = tone(733.3, 40000);
    for (int block : {1, 7, 128, 1000, 30000}) {
        GoertzelRunningFIR g = engineFilter();
        for (size_t at = 0; at < x.size(); at += block)
            g.process(x.data() + at, static_cast<int>(std::min<size_t>(block, x.size() - at)), 733.3f);
        EXPECT_EQ(g.envelopeInTimeOrder(), reference(x, 733.3f, g.envelopeSize())) << block;
    }
}

TEST(GoertzelRecompute, PitchChangeEqualsFilteringAtTheNewPitchFromTheStart)
{
    const std::vector<float> x = tone(640.0, 15007);
    GoertzelRunningFIR moved = engineFilter(), direct = engineFilter();
    moved.process(x.data(), static_cast<int>(x.size()), 500.0f);
    moved.recompute(640.0f);
    direct.process(x.data(), static_cast<int>(x.size()), 640.0f);
    EXPECT_EQ(moved.envelopeInTimeOrder(), direct.envelopeInTimeOrder());
}

TEST(GoertzelBadInput, RefusedSizesAndArgumentsChangeNothing)
{
    GoertzelRunningFIR g = engineFilter();
    const float one = 1.0f;
    g.process(nullptr, 10, 500.0f);
    g.process(&one, -3, 500.0f);
    EXPECT_EQ(g.sampleCount(), 0);
    EXPECT_FALSE(g.init(4000.0f, 128, 0.01f) || g.init(4000.0f, 0, 3.0f) || g.init(4000.0f, 128, 1e9f) ||
                 g.init(std::numeric_limits<float>::quiet_NaN(), 128, 3.0f));
    g.process(&one, 1, 500.0f);
    g.recompute(500.0f);
    EXPECT_TRUE(g.envelopeInTimeOrder().empty());
}

TEST(GoertzelSampleCount, SaturatesInsteadOfWrapping)
{
    constexpr int32_t top = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(saturating_increment(0), 1);
    EXPECT_EQ(saturating_increment(top - 1), top);
    EXPECT_EQ(saturating_increment(top), top);
}
