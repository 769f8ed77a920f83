#include "decode_auto_pitch.h"

#include "cw_settings.h"
#include "cw_spectrum_figures.h"

#include <cmath>
#include <cstdlib>

namespace {

// A tone stands out when the strongest bin of the search range holds its
// place (within one bin) at a clear level for 4 s of spectra. The smoothed
// maximum of white noise held its place for at most 12 updates in 10
// minutes of measurements; a keyed tone keeps it from its first spectrum.
constexpr int32_t kStableUpdates = 20;
constexpr float kToneLevel = 0.5f;
constexpr double kRearmSeconds = 2.5;
// A first tune that brings no decodable signal within this time was noise:
// neither a good signal nor elements in steady Morse timing (a weak signal's
// quality figure stays low, but its timing holds; noise keys nothing).
constexpr double kConfirmSeconds = 5.0;
constexpr float kGoodQuality = 55.0f;
constexpr float kSteadyTimingCost = 0.25f;

size_t strongest_bin(const CWSpectrumAnalyzer& analyzer)
{
    const auto lo = static_cast<size_t>(kDecodeAutoPitchLowHz / kCWSpectrumBinHz);
    const auto hi = static_cast<size_t>(kDecodeAutoPitchHighHz / kCWSpectrumBinHz);
    const float* spectrum = analyzer.spectrum();
    size_t best = lo;
    for (size_t k = lo; k <= hi; ++k)
        if (spectrum[k] > spectrum[best])
            best = k;
    return best;
}

bool tone_found(DECODE_AUTO_PITCH* t)
{
    const size_t bin = strongest_bin(t->analyzer);
    const bool strong = t->analyzer.spectrum()[bin] >= kToneLevel;
    const bool held = std::abs(static_cast<long>(bin) - static_cast<long>(t->candidateBin)) <= 1;
    t->stableUpdates = strong && held ? t->stableUpdates + 1 : (strong ? 1 : 0);
    t->candidateBin = bin;
    return t->stableUpdates >= kStableUpdates;
}

DECODE_TUNE_ACTION acquire(DECODE_AUTO_PITCH* t, const CW_RX_CONFIG& config, double now, double* pitchHz)
{
    const double hz = cw_quantized_pitch(static_cast<double>(t->candidateBin) * kCWSpectrumBinHz);
    t->acquired = true;
    t->acquiredAt = now;
    t->confirmed = false;
    t->gtm.lastAutoGtmTime = now;
    // Even a tone where the receiver already listens is acquired: the text
    // heard before it was found is only printed from the replay.
    *pitchHz = std::fabs(hz - config.pitchHz) < 7.5 ? config.pitchHz : hz;
    return DECODE_TUNE_ACQUIRE;
}

}  // namespace

void decode_auto_pitch_start(DECODE_AUTO_PITCH* t)
{
    *t = DECODE_AUTO_PITCH{};
    t->gtm.enabled = true;
    t->gtm.lastSignalState = -1;
    t->gtm.rearmSeconds = kRearmSeconds;
}

DECODE_TUNE_ACTION decode_auto_pitch_step(DECODE_AUTO_PITCH* t, const float* samples, size_t count,
                                          const CW_RX_CONFIG& config, const CW_RX_STATUS& status, double now,
                                          double* pitchHz)
{
    const bool fresh = t->analyzer.update(samples, count, config.sampleRate,
                                          cw_spectrum_figures_from_rx(config, status, 0.0), now);
    DECODE_TUNE_ACTION action = DECODE_TUNE_NONE;
    if (t->acquired) {
        t->confirmed = t->confirmed || status.statQuality >= kGoodQuality || status.decoderCost < kSteadyTimingCost;
        if (!t->confirmed && now - t->acquiredAt > kConfirmSeconds)
            t->acquired = false;
    }
    if (!t->acquired) {
        if (fresh && tone_found(t))
            action = acquire(t, config, now, pitchHz);
    } else {
        t->gtm.peakHz = t->analyzer.currentPeakHz();
        t->gtm.pitchHz = config.pitchHz;
        if (cw_auto_gtm_should_retune(&status, t->gtm, now)) {
            t->gtm.lastAutoGtmTime = now;
            *pitchHz = cw_quantized_pitch(t->gtm.peakHz);
            action = DECODE_TUNE_RETUNE;
        }
    }
    t->gtm.lastSignalState = status.signalPresent;
    return action;
}
