// The 0..1500 Hz spectrum of the receive audio: the newest 4096 samples'
// worth, brought down to 4..8 kHz, Kaiser-windowed and measured in 301
// bins 5 Hz apart at most five times a second, shaped for display and
// smoothed; and the strongest tone within 250 Hz of the pitch, followed
// gently. Nothing is allocated after creation.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kCWSpectrumBinCount = 301;  // bins from 0 to kCWSpectrumSpanHz
constexpr double kCWSpectrumSpanHz = 1500.0;
constexpr double kCWSpectrumBinHz = kCWSpectrumSpanHz / (kCWSpectrumBinCount - 1);
constexpr size_t kCWSpectrumFrameSize = 4096;  // input samples per analysis frame
constexpr double kCWSpectrumThrottleSeconds = 0.2;
constexpr double kCWSpectrumPeakSearchHz = 250.0;  // half-width around the pitch
constexpr double kCWSpectrumPeakMarkerLevel = 0.05;

struct CW_SPECTRUM_SNAPSHOT {
    float bins[kCWSpectrumBinCount];  // 0..1, shaped and smoothed
    double pitchHz;                   // the pitch the peak was searched around
    double peakHz;                    // the tracked peak; 0 until the first spectrum
    float peakLevel;                  // the peak bin's value
    int32_t peakMarkerVisible;        // the peak stands out enough to be marked
};

typedef struct CW_SPECTRUM_ESTIMATOR CW_SPECTRUM_ESTIMATOR;

// Null when out of memory.
CW_SPECTRUM_ESTIMATOR* cw_spectrum_estimator_create(void);

// One block of mono samples at `sampleRate`, decoded at `pitchHz`.
// `nowSeconds` is a monotonic clock (audio or wall time); 0 means never.
// Null or empty blocks and rates outside 8000..384000 Hz change nothing; a
// new rate starts the frame afresh. Returns 1 when a new spectrum was
// computed.
int32_t cw_spectrum_estimator_process(CW_SPECTRUM_ESTIMATOR* e, const float* samples, size_t count, double sampleRate,
                                      double pitchHz, double nowSeconds);

void cw_spectrum_estimator_get_snapshot(const CW_SPECTRUM_ESTIMATOR* e, CW_SPECTRUM_SNAPSHOT* snapshot);

// The tracked peak alone, without copying the bins: 0 until the first
// spectrum.
double cw_spectrum_estimator_peak_hz(const CW_SPECTRUM_ESTIMATOR* e);

void cw_spectrum_estimator_destroy(CW_SPECTRUM_ESTIMATOR* e);
