#include "resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace {

constexpr int kTableSize = 2048;
constexpr int kTablePointsPerSample = 32;
constexpr double kKernelReach = 63.0;  // keeps the interpolation inside the table
constexpr int kDelayLineUsed = 136;
// The delay line slides along a longer buffer and is moved back to its
// front once per kDelaySlide samples instead of shifting on every sample.
constexpr int kDelaySlide = 2048;
constexpr int kScratchSize = 2048;

}  // namespace

Resampler::Resampler()
    : sincTable_(kTableSize), delayLine_(kDelayLineUsed + kDelaySlide), edgeSamples_(kWidth), scratch_(kScratchSize)
{
    make_sinc();
}

void Resampler::make_sinc()
{
    sincTable_[0] = 1.0f;
    for (int k = 1; k < kTableSize - 1; ++k) {
        const double x = std::numbers::pi * k / kTablePointsPerSample;
        const double hann = 0.5 + 0.5 * std::cos(std::numbers::pi * k / kTableSize);
        sincTable_[k] = static_cast<float>(std::sin(x) / x * hann);
    }
    sincTable_[kTableSize - 1] = -2.8692212e-10f;
}

void Resampler::reset()
{
    nSamplesTotal_ = 0;
    timeInt_ = 0;
    timeLast_ = 0;
    timeNow_ = 0.0;
    delayStart_ = 0;
    std::fill(edgeSamples_.begin(), edgeSamples_.end(), 0.0f);
    std::fill(delayLine_.begin(), delayLine_.end(), 0.0f);
    std::fill(scratch_.begin(), scratch_.end(), 0.0f);
}

double Resampler::sinc(double x) const
{
    const double a = std::fabs(x);
    if (!(a < kKernelReach))
        return 0.0;  // also NaN
    const double t = kTablePointsPerSample * a;
    const int j = static_cast<int>(t);
    const double lo = sincTable_[j];
    return lo + (sincTable_[j + 1] - lo) * (t - j);
}

void Resampler::new_data(float x)
{
    if (delayStart_ + kDelayLineUsed == static_cast<int>(delayLine_.size())) {
        std::memmove(delayLine_.data(), delayLine_.data() + delayStart_ + 1, sizeof(float) * (kDelayLineUsed - 1));
        delayStart_ = 0;
    } else {
        ++delayStart_;
    }
    delayLine_[delayStart_ + kDelayLineUsed - 1] = x;
}

float Resampler::gimme_data(int j) const
{
    if (j < -kWidth || j >= kDelayLineUsed - kWidth)
        return 0.0f;
    return delayLine_[delayStart_ + kWidth + j];
}

bool Resampler::accepts(float factor, int nSamples, const float* in, const float* out) const
{
    if (nSamples < 0)
        return false;
    // Also refuses NaN. A factor far below 1 would make outputs without end,
    // one far above would run the output time past the int32 counters.
    if (!(factor >= kMinFactor && factor <= kMaxFactor))
        return false;
    if (static_cast<int64_t>(nSamplesTotal_) + nSamples > kMaxSamplesTotal)
        return false;
    if (nSamples / static_cast<double>(factor) + 2.0 > std::numeric_limits<int>::max())
        return false;
    return out == nullptr || (in != nullptr && nSamples > kWidth);
}

// Scratch = the previous call's last kWidth inputs, then this call's inputs.
void Resampler::loadBlock(const float* in, int nSamples)
{
    if (static_cast<int>(scratch_.size()) < nSamples + kWidth)
        scratch_.resize(nSamples + kWidth);
    std::copy(edgeSamples_.begin(), edgeSamples_.end(), scratch_.begin());
    std::copy(in + nSamples - kWidth, in + nSamples, edgeSamples_.begin());
    std::copy(in, in + nSamples, scratch_.begin() + kWidth);
}

// Feeds the delay line up to the current integer time; false when the block
// ran out first (the rest is fed by the next call).
bool Resampler::advanceInput(int& m, int nSamples, bool store)
{
    while (timeLast_ < timeInt_) {
        if (++m >= nSamples)
            return false;
        if (store)
            new_data(scratch_[m]);
        ++timeLast_;
    }
    return true;
}

double Resampler::outputAt(float factor) const
{
    const double T = timeNow_;
    // Taps outside the delay line would read 0; it always covers the kernel.
    const int64_t imin = std::max<int64_t>({static_cast<int64_t>(T - kWidth + 1), 0, int64_t{timeInt_} - kWidth});
    const int64_t imax =
        std::min<int64_t>({static_cast<int64_t>(nSamplesTotal_) + kWidth, static_cast<int64_t>(T + kWidth),
                           int64_t{timeInt_} + kDelayLineUsed - kWidth});
    const float* centre = delayLine_.data() + delayStart_ + kWidth;  // offset 0 from timeInt_
    double sum = 0.0;
    if (factor < 1.0f) {
        for (int64_t i = imin; i < imax; ++i)
            sum += centre[i - timeInt_] * sinc(T - static_cast<double>(i));
    } else {
        // Downsampling widens the kernel to the output's lower band edge.
        for (int64_t i = imin; i < imax; ++i)
            sum += centre[i - timeInt_] * (sinc((T - static_cast<double>(i)) / factor) / factor);
    }
    return sum;
}

int Resampler::resample(float factor, int nSamples, const float* in, float* out)
{
    if (!accepts(factor, nSamples, in, out))
        return 0;
    const double savedNow = timeNow_;
    const int32_t savedTotal = nSamplesTotal_;
    const int32_t savedInt = timeInt_;
    const int32_t savedLast = timeLast_;

    nSamplesTotal_ += nSamples;
    const bool store = out != nullptr;
    if (store)
        loadBlock(in, nSamples);

    int m = -1;
    int c = 0;
    while (advanceInput(m, nSamples, store)) {
        if (store)
            out[c] = static_cast<float>(outputAt(factor));
        ++c;
        timeNow_ += factor;
        timeLast_ = timeInt_;
        timeInt_ = static_cast<int32_t>(timeNow_);
    }

    if (!store) {
        timeNow_ = savedNow;
        nSamplesTotal_ = savedTotal;
        timeInt_ = savedInt;
        timeLast_ = savedLast;
    }
    return c;
}
