// The engine end to end on generated Morse: text, speed and pitch.
#include "engine_run.h"
#include "morse_audio_generator.h"
#include "qomorse.h"
#include "text_metrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

const std::string kText = "CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 73 K";

struct Signal {
    double wpm, pitchHz, allowedCer;
    bool noisy = false;
    double snrDb = 0.0;
    uint32_t rate = 4000;
};

// Test names such as 20wpm_600Hz_minus6dB_4000Hz; the listing shows the same.
std::string signal_name(const Signal& s)
{
    std::string name =
        std::to_string(static_cast<int>(s.wpm)) + "wpm_" + std::to_string(static_cast<int>(s.pitchHz)) + "Hz";
    if (s.noisy)
        name += std::string("_") + (s.snrDb < 0 ? "minus" : "") + std::to_string(static_cast<int>(std::abs(s.snrDb))) +
                "dB";
    return name + "_" + std::to_string(s.rate) + "Hz";
}

std::string test_name(const testing::TestParamInfo<Signal>& info)
{
    return signal_name(info.param);
}

void PrintTo(const Signal& s, std::ostream* out)
{
    *out << signal_name(s);
}

std::vector<float> generate(const Signal& s, const std::string& text, double leadSeconds = 1.0)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.wpm = s.wpm, c.pitchHz = s.pitchHz, c.sampleRateHz = s.rate, c.addNoise = s.noisy, c.snrDb = s.snrDb;
    c.leadSeconds = leadSeconds, c.tailSeconds = 3.0;  // the reading point lies about two seconds back
    std::vector<float> samples;
    EXPECT_TRUE(morse_audio_generate(c, text, &samples, nullptr, nullptr));
    return samples;
}

struct Measured {
    std::string text;
    float medianSpeed = 0.0f, medianPitch = 0.0f;
};

float median(std::vector<float> v)
{
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v.empty() ? 0.0f : v[v.size() / 2];
}

// Decodes in quarter-second pieces; estimates from the middle, where the window is full of signal.
Measured decode(const std::vector<float>& samples, float rate)
{
    QoMorse engine = engine_run::make_engine(rate);
    const auto piece = size_t(rate / 4);
    std::vector<float> speeds, pitches;
    Measured m;
    engine_run::SampleFeed feed{&samples};
    for (size_t end = piece; end <= samples.size(); end += piece) {
        feed.limit = end;
        engine.decode(std::ref(feed));
        m.text += engine_run::take_text(engine);
        if (end > samples.size() / 4 && end < samples.size() * 3 / 4) {
            speeds.push_back(engine.getStatistics().estimatedSpeed_wpm);
            pitches.push_back(engine.getStatistics().estimatedPitch_Hz);
        }
    }
    return m.medianSpeed = median(speeds), m.medianPitch = median(pitches), m;
}

size_t printable_count(const std::string& text)
{
    return size_t(std::count_if(text.begin(), text.end(), [](unsigned char c) { return std::isgraph(c) != 0; }));
}

class Accuracy : public testing::TestWithParam<Signal> {};

TEST_P(Accuracy, DecodesTextSpeedAndPitch)
{
    const Signal s = GetParam();
    const Measured m = decode(generate(s, kText), static_cast<float>(s.rate));
    EXPECT_LE(text_metrics::cer_after_first_word(kText, m.text), s.allowedCer)
        << s.wpm << " WPM, " << s.pitchHz << " Hz, " << s.snrDb << " dB: " << m.text;
    if (s.snrDb >= 0.0) {
        EXPECT_NEAR(m.medianSpeed, s.wpm, s.wpm * 0.10);
        EXPECT_NEAR(m.medianPitch, s.pitchHz, 10.0);
    }
}

// Under 15 WPM the pitch drops in the final silence before the last K is read: 2 of 68 characters.
INSTANTIATE_TEST_SUITE_P(Clean, Accuracy,
                         testing::Values(Signal{12, 500, 0.03}, Signal{12, 900, 0.03}, Signal{20, 600, 0.02},
                                         Signal{20, 800, 0.02}, Signal{30, 700, 0.02}, Signal{30, 550, 0.02},
                                         Signal{45, 850, 0.02}, Signal{45, 650, 0.02},
                                         Signal{25, 700, 0.02, false, 0.0, 8000},
                                         Signal{25, 700, 0.02, false, 0.0, 11025}),
                         test_name);
INSTANTIATE_TEST_SUITE_P(TenDecibels, Accuracy,
                         testing::Values(Signal{12, 700, 0.05, true, 10.0}, Signal{20, 600, 0.05, true, 10.0},
                                         Signal{30, 800, 0.05, true, 10.0}, Signal{45, 700, 0.05, true, 10.0}),
                         test_name);
// Near the noise floor weak words are read again whole (-6 dB: a dot 15 dB over its own bandwidth).
INSTANTIATE_TEST_SUITE_P(NearTheNoiseFloor, Accuracy,
                         testing::Values(Signal{20, 700, 0.03, true, -6.0}, Signal{12, 700, 0.16, true, -9.0}),
                         test_name);

TEST(QoMorseQuiet, SilenceGivesNoTextAndNoiseNoFloodOfCharacters)
{
    EXPECT_EQ(printable_count(decode(std::vector<float>(4000 * 20, 0.0f), 4000.0f).text), 0u);
    // 20 s of noise as under a +10 dB signal, where 20 WPM would carry about 330 characters.
    const Measured m = decode(generate(Signal{20, 700, 0.0, true, 10.0}, "", 20.0), 4000.0f);
    EXPECT_LT(printable_count(m.text), 40u) << m.text;
}

}  // namespace
