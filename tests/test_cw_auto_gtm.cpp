#include "cw_auto_gtm.h"

#include <gtest/gtest.h>

namespace {

CW_RX_STATUS new_signal()
{
    CW_RX_STATUS s{};
    s.signalPresent = 1;
    s.statQuality = 70;
    s.statOnRatio = 0.4f;
    s.statWpm = 22;
    s.wpm = 20;
    s.decoderCost = 0.5f;
    return s;
}

CW_AUTO_GTM_STATE armed(double peakHz)
{
    return CW_AUTO_GTM_STATE{true, 0, 0.0, 2.5, peakHz, 600.0};
}

TEST(CWAutoGtm, RetunesOnlyAtTheStartOfAGoodNewSignalNearThePitch)
{
    const CW_RX_STATUS s = new_signal();
    EXPECT_TRUE(cw_auto_gtm_should_retune(&s, armed(700), 10));
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, armed(605), 10));  // 5 Hz: already there
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, armed(900), 10));  // 300 Hz: another signal
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, armed(0), 10));    // no peak yet
    EXPECT_FALSE(cw_auto_gtm_should_retune(nullptr, armed(700), 10));

    CW_AUTO_GTM_STATE continuing = armed(700);
    continuing.lastSignalState = 1;
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, continuing, 10));
    CW_AUTO_GTM_STATE off = armed(700);
    off.enabled = false;
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, off, 10));
}

TEST(CWAutoGtm, PoorOrDisagreeingSignalsDoNotRetune)
{
    CW_RX_STATUS s = new_signal();
    s.statQuality = 50;
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, armed(700), 10));
    s = new_signal();
    s.statWpm = 30;  // 10 WPM apart
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, armed(700), 10));
    s.statOnRatio = 0.1f;  // too little key-down for the speed test to apply
    EXPECT_TRUE(cw_auto_gtm_should_retune(&s, armed(700), 10));
    s = new_signal();
    s.decoderCost = 1.5f;
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, armed(700), 10));
}

TEST(CWAutoGtm, WaitsForTheRearmDelay)
{
    const CW_RX_STATUS s = new_signal();
    CW_AUTO_GTM_STATE state = armed(700);
    state.lastAutoGtmTime = 9.0;
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, state, 10.0));  // 1 s after the last one
    EXPECT_TRUE(cw_auto_gtm_should_retune(&s, state, 11.5));
}

}  // namespace
