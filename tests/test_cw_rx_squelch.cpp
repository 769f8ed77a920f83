// Text squelch: the unit on its own figures, then the receiver over noisy overs.
#include "CWRx.h"
#include "cw_rx_squelch.h"
#include "morse_audio_generator.h"
#include "rx_run.h"
#include "text_metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

class Squelch : public ::testing::Test {
protected:
    void SetUp() override
    {
        cw_rx_squelch_set_level(&squelch_, 0.5);
        cw_text_queue_clear(&out_);
    }
    // One 100 ms block with the given envelope SNR and engine cost.
    void step(float snrDb, float cost, const std::string& text)
    {
        CW_RX_STATUS s{};
        s.statSnrDb = snrDb, s.decoderCost = cost;
        cw_rx_squelch_step(&squelch_, s, 100.0, text.data(), text.size(), &out_);
    }
    std::string drain()
    {
        char out[256];
        return std::string(out, cw_text_queue_deliver(&out_, out, sizeof(out)));
    }
    CW_RX_SQUELCH squelch_{};
    CW_TEXT_QUEUE out_;
};

// Poorly fitted text waits: a good block in the hold time releases it first, else it expires. Text held
// for what was heard at the old pitch never comes out as the new station's.
TEST_F(Squelch, HeldTextComesOutInOrderOnceConfirmedOrExpiresAndARetuneDropsIt)
{
    step(12.0f, 0.9f, "C");
    step(12.0f, 0.9f, "Q");
    EXPECT_EQ(drain(), "");
    step(12.0f, 0.05f, " DE");
    EXPECT_EQ(drain(), "CQ DE");
    step(12.0f, 0.9f, "5I");
    for (int i = 0; i < 16; ++i)
        step(12.0f, 0.9f, "");
    step(12.0f, 0.05f, "K");
    EXPECT_EQ(drain(), "K");
    step(12.0f, 0.9f, "5I");
    cw_rx_squelch_retune(&squelch_);
    step(12.0f, 0.05f, "CQ");
    EXPECT_EQ(drain(), "CQ");
}

TEST_F(Squelch, LevelIsClampedAndStricterLevelsAskMore)
{
    for (auto [given, stored] : {std::pair{-1.0, 0.0}, {NAN, 0.0}, {0.25, 0.25}, {7.0, 1.0}}) {
        cw_rx_squelch_set_level(&squelch_, given);
        EXPECT_EQ(squelch_.level, stored) << given;
    }
    EXPECT_GT(cw_rx_squelch_snr_min_db(1.0), cw_rx_squelch_snr_min_db(0.5));
    EXPECT_LT(cw_rx_squelch_cost_max(1.0), cw_rx_squelch_cost_max(0.5));
    EXPECT_LT(cw_rx_squelch_offset_max_hz(1.0), cw_rx_squelch_offset_max_hz(0.5));
}

TEST(CwRxSquelch, ReceiverEntryPointsTolerateNullAndClamp)
{
    cw_rx_set_squelch(nullptr, 0.5);
    rx_run::Rx rx(cw_rx_create(nullptr));
    EXPECT_EQ(cw_rx_get_squelch(nullptr) + cw_rx_get_squelch(rx.get()), 0.0);  // off until the caller sets it
    cw_rx_set_squelch(rx.get(), 1.5);
    cw_rx_reset(rx.get());  // a reset keeps the level
    EXPECT_EQ(cw_rx_get_squelch(rx.get()), 1.0);
}

// The texts at 22 WPM with 6 s of band noise after each, at 8000 Hz.
std::vector<float> overs(const std::vector<std::string>& texts, double snrDb)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.wpm = 22;
    std::vector<float> samples(2 * c.sampleRateHz, 0.0f);
    std::vector<MORSE_KEYING> timeline;
    for (const std::string& t : texts) {
        EXPECT_TRUE(morse_audio_timeline(c, t, &timeline, nullptr, nullptr) &&
                    morse_audio_mix_tone(c, timeline, samples.size(), &samples, nullptr));
        samples.resize(samples.size() + 6 * c.sampleRateHz, 0.0f);
    }
    std::mt19937 rng(3);
    morse_audio_add_noise(samples.data(), samples.size(), morse_audio_noise_sigma(c.amplitude, snrDb, 8000), &rng);
    return samples;
}

std::string decode(const std::vector<float>& samples, double squelch, size_t capacity)
{
    const CW_RX_CONFIG config = rx_run::config_for(8000, 600);
    rx_run::Rx rx(cw_rx_create(&config));
    cw_rx_set_squelch(rx.get(), squelch);
    return rx_run::decode(rx.get(), config, samples, 512, capacity);
}

TEST(CwRxSquelch, OversInNoiseComeOutWholeInOrderAndNothingBetween)
{
    const std::vector<float> samples = overs({"CQ CQ DE ZR1ABC K", "ZR2XYZ DE ZR1ABC UR 599 BK", "TNX 73 SK"}, 6.0);
    const std::string squelched = decode(samples, 0.5, 128);
    EXPECT_EQ(text_metrics::collapse_whitespace(squelched), "CQ CQ DE ZR1ABC K ZR2XYZ DE ZR1ABC UR 599 BK TNX 73 SK");
    EXPECT_EQ(decode(samples, 0.5, 2), squelched);  // one byte per call: the same text, nothing lost
}

// Off is the receiver as it always was, call by call, status included.
TEST(CwRxSquelch, OffGivesExactlyTheOldOutput)
{
    const std::vector<float> samples = overs({"CQ DE ZR1ABC K"}, 0.0);
    const CW_RX_CONFIG config = rx_run::config_for(8000, 600);
    rx_run::Rx plain(cw_rx_create(&config)), off(cw_rx_create(&config));
    cw_rx_set_squelch(off.get(), 0.7);
    cw_rx_set_squelch(off.get(), 0.0);
    char a[64], b[64];
    CW_RX_STATUS sa, sb;
    for (size_t at = 0; at + 512 <= samples.size(); at += 512) {
        const size_t na = cw_rx_process(plain.get(), samples.data() + at, 512, a, sizeof(a));
        ASSERT_EQ(std::string(a, na), std::string(b, cw_rx_process(off.get(), samples.data() + at, 512, b, sizeof(b))));
        cw_rx_get_status(plain.get(), &sa);
        cw_rx_get_status(off.get(), &sb);
        ASSERT_EQ(std::memcmp(&sa, &sb, sizeof(sa)), 0) << at;
    }
}

const std::string kStationText = "CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 73 K";

// A station at 20 WPM, `offsetHz` from a receiver at 600 Hz with the window's 120 Hz bandwidth, 48000 Hz in
// 2048-sample blocks: its text with the squelch off and at 0.5.
std::pair<std::string, std::string> station_text(double offsetHz, double snrDb)
{
    const std::vector<float> audio =
        rx_run::generate({.pitchHz = 600.0 + offsetHz, .rate = 48000, .noisy = true, .snrDb = snrDb}, kStationText);
    CW_RX_CONFIG config = rx_run::config_for(48000, 600);
    config.bandwidthHz = 120;
    rx_run::Rx open(cw_rx_create(&config)), squelched(cw_rx_create(&config));
    cw_rx_set_squelch(squelched.get(), 0.5);
    return {rx_run::decode(open.get(), config, audio, 2048), rx_run::decode(squelched.get(), config, audio, 2048)};
}

}  // namespace

// A neighbour at the edge of the filter or beyond it keys cleanly and the
// engine reads it, often well, but it is not the station tuned: the squelch
// keeps it out on either side. The station on the pitch loses nothing.
TEST(CwRxSquelch, AStationOffThePitchPrintsNothingAndOnePrintsWhole)
{
    for (double offsetHz : {40.0, -40.0, 80.0, -120.0, 190.0}) {
        const auto [open, squelched] = station_text(offsetHz, 20.0);
        EXPECT_GT(open.size(), 20u) << offsetHz;  // there is something to hold back
        EXPECT_LE(squelched.size(), 2u) << offsetHz << " Hz: " << squelched;
    }
    for (double snrDb : {20.0, 0.0, -6.0}) {
        const auto [open, squelched] = station_text(0.0, snrDb);
        const double squelchedCer = text_metrics::cer_after_first_word(kStationText, squelched);
        EXPECT_LE(squelchedCer, text_metrics::cer_after_first_word(kStationText, open) + 0.01) << snrDb;
        EXPECT_LE(squelchedCer, 0.03) << snrDb;
    }
}

// A retune away from a station in the middle of its over, with the reset of
// GotoMax and without it as AutoGTM does: nothing heard at the old pitch is
// printed more than a moment later.
TEST(CwRxSquelch, ARetuneEndsTheOldTextAtOnce)
{
    const std::vector<float> audio =
        rx_run::generate({.pitchHz = 600.0, .rate = 48000, .noisy = true, .snrDb = 10.0}, kStationText);
    for (const bool reset : {false, true}) {
        CW_RX_CONFIG config = rx_run::config_for(48000, 600);
        config.bandwidthHz = 120;
        rx_run::Rx rx(cw_rx_create(&config));
        cw_rx_set_squelch(rx.get(), 0.5);
        const size_t retuneAt = 48000 * 9;
        const std::vector<float> before(audio.begin(), audio.begin() + retuneAt);
        const std::vector<float> after(audio.begin() + retuneAt, audio.end());
        EXPECT_GT(rx_run::decode(rx.get(), config, before, 2048).size(), 10u);
        config.pitchHz = 900.0;
        cw_rx_configure(rx.get(), &config);
        if (reset)
            cw_rx_reset(rx.get());
        size_t lateChars = 0;
        std::string late;
        char text[128];
        for (size_t at = 0; at + 2048 <= after.size(); at += 2048) {
            const size_t n = cw_rx_process(rx.get(), after.data() + at, 2048, text, sizeof text);
            if (at >= 48000 / 4) {
                lateChars += n;
                late.append(text, n);
            }
        }
        EXPECT_EQ(lateChars, 0u) << reset << ": " << late;
    }
}

// GotoMax in the middle of an over from a station 60 Hz off the pitch,
// whose text the squelch held back: what it sent in the seconds before is
// decoded again at the new pitch, and nothing of it twice.
TEST(CwRxSquelch, ARetuneOntoAStationKeepsWhatItSentJustBefore)
{
    const std::vector<float> audio =
        rx_run::generate({.pitchHz = 660.0, .rate = 48000, .noisy = true, .snrDb = 10.0}, kStationText);
    CW_RX_CONFIG config = rx_run::config_for(48000, 600);
    config.bandwidthHz = 120;
    rx_run::Rx rx(cw_rx_create(&config));
    cw_rx_set_squelch(rx.get(), 0.5);
    const size_t retuneAt = 48000 * 6;  // in "DE ZR1ABC"
    const std::vector<float> before(audio.begin(), audio.begin() + retuneAt);
    const std::vector<float> after(audio.begin() + retuneAt, audio.end());
    EXPECT_EQ(rx_run::decode(rx.get(), config, before, 2048), "");
    config.pitchHz = 660.0;
    cw_rx_retune(rx.get(), &config, 1);
    const std::string text = text_metrics::collapse_whitespace(rx_run::decode(rx.get(), config, after, 2048));
    const std::string tail = "DE ZR1ABC ZR1ABC THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 73 K";
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), tail.size())), tail) << text;
}
