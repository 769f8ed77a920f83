// The tuner as the window and zarvo-decode drive it: blocks of audio with
// the receiver's configuration and status in, pitch changes out.
#include "cw_tuner.h"

#include "CWRx.h"
#include "morse_audio_generator.h"
#include "rx_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr double kRate = 8000.0;
constexpr size_t kBlock = 1600;  // 0.2 s: one spectrum per block

using Tuner = std::unique_ptr<CW_TUNER, decltype(&cw_tuner_destroy)>;

Tuner make_tuner(bool autoGtm, bool findTone)
{
    const CW_TUNER_CONFIG config{.autoGtm = autoGtm ? 1 : 0, .rearmSeconds = 2.5, .findTone = findTone ? 1 : 0};
    return Tuner(cw_tuner_create(&config), cw_tuner_destroy);
}

CW_RX_STATUS signal(bool present, float quality = 70.0f, float cost = 0.5f)
{
    CW_RX_STATUS s{};
    s.signalPresent = present, s.wpm = 20, s.decoderCost = cost, s.statWpm = 21, s.statQuality = quality;
    s.statOnRatio = 0.4f, s.toneOffsetHz = 100.0f;
    return s;
}

// A tone in noise, continuous across blocks.
struct Source {
    double hz, amplitude;
    std::mt19937 noise{7};
    size_t at = 0;

    CW_TUNER_RESULT step(CW_TUNER* t, double pitchHz, const CW_RX_STATUS& status, double now)
    {
        std::normal_distribution<float> n(0.0f, 0.05f);
        std::vector<float> x(kBlock);
        for (float& v : x)
            v = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * double(at++) / kRate)) + n(noise);
        CW_RX_CONFIG rx = cw_rx_default_config();
        rx.sampleRate = kRate, rx.pitchHz = pitchHz;
        CW_TUNER_RESULT r{};
        cw_tuner_update(t, x.data(), x.size(), &rx, &status, now, &r);
        return r;
    }
};

}  // namespace

TEST(Tuner, PitchesComeInFiveHertzStepsWithinTheReceiversRange)
{
    for (auto [hz, pitch] : {std::pair{612.4, 610.0}, {612.5, 615.0}, {1300.0, 1200.0}, {std::nan(""), 300.0}})
        EXPECT_EQ(cw_tuner_quantized_pitch(hz), pitch) << hz;
}

// Steps 0.4 s apart: the second new signal comes 1.2 s after the first
// retune, inside the rearm delay, the third 2.8 s after it. A poor signal
// or one already on the pitch moves nothing, so text is not repeated by a
// retune to where the receiver already is.
TEST(Tuner, AutoGtmRetunesOnceAtTheStartOfEachSignalAfterTheRearmDelay)
{
    Tuner t = make_tuner(true, false);
    Source tone{.hz = 700.0, .amplitude = 0.5};
    double now = 1.0;
    for (int i = 0; i < 10; ++i, now += 0.2)
        tone.step(t.get(), 600.0, signal(false), now);
    const bool present[] = {true, true, false, true, false, false, false, true};
    for (int i = 0; i < 8; ++i) {
        const CW_TUNER_RESULT r = tone.step(t.get(), 600.0, signal(present[i]), now);
        const bool retune = i == 0 || i == 7;
        EXPECT_EQ(r.action, retune ? CW_TUNER_RETUNE : CW_TUNER_KEEP) << "at " << now;
        EXPECT_TRUE(!retune || r.pitchHz == 700.0) << r.pitchHz;
        now += 0.4;
    }
    cw_tuner_forget_signal(t.get());
    EXPECT_EQ(tone.step(t.get(), 600.0, signal(true, 40.0f), now + 3.0).action, CW_TUNER_KEEP);
    cw_tuner_forget_signal(t.get());
    EXPECT_EQ(tone.step(t.get(), 700.0, signal(true), now + 6.0).action, CW_TUNER_KEEP);
}

// A tone must hold its place for 4 s of spectra to be found; when nothing
// decodes there for more than 5 s it was not a signal. Noise alone is
// never taken for a tone.
TEST(Tuner, FindsAToneOfUnknownPitchAndDropsOneThatNeverDecodes)
{
    Tuner t = make_tuner(true, true);
    Source tone{.hz = 642.0, .amplitude = 0.3};
    double now = 0.0;
    CW_TUNER_RESULT found{};
    for (int i = 0; i < 40 && found.action == CW_TUNER_KEEP; ++i)
        found = tone.step(t.get(), 600.0, signal(false, 0.0f, 5.0f), now += 0.2);
    ASSERT_EQ(found.action, CW_TUNER_FOUND);
    EXPECT_EQ(found.pitchHz, 640.0);
    EXPECT_GE(now, 3.9);
    CW_TUNER_STATUS status{};
    EXPECT_TRUE((cw_tuner_get_status(t.get(), &status), status.toneFound == 1 && status.confirmed == 0));
    for (int i = 0; i < 27; ++i)
        tone.step(t.get(), 640.0, signal(false, 0.0f, 5.0f), now += 0.2);
    EXPECT_EQ((cw_tuner_get_status(t.get(), &status), status.toneFound), 0);

    Tuner quiet = make_tuner(true, true);
    Source noise{.hz = 0.0, .amplitude = 0.0};
    for (int i = 1; i <= 300; ++i)
        ASSERT_EQ(noise.step(quiet.get(), 600.0, signal(false, 0.0f, 5.0f), 0.2 * i).action, CW_TUNER_KEEP) << i;
}

namespace {

struct OVER {
    double hz;
    const char* text;
};

// Band noise, then the overs one after the other (0.9 s apart, as in a
// quick exchange), decoded by a receiver at 600 Hz in 2048-sample blocks as
// the window runs it: an automatic retune moves the receiver's pitch
// without a reset. Returns the pitch each retune chose and, in *retunedAt,
// the seconds from the first key-down to each.
std::vector<double> autogtm_retunes(const std::vector<OVER>& overs, std::vector<double>* retunedAt)
{
    constexpr uint32_t kAudioRate = 48000;
    constexpr double kLeadSeconds = 3.0;
    std::vector<float> audio;
    for (size_t i = 0; i < overs.size(); ++i) {
        MORSE_AUDIO_CONFIG c = rx_run::noisy_config(20, overs[i].hz, kAudioRate, 10.0, 5 + uint32_t(i), 0.9);
        c.leadSeconds = i == 0 ? kLeadSeconds : 0.0;
        std::vector<float> over;
        EXPECT_TRUE(morse_audio_generate(c, overs[i].text, &over, nullptr, nullptr));
        audio.insert(audio.end(), over.begin(), over.end());
    }
    CW_RX_CONFIG config = rx_run::config_for(kAudioRate, 600.0);
    config.bandwidthHz = 120.0;
    rx_run::Rx rx(cw_rx_create(&config));
    Tuner t = make_tuner(true, false);
    std::vector<double> pitches;
    for (size_t at = 0; at + 2048 <= audio.size(); at += 2048) {
        cw_rx_process(rx.get(), audio.data() + at, 2048, nullptr, 0);
        CW_RX_STATUS status;
        cw_rx_get_status(rx.get(), &status);
        const double now = double(at + 2048) / kAudioRate;
        CW_TUNER_RESULT r{};
        cw_tuner_update(t.get(), audio.data() + at, 2048, &config, &status, now, &r);
        if (r.action == CW_TUNER_RETUNE) {
            pitches.push_back(r.pitchHz);
            retunedAt->push_back(now - kLeadSeconds);
            config.pitchHz = r.pitchHz;
            cw_rx_configure(rx.get(), &config);
        }
    }
    return pitches;
}

}  // namespace

// A station a little or well off the pitch is met at its start, once: the
// receiver reports no signal in the band noise before it, so its first
// key-downs are a new signal.
TEST(Tuner, AutoGtmMovesThePitchOntoAStationOffThePitch)
{
    for (double stationHz : {625.0, 660.0}) {
        std::vector<double> at;
        const std::vector<double> pitches = autogtm_retunes({{stationHz, "CQ CQ DE ZR1ABC ZR1ABC PSE K"}}, &at);
        ASSERT_EQ(pitches.size(), 1u) << stationHz;  // once
        EXPECT_NEAR(pitches[0], stationHz, 5.0);
        EXPECT_GT(at[0], 0.0) << stationHz;
        EXPECT_LT(at[0], 4.5) << stationHz;
    }
}

// In a quick exchange the answer follows without a silence; heard off the
// pitch, it is retuned to as a new signal.
TEST(Tuner, AutoGtmFollowsAnExchangeWithoutSilenceBetweenTheOvers)
{
    std::vector<double> at;
    const std::vector<double> pitches = autogtm_retunes(
        {{560.0, "CQ CQ DE ZR1ABC ZR1ABC K"}, {640.0, "ZR1ABC DE QQ2XY QQ2XY K"}, {560.0, "QQ2XY DE ZR1ABC TNX K"}},
        &at);
    ASSERT_EQ(pitches.size(), 3u);
    EXPECT_NEAR(pitches[0], 560.0, 5.0);
    EXPECT_NEAR(pitches[1], 640.0, 5.0);
    EXPECT_NEAR(pitches[2], 560.0, 5.0);
}
