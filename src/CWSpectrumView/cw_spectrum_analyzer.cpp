#include "cw_spectrum_analyzer.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "cw_goertzel_bank.h"

namespace {

constexpr double kFloorSpanDb = 28.0;
constexpr double kMinRangeDb = 10.0;
constexpr double kTopFloorDb = -140.0;
constexpr double kShapeKnee = 0.22;
constexpr double kShapePower = 1.65;
constexpr float kAttack = 0.34f;
constexpr float kRelease = 0.055f;
constexpr float kAmplitudeFloor = 1e-9f;
constexpr double kPeakGate = 0.08;
constexpr double kPeakFollow = 0.18;
constexpr double kPeakKeep = 0.82;

float shaped_target(double levelDb, double floorDb, double rangeDb)
{
    const double v = std::clamp((levelDb - floorDb) / rangeDb, 0.0, 1.0);
    if (v < kShapeKnee) return 0.0f;
    return static_cast<float>(std::pow((v - kShapeKnee) / (1.0 - kShapeKnee), kShapePower));
}

}  // namespace

CWSpectrumAnalyzer::CWSpectrumAnalyzer() : figures_(cw_spectrum_initial_figures()) {}

bool CWSpectrumAnalyzer::update(const float* samples, uint64_t count, double sampleRate,
                                const CW_SPECTRUM_FIGURES& figures, double nowSeconds)
{
    if (!samples || count == 0 || !std::isfinite(sampleRate) || sampleRate <= 0.0) return false;
    appendSamples(samples, count);
    figures_ = figures;
    if (!throttleAccepts(nowSeconds)) return false;
    if (ringCount_ < kCWSpectrumFrameSize) return false;
    tables_.prepare(sampleRate);
    computeLevels();
    shapeAndSmooth();
    trackPeak();
    return true;
}

void CWSpectrumAnalyzer::appendSamples(const float* samples, uint64_t count)
{
    // Only the newest frame's worth can survive; the head still moves past
    // the rest so that the ring's order is what sample-by-sample gives.
    const uint64_t skip = count > kCWSpectrumFrameSize ? count - kCWSpectrumFrameSize : 0;
    ringHead_ = (ringHead_ + skip) % kCWSpectrumFrameSize;
    for (uint64_t i = skip; i < count; ++i) {
        const float x = samples[i];
        ring_[ringHead_] = std::isfinite(x) ? x : 0.0f;
        ringHead_ = (ringHead_ + 1) % kCWSpectrumFrameSize;
    }
    ringCount_ = count >= kCWSpectrumFrameSize - ringCount_ ? kCWSpectrumFrameSize : ringCount_ + count;
}

bool CWSpectrumAnalyzer::throttleAccepts(double nowSeconds)
{
    // A clock that went back is taken as elapsed time; otherwise a step
    // back would freeze the display for as long as the step.
    const double elapsed = nowSeconds - lastAcceptedTime_;
    if (lastAcceptedTime_ > 0.0 && elapsed >= 0.0 && elapsed < kCWSpectrumThrottleSeconds) return false;
    lastAcceptedTime_ = nowSeconds;
    return true;
}

void CWSpectrumAnalyzer::computeLevels()
{
    const float* window = tables_.window();
    for (size_t i = 0; i < kCWSpectrumFrameSize; ++i) {
        const size_t at = (ringHead_ + i) % kCWSpectrumFrameSize;
        frame_[i] = static_cast<double>(window[i]) * static_cast<double>(ring_[at]);
    }
    cw_goertzel_bank_power(frame_.data(), kCWSpectrumFrameSize, tables_.coefficients(), kCWSpectrumBinCount,
                           power_.data());
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k) {
        const double magnitude = std::sqrt(std::max(0.0, power_[k]));
        // Held to the float range before narrowing, so huge input stays finite.
        const double amplitude = std::min(2.0 * magnitude / kCWSpectrumFrameSize, static_cast<double>(FLT_MAX));
        const float a = std::max(static_cast<float>(amplitude), kAmplitudeFloor);
        levelDb_[k] = 20.0 * std::log10(static_cast<double>(a));
    }
}

void CWSpectrumAnalyzer::shapeAndSmooth()
{
    const auto [low, high] = std::minmax_element(levelDb_.begin(), levelDb_.end());
    const double top = std::max(kTopFloorDb, *high);
    const double floorDb = std::max(*low, top - kFloorSpanDb);
    const double range = std::max(kMinRangeDb, top - floorDb);
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k) {
        const float target = shaped_target(levelDb_[k], floorDb, range);
        float& s = spectrum_[k];
        const float alpha = s < target ? kAttack : kRelease;
        s = (1.0f - alpha) * s + alpha * target;
    }
}

void CWSpectrumAnalyzer::trackPeak()
{
    const double lo = std::max(0.0, figures_.pitchHz - kCWSpectrumPeakSearchHz);
    const double hi = std::min(kCWSpectrumSpanHz, figures_.pitchHz + kCWSpectrumPeakSearchHz);
    double best = -1.0;
    size_t bestBin = 0;
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k) {
        const double f = static_cast<double>(k) * kCWSpectrumBinHz;
        if (f < lo || f > hi) continue;
        if (spectrum_[k] > best) {
            best = spectrum_[k];
            bestBin = k;
        }
    }
    const double raw = static_cast<double>(bestBin) * kCWSpectrumSpanHz / (kCWSpectrumBinCount - 1);
    if (smoothedPeakHz_ <= 0.0) {
        smoothedPeakHz_ = raw;
    } else if (best > kPeakGate) {
        smoothedPeakHz_ = kPeakFollow * raw + kPeakKeep * smoothedPeakHz_;
    }
    peakHz_ = smoothedPeakHz_;
    peakLevel_ = static_cast<float>(std::max(best, 0.0));
}
