// The decoder backend: configuration, prefilter, decimation, restarts and
// its text and null-pointer contracts.
#include "CWQoMorseBackend.h"
#include "cwqo_backend_state.h"
#include "morse_audio_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct BackendDeleter {
    void operator()(CWQO_BACKEND* b) const { cwqo_destroy(b); }
};
using Backend = std::unique_ptr<CWQO_BACKEND, BackendDeleter>;

Backend make_backend(const CWQO_CONFIG& config)
{
    return Backend(cwqo_create(&config));
}

CWQO_CONFIG normalized(CWQO_CONFIG c)
{
    cwqo_normalize_config(&c);
    return c;
}

CWQO_CONFIG with_rate(double rate, double pitch = 600.0)
{
    CWQO_CONFIG c = cwqo_default_config();
    c.sampleRate = rate;
    c.pitchHz = pitch;
    return c;
}

std::vector<float> morse(const std::string& text, double wpm, uint32_t rate, double leadS, double tailS)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = wpm;
    config.sampleRateHz = rate;
    config.leadSeconds = leadS;
    config.tailSeconds = tailS;
    std::vector<float> samples;
    EXPECT_TRUE(morse_audio_generate(config, text, &samples, nullptr, nullptr));
    return samples;
}

std::string run(CWQO_BACKEND* b, const std::vector<float>& samples, size_t block, size_t capacity = 256)
{
    std::string text;
    std::vector<char> buffer(capacity);
    for (size_t at = 0; at < samples.size(); at += block) {
        const size_t n = std::min(block, samples.size() - at);
        const size_t got = cwqo_process(b, samples.data() + at, n, buffer.data(), capacity, nullptr);
        text.append(buffer.data(), got);
    }
    return text;
}

std::string trimmed(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \n");
    const size_t z = s.find_last_not_of(" \n");
    return a == std::string::npos ? std::string() : s.substr(a, z - a + 1);
}

double magnitude(const CWQO_BIQUAD& s, double f, double fs)
{
    const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * f / fs);  // z^-1
    return std::abs((s.b0 + s.b1 * z + s.b2 * z * z) / (1.0 + s.a1 * z + s.a2 * z * z));
}

}  // namespace

TEST(CwqoConfig, RateAndPitchLimits)
{
    EXPECT_EQ(normalized(with_rate(4000)).sampleRate, 48000.0);
    EXPECT_EQ(normalized(with_rate(kNaN)).sampleRate, 48000.0);
    EXPECT_EQ(normalized(with_rate(kInf)).sampleRate, 48000.0);
    EXPECT_EQ(normalized(with_rate(11025)).sampleRate, 11025.0);
    EXPECT_EQ(normalized(with_rate(48000, 150)).pitchHz, 200.0);
    EXPECT_EQ(normalized(with_rate(48000, 5000)).pitchHz, 1200.0);
    EXPECT_EQ(normalized(with_rate(48000, kNaN)).pitchHz, 200.0);
    EXPECT_EQ(normalized(with_rate(48000, kInf)).pitchHz, 1200.0);
}

TEST(CwqoConfig, SearchHoldAndSwitches)
{
    CWQO_CONFIG c = cwqo_default_config();
    for (auto [in, out] : {std::pair{0.0, 15.0}, {-3.0, 15.0}, {2.0, 5.0}, {50.0, 30.0}, {kNaN, 15.0}}) {
        c.searchHz = in;
        EXPECT_EQ(normalized(c).searchHz, out) << in;
    }
    for (auto [in, out] : {std::pair{0.0, 1800.0}, {500.0, 800.0}, {5000.0, 4000.0}, {kNaN, 1800.0}}) {
        c.lockHoldMs = in;
        EXPECT_EQ(normalized(c).lockHoldMs, out) << in;
    }
    c.agcEnabled = 7;
    EXPECT_EQ(normalized(c).agcEnabled, 1);
    c.bandwidthHz = 2.0;
    EXPECT_EQ(normalized(c).bandwidthHz, 10.0);
}

TEST(CwqoConfig, SpeedsAreLimitedThenSwapped)
{
    CWQO_CONFIG c = cwqo_default_config();
    c.minWpm = 40;
    c.maxWpm = 20;
    EXPECT_EQ(normalized(c).minWpm, 20.0);
    EXPECT_EQ(normalized(c).maxWpm, 40.0);
    c.minWpm = kNaN;
    c.maxWpm = 200;
    EXPECT_EQ(normalized(c).minWpm, 5.0);
    EXPECT_EQ(normalized(c).maxWpm, 80.0);
}

TEST(CwqoDecoderParameters, FixedSpeedOnlyForANarrowRange)
{
    CWQO_CONFIG c = cwqo_default_config();
    c.minWpm = 20.0;
    c.maxWpm = 20.3;
    EXPECT_FLOAT_EQ(cwqo_decoder_parameters(c).speed_wpm, 20.15f);
    c.maxWpm = 21.0;
    EXPECT_EQ(cwqo_decoder_parameters(c).speed_wpm, -1.0f);
}

TEST(CwqoDecoderParameters, PitchIsHeldOrSearchedWithinTheRange)
{
    CWQO_CONFIG c = cwqo_default_config();
    qomorse_ParametersDecode p = cwqo_decoder_parameters(c);
    EXPECT_EQ(p.frequency_hz, 600.0f);
    EXPECT_EQ(p.frequencyRangeMin_hz, 585.0f);
    EXPECT_EQ(p.frequencyRangeMax_hz, 615.0f);
    c.pitchHz = 1195.0;
    c.autoPitch = 1;
    p = cwqo_decoder_parameters(c);
    EXPECT_EQ(p.frequency_hz, -1.0f);
    EXPECT_EQ(p.frequencyRangeMin_hz, 1180.0f);
    EXPECT_EQ(p.frequencyRangeMax_hz, 1200.0f);
    EXPECT_TRUE(p.applyFilterHighPass && p.applyFilterLowPass);
}

TEST(CwqoPrefilter, NeverNarrowerThan120Hz)
{
    CWQO_CONFIG c = with_rate(48000);
    c.bandwidthHz = 10.0;
    Backend b = make_backend(c);
    ASSERT_TRUE(b);
    // The -3 dB points of a band-pass of quality q lie geometrically about f0.
    const auto edge = [](double q, double sign) { return 600.0 * (std::sqrt(1.0 + 0.25 / (q * q)) + sign * 0.5 / q); };
    const CWQO_BIQUAD& s = b->prefilter[0];
    EXPECT_NEAR(magnitude(s, 600.0, 48000.0), 1.0, 1e-6);  // 0 dB peak
    EXPECT_NEAR(magnitude(s, edge(5.0, 1.0), 48000.0), M_SQRT1_2, 0.01);
    EXPECT_NEAR(magnitude(s, edge(5.0, -1.0), 48000.0), M_SQRT1_2, 0.01);
    c.bandwidthHz = 300.0;
    cwqo_configure(b.get(), &c);
    EXPECT_NEAR(magnitude(b->prefilter[0], edge(2.0, 1.0), 48000.0), M_SQRT1_2, 0.01);
    EXPECT_NEAR(magnitude(b->prefilter[0], edge(2.0, -1.0), 48000.0), M_SQRT1_2, 0.01);
}

TEST(CwqoPrefilter, RedesignsOnlyForChangesAboveHalfAHertz)
{
    CWQO_CONFIG c = with_rate(48000);
    Backend b = make_backend(c);
    const std::vector<float> tone = morse("T", 20, 48000, 0.0, 0.0);
    cwqo_process(b.get(), tone.data(), 1000, nullptr, 0, nullptr);
    const CWQO_BIQUAD before = b->prefilter[1];
    ASSERT_NE(before.z1, 0.0);
    c.pitchHz = 600.3;
    cwqo_configure(b.get(), &c);
    EXPECT_EQ(b->prefilter[1].z1, before.z1);
    EXPECT_EQ(b->prefilter[1].b0, before.b0);
    c.pitchHz = 600.6;
    cwqo_configure(b.get(), &c);
    EXPECT_EQ(b->prefilter[1].z1, 0.0);
    EXPECT_EQ(b->dcPrevOut, 0.0);
    EXPECT_EQ(b->decimPhase, 0.0);
    EXPECT_NE(b->prefilter[1].b0, before.b0);
}

TEST(CwqoProcess, DecimatesToTheEngineRate)
{
    const std::vector<float> quiet(2400, 0.0f);
    for (auto [rate, expected] : {std::pair{48000.0, 200u}, {8000.0, 1200u}, {12000.0, 800u}}) {
        Backend b = make_backend(with_rate(rate));
        cwqo_process(b.get(), quiet.data(), quiet.size(), nullptr, 0, nullptr);
        EXPECT_EQ(b->decimated.size(), expected) << rate;
    }
}

TEST(CwqoProcess, StatisticsWaitForNearlyHalfASecond)
{
    Backend b = make_backend(with_rate(8000));
    const std::vector<float> signal = morse("TEST TEST TEST", 20, 8000, 0.0, 0.0);
    CWQO_STATUS status{};
    cwqo_process(b.get(), signal.data(), 3500, nullptr, 0, &status);  // 0.44 s
    EXPECT_EQ(status.statQuality, 0.0f);
    EXPECT_EQ(status.lock, 0);
    cwqo_process(b.get(), signal.data() + 3500, 8000, nullptr, 0, &status);
    EXPECT_GT(status.statSnrDb, 0.0f);
}

TEST(CwqoProcess, DecodesAndReportsTheEngineFigures)
{
    CWQO_CONFIG c = with_rate(8000);
    Backend b = make_backend(c);
    const std::vector<float> signal = morse("CQ CQ DE ZR1ABC ZR1ABC K", 20, 8000, 1.0, 3.0);
    const size_t half = signal.size() / 2;
    const std::vector<float> first(signal.begin(), signal.begin() + half);
    const std::vector<float> second(signal.begin() + half, signal.end());
    std::string text = run(b.get(), first, 1024);
    CWQO_STATUS status;
    cwqo_get_status(b.get(), &status);
    EXPECT_EQ(status.pitchHz, 600.0);
    EXPECT_EQ(status.decoderGain, 1.0f);
    EXPECT_NEAR(status.wpm, 20.0, 2.0);
    // The envelope's marks come out short of the keying (its threshold sits
    // at the median at least), so the statistics speed reads high.
    EXPECT_GE(status.statWpm, 19.0);
    EXPECT_LE(status.statWpm, 27.0);
    EXPECT_GE(status.statQuality, 55.0f);
    EXPECT_EQ(status.signalPresent, 1);
    text += run(b.get(), second, 1024);
    EXPECT_EQ(trimmed(text), "CQ CQ DE ZR1ABC ZR1ABC K");
}

TEST(CwqoProcess, TextThatDoesNotFitWaitsForTheNextCall)
{
    CWQO_CONFIG c = with_rate(8000);
    Backend b = make_backend(c);
    const std::vector<float> signal = morse("CQ DE ZR1ABC K", 20, 8000, 1.0, 3.0);
    EXPECT_EQ(run(b.get(), signal, 1024, 1), "");  // capacity 1: only terminators
    const std::vector<float> quiet(800, 0.0f);
    std::vector<char> big(256);
    const size_t n = cwqo_process(b.get(), quiet.data(), quiet.size(), big.data(), big.size(), nullptr);
    EXPECT_EQ(trimmed(std::string(big.data(), n)), "CQ DE ZR1ABC K");
}

TEST(CwqoProcess, EngineThresholdHistoryDoesNotPileUp)
{
    Backend b = make_backend(with_rate(8000));
    const std::vector<float> quiet(8000 * 20, 0.0f);
    run(b.get(), quiet, 2048);
    std::vector<float> left;
    EXPECT_LE(b->engine->takeThresholdF(left), 8);  // at most one call's frames
}

TEST(CwqoProcess, BadSamplesDoNotStopDecoding)
{
    CWQO_CONFIG c = with_rate(8000);
    Backend b = make_backend(c);
    std::vector<float> bad(400, std::numeric_limits<float>::quiet_NaN());
    bad[100] = std::numeric_limits<float>::infinity();
    bad[200] = -std::numeric_limits<float>::infinity();
    bad[300] = 3e38f;
    run(b.get(), bad, 256);
    const std::vector<float> signal = morse("CQ DE ZR1ABC K", 20, 8000, 1.0, 3.0);
    EXPECT_EQ(trimmed(run(b.get(), signal, 1024)), "CQ DE ZR1ABC K");
    CWQO_STATUS status;
    cwqo_get_status(b.get(), &status);
    EXPECT_TRUE(std::isfinite(status.inputLevel));
    EXPECT_TRUE(std::isfinite(status.level));
}

// A new transmission restarts the engine; the old one still held the end of
// the last one behind its reading point.
class CwqoRestart : public testing::TestWithParam<std::pair<double, double>> {};

TEST_P(CwqoRestart, EndOfTheFirstTransmissionIsKept)
{
    const auto [wpm, pauseS] = GetParam();
    std::vector<float> audio = morse("CQ CQ DE ZR1ABC K", wpm, 8000, 1.0, pauseS);
    const std::vector<float> second = morse("ZR1ABC DE ZR2XYZ 73 BK", wpm, 8000, 0.0, 3.0);
    audio.insert(audio.end(), second.begin(), second.end());
    CWQO_CONFIG c = with_rate(8000);
    Backend b = make_backend(c);
    const std::string text = run(b.get(), audio, 512);
    EXPECT_EQ(trimmed(text), "CQ CQ DE ZR1ABC K \nZR1ABC DE ZR2XYZ 73 BK") << text;
}

INSTANTIATE_TEST_SUITE_P(SlowAndFast, CwqoRestart,
                         testing::Values(std::pair{12.0, 1.0}, std::pair{40.0, 0.5}));

TEST(CwqoNullPointers, EveryEntryToleratesThem)
{
    char text[4] = "xyz";
    EXPECT_EQ(cwqo_process(nullptr, nullptr, 10, text, sizeof(text), nullptr), 0u);
    EXPECT_STREQ(text, "");
    CWQO_STATUS status;
    status.level = 5.0f;
    cwqo_get_status(nullptr, &status);
    EXPECT_EQ(status.level, 0.0f);
    EXPECT_EQ(status.decoderGain, 0.0f);
    cwqo_configure(nullptr, nullptr);
    cwqo_reset(nullptr);
    cwqo_destroy(nullptr);

    Backend b(cwqo_create(nullptr));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->config.bandwidthHz, 50.0);
    cwqo_configure(b.get(), nullptr);
    EXPECT_EQ(b->config.pitchHz, 600.0);
    cwqo_get_status(b.get(), nullptr);
    std::strcpy(text, "xyz");
    EXPECT_EQ(cwqo_process(b.get(), nullptr, 100, text, sizeof(text), &status), 0u);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(status.pitchHz, 600.0);
}

TEST(CwqoReset, FreshEngineAndStatusKeepTheConfiguration)
{
    CWQO_CONFIG c = with_rate(8000, 700);
    Backend b = make_backend(c);
    const std::vector<float> signal = morse("TEST", 20, 8000, 0.5, 0.5);
    run(b.get(), signal, 512);
    cwqo_reset(b.get());
    CWQO_STATUS status;
    cwqo_get_status(b.get(), &status);
    EXPECT_EQ(status.pitchHz, 700.0);
    EXPECT_EQ(status.decoderGain, 1.0f);
    EXPECT_EQ(status.wpm, 0.0);
    EXPECT_EQ(b->config.sampleRate, 8000.0);
    EXPECT_EQ(cwqo_history_size(b->envHistory), 0u);
}
