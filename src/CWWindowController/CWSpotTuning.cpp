#include "CWSpotTuning.h"

#include <cmath>

CWSpotTuning::CWSpotTuning(double referencePitchHz, CW_SPOT_TUNING_HOOKS hooks)
    : referencePitchHz_(referencePitchHz), hooks_(std::move(hooks))
{
}

CW_SPOT_TUNING CWSpotTuning::tuning() const
{
    return CW_SPOT_TUNING{.vfoHz = hooks_.vfoHz ? hooks_.vfoHz() : 0.0,
                          .mode = hooks_.mode ? hooks_.mode() : std::string(),
                          .referencePitchHz = referencePitchHz_};
}

bool CWSpotTuning::tuneTo(const std::string& call, double radioHz)
{
    const CW_SPOT_TUNE_ANSWER answer = cw_spot_tune_answer(tuning(), call, radioHz);
    if (!answer.tune) {
        if (hooks_.log)
            hooks_.log(answer.reason);
        return false;
    }
    if (hooks_.log)
        hooks_.log("Skimmer: tuned to " + call + " at " + std::to_string(std::lround(answer.pitchHz)) + " Hz");
    if (hooks_.applyPitch)
        hooks_.applyPitch(answer.pitchHz);
    return true;
}

void CWSpotTuning::spotClicked(const std::string& call, double radioHz)
{
    clickedCall_ = call;
    clickedHz_ = radioHz;
    clickedAt_ = hooks_.now ? hooks_.now() : 0.0;
    clickedVfoHz_ = tuning().vfoHz;
    // With the vfo already on the spot this is the reference pitch.
    tuneTo(call, radioHz);
}

void CWSpotTuning::radioMoved()
{
    const double now = hooks_.now ? hooks_.now() : 0.0;
    if (clickedCall_.empty() || now - clickedAt_ > kCWSpotClickFollowSeconds)
        return;
    if (tuning().vfoHz == clickedVfoHz_)
        return;
    const std::string call = clickedCall_;
    clickedCall_.clear();  // one follow-up per click
    tuneTo(call, clickedHz_);
}
