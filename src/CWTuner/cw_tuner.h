// Tuning: the spectrum of the receive audio, the strongest tone near the
// pitch, the GotoMax choice, the automatic retune at the start of a new
// signal (AutoGTM) and, when no pitch is known, finding the tone first.
// The window and zarvo-decode drive one tuner each with every block the
// receiver decoded; the spectrum view draws its snapshot.
#pragma once

#include "CWRx.h"
#include "cw_spectrum_estimator.h"

#include <cstddef>
#include <cstdint>

struct CW_TUNER_CONFIG {
    int32_t autoGtm;      // retune once at the start of each new signal
    double rearmSeconds;  // the least time between two automatic retunes
    int32_t findTone;     // no pitch is known yet: find the tone first
};

enum CW_TUNER_ACTION : int32_t {
    CW_TUNER_KEEP = 0,
    CW_TUNER_FOUND,   // a tone found while none was confirmed: tune to it, decode the recent audio again
    CW_TUNER_RETUNE,  // a new signal off the pitch: tune to it and decode on
};

struct CW_TUNER_RESULT {
    CW_TUNER_ACTION action;
    double pitchHz;           // the new pitch (5 Hz steps, 300..1200 Hz) unless KEEP
    int32_t spectrumUpdated;  // a new spectrum wants drawing
};

struct CW_TUNER_STATUS {
    int32_t toneFound;  // findTone: a tone is tuned (confirmed or on trial)
    int32_t confirmed;  // findTone: the tuned tone proved to be a signal
    double peakHz;      // the tracked peak; 0 until the first spectrum
};

typedef struct CW_TUNER CW_TUNER;

// The lowest and highest tone a search accepts, Hz.
inline constexpr double kCWTunerLowestHz = 300.0;
inline constexpr double kCWTunerHighestHz = 1200.0;

// Null when out of memory.
CW_TUNER* cw_tuner_create(const CW_TUNER_CONFIG* config);
void cw_tuner_configure(CW_TUNER* t, const CW_TUNER_CONFIG* config);

// One block after the receiver decoded it with `rx` and reported `status`;
// `now` is a monotonic clock in seconds (audio or wall time, 0 = never).
void cw_tuner_update(CW_TUNER* t, const float* samples, size_t count, const CW_RX_CONFIG* rx,
                     const CW_RX_STATUS* status, double now, CW_TUNER_RESULT* result);

// GotoMax: the tracked peak as a pitch. 0 while no spectrum was made yet.
int32_t cw_tuner_goto_max(const CW_TUNER* t, double* pitchHz);

void cw_tuner_get_spectrum(const CW_TUNER* t, CW_SPECTRUM_SNAPSHOT* snapshot);
void cw_tuner_get_status(const CW_TUNER* t, CW_TUNER_STATUS* status);

// A new link or stream: the next signal counts as new. The spectrum stays.
void cw_tuner_forget_signal(CW_TUNER* t);

void cw_tuner_destroy(CW_TUNER* t);

// A pitch as the receiver takes it: 5 Hz steps within 300..1200 Hz.
double cw_tuner_quantized_pitch(double hz);
