// How the engine pulls, converts and frames its input, and how it copes
// with callers that misbehave.
#include "engine_run.h"
#include "qomorse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

std::vector<float> tone(float pitch, float rate, float seconds, float amplitude = 0.5f)
{
    std::vector<float> samples(static_cast<size_t>(rate * seconds));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = amplitude * std::sin(2.0f * static_cast<float>(M_PI) * pitch * static_cast<float>(i) / rate);
    return samples;
}

QoMorse make_engine(float rate, int32_t format = QOMORSE_SAMPLE_FORMAT_F32, int32_t samplesPerFrame = 128)
{
    qomorse_Parameters p = QoMorse::getDefaultParameters();
    p.sampleRateInp = rate;
    p.sampleFormatInp = format;
    p.samplesPerFrame = samplesPerFrame;
    return QoMorse(p);
}

float peak_of(const std::vector<float>& values)
{
    float peak = 0.0f;
    for (float v : values)
        peak = std::max(peak, v);
    return peak;
}

int frames_decoded(QoMorse& engine)
{
    std::vector<float> thresholds;
    return engine.takeThresholdF(thresholds);
}

// Records the sizes asked for and answers from a script of replies.
struct ScriptedCallback {
    std::vector<uint32_t> replies;
    std::vector<uint32_t> requests;

    uint32_t operator()(void* dst, uint32_t nBytes)
    {
        requests.push_back(nBytes);
        if (requests.size() > replies.size())
            return 0;
        const uint32_t reply = replies[requests.size() - 1];
        std::memset(dst, 0, std::min(reply, nBytes));
        return reply;
    }
};

// One frame at a time, at the input rate; no data or no callback decodes
// nothing.
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
    struct Case {
        uint32_t reply;
        const char* message;
    };
    for (const Case c : {Case{510, "provided bytes (510) are not multiple of sample size (4)"},
                         Case{256, "less samples were provided (64) than requested (128)"},
                         Case{1024, "more samples were provided (256) than requested (128)"}}) {
        QoMorse engine = make_engine(4000.0f);
        ScriptedCallback script{{512, c.reply, 512}, {}};
        CaptureStderr();
        EXPECT_TRUE(engine.decode(std::ref(script)));  // the first frame counts
        EXPECT_EQ(GetCapturedStderr(), std::string("Failure during capture - ") + c.message + "\n");
        EXPECT_EQ(script.requests.size(), 2u);
        ScriptedCallback good{{512}, {}};
        EXPECT_TRUE(engine.decode(std::ref(good)));  // and decoding resumes
        EXPECT_EQ(frames_decoded(engine), 2);
    }
}

// The same tone in every sample format ends at the same pitch and nearly
// the same envelope as the float original.
TEST(QoMorseDecodeLoop, IntegerFormatsConvertToFullScaleFloat)
{
    const std::vector<float> original = tone(703.0f, 4000.0f, 1.0f, 0.4f);
    const engine_run::Result reference = engine_run::decode_all(original, 4000.0f);
    ASSERT_NEAR(reference.statistics.estimatedPitch_Hz, 703.0f, 0.5f);

    struct Format {
        int32_t format;
        int bytes;
        double offset;
        double scale;
    };
    for (const Format f : {Format{QOMORSE_SAMPLE_FORMAT_U8, 1, 128, 128}, Format{QOMORSE_SAMPLE_FORMAT_I8, 1, 0, 128},
                           Format{QOMORSE_SAMPLE_FORMAT_U16, 2, 32768, 32768},
                           Format{QOMORSE_SAMPLE_FORMAT_I16, 2, 0, 32768}}) {
        std::vector<uint8_t> raw(original.size() * f.bytes);
        for (size_t i = 0; i < original.size(); ++i) {
            const auto v = static_cast<int32_t>(std::lround(original[i] * f.scale + f.offset));
            std::memcpy(raw.data() + i * f.bytes, &v, f.bytes);  // little endian
        }
        QoMorse engine = make_engine(4000.0f, f.format);
        size_t next = 0;
        engine.decode([&](void* dst, uint32_t nBytes) -> uint32_t {
            if (raw.size() - next < nBytes)
                return 0;
            std::memcpy(dst, raw.data() + next, nBytes);
            next += nBytes;
            return nBytes;
        });
        EXPECT_NEAR(engine.getStatistics().estimatedPitch_Hz, 703.0f, 0.5f) << f.format;
        std::vector<float> envelope;
        ASSERT_EQ(engine.takeSignalF(envelope), 1500);
        const float tolerance = f.bytes == 1 ? 0.05f : 0.001f;  // quantisation of the format
        EXPECT_NEAR(peak_of(envelope) / peak_of(reference.signal), 1.0f, tolerance) << f.format;
    }
}

TEST(QoMorseDecodeLoop, NonFiniteAndHugeSamplesKeepStatisticsFinite)
{
    std::vector<float> samples = tone(700.0f, 8000.0f, 3.0f);
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), 1e30f, -3e38f};
    for (size_t i = 0; i < samples.size(); i += 97)
        samples[i] = bad[(i / 97) % std::size(bad)];
    const engine_run::Result r = engine_run::decode_all(samples, 8000.0f);
    const QoMorse::Statistics& s = r.statistics;
    for (float v : {s.estimatedPitch_Hz, s.estimatedSpeed_wpm, s.signalThreshold, s.costFunction})
        EXPECT_TRUE(std::isfinite(v));
}

TEST(QoMorseDecodeLoop, ResampledRatesAndOddFrameSizesFindThePitchWithoutOverrun)
{
    struct Case {
        int32_t samplesPerFrame;
        float rate;
    };
    for (const Case c : {Case{128, 11025.0f}, Case{128, 22050.0f}, Case{128, 44100.0f}, Case{7, 8000.0f},
                         Case{100, 8000.0f}, Case{257, 8000.0f}, Case{1000, 8000.0f}, Case{2112, 4000.0f}}) {
        QoMorse engine = make_engine(c.rate, QOMORSE_SAMPLE_FORMAT_F32, c.samplesPerFrame);
        const std::vector<float> samples = tone(650.0f, c.rate, 1.5f);
        engine_run::SampleFeed feed{&samples};
        EXPECT_TRUE(engine.decode(std::ref(feed))) << c.samplesPerFrame << " at " << c.rate;
        EXPECT_NEAR(engine.getStatistics().estimatedPitch_Hz, 650.0f, 8.0f) << c.samplesPerFrame << " at " << c.rate;
    }
    // One sample per frame runs the whole analysis per sample: keep it short.
    QoMorse engine = make_engine(4000.0f, QOMORSE_SAMPLE_FORMAT_F32, 1);
    const std::vector<float> samples = tone(650.0f, 4000.0f, 0.05f);
    engine_run::SampleFeed feed{&samples};
    EXPECT_TRUE(engine.decode(std::ref(feed)));
}

}  // namespace
