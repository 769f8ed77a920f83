// --pitch auto of zarvo-decode: finds the tone of a recording of unknown
// pitch with the spectrum view's analysis, then retunes once at the start
// of each new signal by the window's AutoGTM rule.
#pragma once

#include "CWRx.h"
#include "cw_auto_gtm.h"
#include "cw_spectrum_analyzer.h"

#include <cstddef>
#include <cstdint>

enum DECODE_TUNE_ACTION {
    DECODE_TUNE_NONE,
    DECODE_TUNE_ACQUIRE,  // a tone found while none is confirmed: retune, decode the recent audio again
    DECODE_TUNE_RETUNE,   // a new signal off the pitch: retune, keep decoding
};

struct DECODE_AUTO_PITCH {
    CWSpectrumAnalyzer analyzer;
    CW_AUTO_GTM_STATE gtm{};
    bool acquired = false;
    double acquiredAt = 0.0;    // audio seconds
    bool confirmed = false;     // a good signal was seen after acquiring
    size_t candidateBin = 0;
    int32_t stableUpdates = 0;  // spectrum updates the candidate kept its place
};

// The lowest and highest tone the search accepts, Hz.
inline constexpr double kDecodeAutoPitchLowHz = 300.0;
inline constexpr double kDecodeAutoPitchHighHz = 1200.0;

void decode_auto_pitch_start(DECODE_AUTO_PITCH* tuner);

// One block, after the receiver decoded it with `config` and reported
// `status`; `now` is the audio time at its end. On an action other than
// NONE, *pitchHz gets the new pitch (quantised to 5 Hz).
DECODE_TUNE_ACTION decode_auto_pitch_step(DECODE_AUTO_PITCH* tuner, const float* samples, size_t count,
                                          const CW_RX_CONFIG& config, const CW_RX_STATUS& status, double now,
                                          double* pitchHz);
