// The spectrum behind the spectrum view: keeps the newest 4096 samples, at
// most five times a second turns them into 301 shaped and smoothed levels
// from 0 to 1500 Hz, and tracks the strongest tone near the pitch. All
// storage is inside the object; nothing is allocated after construction.
#pragma once

#include <array>
#include <cstdint>

#include "cw_spectrum_figures.h"
#include "cw_spectrum_tables.h"

constexpr double kCWSpectrumThrottleSeconds = 0.2;
constexpr double kCWSpectrumPeakSearchHz = 250.0;  // half-width around the pitch
constexpr double kCWSpectrumPeakMarkerLevel = 0.05;

class CWSpectrumAnalyzer {
public:
    CWSpectrumAnalyzer();

    // Takes one block of mono samples with the receiver's figures.
    // `nowSeconds` is a monotonic clock; 0 is taken to mean "never". Null
    // samples, no samples or a sample rate that is not a finite positive
    // number change nothing. Samples that are not finite enter the ring as
    // 0, so one bad value cannot blank the spectrum for a whole frame.
    // Returns true when a new spectrum was computed and wants drawing.
    bool update(const float* samples, uint64_t count, double sampleRate, const CW_SPECTRUM_FIGURES& figures,
                double nowSeconds);

    // Builds the window and coefficients ahead of the first spectrum.
    void prepareTables(double sampleRate) { tables_.prepare(sampleRate); }

    // A pitch chosen by the operator; shown until the next update brings
    // the receiver's.
    void setPitchHz(double hz) { figures_.pitchHz = hz; }

    // The tracked peak, or the pitch while no peak has been tracked.
    double currentPeakHz() const { return peakHz_ > 0.0 ? peakHz_ : figures_.pitchHz; }

    const float* spectrum() const { return spectrum_.data(); }  // kCWSpectrumBinCount values, 0..1
    double peakHz() const { return peakHz_; }                   // 0 until tracked
    float peakLevel() const { return peakLevel_; }
    bool peakMarkerVisible() const { return peakLevel_ > kCWSpectrumPeakMarkerLevel; }
    const CW_SPECTRUM_FIGURES& figures() const { return figures_; }

    uint64_t ringCount() const { return ringCount_; }
    double lastAcceptedTime() const { return lastAcceptedTime_; }
    const CWSpectrumTables& tables() const { return tables_; }

private:
    void appendSamples(const float* samples, uint64_t count);
    bool throttleAccepts(double nowSeconds);
    void computeLevels();
    void shapeAndSmooth();
    void trackPeak();

    std::array<float, kCWSpectrumFrameSize> ring_{};
    std::array<double, kCWSpectrumFrameSize> frame_{};  // windowed, oldest first
    std::array<double, kCWSpectrumBinCount> power_{};
    std::array<double, kCWSpectrumBinCount> levelDb_{};
    std::array<float, kCWSpectrumBinCount> spectrum_{};
    CWSpectrumTables tables_;
    CW_SPECTRUM_FIGURES figures_;
    uint64_t ringHead_ = 0;
    uint64_t ringCount_ = 0;
    double peakHz_ = 0.0;
    double smoothedPeakHz_ = 0.0;  // 0 until the smoother starts
    float peakLevel_ = 0.0f;
    double lastAcceptedTime_ = 0.0;
};
