// The CW receiver with its backend, through CWRx.h: configuration, decoding, lock and text contract.
#include "CWRx.h"
#include "rx_run.h"
#include "text_metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

const std::string kText = "CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX 73 K";
const std::string kOver = "ZR2XY DE ZR1ABC GM OM UR RST 579 579 NAME IS PAUL QTH NEAR BERN HW? BK";

using rx_run::Rx;

Rx make_rx(const CW_RX_CONFIG& c)
{
    return Rx(cw_rx_create(&c));
}

CW_RX_STATUS status_of(const CW_RX* rx)
{
    CW_RX_STATUS s;
    cw_rx_get_status(rx, &s);
    return s;
}

double cer(const rx_run::Signal& s, const CW_RX_CONFIG& c, size_t block, const std::string& text = kText)
{
    const std::string decoded = rx_run::decode(make_rx(c).get(), c, rx_run::generate(s, text), block);
    return text_metrics::cer_after_first_word(text, decoded);
}

MORSE_AUDIO_CONFIG sender(double pitchHz, double wpm, double snrDb, double leadSeconds = 1.0)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.pitchHz = pitchHz, c.wpm = wpm, c.snrDb = snrDb, c.leadSeconds = leadSeconds;
    return c;
}

// The recordings in a row at 48000 Hz in band noise, decoded at `rxPitch` in the pipeline's blocks.
std::string decode_band(std::vector<std::pair<MORSE_AUDIO_CONFIG, std::string>> parts, double rxPitch = 700.0)
{
    std::vector<float> samples;
    uint32_t seed = parts.front().first.seed;
    for (auto& [c, text] : parts) {
        c.sampleRateHz = 48000, c.addNoise = true, c.seed = seed++;
        if (&c != &parts.back().first)
            c.tailSeconds = 0.0;
        std::vector<float> part;
        EXPECT_TRUE(morse_audio_generate(c, text, &part, nullptr, nullptr));
        samples.insert(samples.end(), part.begin(), part.end());
    }
    const CW_RX_CONFIG rc = rx_run::config_for(48000, rxPitch);
    return text_metrics::collapse_whitespace(rx_run::decode(make_rx(rc).get(), rc, samples, 2048));
}

}  // namespace

// A NaN rate, a pitch below the range and a swapped speed range still decode, at the clamped pitch.
TEST(CwRxConfig, BadValuesBecomeUsableOnes)
{
    CW_RX_CONFIG c = rx_run::config_for(NAN, 250.0);
    c.bandwidthHz = 4.0, c.threshold = NAN, c.minWpm = 45.0, c.maxWpm = 15.0, c.lockHoldMs = -INFINITY;
    const CW_RX_STATUS s = status_of(make_rx(c).get());
    EXPECT_EQ(s.pitchHz, 300.0);
    EXPECT_EQ(s.threshold, 0.0f);
    EXPECT_LE(cer({.wpm = 22.0, .pitchHz = 300.0, .rate = 48000}, c, 2048), 0.02);
}

TEST(CwRxDecoding, CleanSignalAtAnyRateBlockSizeAndPitchWithinTheBandwidth)
{
    const struct {
        uint32_t rate;
        double tonePitch;
        bool autoPitch;
        size_t block;
    } cases[] = {{8000, 600, false, 2048},  {12000, 615, false, 2048}, {24000, 585, true, 2048},
                 {48000, 620, false, 2048}, {8000, 590, true, 2048},   {48000, 600, false, 1},
                 {48000, 600, false, 48000}};
    for (const auto& [rate, hz, autoPitch, block] : cases)
        EXPECT_LE(cer({.wpm = 22, .pitchHz = hz, .rate = rate}, rx_run::config_for(rate, 600, autoPitch), block), 0.02)
            << rate << " Hz, tone " << hz << ", block " << block;
}

TEST(CwRxDecoding, SampleRateChangeMidStream)
{
    CW_RX_CONFIG c = rx_run::config_for(48000, 600.0);
    Rx rx = make_rx(c);
    std::string text = rx_run::decode(rx.get(), c, rx_run::generate({.rate = 48000}, "CQ CQ DE ZR1ABC K"), 2048);
    c.sampleRate = 8000;
    text += rx_run::decode(rx.get(), c, rx_run::generate({.rate = 8000}, "ZR1ABC DE ZR2XYZ 73 BK"), 2048);
    EXPECT_EQ(text_metrics::collapse_whitespace(text), "CQ CQ DE ZR1ABC K ZR1ABC DE ZR2XYZ 73 BK");
}

TEST(CwRxLock, RisesOnASignalAndFallsAfterTheHoldTime)
{
    // {highest grade during the signal, seconds after it to lock lost}
    const auto lock_times = [](double holdMs) {
        const std::vector<float> audio = rx_run::generate({.tailSeconds = 6.0}, kText);
        const double signalEnd = double(audio.size() - 6 * 8000);
        CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
        c.lockHoldMs = holdMs;
        std::pair<int, double> t{0, -1.0};
        auto& [best, lostS] = t;
        rx_run::decode(make_rx(c).get(), c, audio, 400, 128, [&](const CW_RX_STATUS& st, size_t end) {
            const double after = (double(end) - signalEnd) / 8000.0;
            if (after < 0.0)
                best = std::max(best, int(st.lock));
            else if (st.lock == 0 && lostS < 0.0)
                lostS = after;
        });
        return t;
    };
    const auto [shortBest, shortLost] = lock_times(800.0);
    EXPECT_EQ(shortBest, 2);
    EXPECT_NEAR(shortLost, 0.8, 0.25);
    // A longer hold is cut short once the 3-second statistics fill with silence.
    const auto [longBest, longLost] = lock_times(4000.0);
    EXPECT_EQ(longBest, 2);
    EXPECT_GT(longLost, shortLost + 0.4);
    EXPECT_LE(longLost, 4.0);
}

namespace {

// 20 WPM keying from 3 s in band noise (or silence) at 48000 Hz, 4 s more
// of the same after it, in the window's 2048-sample blocks.
struct PRESENCE_SEEN {
    double onsetS = -1.0;  // first present block after the first key-down
    double goneS = -1.0;   // first absent block after the last key-down
    int presentBeforeKeying = 0;
    int absentWhileKeying = 0;
    int presentAfterGone = 0;
};

PRESENCE_SEEN presence_seen(CW_RX* rx, const std::string& text, double snrDb, bool noise)
{
    constexpr uint32_t kRate = 48000;
    MORSE_AUDIO_CONFIG c = rx_run::noisy_config(20, 600, kRate, snrDb, 9, 4.0);
    std::vector<MORSE_KEYING> keying;
    EXPECT_TRUE(morse_audio_timeline(c, text, &keying, nullptr, nullptr));
    double keyedMs = 0.0;
    for (const MORSE_KEYING& k : keying)
        keyedMs += k.keyDown || &k != &keying.back() ? k.durationMs : 0.0;
    const double firstS = 3.0, lastS = 3.0 + keyedMs / 1000.0;
    std::vector<float> audio(size_t((lastS + 4.0) * kRate), 0.0f);
    EXPECT_TRUE(morse_audio_mix_tone(c, keying, size_t(firstS * kRate), &audio, nullptr));
    std::mt19937 rng(9);
    if (noise)
        morse_audio_add_noise(audio.data(), audio.size(), morse_audio_noise_sigma(c.amplitude, snrDb, kRate), &rng);
    CW_RX_CONFIG config = rx_run::config_for(kRate, 600);
    config.bandwidthHz = 120;
    PRESENCE_SEEN seen;
    rx_run::decode(rx, config, audio, 2048, 128, [&](const CW_RX_STATUS& st, size_t end) {
        const double t = double(end) / kRate;
        if (t < firstS)
            seen.presentBeforeKeying += st.signalPresent;
        else if (st.signalPresent && seen.onsetS < 0.0)
            seen.onsetS = t - firstS;
        else if (seen.onsetS >= 0.0 && t < lastS)
            seen.absentWhileKeying += !st.signalPresent;
        else if (t >= lastS && seen.goneS < 0.0 && !st.signalPresent)
            seen.goneS = t - lastS;
        else if (seen.goneS >= 0.0)
            seen.presentAfterGone += st.signalPresent;
    });
    return seen;
}

}  // namespace

// Band noise, however the AGC lifts it, and silence are no signal; keying
// is one within two dots (60 ms each) and a block, through its word gaps,
// and stops being one about a second after its last key-down.
TEST(CwRxPresence, KeyingIsASignalWithinTwoDotsNoiseAndSilenceAreNoneWithinASecond)
{
    for (const bool noise : {true, false}) {
        const CW_RX_CONFIG c = rx_run::config_for(48000, 600);
        const PRESENCE_SEEN seen = presence_seen(make_rx(c).get(), "EEE TEST DE ZR1ABC", 0.0, noise);
        EXPECT_EQ(seen.presentBeforeKeying, 0) << noise;
        EXPECT_GE(seen.onsetS, 0.0) << noise;
        EXPECT_LE(seen.onsetS, 0.12 + 2048.0 / 48000) << noise;
        EXPECT_EQ(seen.absentWhileKeying, 0) << noise;
        EXPECT_GE(seen.goneS, 0.4) << noise;  // not at the first gap
        EXPECT_LE(seen.goneS, 1.2) << noise;
        EXPECT_EQ(seen.presentAfterGone, 0) << noise;
    }
    // Half a minute of band noise alone, at two levels.
    for (const double sigma : {0.01, 0.3}) {
        std::vector<float> noise(48000 * 30);
        std::mt19937 rng(4);
        morse_audio_add_noise(noise.data(), noise.size(), sigma, &rng);
        const CW_RX_CONFIG c = rx_run::config_for(48000, 600);
        int present = 0;
        rx_run::decode(make_rx(c).get(), c, noise, 2048, 128,
                       [&](const CW_RX_STATUS& st, size_t end) { present += end > 48000 && st.signalPresent; });
        EXPECT_EQ(present, 0) << sigma;
    }
}

// Text that does not fit waits for later calls; a capacity of 1 only ever gets the terminator.
TEST(CwRxTextContract, SmallBuffersLoseAndRepeatNothing)
{
    const std::vector<float> audio = rx_run::generate({.wpm = 30}, kText);
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    const std::string expected = rx_run::decode(make_rx(c).get(), c, audio, 256, 4096);
    ASSERT_GT(expected.size(), 20u);
    for (size_t capacity : {1, 2, 5}) {
        Rx small = make_rx(c);
        std::vector<char> buffer(4096, 'x');
        std::string got;
        for (size_t at = 0; at < audio.size(); at += 256) {
            const size_t n = cw_rx_process(small.get(), audio.data() + at, std::min<size_t>(256, audio.size() - at),
                                           buffer.data(), capacity);
            ASSERT_LT(n, capacity);
            ASSERT_EQ(std::strlen(buffer.data()), n);
            got.append(buffer.data(), n);
        }
        const float quiet[256] = {};
        got.append(buffer.data(), cw_rx_process(small.get(), quiet, 256, buffer.data(), buffer.size()));
        EXPECT_EQ(got.substr(0, expected.size()), expected) << capacity;
    }
}

TEST(CwRxEntries, NullPointersAreToleratedAndResetKeepsTheConfiguration)
{
    char text[8] = "garbage";
    const float samples[4] = {};
    cw_rx_configure(nullptr, nullptr), cw_rx_reset(nullptr), cw_rx_destroy(nullptr);
    EXPECT_EQ(cw_rx_process(nullptr, samples, 4, text, sizeof(text)) + cw_rx_has_backend(nullptr), 0u);
    EXPECT_TRUE(text[0] == '\0' && status_of(nullptr).wpm == 0.0);
    Rx rx(cw_rx_create(nullptr));
    ASSERT_EQ(cw_rx_has_backend(rx.get()), 1);
    cw_rx_configure(rx.get(), nullptr), cw_rx_get_status(rx.get(), nullptr), std::strcpy(text, "garbage");
    EXPECT_EQ(cw_rx_process(rx.get(), nullptr, 4, text, sizeof(text)), 0u);
    EXPECT_STREQ(text, "");
    // Without a text buffer the state still advances; a reset keeps the configuration.
    const CW_RX_CONFIG c = rx_run::config_for(8000, 650.0);
    const auto key = [](const CW_RX_STATUS& s) {
        return std::tuple(s.wpm, s.pitchHz, s.threshold, s.decoderGain, s.level, s.inputLevel, s.statQuality, s.lock,
                          s.keyDown, s.signalPresent);
    };
    const auto fresh = key(status_of(make_rx(c).get()));
    const std::vector<float> audio = rx_run::generate({.pitchHz = 650.0}, "TEST TEST");
    for (size_t at = 0; at + 1024 <= audio.size(); at += 1024) {
        cw_rx_configure(rx.get(), &c);
        EXPECT_EQ(cw_rx_process(rx.get(), audio.data() + at, 1024, nullptr, 0), 0u);
    }
    EXPECT_GT(status_of(rx.get()).statQuality, 0.0f);
    ASSERT_NE(key(status_of(rx.get())), fresh);
    cw_rx_reset(rx.get());
    EXPECT_EQ(key(status_of(rx.get())), fresh);
}

TEST(CwRxSamples, NonFiniteHugeAndClippedSamples)
{
    std::vector<float> audio = rx_run::generate({}, kText);
    for (float& x : audio)
        x = std::clamp(x * 4.0f, -0.2f, 0.2f);
    for (size_t i = 8000; i < 8100; ++i)
        audio[i] = i % 2 ? NAN : INFINITY;
    audio[8100] = -3e38f;
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    for (bool fallback : {false, true}) {
        Rx rx(fallback ? cw_rx_create_fallback(&c) : cw_rx_create(&c));
        const std::string text = rx_run::decode(rx.get(), c, audio, fallback ? 32 : 1024);
        EXPECT_TRUE(std::isfinite(status_of(rx.get()).level) && std::isfinite(status_of(rx.get()).wpm)) << fallback;
        EXPECT_TRUE(fallback || text_metrics::cer_after_first_word(kText, text) <= 0.02) << text;
    }
}

// Loose bounds; the decode_conditions benchmark measures these properly.
TEST(CwRxBand, FadingHandKeyingAndFarnsworthDecode)
{
    MORSE_AUDIO_CONFIG fading = sender(700.0, 20.0, 10.0), hand = sender(700.0, 18.0, 0.0),
                       farnsworth = sender(700.0, 18.0, 10.0);
    fading.channel = MORSE_CHANNEL_MODERATE;
    hand.jitterPercent = 20.0, hand.dahRatio = 3.5;
    farnsworth.farnsworthWpm = 10.0;
    const auto wrong = [](MORSE_AUDIO_CONFIG c) { return text_metrics::levenshtein(kOver, decode_band({{c, kOver}})); };
    EXPECT_LE(wrong(fading), 0.3 * kOver.size());
    EXPECT_LE(wrong(hand), 0.05 * kOver.size());
    EXPECT_LE(wrong(farnsworth), 0.1 * kOver.size());
}

// The first over's start is read again once its speed is known; the noise after it prints nothing. The
// faster part starts a word gap at the old speed after the slow one. A caller 40 Hz below the receiver,
// the answer 40 Hz above at another speed, as in one contact, are both followed.
TEST(CwRxBand, AFirstOverIsReadWholeASpeedUpLosesNothingAndAnAnswerOffThePitchIsFollowed)
{
    for (const auto& [seed, text] :
         {std::pair{2u, "CQ CQ CQ DE ZR1ABC ZR1ABC PSE K"}, {3u, "R TNX FER QSO 73 ES GL ZR2XY DE ZR1ABC TU SK"}}) {
        MORSE_AUDIO_CONFIG c = sender(700.0, 20.0, 0.0);
        c.seed = seed, c.tailSeconds = 20.0;
        EXPECT_EQ(decode_band({{c, text}}), text);
    }
    EXPECT_EQ(decode_band({{sender(700.0, 15.0, 10.0), "CQ CQ CQ DE ZR1ABC"},
                           {sender(700.0, 35.0, 10.0, 7.0 * 1.2 / 15.0), "ZR1ABC PSE K"}}),
              "CQ CQ CQ DE ZR1ABC ZR1ABC PSE K");
    const std::string decoded = decode_band({{sender(560.0, 18.0, 10.0), "CQ CQ CQ DE QA1BC QA1BC K"},
                                             {sender(640.0, 24.0, 10.0, 1.2), "QA1BC DE QR2XYZ QR2XYZ K"}},
                                            600.0);
    EXPECT_NE(decoded.find("CQ DE QA1BC QA1BC K"), std::string::npos) << decoded;
    EXPECT_NE(decoded.find("DE QR2XYZ QR2XYZ K"), std::string::npos) << decoded;
}
