#include "morse_audio_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

namespace {

std::vector<MORSE_KEYING> keying(const std::string& text, const MORSE_AUDIO_CONFIG& config,
                                 std::string* skipped = nullptr)
{
    std::vector<MORSE_KEYING> timeline;
    std::string error;
    EXPECT_TRUE(morse_audio_timeline(config, text, &timeline, skipped, &error)) << error;
    return timeline;
}

// Reads a 20 WPM timeline back as dots, dashes, " " between characters and
// " / " between words; anything off the 60 ms grid shows as "?".
std::string as_code(const std::vector<MORSE_KEYING>& timeline)
{
    std::string out;
    for (const MORSE_KEYING& k : timeline) {
        const long units = std::lround(k.durationMs / 60.0);
        if (std::fabs(k.durationMs - units * 60.0) > 1e-9)
            out += "?";
        else if (k.keyDown)
            out += units == 1 ? "." : units == 3 ? "-" : "?";
        else
            out += units == 1 ? "" : units == 3 ? " " : units == 7 ? " / " : "?";
    }
    return out;
}

std::vector<float> audio(const MORSE_AUDIO_CONFIG& config, const std::string& text)
{
    std::vector<float> samples;
    std::string error;
    EXPECT_TRUE(morse_audio_generate(config, text, &samples, nullptr, &error)) << error;
    return samples;
}

double peak(const std::vector<float>& s, size_t begin, size_t end)
{
    double p = 0.0;
    for (size_t i = begin; i < end; ++i) p = std::max(p, std::fabs(static_cast<double>(s[i])));
    return p;
}

}  // namespace

TEST(MorseTimeline, TextBecomesItuKeyingWithParisTiming)
{
    const struct { const char* text; const char* code; const char* skipped; } cases[] = {
        {"PARIS ", ".--. .- .-. .. ... / ", ""},
        {"cq <SK> 73?/\"$<AR><BT>", "-.-. --.- / ...-.- / --... ...-- ..--.. -..-. .-..-. ...-..- .-.-. -...-", ""},
        {"  A#\xC3\xA9 \t\n<T%>B< E>", " / .- / - -... / .", "#\xC3\xA9%<>"},  // a run of white space is one word gap
    };
    for (const auto& c : cases) {
        std::string skipped;
        EXPECT_EQ(as_code(keying(c.text, morse_audio_default_config(), &skipped)), c.code) << c.text;
        EXPECT_EQ(skipped, c.skipped);
    }
    EXPECT_DOUBLE_EQ(morse_audio_timeline_ms(keying("PARIS ", morse_audio_default_config())), 50 * 60.0);
}

TEST(MorseTimeline, FarnsworthStretchesOnlyTheGaps)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    const auto plain = keying("PARIS PARIS ", c);
    c.farnsworthWpm = 10.0;
    const auto slow = keying("PARIS PARIS ", c);
    ASSERT_EQ(slow.size(), plain.size());
    EXPECT_NEAR(morse_audio_timeline_ms(slow), 2 * 6000.0, 1e-6);  // a word at 10 WPM takes 6 s
    for (size_t i = 0; i < slow.size(); ++i) {
        if (plain[i].keyDown || plain[i].durationMs == 60.0)
            EXPECT_DOUBLE_EQ(slow[i].durationMs, plain[i].durationMs) << i;
        else
            EXPECT_GT(slow[i].durationMs, plain[i].durationMs * 1.5) << i;
    }
    EXPECT_NEAR(slow.back().durationMs / slow[7].durationMs, 7.0 / 3.0, 1e-9);  // word : character gap
}

TEST(MorseTimeline, JitterStaysInBoundsAndFollowsTheSeed)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    const auto nominal = keying("PARIS PARIS", c);
    c.jitterPercent = 10.0;
    const auto a = keying("PARIS PARIS", c);
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR(a[i].durationMs, nominal[i].durationMs, 0.1 * nominal[i].durationMs + 1e-9);
    EXPECT_EQ(morse_audio_timeline_ms(keying("PARIS PARIS", c)), morse_audio_timeline_ms(a));
    c.seed = 2;
    EXPECT_NE(morse_audio_timeline_ms(keying("PARIS PARIS", c)), morse_audio_timeline_ms(a));
    c.jitterPercent = 100.0;  // a floor keeps every element audible
    for (const MORSE_KEYING& k : keying("PARIS PARIS", c)) EXPECT_GE(k.durationMs, 0.2 * 60.0 - 1e-9);
}

TEST(MorseAudio, ShapedSineAtThePitchBetweenSilentLeadAndTail)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.pitchHz = 700.0;
    c.sampleRateHz = 12000;
    c.leadSeconds = 0.25;
    const auto s = audio(c, "T");  // 180 ms = 2160 samples from 3000 on, 5 ms edges = 60 samples
    ASSERT_EQ(s.size(), 3000u + 2160u + 6000u);
    EXPECT_EQ(peak(s, 0, 3000), 0.0);
    EXPECT_LT(std::max(peak(s, 3000, 3010), peak(s, 5150, 5160)), 0.05);
    EXPECT_EQ(peak(s, 5160, s.size()), 0.0);
    auto amplitude = [&](double hz) {  // over the steady 160 ms: whole periods of both frequencies
        std::complex<double> sum = 0.0;
        for (size_t i = 3060; i < 4980; ++i)
            sum += double(s[i]) * std::polar(1.0, -2.0 * std::numbers::pi * hz * i / 12000.0);
        return 2.0 * std::abs(sum) / 1920.0;
    };
    EXPECT_NEAR(amplitude(700.0), 0.5, 1e-3);
    EXPECT_LT(amplitude(500.0), 1e-3);
}

TEST(MorseAudio, NoiseHasTheRequestedSnrAndFollowsTheSeed)
{
    for (uint32_t rate : {8000u, 48000u}) {
        MORSE_AUDIO_CONFIG c = morse_audio_default_config();
        c.sampleRateHz = rate;
        c.leadSeconds = 200000.0 / rate;
        c.addNoise = true;
        c.snrDb = 6.0;
        const auto s = audio(c, "");
        double sum = 0.0, sumSquares = 0.0;
        for (float v : s) {
            sum += v;
            sumSquares += double(v) * v;
        }
        const double variance = sumSquares / s.size() - (sum / s.size()) * (sum / s.size());
        const double noiseIn2500Hz = variance * 2500.0 / (rate / 2.0);
        EXPECT_NEAR(10.0 * std::log10((0.5 * 0.5 / 2.0) / noiseIn2500Hz), 6.0, 0.1) << rate;
        EXPECT_NEAR(sum / s.size(), 0.0, 0.01);
        EXPECT_EQ(audio(c, ""), s);
        c.seed = 7;
        EXPECT_NE(audio(c, ""), s);
    }
}

TEST(MorseAudio, MixAddsIntoAnExistingBufferAtAnOffset)
{
    const MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    std::vector<float> buffer(100, 1.0f);
    std::string error;
    ASSERT_TRUE(morse_audio_mix_tone(c, keying("E", c), 50, &buffer, &error)) << error;
    ASSERT_EQ(buffer.size(), 50u + 480u);
    EXPECT_EQ(peak(buffer, 0, 50), 1.0);
    EXPECT_GT(peak(buffer, 50, 150), 1.45);  // tone on top of the existing 1.0
    const std::vector<MORSE_KEYING> backwards = {{true, 10.0}, {false, -20.0}, {true, 5.0}};
    EXPECT_FALSE(morse_audio_mix_tone(c, backwards, 0, &buffer, &error));
}
