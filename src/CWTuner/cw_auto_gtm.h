// The automatic GotoMax rule: retune once, at the start of a new signal,
// to the spectrum's strongest peak near the pitch.
#pragma once

#include "CWRx.h"

// A signal this good (the statistics' quality figure) counts as one.
inline constexpr float kCWAutoGtmGoodQuality = 55.0f;
inline constexpr double kCWAutoGtmDefaultRearmSeconds = 2.5;
// Closer than this the signal counts as tuned.
inline constexpr double kCWAutoGtmMinimumOffsetHz = 7.5;
// A tone heard this far off the pitch while a signal goes on is the next
// station of an exchange rather than the one tuned to.
inline constexpr double kCWAutoGtmOffPitchHz = 25.0;

struct CW_AUTO_GTM_STATE {
    bool enabled;
    bool signalStarting;     // a new signal is in its first seconds and has not been retuned to
    double lastAutoGtmTime;  // seconds; 0 = never
    double rearmSeconds;
    double peakHz;   // the spectrum's tracked peak; 0 = none
    double pitchHz;  // the current pitch field value
};

// True when every condition for an automatic retune holds at `now`: among
// them, both the peak and the tone the receiver hears (toneOffsetHz) lie
// off the pitch.
bool cw_auto_gtm_should_retune(const CW_RX_STATUS* status, const CW_AUTO_GTM_STATE& state, double now);
