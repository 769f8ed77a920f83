#include "cw_tuner.h"

#include "cw_auto_gtm.h"

#include <cmath>
#include <cstdlib>
#include <new>

namespace {

// A tone stands out when the strongest bin of the search range holds its
// place (within one bin) at a clear level for 4 s of spectra. The smoothed
// maximum of white noise held its place for at most 12 updates in 10
// minutes of measurements; a keyed tone keeps it from its first spectrum.
constexpr int32_t kStableUpdates = 20;
constexpr float kToneLevel = 0.5f;
// A found tone that brings no decodable signal within this time was noise:
// neither a good signal nor elements in steady Morse timing (a weak signal's
// quality figure stays low, but its timing holds; noise keys nothing).
constexpr double kConfirmSeconds = 5.0;
constexpr float kSteadyTimingCost = 0.25f;
constexpr double kPitchStepHz = 5.0;
// A new signal counts as starting for this long: its presence shows within
// a dot or two, but the decoder needs about 3 s of it before its cost says
// whether the keying reads.
constexpr double kSignalStartSeconds = 4.0;
// Within that time the smoothed spectrum may still be sliding from the last
// signal's tone to the new one; only a peak that held its place (within
// one pitch step) for this many spectra is a place to tune to.
constexpr int32_t kSteadyPeakUpdates = 3;

}  // namespace

struct CW_TUNER {
    CW_TUNER_CONFIG config{};
    CW_SPECTRUM_ESTIMATOR* spectrum = nullptr;
    long long lastSignalState = -1;  // -1 unknown, else the previous block's signalPresent
    bool signalStarting = false;     // the current signal may still be retuned to
    double signalStartTime = 0.0;
    double lastPeakHz = 0.0;
    int32_t steadyPeakUpdates = 0;  // spectra the tracked peak kept its place
    double lastAutoGtmTime = 0.0;
    bool toneFound = false;
    bool confirmed = false;
    double foundAt = 0.0;
    size_t candidateBin = 0;
    int32_t stableUpdates = 0;  // spectra the candidate kept its place
};

namespace {

size_t strongest_bin(const CW_SPECTRUM_SNAPSHOT& s)
{
    const auto lo = static_cast<size_t>(kCWTunerLowestHz / kCWSpectrumBinHz);
    const auto hi = static_cast<size_t>(kCWTunerHighestHz / kCWSpectrumBinHz);
    size_t best = lo;
    for (size_t k = lo; k <= hi; ++k)
        if (s.bins[k] > s.bins[best])
            best = k;
    return best;
}

bool tone_stands_out(CW_TUNER* t, const CW_SPECTRUM_SNAPSHOT& s)
{
    const size_t bin = strongest_bin(s);
    const bool strong = s.bins[bin] >= kToneLevel;
    const bool held = std::abs(static_cast<long>(bin) - static_cast<long>(t->candidateBin)) <= 1;
    t->stableUpdates = strong && held ? t->stableUpdates + 1 : (strong ? 1 : 0);
    t->candidateBin = bin;
    return t->stableUpdates >= kStableUpdates;
}

// Even a tone where the receiver already listens counts as found: the text
// heard before it was found is only printed from the replay.
void tune_to_found_tone(CW_TUNER* t, const CW_RX_CONFIG& rx, double now, CW_TUNER_RESULT* result)
{
    const double hz = cw_tuner_quantized_pitch(static_cast<double>(t->candidateBin) * kCWSpectrumBinHz);
    t->toneFound = true;
    t->confirmed = false;
    t->foundAt = now;
    t->lastAutoGtmTime = now;
    result->action = CW_TUNER_FOUND;
    result->pitchHz = std::fabs(hz - rx.pitchHz) < kPitchStepHz * 1.5 ? rx.pitchHz : hz;
}

void find_tone(CW_TUNER* t, const CW_RX_CONFIG& rx, const CW_RX_STATUS& status, double now, bool fresh,
               CW_TUNER_RESULT* result)
{
    if (t->toneFound) {
        t->confirmed =
            t->confirmed || status.statQuality >= kCWAutoGtmGoodQuality || status.decoderCost < kSteadyTimingCost;
        // Given up, it must stand out for the whole time again before it is
        // tried once more.
        if (!t->confirmed && now - t->foundAt > kConfirmSeconds) {
            t->toneFound = false;
            t->stableUpdates = 0;
        }
    }
    if (t->toneFound || !fresh)
        return;
    CW_SPECTRUM_SNAPSHOT s;
    cw_spectrum_estimator_get_snapshot(t->spectrum, &s);
    if (tone_stands_out(t, s))
        tune_to_found_tone(t, rx, now, result);
}

// A signal that starts inside the rearm delay is left alone as a whole. In
// a quick exchange the next over follows without a silence the receiver
// would notice; a tone heard well off the pitch is such a next station and
// may be retuned to like a new signal.
void track_signal_start(CW_TUNER* t, const CW_RX_STATUS& status, double now)
{
    if (!status.signalPresent) {
        t->signalStarting = false;
        return;
    }
    const bool rearmed = !(t->lastAutoGtmTime > 0.0) || now - t->lastAutoGtmTime >= t->config.rearmSeconds;
    const bool heardOff = std::fabs(status.toneOffsetHz) >= kCWAutoGtmOffPitchHz;
    if (t->lastSignalState <= 0 || (!t->signalStarting && heardOff && rearmed)) {
        t->signalStarting = rearmed;
        t->signalStartTime = now;
    } else if (now - t->signalStartTime > kSignalStartSeconds) {
        t->signalStarting = false;
    }
}

void track_peak(CW_TUNER* t)
{
    const double peakHz = cw_spectrum_estimator_peak_hz(t->spectrum);
    const bool held = peakHz > 0.0 && std::fabs(peakHz - t->lastPeakHz) <= kPitchStepHz;
    t->steadyPeakUpdates = held ? t->steadyPeakUpdates + 1 : 0;
    t->lastPeakHz = peakHz;
}

void follow_new_signal(CW_TUNER* t, const CW_RX_CONFIG& rx, const CW_RX_STATUS& status, double now,
                       CW_TUNER_RESULT* result)
{
    const double peakHz = t->steadyPeakUpdates >= kSteadyPeakUpdates ? cw_spectrum_estimator_peak_hz(t->spectrum) : 0.0;
    const CW_AUTO_GTM_STATE state{.enabled = t->config.autoGtm != 0,
                                  .signalStarting = t->signalStarting,
                                  .lastAutoGtmTime = t->lastAutoGtmTime,
                                  .rearmSeconds = t->config.rearmSeconds,
                                  .peakHz = peakHz,
                                  .pitchHz = rx.pitchHz};
    if (!cw_auto_gtm_should_retune(&status, state, now))
        return;
    t->lastAutoGtmTime = now;
    t->signalStarting = false;
    result->action = CW_TUNER_RETUNE;
    result->pitchHz = cw_tuner_quantized_pitch(peakHz);
}

}  // namespace

CW_TUNER* cw_tuner_create(const CW_TUNER_CONFIG* config)
{
    auto* t = new (std::nothrow) CW_TUNER;
    if (t == nullptr)
        return nullptr;
    t->spectrum = cw_spectrum_estimator_create();
    if (t->spectrum == nullptr) {
        delete t;
        return nullptr;
    }
    cw_tuner_configure(t, config);
    return t;
}

void cw_tuner_configure(CW_TUNER* t, const CW_TUNER_CONFIG* config)
{
    if (t != nullptr && config != nullptr)
        t->config = *config;
}

void cw_tuner_update(CW_TUNER* t, const float* samples, size_t count, const CW_RX_CONFIG* rx,
                     const CW_RX_STATUS* status, double now, CW_TUNER_RESULT* result)
{
    if (result == nullptr)
        return;
    *result = CW_TUNER_RESULT{.action = CW_TUNER_KEEP, .pitchHz = 0.0, .spectrumUpdated = 0};
    if (t == nullptr || rx == nullptr || status == nullptr)
        return;
    result->spectrumUpdated =
        cw_spectrum_estimator_process(t->spectrum, samples, count, rx->sampleRate, rx->pitchHz, now);
    if (result->spectrumUpdated)
        track_peak(t);
    track_signal_start(t, *status, now);
    if (t->config.findTone)
        find_tone(t, *rx, *status, now, result->spectrumUpdated != 0, result);
    if (result->action == CW_TUNER_KEEP && (!t->config.findTone || t->toneFound))
        follow_new_signal(t, *rx, *status, now, result);
    t->lastSignalState = status->signalPresent;
}

int32_t cw_tuner_goto_max(const CW_TUNER* t, double* pitchHz)
{
    const double peakHz = cw_spectrum_estimator_peak_hz(t != nullptr ? t->spectrum : nullptr);
    if (!(peakHz > 0.0) || pitchHz == nullptr)
        return 0;
    *pitchHz = cw_tuner_quantized_pitch(peakHz);
    return 1;
}

void cw_tuner_get_spectrum(const CW_TUNER* t, CW_SPECTRUM_SNAPSHOT* snapshot)
{
    cw_spectrum_estimator_get_snapshot(t != nullptr ? t->spectrum : nullptr, snapshot);
}

void cw_tuner_get_status(const CW_TUNER* t, CW_TUNER_STATUS* status)
{
    if (status == nullptr)
        return;
    *status = CW_TUNER_STATUS{.toneFound = t != nullptr && t->toneFound ? 1 : 0,
                              .confirmed = t != nullptr && t->confirmed ? 1 : 0,
                              .peakHz = cw_spectrum_estimator_peak_hz(t != nullptr ? t->spectrum : nullptr)};
}

void cw_tuner_forget_signal(CW_TUNER* t)
{
    if (t != nullptr) {
        t->lastSignalState = -1;
        t->signalStarting = false;
    }
}

void cw_tuner_destroy(CW_TUNER* t)
{
    if (t == nullptr)
        return;
    cw_spectrum_estimator_destroy(t->spectrum);
    delete t;
}

double cw_tuner_quantized_pitch(double hz)
{
    if (!(hz >= kCWTunerLowestHz))
        return kCWTunerLowestHz;
    return std::round(std::min(hz, kCWTunerHighestHz) / kPitchStepHz) * kPitchStepHz;
}
