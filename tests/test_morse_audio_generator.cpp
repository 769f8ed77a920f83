// The Morse audio generator, measured back from its audio: keying, tone, noise, band conditions.
#include "morse_audio_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

using cd = std::complex<double>;
constexpr double kPi = std::numbers::pi;

std::vector<MORSE_KEYING> keying(const std::string& text, const MORSE_AUDIO_CONFIG& config,
                                 std::string* skipped = nullptr)
{
    std::vector<MORSE_KEYING> timeline;
    std::string error;
    EXPECT_TRUE(morse_audio_timeline(config, text, &timeline, skipped, &error)) << error;
    return timeline;
}

// A 20 WPM timeline as ".-", " " between characters, " / " between words, "?" off the grid.
std::string as_code(const std::vector<MORSE_KEYING>& timeline)
{
    std::string out;
    for (const MORSE_KEYING& k : timeline) {
        const long units = std::lround(k.durationMs / 60.0);
        if (std::fabs(k.durationMs - units * 60.0) > 1e-9)
            out += "?";
        else
            out += k.keyDown ? (units == 1   ? "."
                                : units == 3 ? "-"
                                             : "?")
                             : (units == 1   ? ""
                                : units == 3 ? " "
                                : units == 7 ? " / "
                                             : "?");
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
    return std::fabs(double(*std::max_element(s.begin() + begin, s.begin() + end,
                                              [](float a, float b) { return std::fabs(a) < std::fabs(b); })));
}

// 5 ms blocks at 4000 Hz hold whole periods of 1000 Hz: no image term.
constexpr uint32_t kRate = 4000;
constexpr double kPitch = 1000.0;
constexpr size_t kBlock = 20;
constexpr double kBlockSeconds = double(kBlock) / kRate;

MORSE_AUDIO_CONFIG band(MORSE_CHANNEL channel, uint32_t rate = kRate, double pitch = kPitch)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.sampleRateHz = rate, c.pitchHz = pitch, c.channel = channel;
    return c;
}

// Characters enough to key for about `seconds`, one word.
std::string repeated(char c, const MORSE_AUDIO_CONFIG& config, double seconds)
{
    return std::string(size_t(2000.0 * seconds / morse_audio_timeline_ms(keying(std::string(2, c), config))) + 1, c);
}

// Complex amplitude of a tone, Hann-windowed when asked (to part two close tones).
cd amplitude_at(const std::vector<float>& s, size_t first, size_t length, double hz, double rate, bool hann = false)
{
    cd sum = 0.0;
    double weights = 0.0;
    for (size_t i = 0; i < length; ++i) {
        const double w = hann ? 0.5 - 0.5 * std::cos(2.0 * kPi * (i + 0.5) / length) : 1.0;
        sum += w * double(s[first + i]) * std::polar(1.0, -2.0 * kPi * hz * (first + i) / rate);
        weights += w;
    }
    return 2.0 * sum / weights;
}

// Block gains where the steady keying is key-down clear of every edge (0 elsewhere).
std::vector<cd> key_down_gains(const MORSE_AUDIO_CONFIG& c, const std::string& text)
{
    MORSE_AUDIO_CONFIG steadyConfig = c;
    steadyConfig.channel = MORSE_CHANNEL_NONE, steadyConfig.qsbDepthDb = 0.0;
    const std::vector<float> s = audio(c, text), steady = audio(steadyConfig, text);
    auto gain = [](const auto& v, size_t b) { return amplitude_at(v, b * kBlock, kBlock, kPitch, kRate); };
    auto full = [&](size_t b) { return std::abs(std::abs(gain(steady, b)) - c.amplitude) < 1e-4; };
    std::vector<cd> gains;  // a gap marked by a zero, so lags do not reach across it
    for (size_t b = 1; (b + 2) * kBlock <= s.size(); ++b)
        gains.push_back(full(b - 1) && full(b) && full(b + 1) ? gain(s, b) : 0.0);
    return gains;
}

// Mean power and the ratio in dB of the largest to the smallest key-down gain.
std::pair<double, double> power_and_swing_db(const std::vector<cd>& v)
{
    double sum = 0.0, n = 0.0, lo = 1e9, hi = 0.0;
    for (cd g : v)
        if (g != 0.0)
            sum += std::norm(g), ++n, lo = std::min(lo, std::abs(g)), hi = std::max(hi, std::abs(g));
    return {sum / n, 20.0 * std::log10(hi / lo)};
}

// Normalised correlation of the complex gain with itself `lag` blocks later.
double correlation(const std::vector<cd>& v, size_t lag)
{
    cd cross = 0.0;
    double a = 0.0, b = 0.0;
    for (size_t i = 0; i + lag < v.size(); ++i)
        if (v[i] != 0.0 && v[i + lag] != 0.0)
            cross += v[i] * std::conj(v[i + lag]), a += std::norm(v[i]), b += std::norm(v[i + lag]);
    return std::abs(cross) / std::sqrt(a * b);
}

// Runs of non-zero samples separated by at least `gap` zeros: {first, length}.
std::vector<std::pair<size_t, size_t>> bursts(const std::vector<float>& s, size_t gap)
{
    std::vector<std::pair<size_t, size_t>> out;
    for (size_t i = 0, last = 0; i < s.size(); ++i) {
        if (s[i] == 0.0f)
            continue;
        if (out.empty() || i - last > gap)
            out.push_back({i, 0});
        out.back().second = i + 1 - out.back().first;
        last = i;
    }
    return out;
}

// Frequency from the linearly interpolated rising zero crossings in [first, end).
double crossing_hz(const std::vector<float>& s, size_t first, size_t end, double rate)
{
    double t0 = -1.0, t1 = 0.0;
    int periods = -1;
    for (size_t i = first; i + 1 < end; ++i)
        if (s[i] < 0.0f && s[i + 1] >= 0.0f) {
            t1 = i + s[i] / (s[i] - s[i + 1]);
            t0 = t0 < 0.0 ? t1 : t0;
            ++periods;
        }
    return periods * rate / (t1 - t0);
}

}  // namespace

TEST(MorseTimeline, TextBecomesItuKeyingWithParisTiming)
{
    const struct {
        const char* text;
        const char* code;
        const char* skipped;
    } cases[] = {
        {"PARIS ", ".--. .- .-. .. ... / ", ""},
        {"cq <SK> 73?/\"$<AR><BT>", "-.-. --.- / ...-.- / --... ...-- ..--.. -..-. .-..-. ...-..- .-.-. -...-", ""},
        {"  A#\xC3\xA9 \t\n<T%>B< E>", " / .- / - -... / .", "#\xC3\xA9%<>"},  // a run of white space is one word gap
    };
    for (const auto& c : cases) {
        std::string skipped;
        EXPECT_EQ(as_code(keying(c.text, morse_audio_default_config(), &skipped)), c.code) << c.text;
        EXPECT_EQ(skipped, c.skipped);
    }
}

TEST(MorseTimeline, FarnsworthStretchesOnlyTheGapsAndTheDahRatioOnlyTheDashes)
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
    c.dahRatio = 4.5;
    const auto heavy = keying("TE", c);
    EXPECT_NEAR(heavy[0].durationMs / heavy[2].durationMs, 4.5, 1e-9);
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
    for (const MORSE_KEYING& k : keying("PARIS PARIS", c))
        EXPECT_GE(k.durationMs, 0.2 * 60.0 - 1e-9);
}

TEST(MorseAudio, ShapedSineAtThePitchBetweenSilentLeadAndTail)
{
    MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE, 12000, 700.0);
    c.leadSeconds = 0.25;
    const auto s = audio(c, "T");  // 180 ms = 2160 samples from 3000 on, 5 ms edges = 60 samples
    ASSERT_EQ(s.size(), 3000u + 2160u + 6000u);
    EXPECT_EQ(peak(s, 0, 3000), 0.0);
    EXPECT_LT(std::max(peak(s, 3000, 3010), peak(s, 5150, 5160)), 0.05);
    EXPECT_EQ(peak(s, 5160, s.size()), 0.0);
    // Over the steady 160 ms: whole periods of both frequencies.
    EXPECT_NEAR(std::abs(amplitude_at(s, 3060, 1920, 700.0, 12000.0)), 0.5, 1e-3);
    EXPECT_LT(std::abs(amplitude_at(s, 3060, 1920, 500.0, 12000.0)), 1e-3);
}

TEST(MorseAudio, NoiseHasTheRequestedSnrAndFollowsTheSeed)
{
    for (uint32_t rate : {8000u, 48000u}) {
        MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE, rate, 600.0);
        c.leadSeconds = 200000.0 / rate, c.addNoise = true, c.snrDb = 6.0;
        const auto s = audio(c, "");
        double sum = 0.0, sumSquares = 0.0;
        for (float v : s)
            sum += v, sumSquares += double(v) * v;
        const double variance = sumSquares / s.size() - (sum / s.size()) * (sum / s.size());
        const double noiseIn2500Hz = variance * 2500.0 / (rate / 2.0);
        EXPECT_NEAR(10.0 * std::log10((0.5 * 0.5 / 2.0) / noiseIn2500Hz), 6.0, 0.1) << rate;
        EXPECT_NEAR(sum / s.size(), 0.0, 0.01);
        EXPECT_EQ(audio(c, ""), s);
        c.seed = 7;
        EXPECT_NE(audio(c, ""), s);
    }
}

// The command line's test meets these through the program; here each message names its field.
TEST(BandConfig, BadValuesAreRejected)
{
    const MORSE_AUDIO_CONFIG d = morse_audio_default_config();
    const struct {
        void (*set)(MORSE_AUDIO_CONFIG&);
        const char* reason;
    } bad[] = {
        {[](MORSE_AUDIO_CONFIG& c) { c.dahRatio = 5.1; }, "dash"},
        {[](MORSE_AUDIO_CONFIG& c) { c.qsbPeriodSeconds = NAN; }, "QSB period"},
        {[](MORSE_AUDIO_CONFIG& c) { c.qsbPeriodSeconds = 0.4; }, "QSB period"},
        {[](MORSE_AUDIO_CONFIG& c) { c.driftHz = 400.0, c.pitchHz = 3700.0; }, "pitch plus drift"},
        {[](MORSE_AUDIO_CONFIG& c) { c.qrnRate = 51.0; }, "QRN"},
        {[](MORSE_AUDIO_CONFIG& c) { c.qrmEnabled = true, c.qrmOffsetHz = -600.0; }, "QRM pitch"},
        {[](MORSE_AUDIO_CONFIG& c) { c.qrmEnabled = true, c.qrmLevelDb = 21.0; }, "QRM level"},
        {[](MORSE_AUDIO_CONFIG& c) { c.channel = MORSE_CHANNEL(5); }, "channel"},
    };
    for (const auto& b : bad) {
        MORSE_AUDIO_CONFIG c = d;
        b.set(c);
        std::string error;
        EXPECT_FALSE(morse_audio_check_config(c, &error)) << b.reason;
        EXPECT_NE(error.find(b.reason), std::string::npos) << error;
    }
    MORSE_AUDIO_CONFIG edges = d;  // the limits themselves are fine; QRM fields only count when it is on
    edges.dahRatio = 5.0, edges.qsbDepthDb = 40.0, edges.driftHz = -500.0, edges.pitchHz = 3400.0;
    edges.qrnRate = 50.0, edges.qrmLevelDb = 99.0;
    EXPECT_TRUE(morse_audio_check_config(edges, nullptr));
}

TEST(BandChannel, EachChannelKeepsUnitMeanPowerAndFadesAtItsDopplerSpread)
{
    const struct {
        MORSE_CHANNEL channel;
        double spreadHz;
    } channels[] = {{MORSE_CHANNEL_GOOD, 0.1},
                    {MORSE_CHANNEL_MODERATE, 0.5},
                    {MORSE_CHANNEL_POOR, 1.0},
                    {MORSE_CHANNEL_FLUTTER, 10.0}};
    for (const auto& ch : channels) {
        // Gaussian Doppler of s = spread / 2 correlates lag d by exp(-2 pi^2 s^2 d^2): about 0.6 at 1 / (2 pi s).
        const double s = ch.spreadHz / 2.0;
        const size_t lag = size_t(std::lround(1.0 / (2.0 * kPi * s) / kBlockSeconds));
        MORSE_AUDIO_CONFIG c = band(ch.channel);
        c.dahRatio = 5.0;
        c.wpm = std::min(40.0, 1.2 / (lag * kBlockSeconds / 3.0));
        const std::vector<cd> gains = key_down_gains(c, repeated('O', c, std::max(60.0, 700 * lag * kBlockSeconds)));
        const double expected = std::exp(-2.0 * std::pow(kPi * s * lag * kBlockSeconds, 2.0));
        const auto [power, swingDb] = power_and_swing_db(gains);
        EXPECT_NEAR(power / (c.amplitude * c.amplitude), 1.0, 0.15) << ch.spreadHz;
        EXPECT_NEAR(correlation(gains, lag), expected, 0.12) << ch.spreadHz;
        EXPECT_GT(swingDb, 15.0) << ch.spreadHz;  // Rayleigh: deep fades, not a ripple
    }
}

TEST(BandQsb, SwingsByTheDepthWithUnitMeanPower)
{
    for (double depth : {6.0, 20.0}) {
        MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE);
        c.dahRatio = 5.0, c.qsbDepthDb = depth, c.qsbPeriodSeconds = 6.0, c.leadSeconds = c.tailSeconds = 0.0;
        const std::vector<cd> gains = key_down_gains(c, std::string(50, 'O'));  // 20 dots of 60 ms: 5 to a period
        const auto [power, swingDb] = power_and_swing_db(gains);
        EXPECT_NEAR(swingDb, depth, 0.1 * depth);
        EXPECT_NEAR(power / (c.amplitude * c.amplitude), 1.0, 0.05);
    }
}

TEST(BandDrift, PitchMovesSmoothlyFromStartToStartPlusDrift)
{
    for (double drift : {150.0, -200.0}) {
        MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE, 8000, 600.0);
        c.driftHz = drift, c.leadSeconds = c.tailSeconds = 0.0;
        const std::vector<float> s = audio(c, repeated('T', c, 30.0));  // ends on a dash of 1440 samples
        EXPECT_NEAR(crossing_hz(s, 40, 1400, 8000.0), 600.0, 2.0);
        EXPECT_NEAR(crossing_hz(s, s.size() - 1400, s.size() - 40, 8000.0), 600.0 + drift, 2.0);
        float step = 0.0f;  // a phase jump would show as a step far above the tone's own slope
        for (size_t i = 1; i < s.size(); ++i)
            step = std::max(step, std::fabs(s[i] - s[i - 1]));
        EXPECT_LT(step, c.amplitude * 2.0 * kPi * std::max(600.0, 600.0 + drift) / 8000.0 + 0.02);
    }
}

TEST(BandQrn, CrashesArriveAtTheRateTwentyToThirtyDbAboveTheTone)
{
    MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE, 8000, 600.0);
    c.leadSeconds = 60.0, c.tailSeconds = 0.0, c.addNoise = true, c.snrDb = 10.0;
    const std::vector<float> noise = audio(c, "");
    c.qrnRate = 2.0;
    std::vector<float> crashes = audio(c, "");
    for (size_t i = 0; i < crashes.size(); ++i)
        crashes[i] -= noise[i];  // exactly 0 outside the crashes
    const auto found = bursts(crashes, 1);
    EXPECT_NEAR(double(found.size()), 2.0 * 60.0, 4.0 * std::sqrt(2.0 * 60.0));
    for (const auto& [first, length] : found) {
        EXPECT_GE(std::fabs(crashes[first]), 10.0 * c.amplitude * 0.999);
        EXPECT_TRUE(length != 80 || std::fabs(crashes[first]) <= 31.63 * c.amplitude) << first;  // 10 ms: alone
    }
}

TEST(BandQrm, SecondStationSitsAtTheOffsetAndLevel)
{
    for (const auto& [offsetHz, levelDb] : {std::pair{150.0, -3.0}, {-230.0, 6.0}, {400.0, -20.0}}) {
        MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE, 8000, 600.0);
        c.qrmEnabled = true, c.qrmOffsetHz = offsetHz, c.qrmLevelDb = levelDb;
        const std::vector<float> s = audio(c, repeated('T', c, 5.0));
        auto strongest = [&](double hz) {  // over 40 ms windows, every 10 ms
            double best = 0.0;
            for (size_t first = 0; first + 320 <= s.size(); first += 80)
                best = std::max(best, std::abs(amplitude_at(s, first, 320, hz, 8000.0, true)));
            return best;
        };
        const double wanted = strongest(600.0), other = strongest(600.0 + offsetHz);
        EXPECT_NEAR(wanted, c.amplitude, 0.05 * c.amplitude) << offsetHz;  // the other's keying leaks a little
        EXPECT_NEAR(20.0 * std::log10(other / wanted), levelDb, 1.0) << offsetHz;
        EXPECT_LT(std::max(strongest(600.0 + offsetHz - 10.0), strongest(600.0 + offsetHz + 10.0)), other);
    }
}
