// The receiver's own decoder: keying, classification, presence and end to
// end decoding of clean CW.
#include "CWRx.h"
#include "cw_rx_fallback.h"
#include "cw_rx_state.h"
#include "rx_run.h"
#include "text_metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct RxDeleter {
    void operator()(CW_RX* rx) const { cw_rx_destroy(rx); }
};
using Rx = std::unique_ptr<CW_RX, RxDeleter>;

const std::string kText = "CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 73 K";

Rx fallback(const CW_RX_CONFIG& c)
{
    return Rx(cw_rx_create_fallback(&c));
}

// Pending elements as if keyed with these mark lengths.
void set_pattern(CW_RX* rx, const char* pattern, std::initializer_list<double> marks)
{
    std::strcpy(rx->pattern, pattern);
    rx->elementCount = static_cast<int32_t>(std::strlen(pattern));
    int i = 0;
    for (double m : marks)
        rx->durations[i++] = m;
}

std::vector<float> tone(uint32_t rate, double seconds, float amplitude)
{
    std::vector<float> v(static_cast<size_t>(rate * seconds));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = amplitude * static_cast<float>(std::sin(2.0 * M_PI * 600.0 * i / rate));
    return v;
}

}  // namespace

TEST(CwRxFallbackMode, IsChosenOnPurpose)
{
    Rx rx = fallback(cw_rx_default_config());
    ASSERT_TRUE(rx);
    EXPECT_EQ(cw_rx_has_backend(rx.get()), 0);
    CW_RX_STATUS s;
    cw_rx_get_status(rx.get(), &s);
    EXPECT_EQ(s.wpm, 22.0);
    EXPECT_EQ(rx->peakLevel, 0.02f);
}

TEST(CwRxFlushSymbol, ConfidenceFollowsTheMatch)
{
    Rx rx = fallback(cw_rx_default_config());
    const double dot = cw_rx_dot_in_use(rx.get(), rx->dotMs);
    set_pattern(rx.get(), ".", {dot});
    cw_rx_flush_symbol(rx.get());
    EXPECT_NEAR(rx->confidence, 0.035, 1e-12);
    EXPECT_EQ(rx->elementCount, 0);
    EXPECT_STREQ(rx->pattern, "");
    set_pattern(rx.get(), "-.-.", {3 * dot, dot, 3 * dot, dot});
    cw_rx_flush_symbol(rx.get());
    EXPECT_NEAR(rx->confidence, 0.135, 1e-12);
    set_pattern(rx.get(), "......", {7 * dot, 7 * dot, 7 * dot, 7 * dot, 7 * dot, 7 * dot});
    cw_rx_flush_symbol(rx.get());
    EXPECT_NEAR(rx->confidence, 0.0, 1e-12);  // -0.18, limited at 0
    EXPECT_EQ(cw_rx_flush_symbol(rx.get()), 0);  // nothing pending
}

TEST(CwRxFlushSymbol, UnknownPatternsLowerItAndMatchesLock)
{
    Rx rx = fallback(cw_rx_default_config());
    const double dot = cw_rx_dot_in_use(rx.get(), rx->dotMs);
    rx->confidence = 0.5;
    set_pattern(rx.get(), "-.-..-..", {3 * dot, dot, 3 * dot, dot, dot, 3 * dot, dot, dot});  // no row: 8 elements
    cw_rx_flush_symbol(rx.get());
    EXPECT_NEAR(rx->confidence, 0.32, 1e-12);  // every row misses by at least one 0.75 element
    rx->confidence = 0.5;
    rx->dotCount = 10;
    set_pattern(rx.get(), "....", {dot, dot, dot, dot});
    EXPECT_EQ(cw_rx_flush_symbol(rx.get()), 1);  // 0.6: tentative
    set_pattern(rx.get(), "....", {dot, dot, dot, dot});
    EXPECT_EQ(cw_rx_flush_symbol(rx.get()), 2);  // 0.7 with enough dots: locked
}

TEST(CwRxDotInUse, LimitedToTheSpeedRange)
{
    Rx rx = fallback(cw_rx_default_config());  // 12..50 WPM: 24..100 ms
    EXPECT_DOUBLE_EQ(cw_rx_dot_in_use(rx.get(), 60.0), 60.0);
    EXPECT_DOUBLE_EQ(cw_rx_dot_in_use(rx.get(), 10.0), 1200.0 / 31.0);
    EXPECT_DOUBLE_EQ(cw_rx_dot_in_use(rx.get(), 150.0), 1200.0 / 31.0);
}

TEST(CwRxLiveLayer, KeysAfterEightMillisecondsAndReleasesAfterEighteen)
{
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    Rx rx = fallback(c);
    const std::vector<float> on = tone(8000, 0.2, 0.5f);
    const std::vector<float> off(800, 0.0f);
    cw_rx_process(rx.get(), off.data(), 32, nullptr, 0);  // noise floor
    int blocks = 0;
    CW_RX_STATUS s{};
    for (size_t at = 0; at < on.size() && s.keyDown == 0; at += 16, ++blocks) {  // 2 ms blocks
        cw_rx_process(rx.get(), on.data() + at, 16, nullptr, 0);
        cw_rx_get_status(rx.get(), &s);
    }
    ASSERT_EQ(s.keyDown, 1);
    EXPECT_GE(blocks, 4);  // at least 8 ms above the threshold
    int upBlocks = 0;
    for (size_t at = 0; at < off.size() && s.keyDown == 1; at += 16, ++upBlocks) {
        cw_rx_process(rx.get(), off.data() + at, 16, nullptr, 0);
        cw_rx_get_status(rx.get(), &s);
    }
    EXPECT_EQ(s.keyDown, 0);
    EXPECT_GE(upBlocks, 9);  // 18 ms below the release threshold, after the level falls
}

TEST(CwRxLiveLayer, OneLongBlockAboveTheThresholdKeys)
{
    Rx rx = fallback(rx_run::config_for(8000, 600.0));
    const std::vector<float> on = tone(8000, 0.05, 0.5f);
    cw_rx_process(rx.get(), on.data(), 80, nullptr, 0);  // 10 ms
    CW_RX_STATUS s;
    cw_rx_get_status(rx.get(), &s);
    EXPECT_EQ(s.keyDown, 1);
    EXPECT_EQ(s.signalPresent, 1);
}

TEST(CwRxLiveLayer, SixSecondsWithoutToneClearTheHistory)
{
    rx_run::Signal sig;
    sig.tailSeconds = 0.0;
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    Rx rx = fallback(c);
    rx_run::decode(rx.get(), c, rx_run::generate(sig, "TEST"), 32);
    ASSERT_GT(rx->levelHistoryCount, 0);
    const std::vector<float> quiet(8000 * 7, 0.0f);
    double absentAfter = -1.0;
    rx_run::decode(rx.get(), c, quiet, 80, 128, [&](const CW_RX_STATUS& s, size_t end) {
        if (s.signalPresent == 0 && absentAfter < 0.0)
            absentAfter = end / 8000.0;
    });
    EXPECT_GE(absentAfter, 6.0);  // counted from where the smoothed level drops
    EXPECT_LE(absentAfter, 6.3);
    EXPECT_EQ(rx->levelHistoryCount, 0);
    EXPECT_STREQ(rx->lastText, "");
}

class CwRxFallbackDecoding : public testing::TestWithParam<double> {};

TEST_P(CwRxFallbackDecoding, CleanCw)
{
    rx_run::Signal s;
    s.wpm = GetParam();
    CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    c.bandwidthHz = 100.0;
    Rx rx = fallback(c);
    // Levels are smoothed per block, so the fallback needs blocks well
    // below a dot: 4 ms here.
    const std::string text = rx_run::decode(rx.get(), c, rx_run::generate(s, kText), 32);
    EXPECT_LE(text_metrics::cer_after_first_word(kText, text), 0.03) << text;
}

INSTANTIATE_TEST_SUITE_P(FifteenAndTwentyFive, CwRxFallbackDecoding, testing::Values(15.0, 25.0));

TEST(CwRxFallbackDecoding, SlidingHistoryRepeatsNothing)
{
    // 4096 blocks of 4 ms hold 16 s: this transmission slides through them.
    rx_run::Signal s;
    s.wpm = 15;
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    Rx rx = fallback(c);
    const std::string text = rx_run::decode(rx.get(), c, rx_run::generate(s, kText), 32);
    EXPECT_LE(text_metrics::cer_after_first_word(kText, text), 0.03) << text;
    EXPECT_EQ(text.find("CQ", text.find("DE")), std::string::npos) << text;
}
