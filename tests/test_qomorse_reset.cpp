// QoMorse::reset(): an engine that has decoded, been reconfigured and given
// text returns to the state of a new one, without allocating.
#include "allocation_counter.h"
#include "engine_run.h"
#include "morse_audio_generator.h"
#include "qomorse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<float> cw(const std::string& text, double wpm, double pitchHz, uint32_t seed)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.sampleRateHz = 4000, config.wpm = wpm, config.pitchHz = pitchHz, config.seed = seed;
    config.addNoise = true, config.snrDb = 8.0, config.leadSeconds = 0.5, config.tailSeconds = 2.0;
    std::vector<float> samples;
    EXPECT_TRUE(morse_audio_generate(config, text, &samples, nullptr, nullptr));
    return samples;
}

struct Decoded {
    std::string text;
    QoMorse::Statistics statistics;
    std::vector<float> signal;
    std::vector<float> threshold;
    std::vector<std::vector<float>> spectrogram;
};

Decoded decode(QoMorse& engine, const std::vector<float>& samples)
{
    engine_run::SampleFeed feed{&samples};
    engine.decode(std::ref(feed));
    Decoded run{engine_run::take_text(engine), engine.getStatistics(), {}, {}, engine.getSpectrogram()};
    engine.takeSignalF(run.signal);
    engine.takeThresholdF(run.threshold);
    return run;
}

// An engine used every way a caller can, left with state in every stage.
void use(QoMorse& engine)
{
    qomorse_ParametersDecode p = QoMorse::getDefaultParametersDecode();
    p.speedRangeMin_wpm = 10.0f;
    p.frequencyRangeMin_hz = 400.0f;
    engine.setParametersDecode(p);
    engine.setCharacter("0", 'X');  // E reads as X
    const Decoded first = decode(engine, cw("CQ CQ DE ZR1ABC ZR1ABC K", 18.0, 720.0, 11u));
    EXPECT_NE(first.text.find("ZR1ABC"), std::string::npos) << first.text;
    const uint8_t tx[] = {'T', 'U'};
    engine.init(2, tx);
}

void expect_same(const Decoded& got, const Decoded& expected)
{
    EXPECT_EQ(got.text, expected.text);
    EXPECT_EQ(got.statistics.estimatedPitch_Hz, expected.statistics.estimatedPitch_Hz);
    EXPECT_EQ(got.statistics.estimatedSpeed_wpm, expected.statistics.estimatedSpeed_wpm);
    EXPECT_EQ(got.statistics.signalThreshold, expected.statistics.signalThreshold);
    EXPECT_EQ(got.statistics.costFunction, expected.statistics.costFunction);
    EXPECT_EQ(got.signal, expected.signal);
    EXPECT_EQ(got.threshold, expected.threshold);
    EXPECT_EQ(got.spectrogram, expected.spectrogram);
}

// An engine that has decoded is reset without allocating; one used every way (its code table changed,
// which is then copied anew) and a new one reset twice in a row: each decodes like a new engine.
TEST(QoMorseReset, AllocatesNothingAndDecodesLikeANewEngine)
{
    const std::vector<float> second = cw("TEST DE ZR2XYZ 599 5NN EEE", 26.0, 560.0, 23u);
    QoMorse fresh(QoMorse::getDefaultParameters());
    const Decoded expected = decode(fresh, second);
    ASSERT_NE(expected.text.find("ZR2XYZ"), std::string::npos) << expected.text;
    ASSERT_NE(expected.text.find("EEE"), std::string::npos) << expected.text;
    const long before = allocation_counter::count.load();
    fresh.reset();
    EXPECT_EQ(allocation_counter::count.load() - before, 0);
    expect_same(decode(fresh, second), expected);

    QoMorse engine(QoMorse::getDefaultParameters());
    use(engine);
    ASSERT_TRUE(engine.hasTxData());
    engine.reset();
    EXPECT_FALSE(engine.hasTxData());
    EXPECT_TRUE(engine.getRxData().empty());
    expect_same(decode(engine, second), expected);

    QoMorse unused(QoMorse::getDefaultParameters());
    unused.reset();
    unused.reset();
    expect_same(decode(unused, second), expected);
}

}  // namespace
