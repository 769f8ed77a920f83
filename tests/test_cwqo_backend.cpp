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

Backend make_backend(double rate, double pitch = 600.0, double bandwidth = 50.0)
{
    CWQO_CONFIG c = cwqo_default_config();
    c.sampleRate = rate;
    c.pitchHz = pitch;
    c.bandwidthHz = bandwidth;
    return Backend(cwqo_create(&c));
}

std::vector<float> morse(const std::string& text, double wpm, double leadS = 1.0, double tailS = 3.0)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = wpm;
    config.sampleRateHz = 8000;
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
        text.append(buffer.data(), cwqo_process(b, samples.data() + at, n, buffer.data(), capacity, nullptr));
    }
    return text;
}

std::string trimmed(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \n");
    return a == std::string::npos ? std::string() : s.substr(a, s.find_last_not_of(" \n") - a + 1);
}

double magnitude(const CWQO_BIQUAD& s, double f, double fs)
{
    const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * f / fs);  // z^-1
    return std::abs((s.b0 + s.b1 * z + s.b2 * z * z) / (1.0 + s.a1 * z + s.a2 * z * z));
}

}  // namespace

// A NaN or an infinity never reaches the filters: each takes the value its
// limit or default gives.
TEST(CwqoConfig, NonFiniteAndSwappedValuesAreMadeUsable)
{
    const struct {
        double CWQO_CONFIG::*field;
        double in;
        double out;
    } cases[] = {
        {&CWQO_CONFIG::sampleRate, kNaN, 48000}, {&CWQO_CONFIG::sampleRate, kInf, 48000},
        {&CWQO_CONFIG::sampleRate, 4000, 48000}, {&CWQO_CONFIG::pitchHz, kNaN, 200},
        {&CWQO_CONFIG::pitchHz, kInf, 1200},     {&CWQO_CONFIG::searchHz, kNaN, 15},
        {&CWQO_CONFIG::lockHoldMs, kNaN, 1800},  {&CWQO_CONFIG::minWpm, kNaN, 5},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        CWQO_CONFIG c = cwqo_default_config();
        c.*cases[i].field = cases[i].in;
        cwqo_normalize_config(&c);
        EXPECT_EQ(c.*cases[i].field, cases[i].out) << "case " << i;
    }
    CWQO_CONFIG swapped = cwqo_default_config();
    swapped.minWpm = 40;
    swapped.maxWpm = 20;
    cwqo_normalize_config(&swapped);
    EXPECT_EQ(swapped.minWpm, 20.0);
    EXPECT_EQ(swapped.maxWpm, 40.0);
}

TEST(CwqoPrefilter, ZeroDbPeakAndNeverNarrowerThan120Hz)
{
    // The -3 dB points of a band-pass of quality q lie geometrically about f0.
    for (auto [bandwidth, q] : {std::pair{10.0, 5.0}, {300.0, 2.0}}) {
        Backend b = make_backend(48000, 600, bandwidth);
        const CWQO_BIQUAD& s = b->prefilter[0];
        EXPECT_NEAR(magnitude(s, 600.0, 48000.0), 1.0, 1e-6);
        for (double sign : {-1.0, 1.0}) {
            const double edge = 600.0 * (std::sqrt(1.0 + 0.25 / (q * q)) + sign * 0.5 / q);
            EXPECT_NEAR(magnitude(s, edge, 48000.0), M_SQRT1_2, 0.01) << bandwidth;
        }
    }
}

TEST(CwqoPrefilter, RedesignsOnlyForChangesAboveHalfAHertz)
{
    Backend b = make_backend(8000);
    const std::vector<float> tone = morse("T", 20, 0.0, 0.0);
    cwqo_process(b.get(), tone.data(), 1000, nullptr, 0, nullptr);
    const CWQO_BIQUAD before = b->prefilter[1];
    ASSERT_NE(before.z1, 0.0);
    CWQO_CONFIG c = b->config;
    c.pitchHz = 600.3;
    cwqo_configure(b.get(), &c);
    EXPECT_EQ(b->prefilter[1].z1, before.z1);
    EXPECT_EQ(b->prefilter[1].b0, before.b0);
    c.pitchHz = 600.6;
    cwqo_configure(b.get(), &c);
    EXPECT_EQ(b->prefilter[1].z1, 0.0);
    EXPECT_EQ(b->dcPrevOut, 0.0);
    EXPECT_NE(b->prefilter[1].b0, before.b0);
}

TEST(CwqoProcess, DecodesReportsTheEngineFiguresAndResets)
{
    Backend b = make_backend(8000);
    const std::vector<float> signal = morse("CQ CQ DE ZR1ABC ZR1ABC K", 20);
    const std::vector<float> first(signal.begin(), signal.begin() + signal.size() / 2);
    const std::vector<float> second(signal.begin() + signal.size() / 2, signal.end());
    std::string text = run(b.get(), first, 1024);
    CWQO_STATUS status;
    cwqo_get_status(b.get(), &status);
    EXPECT_NEAR(status.pitchHz, 600.0, 1.0);  // the tone's own frequency, followed
    EXPECT_NEAR(status.wpm, 20.0, 2.0);
    // The envelope's marks come out short of the keying (its threshold sits
    // at the median at least), so the statistics speed reads high.
    EXPECT_GE(status.statWpm, 19.0);
    EXPECT_LE(status.statWpm, 27.0);
    EXPECT_GE(status.statQuality, 55.0f);
    EXPECT_EQ(status.signalPresent, 1);
    EXPECT_EQ(trimmed(text + run(b.get(), second, 1024)), "CQ CQ DE ZR1ABC ZR1ABC K");
    cwqo_reset(b.get());  // a fresh engine and status; the configuration stays
    cwqo_get_status(b.get(), &status);
    EXPECT_EQ(status.wpm, 0.0);
    EXPECT_EQ(status.decoderGain, 1.0f);
    EXPECT_EQ(cwqo_history_size(b->envHistory), 0u);
    EXPECT_EQ(b->config.sampleRate, 8000.0);
}

TEST(CwqoProcess, TextThatDoesNotFitWaitsForTheNextCall)
{
    Backend b = make_backend(8000);
    EXPECT_EQ(run(b.get(), morse("CQ DE ZR1ABC K", 20), 1024, 1), "");  // capacity 1: only terminators
    EXPECT_EQ(trimmed(run(b.get(), std::vector<float>(800, 0.0f), 800)), "CQ DE ZR1ABC K");
}

TEST(CwqoProcess, EngineThresholdHistoryDoesNotPileUp)
{
    Backend b = make_backend(8000);
    run(b.get(), std::vector<float>(8000 * 20, 0.0f), 2048);
    std::vector<float> left;
    EXPECT_LE(b->engine->takeThresholdF(left), 8);  // at most one call's frames
}

TEST(CwqoProcess, NonFiniteAndHugeSamplesDoNotStopDecoding)
{
    Backend b = make_backend(8000);
    std::vector<float> bad(400, std::numeric_limits<float>::quiet_NaN());
    bad[100] = std::numeric_limits<float>::infinity();
    bad[200] = -std::numeric_limits<float>::infinity();
    bad[300] = 3e38f;
    run(b.get(), bad, 256);
    EXPECT_EQ(trimmed(run(b.get(), morse("CQ DE ZR1ABC K", 20), 1024)), "CQ DE ZR1ABC K");
    CWQO_STATUS status;
    cwqo_get_status(b.get(), &status);
    EXPECT_TRUE(std::isfinite(status.inputLevel));
    EXPECT_TRUE(std::isfinite(status.level));
}

// A pause between overs costs neither the end of the first nor the start
// of the second.
TEST(CwqoOvers, APauseKeepsBothOversWhole)
{
    for (auto [wpm, pauseS] : {std::pair{12.0, 1.0}, {40.0, 0.5}}) {
        std::vector<float> audio = morse("CQ CQ DE ZR1ABC K", wpm, 1.0, pauseS);
        const std::vector<float> second = morse("ZR1ABC DE ZR2XYZ 73 BK", wpm, 0.0, 3.0);
        audio.insert(audio.end(), second.begin(), second.end());
        Backend b = make_backend(8000);
        EXPECT_EQ(trimmed(run(b.get(), audio, 512)), "CQ CQ DE ZR1ABC K ZR1ABC DE ZR2XYZ 73 BK") << wpm;
    }
}

TEST(CwqoNullPointers, EveryEntryToleratesThem)
{
    char text[4] = "xyz";
    EXPECT_EQ(cwqo_process(nullptr, nullptr, 10, text, sizeof(text), nullptr), 0u);
    EXPECT_STREQ(text, "");
    CWQO_STATUS status;
    status.level = 5.0f;
    cwqo_get_status(nullptr, &status);
    EXPECT_EQ(status.level, 0.0f);
    cwqo_configure(nullptr, nullptr);
    cwqo_reset(nullptr);
    cwqo_destroy(nullptr);
    Backend b(cwqo_create(nullptr));
    ASSERT_TRUE(b);
    cwqo_configure(b.get(), nullptr);
    cwqo_get_status(b.get(), nullptr);
    std::strcpy(text, "xyz");
    EXPECT_EQ(cwqo_process(b.get(), nullptr, 100, text, sizeof(text), &status), 0u);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(status.pitchHz, 600.0);  // the defaults
}
