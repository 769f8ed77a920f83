// The CW receiver with its backend: configuration, decoding across rates,
// block sizes and pitch offsets, lock grading and the text contract.
#include "CWRx.h"
#include "cw_rx_state.h"
#include "cwqo_backend_state.h"
#include "rx_run.h"
#include "text_metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::string kText = "CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX 73 K";

struct RxDeleter {
    void operator()(CW_RX* rx) const { cw_rx_destroy(rx); }
};
using Rx = std::unique_ptr<CW_RX, RxDeleter>;

Rx make_rx(const CW_RX_CONFIG& c)
{
    return Rx(cw_rx_create(&c));
}

double cer(uint32_t rate, double tonePitch, double wpm, bool autoPitch, size_t block)
{
    rx_run::Signal s;
    s.rate = rate;
    s.pitchHz = tonePitch;
    s.wpm = wpm;
    const CW_RX_CONFIG c = rx_run::config_for(rate, 600.0, autoPitch);
    const std::string text = rx_run::decode(make_rx(c).get(), c, rx_run::generate(s, kText), block);
    return text_metrics::cer_after_first_word(kText, text);
}

}  // namespace

// The receiver's own limits apply before the backend's wider ones, and a
// NaN or an infinity becomes a usable value.
TEST(CwRxConfig, ValuesAreClampedAndOrderedBeforeTheBackendSeesThem)
{
    CW_RX_CONFIG c = cw_rx_default_config();
    c.sampleRate = kNaN;
    c.pitchHz = 250.0;
    c.bandwidthHz = 4.0;
    c.threshold = 0.6f;
    c.releaseThreshold = 0.9f;
    c.minWpm = 45.0;
    c.maxWpm = 15.0;
    c.lockHoldMs = -std::numeric_limits<double>::infinity();
    Rx rx = make_rx(c);
    const CW_RX_CONFIG& n = rx->config;
    EXPECT_EQ(n.sampleRate, 48000.0);
    EXPECT_EQ(n.pitchHz, 300.0);
    EXPECT_EQ(rx->backend->config.pitchHz, 300.0);
    EXPECT_EQ(n.bandwidthHz, 8.0);
    EXPECT_EQ(rx->backend->config.bandwidthHz, 10.0);
    EXPECT_EQ(n.releaseThreshold, 0.6f);
    EXPECT_EQ(n.minWpm, 15.0);
    EXPECT_EQ(n.maxWpm, 45.0);
    EXPECT_EQ(n.lockHoldMs, 1800.0);
    c.pitchHz = kNaN;
    c.threshold = std::numeric_limits<float>::quiet_NaN();
    cw_rx_configure(rx.get(), &c);
    EXPECT_EQ(n.pitchHz, 300.0);
    EXPECT_EQ(n.threshold, 0.0f);
    EXPECT_EQ(n.releaseThreshold, 0.0f);
}

TEST(CwRxDecoding, CleanSignalAtAnyRateOffThePitchByLessThanTheBandwidth)
{
    const struct {
        uint32_t rate;
        double tonePitch;
        bool autoPitch;
    } cases[] = {{8000, 600, false}, {12000, 615, false}, {24000, 585, true}, {48000, 620, false}, {8000, 590, true}};
    for (const auto& k : cases)
        EXPECT_LE(cer(k.rate, k.tonePitch, 22, k.autoPitch, 2048), 0.02) << k.rate << " Hz, tone " << k.tonePitch;
}

TEST(CwRxDecoding, TextSurvivesAnyBlockSize)
{
    for (size_t block : {size_t{1}, size_t{48000}})
        EXPECT_LE(cer(48000, 600, 25, false, block), 0.02) << block;
}

TEST(CwRxDecoding, SampleRateChangeMidStream)
{
    rx_run::Signal s;
    s.rate = 48000;
    const std::vector<float> first = rx_run::generate(s, "CQ CQ DE ZR1ABC K");
    s.rate = 8000;
    const std::vector<float> second = rx_run::generate(s, "ZR1ABC DE ZR2XYZ 73 BK");
    CW_RX_CONFIG c = rx_run::config_for(48000, 600.0);
    Rx rx = make_rx(c);
    std::string text = rx_run::decode(rx.get(), c, first, 2048);
    c.sampleRate = 8000;
    text += rx_run::decode(rx.get(), c, second, 2048);
    EXPECT_EQ(text_metrics::collapse_whitespace(text), "CQ CQ DE ZR1ABC K ZR1ABC DE ZR2XYZ 73 BK");
}

TEST(CwRxLock, TheLockWordWeighsTheCostBeforeTheGrade)
{
    EXPECT_STREQ(cw_rx_lock_word(12.0, 2), "BAD");
    EXPECT_STREQ(cw_rx_lock_word(10.0, 0), "BAD");
    EXPECT_STREQ(cw_rx_lock_word(9.99, 2), "TRACK");
    EXPECT_STREQ(cw_rx_lock_word(1.0, 2), "TRACK");
    EXPECT_STREQ(cw_rx_lock_word(0.5, 1), "TRACK");
    EXPECT_STREQ(cw_rx_lock_word(0.5, 3), "LOCK");
    EXPECT_STREQ(cw_rx_lock_word(0.3, 0), "UNLOCK");
    EXPECT_STREQ(cw_rx_lock_word(0.3, -1), "UNLOCK");
}

TEST(CwRxLock, RisesOnASignalAndFallsAfterTheHoldTime)
{
    struct LockTimes {
        int best = 0;  // highest grade during the signal
        double lockLostS = -1.0;  // after the last element
        double absentS = -1.0;
    };
    const auto lock_times = [](double holdMs) {
        rx_run::Signal s;
        s.tailSeconds = 6.0;
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
    rx_run::Signal s;
    s.wpm = 30;
    const std::vector<float> audio = rx_run::generate(s, kText);
    const CW_RX_CONFIG c = rx_run::config_for(s.rate, 600.0);
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
    CW_RX_STATUS s;
    s.wpm = 3.0;
    cw_rx_get_status(nullptr, &s);
    EXPECT_EQ(s.wpm, 0.0);
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
    rx_run::Signal signal;
    signal.pitchHz = 650.0;
    const std::vector<float> audio = rx_run::generate(signal, "TEST TEST");
    for (size_t at = 0; at + 1024 <= audio.size(); at += 1024) {
        cw_rx_configure(rx.get(), &c);
        EXPECT_EQ(cw_rx_process(rx.get(), audio.data() + at, 1024, nullptr, 0), 0u);
    }
    cw_rx_get_status(rx.get(), &s);
    EXPECT_GT(s.statQuality, 0.0f);
    ASSERT_NE(s.wpm, 22.0);
    cw_rx_reset(rx.get());
    cw_rx_get_status(rx.get(), &s);
    EXPECT_EQ(s.wpm, 22.0);
    EXPECT_EQ(s.pitchHz, 650.0);
    EXPECT_EQ(s.threshold, 0.5f);
    EXPECT_EQ(s.decoderGain, 1.0f);
    EXPECT_EQ(s.level + s.inputLevel + s.statQuality, 0.0f);
    EXPECT_EQ(s.lock + s.keyDown + s.signalPresent, 0);
}

TEST(CwRxSamples, NonFiniteAndClippedSamples)
{
    rx_run::Signal s;
    std::vector<float> audio = rx_run::generate(s, kText);
    for (float& x : audio)
        x = std::max(-0.2f, std::min(0.2f, x * 4.0f));  // hard clipped
    for (size_t i = 8000; i < 8100; ++i)
        audio[i] = i % 2 ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
    const CW_RX_CONFIG c = rx_run::config_for(s.rate, 600.0);
    for (bool fallback : {false, true}) {
        Rx rx(fallback ? cw_rx_create_fallback(&c) : cw_rx_create(&c));
        const std::string text = rx_run::decode(rx.get(), c, audio, fallback ? 32 : 1024);
        CW_RX_STATUS st;
        cw_rx_get_status(rx.get(), &st);
        EXPECT_TRUE(std::isfinite(st.level) && std::isfinite(st.wpm)) << fallback;
        if (!fallback) {
            EXPECT_LE(text_metrics::cer_after_first_word(kText, text), 0.02) << text;
        }
    }
}

namespace {

// Receiver text of `text` sent under band conditions at 48000 Hz, decoded
// at the right pitch in the pipeline's blocks.
std::string decode_band(MORSE_AUDIO_CONFIG c, const std::string& text)
{
    c.pitchHz = 700.0;
    c.sampleRateHz = 48000;
    c.addNoise = true;
    c.leadSeconds = 1.0;
    std::vector<float> samples;
    EXPECT_TRUE(morse_audio_generate(c, text, &samples, nullptr, nullptr));
    const CW_RX_CONFIG rc = rx_run::config_for(48000, 700.0);
    return text_metrics::collapse_whitespace(rx_run::decode(make_rx(rc).get(), rc, samples, 2048));
}

// A sender at +10 dB.
MORSE_AUDIO_CONFIG sender(double pitchHz, double wpm)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.pitchHz = pitchHz;
    c.wpm = wpm;
    c.snrDb = 10.0;
    return c;
}

// The first text, then the second with its own settings, in one recording,
// through a receiver set to `rxPitch`.
std::string decode_band_parts(MORSE_AUDIO_CONFIG a, const std::string& first, MORSE_AUDIO_CONFIG b,
                              const std::string& second, double rxPitch = 700.0)
{
    for (MORSE_AUDIO_CONFIG* c : {&a, &b}) {
        c->sampleRateHz = 48000;
        c->addNoise = true;
    }
    a.leadSeconds = 1.0;
    a.tailSeconds = 0.0;
    b.seed = a.seed + 1;
    std::vector<float> samples;
    std::vector<float> tail;
    EXPECT_TRUE(morse_audio_generate(a, first, &samples, nullptr, nullptr));
    EXPECT_TRUE(morse_audio_generate(b, second, &tail, nullptr, nullptr));
    samples.insert(samples.end(), tail.begin(), tail.end());
    const CW_RX_CONFIG rc = rx_run::config_for(48000, rxPitch);
    return text_metrics::collapse_whitespace(rx_run::decode(make_rx(rc).get(), rc, samples, 2048));
}

double full_cer(const std::string& sent, const std::string& decoded)
{
    return static_cast<double>(text_metrics::levenshtein(sent, decoded)) / static_cast<double>(sent.size());
}

const std::string kOver = "ZR2XY DE ZR1ABC GM OM UR RST 579 579 NAME IS PAUL QTH NEAR BERN HW? BK";

}  // namespace

// Loose bounds that guard the decoding of real band signals; the
// decode_conditions benchmark measures them properly.
TEST(CwRxBand, FadingHandKeyingAndFarnsworthDecode)
{
    MORSE_AUDIO_CONFIG fading = morse_audio_default_config();
    fading.snrDb = 10.0;
    fading.channel = MORSE_CHANNEL_MODERATE;
    EXPECT_LE(full_cer(kOver, decode_band(fading, kOver)), 0.3);

    MORSE_AUDIO_CONFIG hand = morse_audio_default_config();
    hand.wpm = 18.0;
    hand.jitterPercent = 20.0;
    hand.dahRatio = 3.5;
    hand.snrDb = 0.0;
    EXPECT_LE(full_cer(kOver, decode_band(hand, kOver)), 0.05);

    MORSE_AUDIO_CONFIG farnsworth = morse_audio_default_config();
    farnsworth.wpm = 18.0;
    farnsworth.farnsworthWpm = 10.0;
    farnsworth.snrDb = 10.0;
    EXPECT_LE(full_cer(kOver, decode_band(farnsworth, kOver)), 0.1);
}

TEST(CwRxBand, AFirstOverIsReadWholeAndASpeedUpLosesNothing)
{
    // The first over's speed is learned from marks cut for the fastest
    // sender, which noise breaks up at 0 dB; its start is then read again
    // with the speed found. These two lost their first letter before.
    const std::pair<uint32_t, std::string> overs[] = {{2u, "CQ CQ CQ DE ZR1ABC ZR1ABC PSE K"},
                                                      {3u, "R TNX FER QSO 73 ES GL ZR2XY DE ZR1ABC TU SK"}};
    for (const auto& [seed, text] : overs) {
        MORSE_AUDIO_CONFIG c = morse_audio_default_config();
        c.snrDb = 0.0;
        c.seed = seed;
        EXPECT_EQ(decode_band(c, text), text);
    }
    const MORSE_AUDIO_CONFIG slow = sender(700.0, 15.0);
    MORSE_AUDIO_CONFIG fast = sender(700.0, 35.0);
    fast.leadSeconds = 7.0 * 1.2 / slow.wpm;  // a word gap at the old speed
    EXPECT_EQ(decode_band_parts(slow, "CQ CQ CQ DE ZR1ABC", fast, "ZR1ABC PSE K"), "CQ CQ CQ DE ZR1ABC ZR1ABC PSE K");
}

TEST(CwRxBand, AStationAnsweringOnTheOtherSideOfThePitchIsFollowed)
{
    // The receiver sits between a caller 40 Hz below and the answer 40 Hz
    // above, at another speed, as two stations of one contact often do.
    const MORSE_AUDIO_CONFIG caller = sender(560.0, 18.0);
    MORSE_AUDIO_CONFIG answer = sender(640.0, 24.0);
    answer.leadSeconds = 1.2;
    const std::string decoded =
        decode_band_parts(caller, "CQ CQ CQ DE QA1BC QA1BC K", answer, "QA1BC DE QR2XYZ QR2XYZ K", 600.0);
    EXPECT_NE(decoded.find("CQ DE QA1BC QA1BC K"), std::string::npos) << decoded;
    EXPECT_NE(decoded.find("DE QR2XYZ QR2XYZ K"), std::string::npos) << decoded;
}

TEST(CwRxBand, NothingIsPrintedAfterTheLastCharacterOfAnOver)
{
    for (double snr : {20.0, 0.0}) {
        MORSE_AUDIO_CONFIG c = morse_audio_default_config();
        c.snrDb = snr;
        c.tailSeconds = 20.0;  // band noise after the over
        const std::string decoded = decode_band(c, kOver);
        ASSERT_GE(decoded.size(), 2u) << snr;
        EXPECT_EQ(decoded.substr(decoded.size() - 2), "BK") << snr << ": " << decoded;
    }
}
