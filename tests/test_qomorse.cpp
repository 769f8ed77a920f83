// The engine's construction, decode setters, take family and character table (Zarvo never transmits).
#include "engine_run.h"
#include "morse_audio_generator.h"
#include "qomorse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

namespace {

using engine_run::make_engine;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Setups the input buffers cannot serve are refused with a message; the callback is never called.
TEST(QoMorseConstruction, BadSetupsAreRefused)
{
    const auto never_calls = [](QoMorse& engine) {
        int calls = 0;
        return !engine.decode([&](void*, uint32_t n) -> uint32_t { return ++calls, n; }) && calls == 0;
    };
    for (const auto& [rate, format, samplesPerFrame, message] :
         {std::tuple{4000.0f, 7, 128, "Invalid sample format: 7\n"},
          {8000.0f, QOMORSE_SAMPLE_FORMAT_F32, 2112, "Invalid input sample rate: 8000\n"},
          {0.0f, QOMORSE_SAMPLE_FORMAT_F32, 128, "Invalid input sample rate"},
          {-8000.0f, QOMORSE_SAMPLE_FORMAT_F32, 128, "Invalid input sample rate"},
          {NAN, QOMORSE_SAMPLE_FORMAT_F32, 128, "Invalid input sample rate"},
          {INFINITY, QOMORSE_SAMPLE_FORMAT_F32, 128, "Invalid input sample rate"},
          {96000.0f, QOMORSE_SAMPLE_FORMAT_F32, 128, "Invalid input sample rate"}}) {
        CaptureStderr();
        QoMorse engine = make_engine(rate, format, samplesPerFrame);
        EXPECT_EQ(GetCapturedStderr().rfind(message, 0), 0u) << rate;
        EXPECT_TRUE(never_calls(engine)) << rate;
    }
    for (int32_t samplesPerFrame : {0, -5, 5000}) {
        CaptureStderr();
        QoMorse engine = make_engine(4000.0f, QOMORSE_SAMPLE_FORMAT_F32, samplesPerFrame);
        EXPECT_NE(GetCapturedStderr().find("Invalid samples per frame"), std::string::npos);
        EXPECT_EQ(engine.getSamplesPerFrame(), 128);
    }
}

// Non-finite values fall back with a message; cutoffs beyond Nyquist keep the filters stable.
TEST(QoMorseDecodeParameters, NonFiniteAndOutOfRangeValuesKeepTheEngineWorking)
{
    std::vector<float> tone(8000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.5f * std::sin(2.0f * float(M_PI) * 700.0f * float(i) / 4000.0f);
    qomorse_ParametersDecode p;
    p.frequency_hz = NAN, p.frequencyRangeMin_hz = INFINITY, p.speedRangeMax_wpm = NAN;
    CaptureStderr();
    const engine_run::Result r = engine_run::decode_all(tone, 4000.0f, p);
    const std::string messages = GetCapturedStderr();
    for (const char* name : {"frequency_hz", "frequencyRangeMin_hz", "speedRangeMax_wpm"})
        EXPECT_NE(messages.find(name), std::string::npos) << name;
    EXPECT_NEAR(r.statistics.estimatedPitch_Hz, 700.0f, 8.0f);
    EXPECT_TRUE(std::isfinite(r.statistics.costFunction));
    for (float cutoff : {-3000.0f, 2000.0f, 2500.0f, 1e9f}) {
        qomorse_ParametersDecode q;
        q.frequency_hz = 700.0f, q.frequencyRangeMin_hz = cutoff, q.frequencyRangeMax_hz = cutoff;
        const engine_run::Result wide = engine_run::decode_all(tone, 4000.0f, q);
        for (float v : wide.signal)
            ASSERT_LT(std::fabs(v), 100.0f) << cutoff;  // also false for NaN
        EXPECT_TRUE(std::isfinite(wide.statistics.signalThreshold)) << cutoff;
    }
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
    std::vector<float> signal = {42.0f}, thresholds;
    EXPECT_EQ(engine.takeSignalF(signal), 1500);  // three seconds of 2 ms values
    EXPECT_EQ(engine.takeSignalF(signal), 0);
    EXPECT_EQ(signal.size(), 1500u);                   // left as it was
    EXPECT_EQ(engine.takeThresholdF(thresholds), 10);  // one per frame
    EXPECT_EQ(engine.takeThresholdF(thresholds), 0);
    EXPECT_EQ(engine.getStatistics().signalPeak, 0.0f);

    // The statistics name the largest value of the window a take gives.
    std::vector<float> tone(4000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = (i / 400) % 2 ? 0.0f : 0.5f * std::sin(2.0f * float(M_PI) * 700.0f * float(i) / 4000.0f);
    engine_run::SampleFeed toneFeed{&tone};
    engine.decode(std::ref(toneFeed));
    ASSERT_EQ(engine.takeSignalF(signal), 1500);
    EXPECT_GT(engine.getStatistics().signalPeak, 0.0f);
    EXPECT_EQ(engine.getStatistics().signalPeak, *std::max_element(signal.begin(), signal.end()));
}

// A remapped code prints its new character, the old code nothing; each engine keeps its own table.
TEST(QoMorseCharacterTable, SetCharacterChangesWhatThisEngineReads)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.sampleRateHz = 4000, c.leadSeconds = 1.0, c.tailSeconds = 3.0;
    std::vector<float> audio;
    ASSERT_TRUE(morse_audio_generate(c, "CQ CQ DE ZR1ABC K", &audio, nullptr, nullptr));
    QoMorse engine(QoMorse::getDefaultParameters());
    EXPECT_TRUE(engine.setCharacter("1010", 'X'));  // the code of C
    EXPECT_TRUE(engine.setCharacter("1101", 'C'));  // the code of Q
    EXPECT_FALSE(engine.setCharacter(nullptr, 'E'));
    engine_run::SampleFeed feed{&audio};
    engine.decode(std::ref(feed));
    EXPECT_NE(engine_run::take_text(engine).find("XC XC DE ZR1ABX K"), std::string::npos);
    EXPECT_NE(engine_run::decode_all(audio, 4000.0f).text.find("CQ CQ DE ZR1ABC K"), std::string::npos);
}

}  // namespace
