// The HF band conditions of the Morse audio generator, measured back from
// the audio it writes.
#include "morse_audio_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <tuple>

namespace {

using cd = std::complex<double>;

// 5 ms blocks at 4000 Hz hold whole periods of 1000 Hz, so demodulating a
// block leaves no image term.
constexpr uint32_t kRate = 4000;
constexpr double kPitch = 1000.0;
constexpr size_t kBlock = 20;
constexpr double kBlockSeconds = double(kBlock) / kRate;

MORSE_AUDIO_CONFIG band(MORSE_CHANNEL channel, uint32_t rate = kRate, double pitch = kPitch)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.sampleRateHz = rate;
    c.pitchHz = pitch;
    c.channel = channel;
    return c;
}

std::vector<float> audio(const MORSE_AUDIO_CONFIG& config, const std::string& text)
{
    std::vector<float> samples;
    EXPECT_TRUE(morse_audio_generate(config, text, &samples, nullptr, nullptr));
    return samples;
}

// Characters enough to key for about `seconds`, one word.
std::string repeated(char c, const MORSE_AUDIO_CONFIG& config, double seconds)
{
    std::vector<MORSE_KEYING> one;
    EXPECT_TRUE(morse_audio_timeline(config, std::string(2, c), &one, nullptr, nullptr));
    return std::string(size_t(2 * seconds * 1000.0 / morse_audio_timeline_ms(one)) + 1, c);
}

// Complex amplitude of a tone at `hz` over `length` samples from `first`,
// Hann-windowed when asked (for separating two close tones).
cd amplitude_at(const std::vector<float>& s, size_t first, size_t length, double hz, double rate, bool hann = false)
{
    cd sum = 0.0;
    double weights = 0.0;
    for (size_t i = 0; i < length; ++i) {
        const double w = hann ? 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (i + 0.5) / length) : 1.0;
        sum += w * double(s[first + i]) * std::polar(1.0, -2.0 * std::numbers::pi * hz * (first + i) / rate);
        weights += w;
    }
    return 2.0 * sum / weights;
}

std::vector<cd> blocks(const std::vector<float>& s)
{
    std::vector<cd> out;
    for (size_t first = 0; first + kBlock <= s.size(); first += kBlock)
        out.push_back(amplitude_at(s, first, kBlock, kPitch, kRate));
    return out;
}

// Blocks fully key-down in the steady version of the same keying, a block
// clear of every edge so the delayed path is fully on as well.
std::vector<bool> key_down_blocks(MORSE_AUDIO_CONFIG c, const std::string& text)
{
    c.channel = MORSE_CHANNEL_NONE;
    c.qsbDepthDb = 0.0;
    const std::vector<cd> steady = blocks(audio(c, text));
    std::vector<bool> mask(steady.size(), false);
    auto full = [&](size_t b) { return std::abs(std::abs(steady[b]) - c.amplitude) < 1e-4; };
    for (size_t b = 1; b + 1 < steady.size(); ++b) mask[b] = full(b - 1) && full(b) && full(b + 1);
    return mask;
}

double mean_power(const std::vector<cd>& v, const std::vector<bool>& mask)
{
    double sum = 0.0;
    size_t n = 0;
    for (size_t b = 0; b < v.size(); ++b)
        if (mask[b]) sum += std::norm(v[b]), ++n;
    return sum / n;
}

// Normalised correlation of the complex gain with itself `lag` blocks later.
double correlation(const std::vector<cd>& v, const std::vector<bool>& mask, size_t lag)
{
    cd cross = 0.0;
    double a = 0.0, b = 0.0;
    for (size_t i = 0; i + lag < v.size(); ++i) {
        if (!mask[i] || !mask[i + lag]) continue;
        cross += v[i] * std::conj(v[i + lag]);
        a += std::norm(v[i]);
        b += std::norm(v[i + lag]);
    }
    return std::abs(cross) / std::sqrt(a * b);
}

// Ratio in dB of the largest to the smallest key-down block amplitude.
double swing_db(const std::vector<cd>& v, const std::vector<bool>& mask)
{
    double lo = 1e9, hi = 0.0;
    for (size_t b = 0; b < v.size(); ++b)
        if (mask[b]) lo = std::min(lo, std::abs(v[b])), hi = std::max(hi, std::abs(v[b]));
    return 20.0 * std::log10(hi / lo);
}

// Runs of non-zero samples separated by at least `gap` zeros: {first, length}.
std::vector<std::pair<size_t, size_t>> bursts(const std::vector<float>& s, size_t gap)
{
    std::vector<std::pair<size_t, size_t>> out;
    for (size_t i = 0, last = 0; i < s.size(); ++i) {
        if (s[i] == 0.0f) continue;
        if (out.empty() || i - last > gap) out.push_back({i, 0});
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
    for (size_t i = first; i + 1 < end; ++i) {
        if (s[i] < 0.0f && s[i + 1] >= 0.0f) {
            t1 = i + s[i] / (s[i] - s[i + 1]);
            t0 = t0 < 0.0 ? t1 : t0;
            ++periods;
        }
    }
    return periods * rate / (t1 - t0);
}

}  // namespace

TEST(BandConfig, ConditionsDefaultOffAndBadValuesAreRejected)
{
    const MORSE_AUDIO_CONFIG d = morse_audio_default_config();
    EXPECT_EQ(std::tuple(d.channel, d.qsbDepthDb, d.dahRatio, d.driftHz, d.qrnRate, d.qrmEnabled),
              std::tuple(MORSE_CHANNEL_NONE, 0.0, 3.0, 0.0, 0.0, false));
    const struct { void (*set)(MORSE_AUDIO_CONFIG&); const char* reason; } bad[] = {
        {[](MORSE_AUDIO_CONFIG& c) { c.dahRatio = 1.9; }, "dash"},
        {[](MORSE_AUDIO_CONFIG& c) { c.dahRatio = 5.1; }, "dash"},
        {[](MORSE_AUDIO_CONFIG& c) { c.qsbDepthDb = 41.0; }, "QSB depth"},
        {[](MORSE_AUDIO_CONFIG& c) { c.qsbPeriodSeconds = NAN; }, "QSB period"},
        {[](MORSE_AUDIO_CONFIG& c) { c.driftHz = -600.0; }, "drift"},
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
    const char* names[] = {"none", "good", "moderate", "poor", "flutter"};
    for (int i = 0; i < 5; ++i) {
        MORSE_CHANNEL parsed = MORSE_CHANNEL(-1);
        EXPECT_TRUE(morse_audio_parse_channel(names[i], &parsed) && parsed == MORSE_CHANNEL(i)) << names[i];
    }
    EXPECT_FALSE(morse_audio_parse_channel("Good", nullptr) || morse_audio_parse_channel("", nullptr));
}

TEST(BandTiming, DashesFollowTheDahRatio)
{
    for (double ratio : {3.0, 3.5, 4.5}) {
        MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE, 8000, 600.0);
        c.dahRatio = ratio;
        const auto elements = bursts(audio(c, "TETE"), 100);  // 20 WPM: a dot is 480 samples
        ASSERT_EQ(elements.size(), 4u);
        EXPECT_NEAR(double(elements[0].second) / elements[1].second, ratio, 0.01);
        EXPECT_NEAR(double(elements[2].second) / elements[3].second, ratio, 0.01);
    }
}

TEST(BandChannel, EachChannelKeepsUnitMeanPowerAndFadesAtItsDopplerSpread)
{
    const struct { MORSE_CHANNEL channel; double spreadHz; } channels[] = {
        {MORSE_CHANNEL_GOOD, 0.1}, {MORSE_CHANNEL_MODERATE, 0.5}, {MORSE_CHANNEL_POOR, 1.0},
        {MORSE_CHANNEL_FLUTTER, 10.0}};
    for (const auto& ch : channels) {
        // The Gaussian Doppler spectrum of standard deviation s = spread / 2
        // correlates the gain over a lag d by exp(-2 pi^2 s^2 d^2); measured at
        // d = 1 / (2 pi s), where that is about 0.6, from long dashes (5 dots)
        // a third of d apart, over a recording of many correlation times.
        const double s = ch.spreadHz / 2.0;
        const size_t lag = size_t(std::lround(1.0 / (2.0 * std::numbers::pi * s) / kBlockSeconds));
        MORSE_AUDIO_CONFIG c = band(ch.channel);
        c.dahRatio = 5.0;
        c.wpm = std::min(40.0, 1.2 / (lag * kBlockSeconds / 3.0));
        const std::string text = repeated('O', c, std::max(60.0, 700 * lag * kBlockSeconds));
        const std::vector<bool> mask = key_down_blocks(c, text);
        const std::vector<cd> gains = blocks(audio(c, text));
        const double a2 = c.amplitude * c.amplitude;
        const double expected = std::exp(-2.0 * std::pow(std::numbers::pi * s * lag * kBlockSeconds, 2.0));
        EXPECT_NEAR(mean_power(gains, mask) / a2, 1.0, 0.15) << ch.spreadHz;
        EXPECT_NEAR(correlation(gains, mask, lag), expected, 0.12) << ch.spreadHz;
        EXPECT_GT(swing_db(gains, mask), 15.0) << ch.spreadHz;  // Rayleigh: deep fades, not a ripple
        if (ch.channel == MORSE_CHANNEL_GOOD) {  // changes little within a tenth of a second, unlike flutter
            EXPECT_GT(correlation(gains, mask, 20), 0.99);
        } else if (ch.channel == MORSE_CHANNEL_FLUTTER) {
            EXPECT_LT(correlation(gains, mask, 20), 0.1);
        }
    }
}

TEST(BandChannel, ChannelQsbAndDriftLeaveTheNoiseAlone)
{
    MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE, 8000, 600.0);
    c.addNoise = true;
    c.snrDb = 3.0;
    const std::string text = repeated('T', c, 20.0);
    const std::vector<float> plain = audio(c, text);
    c.channel = MORSE_CHANNEL_POOR;
    MORSE_AUDIO_CONFIG quiet = c;
    quiet.addNoise = false;
    c.qsbDepthDb = 10.0, c.driftHz = 30.0, c.qrmEnabled = true, c.qrmOffsetHz = 200.0;
    quiet.qsbDepthDb = 10.0, quiet.driftHz = 30.0, quiet.qrmEnabled = true, quiet.qrmOffsetHz = 200.0;
    const std::vector<float> noisy = audio(c, text), clean = audio(quiet, text);
    ASSERT_EQ(noisy.size(), plain.size());
    EXPECT_TRUE(std::equal(noisy.begin(), noisy.begin() + 2400, plain.begin()));  // silent before the QRM at 0.3 s
    double variance = 0.0;
    for (size_t i = 0; i < noisy.size(); ++i) variance += std::pow(double(noisy[i]) - clean[i], 2.0);
    const double sigma = morse_audio_noise_sigma(c.amplitude, c.snrDb, c.sampleRateHz);
    EXPECT_NEAR(variance / noisy.size() / (sigma * sigma), 1.0, 0.02);
}

TEST(BandQsb, SwingsByTheDepthWithUnitMeanPower)
{
    for (double depth : {6.0, 20.0}) {
        MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE);
        c.dahRatio = 5.0;
        c.qsbDepthDb = depth;
        c.qsbPeriodSeconds = 6.0;
        c.leadSeconds = c.tailSeconds = 0.0;
        const std::string text = std::string(50, 'O');  // 20 dots of 60 ms: 5 to a period, 10 periods
        const std::vector<bool> mask = key_down_blocks(c, text);
        const std::vector<cd> gains = blocks(audio(c, text));
        EXPECT_NEAR(swing_db(gains, mask), depth, 0.1 * depth);
        EXPECT_NEAR(mean_power(gains, mask) / (c.amplitude * c.amplitude), 1.0, 0.05);
    }
}

TEST(BandDrift, PitchMovesSmoothlyFromStartToStartPlusDrift)
{
    for (double drift : {150.0, -200.0}) {
        MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE, 8000, 600.0);
        c.driftHz = drift;
        c.leadSeconds = c.tailSeconds = 0.0;
        const std::vector<float> s = audio(c, repeated('T', c, 30.0));  // ends on a dash of 1440 samples
        EXPECT_NEAR(crossing_hz(s, 40, 1400, 8000.0), 600.0, 2.0);
        EXPECT_NEAR(crossing_hz(s, s.size() - 1400, s.size() - 40, 8000.0), 600.0 + drift, 2.0);
        float step = 0.0f;  // a phase jump would show as a step far above the tone's own slope
        for (size_t i = 1; i < s.size(); ++i) step = std::max(step, std::fabs(s[i] - s[i - 1]));
        EXPECT_LT(step, c.amplitude * 2.0 * std::numbers::pi * std::max(600.0, 600.0 + drift) / 8000.0 + 0.02);
    }
}

TEST(BandQrn, CrashesArriveAtTheRateAndDecayFromTwentyToThirtyDbAboveTheTone)
{
    MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE, 8000, 600.0);
    c.leadSeconds = 60.0;
    c.tailSeconds = 0.0;
    c.addNoise = true;
    c.snrDb = 10.0;
    const std::vector<float> noise = audio(c, "");
    c.qrnRate = 2.0;
    std::vector<float> crashes = audio(c, "");
    for (size_t i = 0; i < crashes.size(); ++i) crashes[i] -= noise[i];  // exactly 0 outside the crashes
    const auto found = bursts(crashes, 1);
    EXPECT_NEAR(double(found.size()), 2.0 * 60.0, 4.0 * std::sqrt(2.0 * 60.0));
    size_t single = 0;
    for (const auto& [first, length] : found) {
        const double peak = std::fabs(crashes[first]);
        EXPECT_GE(peak, 10.0 * c.amplitude * 0.999);
        if (length != 80) continue;  // 10 ms; longer ones overlap
        ++single;
        EXPECT_LE(peak, 31.63 * c.amplitude);
        EXPECT_NEAR(std::fabs(crashes[first + 16]) / peak, std::exp(-1.0), 1e-3);  // 2 ms
    }
    EXPECT_GT(single, found.size() * 9 / 10);
}

TEST(BandQrm, SecondStationSitsAtTheOffsetAndLevel)
{
    const struct { double offsetHz, levelDb; } cases[] = {{150.0, -3.0}, {-230.0, 6.0}, {400.0, -20.0}};
    for (const auto& q : cases) {
        MORSE_AUDIO_CONFIG c = band(MORSE_CHANNEL_NONE, 8000, 600.0);
        c.qrmEnabled = true;
        c.qrmOffsetHz = q.offsetHz;
        c.qrmLevelDb = q.levelDb;
        const std::vector<float> s = audio(c, repeated('T', c, 5.0));
        auto strongest = [&](double hz) {  // over 40 ms windows, every 10 ms
            double best = 0.0;
            for (size_t first = 0; first + 320 <= s.size(); first += 80)
                best = std::max(best, std::abs(amplitude_at(s, first, 320, hz, 8000.0, true)));
            return best;
        };
        const double wanted = strongest(600.0), other = strongest(600.0 + q.offsetHz);
        EXPECT_NEAR(wanted, c.amplitude, 0.05 * c.amplitude) << q.offsetHz;  // the other's keying leaks a little
        EXPECT_NEAR(20.0 * std::log10(other / wanted), q.levelDb, 1.0) << q.offsetHz;
        EXPECT_LT(std::max(strongest(600.0 + q.offsetHz - 10.0), strongest(600.0 + q.offsetHz + 10.0)), other);
    }
}
