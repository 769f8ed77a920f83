// How the engine pulls and frames its input, and copes with callers that misbehave.
#include "engine_run.h"
#include "qomorse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using engine_run::make_engine;

std::vector<float> tone(float pitch, float rate, float seconds, float amplitude = 0.5f)
{
    std::vector<float> samples(size_t(rate * seconds));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = amplitude * std::sin(2.0f * float(M_PI) * pitch * float(i) / rate);
    return samples;
}

int frames_decoded(QoMorse& engine)
{
    std::vector<float> thresholds;
    return engine.takeThresholdF(thresholds);
}

// Records the sizes asked for and answers from a script of replies.
struct ScriptedCallback {
    std::vector<uint32_t> replies, requests;

    uint32_t operator()(void* dst, uint32_t nBytes)
    {
        requests.push_back(nBytes);
        if (requests.size() > replies.size())
            return 0;
        std::memset(dst, 0, std::min(replies[requests.size() - 1], nBytes));
        return replies[requests.size() - 1];
    }
};

// One frame at a time at the input rate; no data or no callback decodes nothing.
TEST(QoMorseDecodeLoop, AsksForOneFrameAtTheInputRate)
{
    QoMorse direct = make_engine(4000.0f);
    ScriptedCallback script{{512, 512, 512}, {}};
    EXPECT_TRUE(direct.decode(std::ref(script)));
    EXPECT_TRUE(direct.lastDecodeResult());
    EXPECT_EQ(script.requests, (std::vector<uint32_t>{512, 512, 512, 512}));
    EXPECT_EQ(frames_decoded(direct), 3);
    EXPECT_FALSE(direct.decode(std::ref(script)));
    EXPECT_FALSE(direct.lastDecodeResult());
    EXPECT_FALSE(direct.decode(qomorse_CBWaveformInp{}));  // no throw
    QoMorse decimated = make_engine(48000.0f, QOMORSE_SAMPLE_FORMAT_I16);
    ScriptedCallback one{{3072}, {}};
    EXPECT_TRUE(decimated.decode(std::ref(one)));
    EXPECT_EQ(one.requests.front(), 3072u);
    EXPECT_EQ(frames_decoded(decimated), 1);
}

TEST(QoMorseDecodeLoop, MisbehavingCallbacksEndTheCallWithAMessage)
{
    for (const auto& [reply, message] : {std::pair{510u, "provided bytes (510) are not multiple of sample size (4)"},
                                         {256u, "less samples were provided (64) than requested (128)"},
                                         {1024u, "more samples were provided (256) than requested (128)"}}) {
        QoMorse engine = make_engine(4000.0f);
        ScriptedCallback script{{512, reply, 512}, {}};
        testing::internal::CaptureStderr();
        EXPECT_TRUE(engine.decode(std::ref(script)));  // the first frame counts
        EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string("Failure during capture - ") + message + "\n");
        EXPECT_EQ(script.requests.size(), 2u);
        ScriptedCallback good{{512}, {}};
        EXPECT_TRUE(engine.decode(std::ref(good)));  // and decoding resumes
        EXPECT_EQ(frames_decoded(engine), 2);
    }
}

TEST(QoMorseDecodeLoop, NonFiniteAndHugeSamplesKeepStatisticsFinite)
{
    std::vector<float> samples = tone(700.0f, 8000.0f, 3.0f);
    const float bad[] = {NAN, INFINITY, -INFINITY, 1e30f, -3e38f};
    for (size_t i = 0; i < samples.size(); i += 97)
        samples[i] = bad[(i / 97) % std::size(bad)];
    const QoMorse::Statistics s = engine_run::decode_all(samples, 8000.0f).statistics;
    for (float v : {s.estimatedPitch_Hz, s.estimatedSpeed_wpm, s.signalThreshold, s.costFunction})
        EXPECT_TRUE(std::isfinite(v));
}

TEST(QoMorseDecodeLoop, ResampledRatesAndOddFrameSizesFindThePitchWithoutOverrun)
{
    // One sample per frame runs the whole analysis per sample: kept short.
    for (const auto& [samplesPerFrame, rate] : {std::pair{128, 11025.0f},
                                                {128, 22050.0f},
                                                {128, 44100.0f},
                                                {7, 8000.0f},
                                                {100, 8000.0f},
                                                {257, 8000.0f},
                                                {1000, 8000.0f},
                                                {2112, 4000.0f},
                                                {1, 4000.0f}}) {
        QoMorse engine = make_engine(rate, QOMORSE_SAMPLE_FORMAT_F32, samplesPerFrame);
        const std::vector<float> samples = tone(650.0f, rate, samplesPerFrame == 1 ? 0.05f : 1.5f);
        engine_run::SampleFeed feed{&samples};
        EXPECT_TRUE(engine.decode(std::ref(feed))) << samplesPerFrame << " at " << rate;
        EXPECT_TRUE(samplesPerFrame == 1 || std::fabs(engine.getStatistics().estimatedPitch_Hz - 650.0f) <= 8.0f)
            << samplesPerFrame << " at " << rate << ": " << engine.getStatistics().estimatedPitch_Hz;
    }
}

}  // namespace
