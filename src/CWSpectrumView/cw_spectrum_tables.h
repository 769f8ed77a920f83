// Analysis tables of the spectrum view: the Kaiser window over the sample
// ring and one Goertzel coefficient per display bin. They depend only on the
// sample rate, so they are rebuilt only when it moves.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t kCWSpectrumFrameSize = 4096;  // samples per analysis frame
constexpr size_t kCWSpectrumBinCount = 301;    // bins from 0 to kCWSpectrumSpanHz
constexpr double kCWSpectrumSpanHz = 1500.0;
constexpr double kCWSpectrumBinHz = kCWSpectrumSpanHz / (kCWSpectrumBinCount - 1);
constexpr double kCWSpectrumKaiserBeta = 3.0;

// Modified Bessel function of order 0 by its power series, at most 25 terms,
// stopping once a term no longer moves the sum at 1e-12.
double cw_bessel_i0(double x);

class CWSpectrumTables {
public:
    // Builds both tables for `sampleRate` unless they were built for a rate
    // within 0.5 Hz of it; a rate that is not a finite positive number is
    // ignored. Returns true when the tables were rebuilt.
    bool prepare(double sampleRate);

    // 0 until the first build.
    double preparedSampleRate() const { return preparedSampleRate_; }
    // How many times the tables were built, for watching the rebuild rule.
    uint64_t buildCount() const { return buildCount_; }

    const float* window() const { return window_.data(); }
    const double* coefficients() const { return coefficients_.data(); }

private:
    std::array<float, kCWSpectrumFrameSize> window_{};
    std::array<double, kCWSpectrumBinCount> coefficients_{};
    double preparedSampleRate_ = 0.0;
    uint64_t buildCount_ = 0;
};
