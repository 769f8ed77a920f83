// Symbol decoder: per frame, find the pitch, bring the tone to an envelope,
// slice it into key-down and key-up runs against a threshold that follows
// the signal, and turn the runs into text with timing learned from the
// sender.
#include "qomorse_impl.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace {

using Clock = std::chrono::steady_clock;

constexpr float kPitchChangeHz = 50.0f;
constexpr float kBinHz = 4000.0f / 512.0f;
// A given pitch is followed this far (drift, a sender off frequency); a
// searched one only within its bin neighbourhood.
constexpr float kFixedPullHz = 50.0f;
constexpr float kSearchedPullHz = 20.0f;
// Coherent averaging over part of a dot: long enough to lift a weak tone
// out of the noise, short enough to keep the shortest gaps open.
constexpr float kWindowDots = 0.8f;
// Marks this far above the noise are averaged over half a dot only, back
// to the long window below kLongWindowPeak.
constexpr float kShortWindowDots = 0.5f;
constexpr float kShortWindowPeak = 20.0f;
constexpr float kLongWindowPeak = 14.0f;
constexpr float kMinWindowMs = 8.0f;
constexpr float kMaxWindowMs = 60.0f;
// Demodulator and slicer follow the dot once it moved by this fraction.
constexpr float kRetuneFraction = 0.12f;

float elapsed_ms(Clock::time_point since)
{
    return std::chrono::duration<float, std::milli>(Clock::now() - since).count();
}

struct DotRange {
    float minMs;
    float maxMs;
};

// The speed range as dot lengths; a fixed speed allows a little either side.
DotRange dot_range(const qomorse_ParametersDecode& p)
{
    if (p.speed_wpm > 0.0f && p.speed_wpm < 100.0f)
        return {1200.0f / (p.speed_wpm * 1.1f), 1200.0f / (p.speed_wpm * 0.9f)};
    const float wMin = p.speedRangeMin_wpm > 5.0f ? std::min(p.speedRangeMin_wpm, 80.0f) : 5.0f;
    const float wMax = p.speedRangeMax_wpm > wMin ? std::min(p.speedRangeMax_wpm, 80.0f) : wMin;
    return {1200.0f / wMax, 1200.0f / wMin};
}

}  // namespace

void QoMorse::Impl::decodeFrame(float* frame)
{
    const auto frameStart = Clock::now();
    if (decodeParameters.applyFilterHighPass && highPass.active())
        highPass.process(frame, samplesPerFrame);
    for (int i = 0; i < samplesPerFrame; ++i)
        stfft.push(frame[i]);
    const float pitch = decodeParameters.frequency_hz > 0.0f ? decodeParameters.frequency_hz : findPitch();
    tune(pitch);
    statistics.timePitch_ms = elapsed_ms(frameStart);

    const auto envelopeStart = Clock::now();
    followSpeed();
    const int n = tone_demod_process(demod.get(), frame, samplesPerFrame, frameEnvelope.data(),
                                     static_cast<int>(frameEnvelope.size()));
    statistics.timeEnvelope_ms = elapsed_ms(envelopeStart);

    const auto keyingStart = Clock::now();
    keyEnvelope(frameEnvelope.data(), n);
    statistics.timeDecode_ms = elapsed_ms(keyingStart);
    publish();
}

void QoMorse::Impl::createStages()
{
    const TONE_DEMOD_CONFIG demodConfig{.sampleRate = static_cast<float>(kInternalRate),
                                        .pitchHz = 600.0f,
                                        .pullHz = 0.0f,
                                        .windowMs = 20.0f};
    demod.reset(tone_demod_create(&demodConfig));
    slicer.reset(keying_slicer_create(kToneDemodStepMs));
    // 22 WPM, in the middle of what is heard most, until the sender shows his.
    const DotRange range = dot_range(decodeParameters);
    timing.reset(morse_timing_create(1200.0f / 22.0f, range.minMs, range.maxMs));
}

// The timing keeps the sender's dot within the configured speed range.
void QoMorse::Impl::applySpeedRange()
{
    const DotRange range = dot_range(decodeParameters);
    morse_timing_set_range(timing.get(), range.minMs, range.maxMs);
}

// Strongest bin in range over the newest half of the spectrum history; the
// lowest bin wins a tie and an all-zero spectrum gives 0.
float QoMorse::Impl::findPitch() const
{
    const int kMin = std::max(0, static_cast<int>(std::ceil(decodeParameters.frequencyRangeMin_hz / kBinHz)));
    const int kMax = std::min(255, static_cast<int>(std::floor(decodeParameters.frequencyRangeMax_hz / kBinHz)));
    if (kMin > kMax)
        return 0.0f;
    std::array<float, 256> sums{};
    const int nColumns = stfft.nColumns();
    const int half = nColumns / 2;
    for (int j = 0; j < half; ++j) {
        const std::vector<float>& column = stfft.column((stfft.currentColumn() + half + j) % nColumns);
        for (int k = kMin; k <= kMax; ++k)
            sums[k] += column[k];
    }
    float best = 0.0f;
    int bestBin = -1;
    for (int k = kMin; k <= kMax; ++k) {
        if (sums[k] > best) {
            best = sums[k];
            bestBin = k;
        }
    }
    return bestBin < 0 ? 0.0f : static_cast<float>(bestBin) * kBinHz;
}

// Points the demodulator at the pitch. A move to another signal starts a
// new line and drops the half-read character; no tone at all (pitch 0)
// keeps listening where it was.
void QoMorse::Impl::tune(float pitch)
{
    if (pitch <= 0.0f)
        return;
    const bool fixed = decodeParameters.frequency_hz > 0.0f;
    if (tunedPitch > 0.0f && std::fabs(pitch - tunedPitch) > kPitchChangeHz) {
        rxData.push_back('\n');
        morse_timing_clear_symbol(timing.get());
        keying_slicer_reset(slicer.get());
    }
    if (pitch != tunedPitch) {
        const TONE_DEMOD_CONFIG config{.sampleRate = static_cast<float>(kInternalRate),
                                       .pitchHz = pitch,
                                       .pullHz = fixed ? kFixedPullHz : kSearchedPullHz,
                                       .windowMs = stagesDotMs > 0.0f ? kWindowDots * stagesDotMs : 20.0f};
        tone_demod_configure(demod.get(), &config);
        tunedPitch = pitch;
    }
    TONE_DEMOD_STATUS status;
    tone_demod_get_status(demod.get(), &status);
    statistics.estimatedPitch_Hz = status.pitchHz;
}

// Matches the averaging window and the slicer's reach to the sender's dot.
void QoMorse::Impl::followSpeed()
{
    const DotRange range = dot_range(decodeParameters);
    MORSE_TIMING_STATUS t;
    morse_timing_get_status(timing.get(), &t);
    if (t.unitMs <= 0.0f)
        return;
    // Until the first sender shows his speed, the stages are set for the
    // fastest one: a window too long for the speed would smear the dots
    // the speed is learned from.
    const float dotMs = t.elements > 0 ? t.unitMs : range.minMs;
    // A strong signal needs no long average, and a short one keeps the
    // gaps of a sender who speeds up open, so that the change is seen.
    const bool wantShort = t.markPeak >= kShortWindowPeak || (shortWindow && t.markPeak > kLongWindowPeak);
    if (stagesDotMs <= 0.0f || std::fabs(dotMs - stagesDotMs) > kRetuneFraction * stagesDotMs ||
        wantShort != shortWindow) {
        stagesDotMs = dotMs;
        shortWindow = wantShort;
        const float dots = shortWindow ? kShortWindowDots : kWindowDots;
        tone_demod_set_window(demod.get(), std::clamp(dots * dotMs, kMinWindowMs, kMaxWindowMs));
        keying_slicer_set_dot(slicer.get(), dotMs);
    }
    // The timing keeps the dot near the range; the reported speed stays
    // inside it, so a fast or slow sender at its edge keeps his text.
    statistics.estimatedSpeed_wpm = std::clamp(1200.0f / t.unitMs, 1200.0f / range.maxMs, 1200.0f / range.minMs);
}

void QoMorse::Impl::keyEnvelope(const float* values, int n)
{
    for (int i = 0; i < n; ++i) {
        envelopeRing[static_cast<size_t>(envelopeNext)] = values[i];
        envelopeNext = (envelopeNext + 1) % kEnvelopeValues;
        KEYING_RUN runs[2];
        const int32_t ended = keying_slicer_push(slicer.get(), values[i], runs);
        for (int32_t k = 0; k < ended; ++k)
            morse_timing_push_run(timing.get(), runs[k], morseCode, &rxData);
        KEYING_SLICER_STATUS s;
        keying_slicer_get_status(slicer.get(), &s);
        if (!s.keyDown)
            morse_timing_idle(timing.get(), s.runMs, morseCode, &rxData);
    }
}

// The envelope of the last three seconds in time order, and the threshold
// at the decision point as a fraction of its largest value.
void QoMorse::Impl::publish()
{
    signalF.assign(envelopeRing.begin() + envelopeNext, envelopeRing.end());
    signalF.insert(signalF.end(), envelopeRing.begin(), envelopeRing.begin() + envelopeNext);
    const float peak = *std::max_element(signalF.begin(), signalF.end());
    KEYING_SLICER_STATUS s;
    keying_slicer_get_status(slicer.get(), &s);
    statistics.signalThreshold = peak > 0.0f ? std::min(1.0f, s.threshold / peak) : 0.0f;
    MORSE_TIMING_STATUS t;
    morse_timing_get_status(timing.get(), &t);
    statistics.costFunction = t.cost;
    thresholdF.push_back(statistics.signalThreshold);
    ++publishCount;
}
