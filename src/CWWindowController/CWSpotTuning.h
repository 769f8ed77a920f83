// Tuning the decoder to a spot, from the Skimmer window or from a click on
// the radio's panorama. It holds the reference pitch the skimmer's audio
// frequencies are mapped with: the pitch the operator set, kept while
// GotoMax, AutoGTM or a spot move the decoder, since the radio's vfo
// carrier stays where it was heard. Needs no toolkit.
#pragma once

#include "cw_spot_mapping.h"

#include <functional>
#include <string>

struct CW_SPOT_TUNING_HOOKS {
    std::function<double()> vfoHz;                   // the radio's, 0 when not known
    std::function<std::string()> mode;               // the radio's, empty when not known
    std::function<void(double pitchHz)> applyPitch;  // as GotoMax does
    std::function<void(const std::string&)> log;
    std::function<double()> now;  // seconds, monotonic
};

// A panorama click may move the radio's vfo to the spot a moment after it
// is reported; a vfo change this soon after the click retunes once more.
constexpr double kCWSpotClickFollowSeconds = 2.0;

class CWSpotTuning {
public:
    CWSpotTuning(double referencePitchHz, CW_SPOT_TUNING_HOOKS hooks);

    void setReferencePitch(double hz) { referencePitchHz_ = hz; }
    double referencePitch() const { return referencePitchHz_; }
    CW_SPOT_TUNING tuning() const;

    // Tunes the decoder to `call` at `radioHz` or logs why it cannot.
    // True when the decoder was tuned.
    bool tuneTo(const std::string& call, double radioHz);
    // The radio's panorama was clicked.
    void spotClicked(const std::string& call, double radioHz);
    // The radio's frequency changed.
    void radioMoved();

private:
    double referencePitchHz_;
    CW_SPOT_TUNING_HOOKS hooks_;
    std::string clickedCall_;
    double clickedHz_ = 0.0;
    double clickedAt_ = -1e9;
    double clickedVfoHz_ = 0.0;
};
