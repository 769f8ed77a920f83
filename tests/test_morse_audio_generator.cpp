#include "morse_audio_generator.h"

#include <gtest/gtest.h>

#include <cmath>
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
        const bool onGrid = std::fabs(k.durationMs - units * 60.0) < 1e-9;
        if (!onGrid)
            out += "?";
        else if (k.keyDown)
            out += units == 1 ? "." : units == 3 ? "-" : "?";
        else
            out += units == 1 ? "" : units == 3 ? " " : units == 7 ? " / " : "?";
    }
    return out;
}

std::vector<double> durations(const std::vector<MORSE_KEYING>& timeline)
{
    std::vector<double> out;
    for (const MORSE_KEYING& k : timeline)
        out.push_back(k.durationMs);
    return out;
}

std::vector<float> audio(const MORSE_AUDIO_CONFIG& config, const std::string& text)
{
    std::vector<float> samples;
    std::string error;
    EXPECT_TRUE(morse_audio_generate(config, text, &samples, nullptr, &error)) << error;
    return samples;
}

// Goertzel power of samples [begin, end) at one frequency.
double tone_power(const std::vector<float>& s, size_t begin, size_t end, double hz, double rate)
{
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * hz / rate);
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = begin; i < end; ++i) {
        const double s0 = s[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

double peak(const std::vector<float>& s, size_t begin, size_t end)
{
    double p = 0.0;
    for (size_t i = begin; i < end; ++i)
        p = std::max(p, std::fabs(static_cast<double>(s[i])));
    return p;
}

MORSE_AUDIO_CONFIG quiet_config()
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.leadSeconds = 0.0;
    c.tailSeconds = 0.0;
    return c;
}

}  // namespace

TEST(MorseTimeline, ParisAtTwentyWpmIsFiftyUnitsOf60Ms)
{
    const auto t = keying("PARIS ", morse_audio_default_config());
    EXPECT_EQ(as_code(t), ".--. .- .-. .. ... / ");
    EXPECT_DOUBLE_EQ(morse_audio_timeline_ms(t), 50 * 60.0);
}

TEST(MorseTimeline, SendsItuCodesProsignsAndLowerCase)
{
    const auto c = morse_audio_default_config();
    EXPECT_EQ(as_code(keying("cq <SK> 73?", c)), "-.-. --.- / ...-.- / --... ...-- ..--..");
    EXPECT_EQ(as_code(keying("@/\"$", c)), ".--.-. -..-. .-..-. ...-..-");
    EXPECT_EQ(as_code(keying("<AR><BT><KN>", c)), ".-.-. -...- -.--.");
}

TEST(MorseTimeline, WhiteSpaceRunsAreOneWordGap)
{
    const auto c = morse_audio_default_config();
    EXPECT_EQ(as_code(keying("E \t\n T", c)), ". / -");
    EXPECT_EQ(as_code(keying("  E", c)), " / .");
}

TEST(MorseTimeline, UnsendableCharactersAreSkippedAndReported)
{
    const auto c = morse_audio_default_config();
    std::string skipped;
    const auto t = keying("A#\xC3\xA9<T%>B<", c, &skipped);
    EXPECT_EQ(skipped, "#\xC3\xA9%<");
    EXPECT_EQ(as_code(t), ".- - -...");
}

TEST(MorseTimeline, FarnsworthStretchesOnlyTheGaps)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    const auto plain = keying("PARIS PARIS ", c);
    c.farnsworthWpm = 10.0;
    const auto slow = keying("PARIS PARIS ", c);
    ASSERT_EQ(slow.size(), plain.size());
    // A word at the overall speed takes 60 / 10 seconds.
    EXPECT_NEAR(morse_audio_timeline_ms(slow), 2 * 6000.0, 1e-6);
    for (size_t i = 0; i < slow.size(); ++i) {
        const bool innerGap = !plain[i].keyDown && plain[i].durationMs == 60.0;
        if (plain[i].keyDown || innerGap)
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
    int moved = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i].durationMs, nominal[i].durationMs, 0.1 * nominal[i].durationMs + 1e-9);
        moved += a[i].durationMs != nominal[i].durationMs;
    }
    EXPECT_GT(moved, static_cast<int>(a.size()) / 2);
    EXPECT_EQ(durations(keying("PARIS PARIS", c)), durations(a));
    c.seed = 2;
    EXPECT_NE(durations(keying("PARIS PARIS", c)), durations(a));
    c.jitterPercent = 100.0;
    for (const MORSE_KEYING& k : keying("PARIS PARIS", c))
        EXPECT_GE(k.durationMs, 0.2 * 60.0 - 1e-9);
}

TEST(MorseTimeline, RejectsBadSettings)
{
    const MORSE_AUDIO_CONFIG good = morse_audio_default_config();
    auto bad = [&](auto change) {
        MORSE_AUDIO_CONFIG c = good;
        change(c);
        std::vector<MORSE_KEYING> t;
        std::string error;
        return !morse_audio_timeline(c, "E", &t, nullptr, &error) && !error.empty();
    };
    EXPECT_TRUE(bad([](MORSE_AUDIO_CONFIG& c) { c.wpm = 0.0; }));
    EXPECT_TRUE(bad([](MORSE_AUDIO_CONFIG& c) { c.wpm = std::nan(""); }));
    EXPECT_TRUE(bad([](MORSE_AUDIO_CONFIG& c) { c.farnsworthWpm = 25.0; }));
    EXPECT_TRUE(bad([](MORSE_AUDIO_CONFIG& c) { c.pitchHz = 4000.0; }));
    EXPECT_TRUE(bad([](MORSE_AUDIO_CONFIG& c) { c.amplitude = 0.0; }));
    EXPECT_TRUE(bad([](MORSE_AUDIO_CONFIG& c) { c.sampleRateHz = 0; }));
    EXPECT_FALSE(bad([](MORSE_AUDIO_CONFIG&) {}));
}

TEST(MorseAudio, LeadKeyingAndTailLengths)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.leadSeconds = 0.25;
    c.tailSeconds = 0.75;
    const auto s = audio(c, "E");  // 60 ms = 480 samples at 8000 Hz
    ASSERT_EQ(s.size(), 2000u + 480u + 6000u);
    EXPECT_EQ(peak(s, 0, 2000), 0.0);
    EXPECT_GT(peak(s, 2000, 2480), 0.45);
    EXPECT_EQ(peak(s, 2480, s.size()), 0.0);
}

TEST(MorseAudio, KeyDownEnergySitsAtThePitch)
{
    MORSE_AUDIO_CONFIG c = quiet_config();
    c.pitchHz = 700.0;
    c.sampleRateHz = 12000;
    const auto s = audio(c, "T");  // 180 ms dash
    EXPECT_GT(tone_power(s, 0, s.size(), 700.0, 12000), 1000.0 * tone_power(s, 0, s.size(), 500.0, 12000));
    double meanSquare = 0.0;  // steady part: carrier power A^2 / 2
    for (size_t i = 600; i < 1560; ++i)
        meanSquare += s[i] * s[i] / 960.0;
    EXPECT_NEAR(meanSquare, 0.5 * 0.5 / 2.0, 1e-3);
}

TEST(MorseAudio, RiseTimeShapesTheEdges)
{
    MORSE_AUDIO_CONFIG c = quiet_config();
    const auto shaped = audio(c, "T");  // 5 ms = 40 samples at 8000 Hz
    EXPECT_LT(peak(shaped, 0, 8), 0.05);
    EXPECT_LT(peak(shaped, shaped.size() - 8, shaped.size()), 0.05);
    EXPECT_GT(peak(shaped, 40, 60), 0.49);
    c.riseMs = 0.0;
    const auto hard = audio(c, "T");
    EXPECT_GT(peak(hard, 0, 8), 0.45);
}

TEST(MorseAudio, NoiseHasTheRequestedSnr)
{
    for (uint32_t rate : {8000u, 48000u}) {
        MORSE_AUDIO_CONFIG c = quiet_config();
        c.sampleRateHz = rate;
        c.leadSeconds = 200000.0 / rate;
        c.addNoise = true;
        c.snrDb = 6.0;
        const auto s = audio(c, "");
        double sum = 0.0, sumSquares = 0.0;
        for (float v : s) {
            sum += v;
            sumSquares += static_cast<double>(v) * v;
        }
        const double variance = sumSquares / s.size() - (sum / s.size()) * (sum / s.size());
        const double noiseIn2500Hz = variance * 2500.0 / (rate / 2.0);
        EXPECT_NEAR(10.0 * std::log10((0.5 * 0.5 / 2.0) / noiseIn2500Hz), 6.0, 0.1) << rate;
        EXPECT_NEAR(sum / s.size(), 0.0, 0.01);
    }
}

TEST(MorseAudio, SeedsReproduceAndDiffer)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.addNoise = true;
    c.snrDb = 10.0;
    const auto a = audio(c, "TEST");
    EXPECT_EQ(audio(c, "TEST"), a);
    c.seed = 7;
    EXPECT_NE(audio(c, "TEST"), a);
}

TEST(MorseAudio, MixAddsIntoAnExistingBufferAtAnOffset)
{
    const MORSE_AUDIO_CONFIG c = quiet_config();
    std::vector<float> buffer(100, 1.0f);
    std::string error;
    ASSERT_TRUE(morse_audio_mix_tone(c, keying("E", c), 50, &buffer, &error)) << error;
    ASSERT_EQ(buffer.size(), 50u + 480u);
    EXPECT_EQ(peak(buffer, 0, 50), 1.0);
    EXPECT_GT(peak(buffer, 50, 150), 1.45);  // tone on top of the existing 1.0
    const std::vector<MORSE_KEYING> backwards = {{true, 10.0}, {false, -20.0}, {true, 5.0}};
    EXPECT_FALSE(morse_audio_mix_tone(c, backwards, 0, &buffer, &error));
}
