// The engine's construction, setters and take family.
#include "engine_run.h"
#include "qomorse.h"
#include "qomorse_impl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

qomorse_Parameters parameters_with(float rate, int32_t format, int32_t samplesPerFrame = 128)
{
    qomorse_Parameters p = QoMorse::getDefaultParameters();
    p.sampleRateInp = rate;
    p.sampleFormatInp = format;
    p.samplesPerFrame = samplesPerFrame;
    return p;
}

TEST(QoMorseConstruction, SampleSizeFollowsTheFormat)
{
    const int32_t expected[] = {0, 1, 1, 2, 2, 4};
    for (int32_t format = 0; format <= 5; ++format)
        EXPECT_EQ(QoMorse(parameters_with(4000.0f, format)).getSampleSizeBytesInp(), expected[format]);
    CaptureStderr();
    QoMorse invalid(parameters_with(4000.0f, 7));
    EXPECT_EQ(GetCapturedStderr(), "Invalid sample format: 7\n");
    EXPECT_EQ(invalid.getSampleSizeBytesInp(), 0);
}

TEST(QoMorseConstruction, RatesThatWouldOverrunTheInputBuffersAreRefused)
{
    for (float rate : {0.0f, -8000.0f, NAN, INFINITY, 96000.0f}) {
        CaptureStderr();
        QoMorse engine(parameters_with(rate, QOMORSE_SAMPLE_FORMAT_F32));
        EXPECT_NE(GetCapturedStderr().find("Invalid input sample rate"), std::string::npos) << rate;
        int calls = 0;
        EXPECT_FALSE(engine.decode([&](void*, uint32_t) -> uint32_t { return ++calls, 0; }));
        EXPECT_EQ(calls, 0);
    }
    for (int32_t samplesPerFrame : {0, -5, 5000}) {
        CaptureStderr();
        QoMorse engine(parameters_with(4000.0f, QOMORSE_SAMPLE_FORMAT_F32, samplesPerFrame));
        EXPECT_NE(GetCapturedStderr().find("Invalid samples per frame"), std::string::npos);
        EXPECT_EQ(engine.getSamplesPerFrame(), 128);
    }
}

TEST(QoMorseDecodeParameters, OnlyAChangedCutoffRedesignsItsFilter)
{
    QoMorse::Impl impl(parameters_with(48000.0f, QOMORSE_SAMPLE_FORMAT_F32));
    impl.highPass.b0 = 123.0f;  // marks that a redesign would overwrite
    impl.lowPass.b0 = 456.0f;
    qomorse_ParametersDecode p = QoMorse::getDefaultParametersDecode();
    p.speed_wpm = 20.0f;
    EXPECT_TRUE(impl.setParametersDecode(p));
    EXPECT_EQ(impl.highPass.b0, 123.0f);
    EXPECT_EQ(impl.lowPass.b0, 456.0f);
    EXPECT_EQ(impl.decodeParameters.speed_wpm, 20.0f);

    p.frequencyRangeMax_hz = 900.0f;
    EXPECT_TRUE(impl.setParametersDecode(p));
    EXPECT_EQ(impl.highPass.b0, 123.0f);
    OnePoleFilter expected;
    expected.designLowPass(900.0f, 48000.0f);
    EXPECT_EQ(impl.lowPass.b0, expected.b0);
    EXPECT_EQ(impl.lowPass.a1, expected.a1);
}

TEST(QoMorseDecodeParameters, FiltersFollowTheOnePoleDesign)
{
    OnePoleFilter filter;
    filter.designHighPass(200.0f, 4000.0f);
    double alpha = std::cos(M_PI / 10) / (1.0 + std::sin(M_PI / 10));
    EXPECT_NEAR(filter.b0, (1.0 + alpha) / 2.0, 1e-6);
    EXPECT_EQ(filter.b1, -filter.b0);
    EXPECT_NEAR(filter.a1, -alpha, 1e-6);

    filter.designLowPass(1200.0f, 48000.0f);
    alpha = std::cos(M_PI / 20) / (1.0 + std::sin(M_PI / 20));
    EXPECT_NEAR(filter.b0, (1.0 - alpha) / 2.0, 1e-6);
    EXPECT_EQ(filter.b1, filter.b0);
    EXPECT_NEAR(filter.a1, -alpha, 1e-6);
}

TEST(QoMorseDecodeParameters, CutoffsBeyondNyquistKeepTheFilterStable)
{
    for (float cutoff : {-1000.0f, -3000.0f, 2000.0f, 2500.0f, 1e9f}) {
        OnePoleFilter filter;
        filter.designHighPass(cutoff, 4000.0f);
        std::vector<float> square(4000);
        for (size_t i = 0; i < square.size(); ++i)
            square[i] = (i % 7 < 3) ? 1.0f : -1.0f;
        filter.process(square.data(), static_cast<int>(square.size()));
        EXPECT_LT(std::fabs(filter.y1), 100.0f) << cutoff;  // also false for NaN
    }
}

TEST(QoMorseDecodeParameters, NonFiniteValuesFallBackToDefaults)
{
    qomorse_ParametersDecode p;
    p.frequency_hz = NAN;
    p.frequencyRangeMin_hz = INFINITY;
    p.speedRangeMax_wpm = NAN;
    QoMorse engine(QoMorse::getDefaultParameters());
    CaptureStderr();
    EXPECT_TRUE(engine.setParametersDecode(p));
    const std::string messages = GetCapturedStderr();
    for (const char* name : {"frequency_hz", "frequencyRangeMin_hz", "speedRangeMax_wpm"})
        EXPECT_NE(messages.find(name), std::string::npos) << name;

    std::vector<float> tone(8000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.5f * std::sin(2.0f * static_cast<float>(M_PI) * 700.0f * static_cast<float>(i) / 4000.0f);
    engine_run::SampleFeed feed{&tone};
    engine.decode(std::ref(feed));
    const QoMorse::Statistics& s = engine.getStatistics();
    EXPECT_NEAR(s.estimatedPitch_Hz, 700.0f, 8.0f);
    EXPECT_TRUE(std::isfinite(s.costFunction));
}

TEST(QoMorseEncodeParameters, VolumeMustLieInTheUnitRangeAndIsStoredBelowOne)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    qomorse_ParametersEncode e = QoMorse::getDefaultParametersEncode();
    e.volume = 1.0f;
    e.frequency_hz = 600.0f;
    ASSERT_TRUE(impl.setParametersEncode(e));
    EXPECT_FLOAT_EQ(impl.encodeParameters.volume, 0.99f);

    e.frequency_hz = 900.0f;
    for (float volume : {1.5f, -0.1f, NAN}) {
        e.volume = volume;
        CaptureStderr();
        EXPECT_FALSE(impl.setParametersEncode(e));
        EXPECT_EQ(GetCapturedStderr().rfind("Invalid volume: ", 0), 0u);
    }
    EXPECT_EQ(impl.encodeParameters.frequency_hz, 600.0f);  // the old record stays
}

TEST(QoMorseTransmitText, PendingTextSuspendsDecoding)
{
    QoMorse engine(QoMorse::getDefaultParameters());
    std::vector<uint8_t> text(300, 'E');
    CaptureStderr();
    EXPECT_FALSE(engine.init(-1, text.data()));
    EXPECT_TRUE(engine.init(300, text.data()));
    EXPECT_EQ(GetCapturedStderr(), "Negative data size: -1\nTruncating data from 300 to 256 bytes\n");
    EXPECT_TRUE(engine.hasTxData());
    int calls = 0;
    EXPECT_FALSE(engine.decode([&](void*, uint32_t n) { return ++calls, n; }));
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(engine.init(0, text.data()));
    EXPECT_FALSE(engine.hasTxData());
}

TEST(QoMorseTake, MovesTheDataOutOnceAndLeavesAnEmptyEngineAlone)
{
    QoMorse engine(QoMorse::getDefaultParameters());
    std::vector<uint8_t> text = {'x'};
    EXPECT_EQ(engine.takeRxData(text), 0);
    EXPECT_EQ(text, std::vector<uint8_t>{'x'});

    const std::vector<float> silence(128 * 10, 0.0f);
    engine_run::SampleFeed feed{&silence};
    engine.decode(std::ref(feed));
    std::vector<float> signal = {42.0f};
    EXPECT_EQ(engine.takeSignalF(signal), 1500);  // three seconds of 2 ms values
    EXPECT_EQ(signal.size(), 1500u);
    EXPECT_EQ(engine.takeSignalF(signal), 0);
    EXPECT_EQ(signal.size(), 1500u);
    std::vector<float> thresholds;
    EXPECT_EQ(engine.takeThresholdF(thresholds), 10);  // one per frame
    EXPECT_EQ(engine.takeThresholdF(thresholds), 0);
}

TEST(QoMorseCharacterTable, SetCharacterGivesTheCharacterExactlyOneCode)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    QoMorse::Impl other(QoMorse::getDefaultParameters());
    EXPECT_TRUE(impl.setCharacter("0101", 'A'));
    EXPECT_EQ(impl.morseCode.at("0101"), 'A');
    EXPECT_EQ(impl.morseCode.count("01"), 0u);

    EXPECT_TRUE(impl.setCharacter("0101", 'Z'));  // replaces A's new code
    EXPECT_EQ(impl.morseCode.at("0101"), 'Z');
    EXPECT_EQ(impl.morseCode.count("1100"), 0u);
    EXPECT_EQ(impl.morseCode.size(), kMorseCode.size() - 1);  // A has no code now
    EXPECT_FALSE(impl.setCharacter(nullptr, 'E'));
    EXPECT_EQ(other.morseCode.at("01"), 'A');  // each engine has its own copy
}

}  // namespace
