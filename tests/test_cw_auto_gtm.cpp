// When AutoGTM moves the pitch to a new signal's peak.
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

// Enabled, no signal before, no retune yet, 2.5 s rearm, pitch 600 Hz.
CW_AUTO_GTM_STATE armed(double peakHz)
{
    return CW_AUTO_GTM_STATE{true, 0, 0.0, 2.5, peakHz, 600.0};
}

}  // namespace

// Only at the start of a good new signal whose peak is near the pitch but
// not already on it, and not within the rearm delay of the last retune.
TEST(CWAutoGtm, RetunesOnlyAtTheStartOfAGoodNewSignalNearThePitch)
{
    const CW_RX_STATUS s = new_signal();
    EXPECT_TRUE(cw_auto_gtm_should_retune(&s, armed(700), 10));
    for (double peak : {605.0, 900.0, 0.0})  // already there, another signal, no peak yet
        EXPECT_FALSE(cw_auto_gtm_should_retune(&s, armed(peak), 10)) << peak;
    EXPECT_FALSE(cw_auto_gtm_should_retune(nullptr, armed(700), 10));
    CW_AUTO_GTM_STATE continuing = armed(700), off = armed(700), recent = armed(700);
    continuing.lastSignalState = 1;
    off.enabled = false;
    recent.lastAutoGtmTime = 9.0;
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, continuing, 10));
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, off, 10));
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, recent, 10.0));
    EXPECT_TRUE(cw_auto_gtm_should_retune(&s, recent, 11.5));
}

// The speed estimates must agree unless too little is keyed to tell.
TEST(CWAutoGtm, PoorOrDisagreeingSignalsDoNotRetune)
{
    CW_RX_STATUS s = new_signal();
    s.statQuality = 50;
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, armed(700), 10));
    s = new_signal();
    s.decoderCost = 1.5f;
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, armed(700), 10));
    s = new_signal();
    s.statWpm = 30;
    EXPECT_FALSE(cw_auto_gtm_should_retune(&s, armed(700), 10));
    s.statOnRatio = 0.1f;
    EXPECT_TRUE(cw_auto_gtm_should_retune(&s, armed(700), 10));
}
