// Once warmed up, decoding allocates nothing: every global allocation in
// this test program is counted.
#include "allocation_counter.h"
#include "engine_run.h"
#include "morse_audio_generator.h"
#include "qomorse.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A strong signal, and a weak one whose characters are read again from the
// envelope.
class QoMorseAllocation : public testing::TestWithParam<double> {};

TEST_P(QoMorseAllocation, SteadyDecodingAllocatesNothingPerFrame)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.sampleRateHz = 4000;
    config.pitchHz = 650;
    config.wpm = 25;
    config.addNoise = true;
    config.snrDb = GetParam();
    std::vector<float> samples;
    ASSERT_TRUE(morse_audio_generate(config, "CQ CQ DE ZR1ABC ZR1ABC PSE K TEST TEST 599 5NN BK", &samples,
                                     nullptr, nullptr));

    QoMorse engine(QoMorse::getDefaultParameters());
    engine_run::SampleFeed feed{&samples, 0, 0};
    const qomorse_CBWaveformInp callback = std::ref(feed);
    std::vector<uint8_t> text;
    text.reserve(1024);  // the engine swaps in the caller's buffer; the backend keeps one this size
    std::vector<float> signal;
    std::vector<float> thresholds;
    std::string decoded;
    decoded.reserve(samples.size());
    long allocationsWhileDecoding = 0;
    int frames = 0;

    const size_t warmUp = 4000 * 6;
    for (size_t end = 128; end <= samples.size(); end += 128) {
        feed.limit = end;
        const long before = allocation_counter::count;
        engine.decode(callback);
        engine.takeRxData(text);
        engine.takeSignalF(signal);
        frames += engine.takeThresholdF(thresholds);
        if (end > warmUp)
            allocationsWhileDecoding += allocation_counter::count - before;
        decoded.append(text.begin(), text.end());
        text.clear();
    }
    EXPECT_GT(frames, 300);
    EXPECT_NE(decoded.find("TEST"), std::string::npos) << decoded;  // it did decode
    EXPECT_EQ(allocationsWhileDecoding, 0);
}

INSTANTIATE_TEST_SUITE_P(StrongAndWeak, QoMorseAllocation, testing::Values(6.0, -6.0));

}  // namespace
