// When AutoGTM moves the pitch to a new signal's peak.
#include "cw_auto_gtm.h"

#include <gtest/gtest.h>

namespace {

CW_RX_STATUS new_signal()
{
    CW_RX_STATUS s{};
    s.signalPresent = 1, s.wpm = 20, s.decoderCost = 0.5f, s.statWpm = 22, s.statQuality = 70, s.statOnRatio = 0.4f;
    s.toneOffsetHz = 100.0f;  // heard where the peak is
    return s;
}

// Enabled, a signal starting, no retune yet, 2.5 s rearm, pitch 600 Hz.
CW_AUTO_GTM_STATE armed(double peakHz)
{
    return CW_AUTO_GTM_STATE{true, true, 0.0, 2.5, peakHz, 600.0};
}

}  // namespace

// Only at the start of a good new signal whose peak is near the pitch but
// not already on it, not within the rearm delay of the last retune, and with
// speed estimates that agree unless too little is keyed to tell.
TEST(CWAutoGtm, RetunesOnlyAtTheStartOfAGoodNewSignalNearThePitch)
{
    const auto with = [](auto change) {
        CW_RX_STATUS s = new_signal();
        change(s);
        return s;
    };
    const auto state = [](auto change) {
        CW_AUTO_GTM_STATE a = armed(700);
        change(a);
        return a;
    };
    const CW_RX_STATUS good = new_signal();
    const struct {
        CW_RX_STATUS status;
        CW_AUTO_GTM_STATE state;
        double now;
        bool retune;
    } cases[] = {
        {good, armed(700), 10, true},
        {good, armed(605), 10, false},  // already there
        {good, armed(900), 10, false},  // another signal
        {good, armed(0), 10, false},    // no peak yet
        {good, state([](auto& a) { a.signalStarting = false; }), 10, false},
        {good, state([](auto& a) { a.enabled = false; }), 10, false},
        {good, state([](auto& a) { a.lastAutoGtmTime = 9.0; }), 10, false},
        {good, state([](auto& a) { a.lastAutoGtmTime = 9.0; }), 11.5, true},
        {with([](auto& s) { s.statQuality = 50; }), armed(700), 10, false},
        {with([](auto& s) { s.decoderCost = 1.5f; }), armed(700), 10, false},
        {with([](auto& s) { s.statWpm = 30; }), armed(700), 10, false},
        {with([](auto& s) { s.statWpm = 30, s.statOnRatio = 0.1f; }), armed(700), 10, true},
        {with([](auto& s) { s.toneOffsetHz = 3.0f; }), armed(700), 10, false},  // heard on the pitch: a stray peak
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cw_auto_gtm_should_retune(&cases[i].status, cases[i].state, cases[i].now), cases[i].retune) << i;
    EXPECT_FALSE(cw_auto_gtm_should_retune(nullptr, armed(700), 10));
}
