// Per-frame analysis: pitch choice, pitch changes and the timing search.
#include "qomorse_impl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kFrame = 128;

std::vector<float> tone_frames(float pitch, int frames, float amplitude = 0.5f, int offset = 0)
{
    std::vector<float> samples(static_cast<size_t>(frames) * kFrame);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = amplitude * std::sin(2.0f * static_cast<float>(M_PI) * pitch *
                                          static_cast<float>(i + offset) / 4000.0f);
    return samples;
}

void run_frames(QoMorse::Impl& impl, std::vector<float> samples)
{
    for (size_t at = 0; at + kFrame <= samples.size(); at += kFrame)
        impl.decodeFrame(samples.data() + at);
}

int line_feeds(const QoMorse::Impl& impl)
{
    return static_cast<int>(std::count(impl.rxData.begin(), impl.rxData.end(), '\n'));
}

TEST(QoMorsePitch, SearchFindsTheStrongestBin)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    run_frames(impl, tone_frames(703.0f, 60));
    EXPECT_FLOAT_EQ(impl.statistics.estimatedPitch_Hz, 703.125f);  // bin 90
}

TEST(QoMorsePitch, SilenceHasNoPitch)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    run_frames(impl, std::vector<float>(kFrame * 40, 0.0f));
    EXPECT_EQ(impl.statistics.estimatedPitch_Hz, 0.0f);
    EXPECT_TRUE(impl.rxData.empty());
}

TEST(QoMorsePitch, FixedFrequencySkipsTheSearch)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    qomorse_ParametersDecode p = QoMorse::getDefaultParametersDecode();
    p.frequency_hz = 700.0f;
    impl.setParametersDecode(p);
    run_frames(impl, tone_frames(900.0f, 40));
    EXPECT_EQ(impl.statistics.estimatedPitch_Hz, 700.0f);
}

TEST(QoMorsePitch, SearchStaysInsideTheConfiguredRange)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    qomorse_ParametersDecode p = QoMorse::getDefaultParametersDecode();
    p.frequencyRangeMin_hz = 500.0f;
    p.frequencyRangeMax_hz = 800.0f;
    impl.setParametersDecode(p);
    std::vector<float> samples = tone_frames(400.0f, 60, 0.5f);
    const std::vector<float> weaker = tone_frames(750.0f, 60, 0.1f);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] += weaker[i];
    run_frames(impl, samples);
    EXPECT_NEAR(impl.statistics.estimatedPitch_Hz, 750.0f, 4.0f);
}

TEST(QoMorsePitch, OnlyAMoveOfMoreThanFiftyHertzStartsANewLine)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    qomorse_ParametersDecode p = QoMorse::getDefaultParametersDecode();
    p.frequency_hz = 700.0f;
    impl.setParametersDecode(p);
    run_frames(impl, tone_frames(700.0f, 2));
    EXPECT_EQ(line_feeds(impl), 1);  // the first tone counts as a change

    impl.symbol = "01";
    p.frequency_hz = 740.0f;
    impl.setParametersDecode(p);
    run_frames(impl, tone_frames(740.0f, 2));
    EXPECT_EQ(line_feeds(impl), 1);
    EXPECT_EQ(impl.symbol, "01");

    p.frequency_hz = 800.0f;
    impl.setParametersDecode(p);
    run_frames(impl, tone_frames(800.0f, 1));
    EXPECT_EQ(line_feeds(impl), 2);
    EXPECT_TRUE(impl.symbol.empty());
}

TEST(QoMorseSearch, AnEnvelopeThatNeverCrossesCostsThreeHundred)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    run_frames(impl, std::vector<float>(kFrame * 3, 0.0f));
    EXPECT_EQ(impl.statistics.costFunction, 300.0f);
    EXPECT_EQ(impl.bestRuns.size(), 1u);
}

TEST(QoMorseSearch, FixedSpeedTriesOnlyItsIndex)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    qomorse_ParametersDecode p = QoMorse::getDefaultParametersDecode();
    p.speed_wpm = 25.0f;
    impl.setParametersDecode(p);
    run_frames(impl, tone_frames(600.0f, 30));
    EXPECT_EQ(impl.statistics.estimatedSpeed_wpm, 25.0f);
    EXPECT_EQ(impl.bestSpeedIndex, 20);
    const int t = impl.bestThresholdIndex;
    EXPECT_TRUE(t == 10 || t == 30 || t == 50 || t == 70 || t == 90) << t;
}

TEST(QoMorseSearch, NonFiniteSpeedBoundsFallBackToTheLowestSpeed)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    impl.decodeParameters.speedRangeMin_wpm = NAN;
    impl.decodeParameters.speedRangeMax_wpm = NAN;
    run_frames(impl, tone_frames(600.0f, 4));
    EXPECT_EQ(impl.statistics.estimatedSpeed_wpm, 5.0f);
}

// A synthetic decimated envelope of key-down (1) and key-up (0) stretches,
// given in envelope values (30 per dot at 20 WPM with d = 8).
class QoMorseTiming : public testing::Test {
protected:
    QoMorse::Impl impl{QoMorse::getDefaultParameters()};

    void setEnvelope(const std::vector<std::pair<int, int>>& stretches)
    {
        impl.envelope.clear();
        for (const auto& [down, length] : stretches)
            impl.envelope.insert(impl.envelope.end(), static_cast<size_t>(length), down ? 1.0f : 0.0f);
        impl.decimation = 8;
        double sum = 0.0;
        for (float v : impl.envelope)
            sum += v;
        impl.thresholdUnit = sum / static_cast<double>(impl.envelope.size()) * 0.01;
        ++impl.framesDecoded;  // invalidates the cached crossings
        impl.bestCost = 1e6f;
    }

    float costAt20Wpm()
    {
        impl.tryHypothesis(15, 50);
        return impl.bestCost;
    }
};

TEST_F(QoMorseTiming, WellTimedCodeFitsWithLowCost)
{
    // K (-.-) and N (-.) at exactly 20 WPM.
    setEnvelope({{0, 100}, {1, 90}, {0, 30}, {1, 30}, {0, 30}, {1, 90}, {0, 90}, {1, 90}, {0, 30}, {1, 30}, {0, 100}});
    EXPECT_LT(costAt20Wpm(), 0.01f);
    const std::vector<Interval>& runs = impl.bestRuns;
    ASSERT_EQ(runs.size(), 11u);
    EXPECT_EQ(runs[1].kind, 1);  // dash
    EXPECT_EQ(runs[2].kind, 1);  // gap inside a character
    EXPECT_EQ(runs[3].kind, 0);  // dot
    EXPECT_EQ(runs[6].kind, 2);  // gap between characters
}

TEST_F(QoMorseTiming, AKeyDownOfExactlyTwoUnitsIsADot)
{
    setEnvelope({{0, 100}, {1, 60}, {0, 30}, {1, 61}, {0, 100}});
    costAt20Wpm();
    EXPECT_EQ(impl.bestRuns[1].kind, 0);
    EXPECT_EQ(impl.bestRuns[3].kind, 1);
}

TEST_F(QoMorseTiming, UniformlySlowKeyingIsNormalisedAway)
{
    // Dots of 1.2 units and dashes of 3.6: the same code at a lower speed.
    setEnvelope({{0, 100}, {1, 108}, {0, 36}, {1, 36}, {0, 36}, {1, 108}, {0, 108}, {1, 36}, {0, 100}});
    EXPECT_LT(costAt20Wpm(), 1.0f);
    EXPECT_NEAR(impl.bestRuns[1].lengthDots, 3.0f, 1e-5f);
    EXPECT_NEAR(impl.bestRuns[3].lengthDots, 1.0f, 1e-5f);
}

TEST_F(QoMorseTiming, DashesFourTimesTheDotCostAHundredMore)
{
    setEnvelope({{0, 100}, {1, 120}, {0, 30}, {1, 30}, {0, 30}, {1, 120}, {0, 90}, {1, 30}, {0, 100}});
    const float cost = costAt20Wpm();
    EXPECT_GE(cost, 100.0f);
    EXPECT_LT(cost, 101.0f);
}

TEST_F(QoMorseTiming, WordGapsAndLongSilencesAreClassified)
{
    setEnvelope({{0, 100}, {1, 30}, {0, 210}, {1, 30}, {0, 300}, {1, 90}, {0, 30}, {1, 30}, {0, 100}});
    costAt20Wpm();
    EXPECT_EQ(impl.bestRuns[2].kind, 3);  // 7 units
    EXPECT_EQ(impl.bestRuns[4].kind, 0);  // 10 units: none of the gaps
}

}  // namespace
