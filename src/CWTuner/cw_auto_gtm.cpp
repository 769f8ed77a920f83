#include "cw_auto_gtm.h"

#include <cmath>

namespace {

// The statistics speed and the decoder speed must agree when both are
// meaningful; otherwise the test does not apply.
bool speeds_agree(const CW_RX_STATUS& status)
{
    if (!(status.statOnRatio >= 0.25f && status.statWpm >= 5.0 && status.wpm > 0.0))
        return true;
    return std::fabs(status.statWpm - status.wpm) <= 6.0;
}

bool looks_like_a_new_signal(const CW_RX_STATUS& status, const CW_AUTO_GTM_STATE& state)
{
    return status.signalPresent && status.statQuality >= kCWAutoGtmGoodQuality && speeds_agree(status) &&
           status.decoderCost < 1.5f && state.signalStarting;
}

}  // namespace

bool cw_auto_gtm_should_retune(const CW_RX_STATUS* status, const CW_AUTO_GTM_STATE& state, double now)
{
    if (status == nullptr || !state.enabled || !looks_like_a_new_signal(*status, state))
        return false;
    if (state.lastAutoGtmTime > 0.0 && now - state.lastAutoGtmTime < state.rearmSeconds)
        return false;
    if (!(state.peakHz > 0.0))
        return false;
    const double distance = std::fabs(state.peakHz - state.pitchHz);
    // The smoothed peak of a weak signal wanders a few bins; the receiver's
    // own measure of where its tone sits must agree that it is off the pitch.
    const bool heardOff = std::fabs(status->toneOffsetHz) >= kCWAutoGtmMinimumOffsetHz;
    return distance >= kCWAutoGtmMinimumOffsetHz && distance <= 250.0 && heardOff;
}
