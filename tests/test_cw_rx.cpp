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

CW_RX_CONFIG configured(const CW_RX_CONFIG& c)
{
    Rx rx(cw_rx_create(&c));
    return rx->config;
}

void expect_fresh_status(const CW_RX_STATUS& s, double pitchHz, float threshold)
{
    EXPECT_EQ(s.wpm, 22.0);
    EXPECT_EQ(s.decoderGain, 1.0f);
    EXPECT_EQ(s.pitchHz, pitchHz);
    EXPECT_EQ(s.threshold, threshold);
    EXPECT_EQ(s.level, 0.0f);
    EXPECT_EQ(s.lock, 0);
    EXPECT_EQ(s.keyDown, 0);
    EXPECT_EQ(s.signalPresent, 0);
    EXPECT_EQ(s.statQuality, 0.0f);
    EXPECT_EQ(s.inputLevel, 0.0f);
}

}  // namespace

TEST(CwRxConfig, DefaultsWithoutARecord)
{
    Rx rx(cw_rx_create(nullptr));
    ASSERT_TRUE(rx);
    EXPECT_EQ(cw_rx_has_backend(rx.get()), 1);
    const CW_RX_CONFIG& c = rx->config;
    EXPECT_EQ(c.sampleRate, 48000.0);
    EXPECT_EQ(c.pitchHz, 600.0);
    EXPECT_EQ(c.bandwidthHz, 30.0);
    EXPECT_EQ(c.threshold, 0.5f);
    EXPECT_EQ(c.releaseThreshold, 0.4f);
    EXPECT_EQ(c.minWpm, 12.0);
    EXPECT_EQ(c.maxWpm, 50.0);
    EXPECT_EQ(c.searchHz, 15.0);
    EXPECT_EQ(c.agcEnabled, 1);
    EXPECT_EQ(c.lockHoldMs, 1800.0);
    CW_RX_STATUS s;
    cw_rx_get_status(rx.get(), &s);
    expect_fresh_status(s, 600.0, 0.5f);
}

TEST(CwRxConfig, ReceiverLimitsApplyBeforeTheBackendsWiderOnes)
{
    CW_RX_CONFIG c = cw_rx_default_config();
    c.pitchHz = 250.0;
    c.bandwidthHz = 4.0;
    Rx rx(cw_rx_create(&c));
    EXPECT_EQ(rx->config.pitchHz, 300.0);
    EXPECT_EQ(rx->backend->config.pitchHz, 300.0);
    EXPECT_EQ(rx->config.bandwidthHz, 8.0);
    EXPECT_EQ(rx->backend->config.bandwidthHz, 10.0);
    c.bandwidthHz = 500.0;
    cw_rx_configure(rx.get(), &c);
    EXPECT_EQ(rx->config.bandwidthHz, 200.0);
}

TEST(CwRxConfig, ThresholdsAndTheirOrder)
{
    CW_RX_CONFIG c = cw_rx_default_config();
    c.threshold = 0.6f;
    c.releaseThreshold = 0.9f;
    EXPECT_EQ(configured(c).releaseThreshold, 0.6f);
    c.threshold = -0.2f;
    c.releaseThreshold = -1.0f;
    EXPECT_EQ(configured(c).threshold, 0.0f);
    EXPECT_EQ(configured(c).releaseThreshold, 0.0f);
    c.threshold = 1.5f;
    EXPECT_EQ(configured(c).threshold, 1.0f);
    c.threshold = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(configured(c).threshold, 0.0f);
}

TEST(CwRxConfig, NonFiniteAndSwappedValues)
{
    CW_RX_CONFIG c = cw_rx_default_config();
    c.sampleRate = kNaN;
    c.pitchHz = kNaN;
    c.minWpm = 45.0;
    c.maxWpm = 15.0;
    c.searchHz = 0.0;
    c.lockHoldMs = -std::numeric_limits<double>::infinity();
    c.agcEnabled = -3;
    const CW_RX_CONFIG n = configured(c);
    EXPECT_EQ(n.sampleRate, 48000.0);
    EXPECT_EQ(n.pitchHz, 300.0);
    EXPECT_EQ(n.minWpm, 15.0);
    EXPECT_EQ(n.maxWpm, 45.0);
    EXPECT_EQ(n.searchHz, 15.0);
    EXPECT_EQ(n.lockHoldMs, 1800.0);
    EXPECT_EQ(n.agcEnabled, 1);
}

TEST(CwRxReset, StatusReturnsToItsStartValues)
{
    rx_run::Signal s;
    const CW_RX_CONFIG c = rx_run::config_for(s.rate, 650.0);
    Rx rx(cw_rx_create(&c));
    s.pitchHz = 650.0;
    rx_run::decode(rx.get(), c, rx_run::generate(s, "TEST TEST"), 1024);
    CW_RX_STATUS st;
    cw_rx_get_status(rx.get(), &st);
    ASSERT_NE(st.wpm, 22.0);
    cw_rx_reset(rx.get());
    cw_rx_get_status(rx.get(), &st);
    expect_fresh_status(st, 650.0, 0.5f);
    EXPECT_EQ(rx->config.pitchHz, 650.0);
}

struct Case {
    uint32_t rate;
    double tonePitch;
    bool autoPitch;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.rate << " Hz, tone " << c.tonePitch << " Hz for 600, auto pitch " << c.autoPitch;
}

class CwRxDecoding : public testing::TestWithParam<Case> {};

TEST_P(CwRxDecoding, CleanSignalOffThePitchByLessThanTheBandwidth)
{
    const Case k = GetParam();
    rx_run::Signal s;
    s.rate = k.rate;
    s.pitchHz = k.tonePitch;
    s.wpm = 22;
    const CW_RX_CONFIG c = rx_run::config_for(k.rate, 600.0, k.autoPitch);
    Rx rx(cw_rx_create(&c));
    const std::string text = rx_run::decode(rx.get(), c, rx_run::generate(s, kText), 2048);
    EXPECT_LE(text_metrics::cer_after_first_word(kText, text), 0.02) << text;
}

INSTANTIATE_TEST_SUITE_P(RatesAndPitches, CwRxDecoding,
                         testing::Values(Case{8000, 600, false}, Case{12000, 615, false}, Case{24000, 585, true},
                                         Case{48000, 612, true}, Case{48000, 620, false}, Case{8000, 590, true}));

class CwRxBlocks : public testing::TestWithParam<size_t> {};

TEST_P(CwRxBlocks, TextSurvivesAnyBlockSize)
{
    rx_run::Signal s;
    s.rate = 48000;
    s.wpm = 25;
    const CW_RX_CONFIG c = rx_run::config_for(s.rate, 600.0);
    Rx rx(cw_rx_create(&c));
    const std::string text = rx_run::decode(rx.get(), c, rx_run::generate(s, kText), GetParam());
    EXPECT_LE(text_metrics::cer_after_first_word(kText, text), 0.02) << text;
}

INSTANTIATE_TEST_SUITE_P(OneTo48000, CwRxBlocks, testing::Values(size_t{1}, size_t{2048}, size_t{48000}));

struct LockTimes {
    int best = 0;               // highest grade during the signal
    double lockLostS = -1.0;    // after the last element
    double absentS = -1.0;
};

LockTimes lock_times(double holdMs)
{
    rx_run::Signal s;
    s.rate = 8000;
    s.tailSeconds = 6.0;
    const std::vector<float> audio = rx_run::generate(s, kText);
    const size_t signalEnd = audio.size() - 6 * 8000;
    CW_RX_CONFIG c = rx_run::config_for(s.rate, 600.0);
    c.lockHoldMs = holdMs;
    Rx rx(cw_rx_create(&c));
    LockTimes times;
    rx_run::decode(rx.get(), c, audio, 400, 128, [&](const CW_RX_STATUS& st, size_t end) {
        const double afterEnd = (static_cast<double>(end) - signalEnd) / 8000.0;
        if (afterEnd < 0.0) {
            times.best = std::max(times.best, static_cast<int>(st.lock));
            return;
        }
        if (st.lock == 0 && times.lockLostS < 0.0)
            times.lockLostS = afterEnd;
        if (st.signalPresent == 0 && times.absentS < 0.0)
            times.absentS = afterEnd;
    });
    return times;
}

TEST(CwRxLock, RisesOnASignalAndFallsAfterTheHoldTime)
{
    const LockTimes shortHold = lock_times(800.0);
    EXPECT_EQ(shortHold.best, 2);
    EXPECT_NEAR(shortHold.lockLostS, 0.8, 0.25);
    EXPECT_NEAR(shortHold.absentS, 2.5, 0.25);
    // A longer hold is cut short once the 3-second statistics fill with
    // silence (measured: 1.6 s after the last element).
    const LockTimes longHold = lock_times(4000.0);
    EXPECT_EQ(longHold.best, 2);
    EXPECT_GT(longHold.lockLostS, shortHold.lockLostS + 0.4);
    EXPECT_LE(longHold.lockLostS, 4.0);
    EXPECT_NEAR(longHold.absentS, 2.5, 0.25);
}

class CwRxTextContract : public testing::TestWithParam<size_t> {};

TEST_P(CwRxTextContract, SmallBuffersLoseAndRepeatNothing)
{
    const size_t capacity = GetParam();
    rx_run::Signal s;
    s.wpm = 30;
    const std::vector<float> audio = rx_run::generate(s, kText);
    const CW_RX_CONFIG c = rx_run::config_for(s.rate, 600.0);
    Rx whole(cw_rx_create(&c));
    const std::string expected = rx_run::decode(whole.get(), c, audio, 256, 4096);
    ASSERT_GT(expected.size(), 20u);

    Rx small(cw_rx_create(&c));
    std::string got;
    std::vector<char> buffer(capacity + 1, 'x');
    std::vector<float> quiet(256, 0.0f);
    for (size_t at = 0; at < audio.size() + 100 * 256; at += 256) {
        const float* block = at < audio.size() ? audio.data() + at : quiet.data();
        const size_t n = at < audio.size() ? std::min<size_t>(256, audio.size() - at) : 256;
        cw_rx_configure(small.get(), &c);
        const size_t count = cw_rx_process(small.get(), block, n, buffer.data(), capacity);
        ASSERT_LT(count, capacity);
        ASSERT_EQ(std::strlen(buffer.data()), count);
        got.append(buffer.data(), count);
    }
    EXPECT_EQ(got.substr(0, expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(TinyCapacities, CwRxTextContract, testing::Values(size_t{2}, size_t{5}));

TEST(CwRxTextContract, CapacityOneGivesEmptyStrings)
{
    rx_run::Signal s;
    const std::vector<float> audio = rx_run::generate(s, "TEST TEST TEST");
    const CW_RX_CONFIG c = rx_run::config_for(s.rate, 600.0);
    Rx rx(cw_rx_create(&c));
    EXPECT_EQ(rx_run::decode(rx.get(), c, audio, 512, 1), "");
    std::vector<char> big(512);
    const std::vector<float> quiet(512, 0.0f);
    const size_t n = cw_rx_process(rx.get(), quiet.data(), quiet.size(), big.data(), big.size());
    EXPECT_NE(std::string(big.data(), n).find("TEST TEST"), std::string::npos) << "kept for a later call";
}

TEST(CwRxNullPointers, EveryEntryToleratesThem)
{
    char text[8] = "garbage";
    const float samples[4] = {};
    EXPECT_EQ(cw_rx_process(nullptr, samples, 4, text, sizeof(text)), 0u);
    EXPECT_STREQ(text, "");
    CW_RX_STATUS s;
    s.wpm = 3.0;
    cw_rx_get_status(nullptr, &s);
    EXPECT_EQ(s.wpm, 0.0);
    EXPECT_EQ(s.decoderGain, 0.0f);
    cw_rx_configure(nullptr, nullptr);
    cw_rx_reset(nullptr);
    cw_rx_destroy(nullptr);
    EXPECT_EQ(cw_rx_has_backend(nullptr), 0);

    Rx rx(cw_rx_create(nullptr));
    cw_rx_configure(rx.get(), nullptr);
    cw_rx_get_status(rx.get(), nullptr);
    std::strcpy(text, "garbage");
    EXPECT_EQ(cw_rx_process(rx.get(), nullptr, 4, text, sizeof(text)), 0u);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(cw_rx_process(rx.get(), samples, 0, text, sizeof(text)), 0u);
}

TEST(CwRxNullPointers, WithoutATextBufferTheStateStillAdvances)
{
    rx_run::Signal s;
    const std::vector<float> audio = rx_run::generate(s, "TEST TEST");
    const CW_RX_CONFIG c = rx_run::config_for(s.rate, 600.0);
    Rx rx(cw_rx_create(&c));
    for (size_t at = 0; at + 1024 <= audio.size(); at += 1024)
        EXPECT_EQ(cw_rx_process(rx.get(), audio.data() + at, 1024, nullptr, 0), 0u);
    CW_RX_STATUS st;
    cw_rx_get_status(rx.get(), &st);
    EXPECT_GT(st.statQuality, 0.0f);
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

TEST(CwRxSamples, SampleRateChangeMidStream)
{
    rx_run::Signal s;
    s.rate = 48000;
    const std::vector<float> first = rx_run::generate(s, "CQ CQ DE ZR1ABC K");
    s.rate = 8000;
    const std::vector<float> second = rx_run::generate(s, "ZR1ABC DE ZR2XYZ 73 BK");
    CW_RX_CONFIG c = rx_run::config_for(48000, 600.0);
    Rx rx(cw_rx_create(&c));
    std::string text = rx_run::decode(rx.get(), c, first, 2048);
    c.sampleRate = 8000;
    text += rx_run::decode(rx.get(), c, second, 2048);
    EXPECT_EQ(text_metrics::collapse_whitespace(text), "CQ CQ DE ZR1ABC K ZR1ABC DE ZR2XYZ 73 BK");
}
