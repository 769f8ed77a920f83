// The CW receiver with its backend: configuration, decoding across rates,
// block sizes and pitch offsets, band conditions, lock grading and the
// text contract, all through CWRx.h.
#include "CWRx.h"
#include "rx_run.h"
#include "text_metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::string kText = "CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX 73 K";
const std::string kOver = "ZR2XY DE ZR1ABC GM OM UR RST 579 579 NAME IS PAUL QTH NEAR BERN HW? BK";

using rx_run::Rx;

Rx make_rx(const CW_RX_CONFIG& c) { return Rx(cw_rx_create(&c)); }

CW_RX_STATUS status_of(const CW_RX* rx)
{
    CW_RX_STATUS s;
    cw_rx_get_status(rx, &s);
    return s;
}

double cer(uint32_t rate, double tonePitch, double wpm, bool autoPitch, size_t block)
{
    const rx_run::Signal s{.wpm = wpm, .pitchHz = tonePitch, .rate = rate};
    const CW_RX_CONFIG c = rx_run::config_for(rate, 600.0, autoPitch);
    return text_metrics::cer_after_first_word(kText, rx_run::decode(make_rx(c).get(), c, rx_run::generate(s, kText), block));
}

// The recordings one after the other at 48000 Hz with band noise, decoded at
// `rxPitch` in the pipeline's blocks.
std::string decode_band(std::vector<std::pair<MORSE_AUDIO_CONFIG, std::string>> parts, double rxPitch = 700.0)
{
    std::vector<float> samples;
    uint32_t seed = parts.front().first.seed;
    for (auto& [c, text] : parts) {
        c.sampleRateHz = 48000;
        c.addNoise = true;
        c.seed = seed++;
        if (&c != &parts.back().first)
            c.tailSeconds = 0.0;
        std::vector<float> part;
        EXPECT_TRUE(morse_audio_generate(c, text, &part, nullptr, nullptr));
        samples.insert(samples.end(), part.begin(), part.end());
    }
    const CW_RX_CONFIG rc = rx_run::config_for(48000, rxPitch);
    return text_metrics::collapse_whitespace(rx_run::decode(make_rx(rc).get(), rc, samples, 2048));
}

MORSE_AUDIO_CONFIG sender(double pitchHz, double wpm, double snrDb, double leadSeconds = 1.0)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.pitchHz = pitchHz;
    c.wpm = wpm;
    c.snrDb = snrDb;
    c.leadSeconds = leadSeconds;
    return c;
}

double full_cer(const std::string& sent, const std::string& decoded)
{
    return static_cast<double>(text_metrics::levenshtein(sent, decoded)) / static_cast<double>(sent.size());
}

}  // namespace

// A NaN rate, a pitch below the range and a swapped speed range still make
// a receiver that reads 48000 Hz audio at the clamped pitch.
TEST(CwRxConfig, BadValuesBecomeUsableOnes)
{
    CW_RX_CONFIG c = rx_run::config_for(kNaN, 250.0);
    c.bandwidthHz = 4.0;
    c.threshold = std::numeric_limits<float>::quiet_NaN();
    c.minWpm = 45.0;
    c.maxWpm = 15.0;
    c.lockHoldMs = -std::numeric_limits<double>::infinity();
    Rx rx = make_rx(c);
    EXPECT_EQ(status_of(rx.get()).pitchHz, 300.0);
    EXPECT_EQ(status_of(rx.get()).threshold, 0.0f);
    const rx_run::Signal s{.wpm = 22.0, .pitchHz = 300.0, .rate = 48000};
    const std::string text = rx_run::decode(rx.get(), c, rx_run::generate(s, kText), 2048);
    EXPECT_LE(text_metrics::cer_after_first_word(kText, text), 0.02) << text;
}

TEST(CwRxDecoding, CleanSignalAtAnyRateBlockSizeAndPitchWithinTheBandwidth)
{
    const struct {
        uint32_t rate;
        double tonePitch;
        bool autoPitch;
        size_t block;
    } cases[] = {{8000, 600, false, 2048}, {12000, 615, false, 2048}, {24000, 585, true, 2048},
                 {48000, 620, false, 2048}, {8000, 590, true, 2048},  {48000, 600, false, 1},
                 {48000, 600, false, 48000}};
    for (const auto& k : cases)
        EXPECT_LE(cer(k.rate, k.tonePitch, 22, k.autoPitch, k.block), 0.02) << k.rate << " Hz, tone " << k.tonePitch
                                                                           << ", block " << k.block;
}

TEST(CwRxDecoding, SampleRateChangeMidStream)
{
    rx_run::Signal s{.rate = 48000};
    const std::vector<float> first = rx_run::generate(s, "CQ CQ DE ZR1ABC K");
    s.rate = 8000;
    CW_RX_CONFIG c = rx_run::config_for(48000, 600.0);
    Rx rx = make_rx(c);
    std::string text = rx_run::decode(rx.get(), c, first, 2048);
    c.sampleRate = 8000;
    text += rx_run::decode(rx.get(), c, rx_run::generate(s, "ZR1ABC DE ZR2XYZ 73 BK"), 2048);
    EXPECT_EQ(text_metrics::collapse_whitespace(text), "CQ CQ DE ZR1ABC K ZR1ABC DE ZR2XYZ 73 BK");
}

TEST(CwRxLock, TheLockWordWeighsTheCostBeforeTheGrade)
{
    const struct {
        double cost;
        int32_t lock;
        const char* word;
    } cases[] = {{12.0, 2, "BAD"},  {10.0, 0, "BAD"}, {9.99, 2, "TRACK"}, {1.0, 2, "TRACK"},
                 {0.5, 1, "TRACK"}, {0.5, 3, "LOCK"}, {0.3, 0, "UNLOCK"}, {0.3, -1, "UNLOCK"}};
    for (const auto& k : cases)
        EXPECT_STREQ(cw_rx_lock_word(k.cost, k.lock), k.word) << k.cost << " " << k.lock;
}

TEST(CwRxLock, RisesOnASignalAndFallsAfterTheHoldTime)
{
    struct LockTimes {
        int best = 0;             // highest grade during the signal
        double lockLostS = -1.0;  // after the last element
        double absentS = -1.0;
    };
    const auto lock_times = [](double holdMs) {
        const rx_run::Signal s{.tailSeconds = 6.0};
        const std::vector<float> audio = rx_run::generate(s, kText);
        const double signalEnd = static_cast<double>(audio.size() - 6 * 8000);
        CW_RX_CONFIG c = rx_run::config_for(s.rate, 600.0);
        c.lockHoldMs = holdMs;
        LockTimes t;
        rx_run::decode(make_rx(c).get(), c, audio, 400, 128, [&](const CW_RX_STATUS& st, size_t end) {
            const double after = (static_cast<double>(end) - signalEnd) / 8000.0;
            if (after < 0.0)
                t.best = std::max(t.best, static_cast<int>(st.lock));
            else if (st.lock == 0 && t.lockLostS < 0.0)
                t.lockLostS = after;
            if (after >= 0.0 && st.signalPresent == 0 && t.absentS < 0.0)
                t.absentS = after;
        });
        return t;
    };
    const LockTimes shortHold = lock_times(800.0);
    EXPECT_EQ(shortHold.best, 2);
    EXPECT_NEAR(shortHold.lockLostS, 0.8, 0.25);
    EXPECT_NEAR(shortHold.absentS, 2.5, 0.25);
    // A longer hold is cut short once the 3-second statistics fill with
    // silence.
    const LockTimes longHold = lock_times(4000.0);
    EXPECT_EQ(longHold.best, 2);
    EXPECT_GT(longHold.lockLostS, shortHold.lockLostS + 0.4);
    EXPECT_LE(longHold.lockLostS, 4.0);
    EXPECT_NEAR(longHold.absentS, 2.5, 0.25);
}

// Text that does not fit a small buffer waits for later calls: none is
// lost or repeated, and a capacity of 1 only ever gets the terminator.
TEST(CwRxTextContract, SmallBuffersLoseAndRepeatNothing)
{
    const std::vector<float> audio = rx_run::generate(rx_run::Signal{.wpm = 30}, kText);
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    const std::string expected = rx_run::decode(make_rx(c).get(), c, audio, 256, 4096);
    ASSERT_GT(expected.size(), 20u);
    for (size_t capacity : {size_t{1}, size_t{2}, size_t{5}}) {
        Rx small = make_rx(c);
        std::vector<char> buffer(4096, 'x');
        std::string got;
        for (size_t at = 0; at < audio.size(); at += 256) {
            cw_rx_configure(small.get(), &c);
            const size_t n = std::min<size_t>(256, audio.size() - at);
            const size_t count = cw_rx_process(small.get(), audio.data() + at, n, buffer.data(), capacity);
            ASSERT_LT(count, capacity);
            ASSERT_EQ(std::strlen(buffer.data()), count);
            got.append(buffer.data(), count);
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
    EXPECT_EQ(cw_rx_process(nullptr, samples, 4, text, sizeof(text)), 0u);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(status_of(nullptr).wpm, 0.0);
    cw_rx_configure(nullptr, nullptr);
    cw_rx_reset(nullptr);
    cw_rx_destroy(nullptr);
    EXPECT_EQ(cw_rx_has_backend(nullptr), 0);
    Rx rx(cw_rx_create(nullptr));
    ASSERT_EQ(cw_rx_has_backend(rx.get()), 1);
    cw_rx_configure(rx.get(), nullptr);
    cw_rx_get_status(rx.get(), nullptr);
    std::strcpy(text, "garbage");
    EXPECT_EQ(cw_rx_process(rx.get(), nullptr, 4, text, sizeof(text)), 0u);
    EXPECT_STREQ(text, "");

    // Without a text buffer the state still advances; a reset brings back
    // the start values and keeps the configuration.
    const CW_RX_CONFIG c = rx_run::config_for(8000, 650.0);
    const std::vector<float> audio = rx_run::generate(rx_run::Signal{.pitchHz = 650.0}, "TEST TEST");
    for (size_t at = 0; at + 1024 <= audio.size(); at += 1024) {
        cw_rx_configure(rx.get(), &c);
        EXPECT_EQ(cw_rx_process(rx.get(), audio.data() + at, 1024, nullptr, 0), 0u);
    }
    CW_RX_STATUS s = status_of(rx.get());
    EXPECT_GT(s.statQuality, 0.0f);
    ASSERT_NE(s.wpm, 22.0);
    cw_rx_reset(rx.get());
    s = status_of(rx.get());
    EXPECT_EQ(s.wpm, 22.0);
    EXPECT_EQ(s.pitchHz, 650.0);
    EXPECT_EQ(s.threshold, 0.5f);
    EXPECT_EQ(s.decoderGain, 1.0f);
    EXPECT_EQ(s.level + s.inputLevel + s.statQuality, 0.0f);
    EXPECT_EQ(s.lock + s.keyDown + s.signalPresent, 0);
}

TEST(CwRxSamples, NonFiniteHugeAndClippedSamples)
{
    std::vector<float> audio = rx_run::generate(rx_run::Signal{}, kText);
    for (float& x : audio)
        x = std::max(-0.2f, std::min(0.2f, x * 4.0f));  // hard clipped
    for (size_t i = 8000; i < 8100; ++i)
        audio[i] = i % 2 ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
    audio[8100] = -3e38f;
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    for (bool fallback : {false, true}) {
        Rx rx(fallback ? cw_rx_create_fallback(&c) : cw_rx_create(&c));
        const std::string text = rx_run::decode(rx.get(), c, audio, fallback ? 32 : 1024);
        const CW_RX_STATUS st = status_of(rx.get());
        EXPECT_TRUE(std::isfinite(st.level) && std::isfinite(st.wpm)) << fallback;
        if (!fallback) {
            EXPECT_LE(text_metrics::cer_after_first_word(kText, text), 0.02) << text;
        }
    }
}

// Loose bounds that guard the decoding of real band signals; the
// decode_conditions benchmark measures them properly.
TEST(CwRxBand, FadingHandKeyingAndFarnsworthDecode)
{
    MORSE_AUDIO_CONFIG fading = sender(700.0, 20.0, 10.0);
    fading.channel = MORSE_CHANNEL_MODERATE;
    EXPECT_LE(full_cer(kOver, decode_band({{fading, kOver}})), 0.3);
    MORSE_AUDIO_CONFIG hand = sender(700.0, 18.0, 0.0);
    hand.jitterPercent = 20.0;
    hand.dahRatio = 3.5;
    EXPECT_LE(full_cer(kOver, decode_band({{hand, kOver}})), 0.05);
    MORSE_AUDIO_CONFIG farnsworth = sender(700.0, 18.0, 10.0);
    farnsworth.farnsworthWpm = 10.0;
    EXPECT_LE(full_cer(kOver, decode_band({{farnsworth, kOver}})), 0.1);
}

TEST(CwRxBand, AFirstOverIsReadWholeAndASpeedUpLosesNothing)
{
    // The first over's speed is learned from marks cut for the fastest
    // sender, which noise breaks up at 0 dB; its start is then read again
    // with the speed found.
    const std::pair<uint32_t, std::string> overs[] = {{2u, "CQ CQ CQ DE ZR1ABC ZR1ABC PSE K"},
                                                      {3u, "R TNX FER QSO 73 ES GL ZR2XY DE ZR1ABC TU SK"}};
    for (const auto& [seed, text] : overs) {
        MORSE_AUDIO_CONFIG c = sender(700.0, 20.0, 0.0);
        c.seed = seed;
        EXPECT_EQ(decode_band({{c, text}}), text);
    }
    // The faster part starts a word gap at the old speed after the slow one.
    EXPECT_EQ(decode_band({{sender(700.0, 15.0, 10.0), "CQ CQ CQ DE ZR1ABC"},
                           {sender(700.0, 35.0, 10.0, 7.0 * 1.2 / 15.0), "ZR1ABC PSE K"}}),
              "CQ CQ CQ DE ZR1ABC ZR1ABC PSE K");
}

TEST(CwRxBand, AStationAnsweringOnTheOtherSideOfThePitchIsFollowed)
{
    // The receiver sits between a caller 40 Hz below and the answer 40 Hz
    // above, at another speed, as two stations of one contact often do.
    const std::string decoded = decode_band(
        {{sender(560.0, 18.0, 10.0), "CQ CQ CQ DE QA1BC QA1BC K"}, {sender(640.0, 24.0, 10.0, 1.2), "QA1BC DE QR2XYZ QR2XYZ K"}},
        600.0);
    EXPECT_NE(decoded.find("CQ DE QA1BC QA1BC K"), std::string::npos) << decoded;
    EXPECT_NE(decoded.find("DE QR2XYZ QR2XYZ K"), std::string::npos) << decoded;
}

TEST(CwRxBand, NothingIsPrintedAfterTheLastCharacterOfAnOver)
{
    for (double snr : {20.0, 0.0}) {
        MORSE_AUDIO_CONFIG c = sender(700.0, 20.0, snr);
        c.tailSeconds = 20.0;  // band noise after the over
        const std::string decoded = decode_band({{c, kOver}});
        ASSERT_GE(decoded.size(), 2u) << snr;
        EXPECT_EQ(decoded.substr(decoded.size() - 2), "BK") << snr << ": " << decoded;
    }
}
