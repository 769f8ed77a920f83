// Tone demodulator: audio at 4000 Hz in, a 2 ms envelope and the pitch out.
#include "tone_demodulator.h"
#include "morse_audio_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <vector>

namespace {

struct DemodDeleter {
    void operator()(TONE_DEMOD* d) const { tone_demod_destroy(d); }
};
using Demod = std::unique_ptr<TONE_DEMOD, DemodDeleter>;

constexpr float kRate = 4000.0f;

Demod make(float pitchHz, float pullHz, float windowMs = 40.0f)
{
    const TONE_DEMOD_CONFIG c{.sampleRate = kRate, .pitchHz = pitchHz, .pullHz = pullHz, .windowMs = windowMs};
    return Demod(tone_demod_create(&c));
}

// A tone keyed on for `onMs` and off for `offMs`, repeated for `seconds`.
std::vector<float> keyed_tone(float hz, float seconds, float onMs, float offMs)
{
    std::vector<float> x(size_t(seconds * kRate));
    const auto period = size_t((onMs + offMs) * kRate / 1000.0f), on = size_t(onMs * kRate / 1000.0f);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = i % period < on ? 0.5f * std::sin(6.2831853f * hz * float(i) / kRate) : 0.0f;
    return x;
}

std::vector<float> run(TONE_DEMOD* d, const std::vector<float>& x, size_t block = 128)
{
    std::vector<float> envelope;
    std::vector<float> out(block);
    for (size_t at = 0; at < x.size(); at += block) {
        const int n = static_cast<int>(std::min(block, x.size() - at));
        const int got = tone_demod_process(d, x.data() + at, n, out.data(), static_cast<int>(out.size()));
        envelope.insert(envelope.end(), out.begin(), out.begin() + got);
    }
    return envelope;
}

TONE_DEMOD_STATUS status_of(const Demod& d)
{
    TONE_DEMOD_STATUS s;
    tone_demod_get_status(d.get(), &s);
    return s;
}

float pitch_of(const Demod& d)
{
    return status_of(d).pitchHz;
}

// One baseband pair per envelope value, turning at the tone's distance from the nominal pitch.
TEST(ToneDemodulator, HandsOutTheBasebandAtTheNominalPitch)
{
    Demod d = make(700.0f, 20.0f);
    const std::vector<float> x = keyed_tone(703.0f, 3.0f, 1000.0f, 0.0f);
    std::vector<float> envelope(x.size());
    std::vector<float> baseband(2 * x.size());
    const int n = tone_demod_process_baseband(d.get(), x.data(), static_cast<int>(x.size()), envelope.data(),
                                              baseband.data(), static_cast<int>(envelope.size()));
    ASSERT_EQ(n, 1500);
    EXPECT_NEAR(pitch_of(d), 703.0f, 1.0f);  // the tracker found the tone
    // Steady last second: magnitude 0.5 (with a little image leak), turning 3 Hz x 2 ms per value.
    double turn = 0.0;
    for (int i = 1000; i < n; ++i) {
        const std::complex<double> z(baseband[2 * i], baseband[2 * i + 1]);
        const std::complex<double> before(baseband[2 * i - 2], baseband[2 * i - 1]);
        EXPECT_NEAR(std::abs(z), 0.5, 0.05) << i;
        turn += std::arg(z * std::conj(before));
    }
    EXPECT_NEAR(turn / (n - 1000), 6.2831853 * 3.0 * 0.002, 0.002);
}

// A tone off the pitch is followed within the pull, not beyond it, and hardly heard 100 Hz away.
TEST(ToneDemodulator, GivesTheAmplitudeAndFollowsAToneWithinThePull)
{
    const std::vector<float> steady = keyed_tone(700.0f, 1.0f, 1000.0f, 0.0f);
    const std::vector<float> envelope = run(make(700.0f, 0.0f).get(), steady);
    ASSERT_EQ(envelope.size(), 500u);
    EXPECT_NEAR(envelope.back(), 0.5f, 0.01f);
    EXPECT_LT(run(make(800.0f, 0.0f).get(), steady).back(), 0.05f);
    for (auto [tone, pull] : {std::pair{670.0f, 50.0f}, {735.0f, 50.0f}, {735.0f, 0.0f}, {735.0f, 20.0f}}) {
        Demod d = make(700.0f, pull);
        const std::vector<float> e = run(d.get(), keyed_tone(tone, 3.0f, 180.0f, 60.0f));
        if (pull < std::fabs(tone - 700.0f)) {
            EXPECT_LE(pitch_of(d), 700.0f + pull) << pull;
        } else {
            EXPECT_NEAR(pitch_of(d), tone, 1.0f);
            EXPECT_GT(e.back() + e[e.size() - 40], 0.4f);
        }
    }
}

TEST(ToneDemodulator, FlutterIsAveragedInPowerAndSteadyOrSlowlyFadingTonesCoherently)
{
    for (const MORSE_CHANNEL channel : {MORSE_CHANNEL_NONE, MORSE_CHANNEL_POOR, MORSE_CHANNEL_FLUTTER}) {
        MORSE_AUDIO_CONFIG c = morse_audio_default_config();
        c.sampleRateHz = uint32_t(kRate), c.pitchHz = 700.0, c.addNoise = true, c.snrDb = 10.0, c.channel = channel;
        std::vector<float> x;
        ASSERT_TRUE(morse_audio_generate(c, "CQ CQ DE ZR1ABC ZR1ABC K", &x, nullptr, nullptr));
        Demod d = make(700.0f, 20.0f, 30.0f);
        run(d.get(), x);
        EXPECT_EQ(status_of(d).incoherent, channel == MORSE_CHANNEL_FLUTTER ? 1 : 0) << channel;
    }
}

TEST(ToneDemodulator, ReconfiguringKeepsTheTrackedToneUnlessThePitchMoves)
{
    Demod d = make(700.0f, 50.0f);
    run(d.get(), keyed_tone(720.0f, 3.0f, 180.0f, 60.0f));
    TONE_DEMOD_CONFIG c{.sampleRate = kRate, .pitchHz = 705.0f, .pullHz = 50.0f, .windowMs = 20.0f};
    tone_demod_configure(d.get(), &c);
    EXPECT_NEAR(pitch_of(d), 720.0f, 1.0f);
    c.pitchHz = 900.0f;
    tone_demod_configure(d.get(), &c);
    EXPECT_EQ(pitch_of(d), 900.0f);
    tone_demod_set_window(d.get(), 1000.0f);  // no longer than the ring holds
    EXPECT_LT(status_of(d).windowMs, 1000.0f);
    EXPECT_EQ(tone_demod_process(nullptr, nullptr, 10, nullptr, 0), 0);
    EXPECT_EQ(tone_demod_create(nullptr), nullptr);
}

}  // namespace
