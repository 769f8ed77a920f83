#include "goertzel_running_fir.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "hamming_window.h"
#include "saturating_counter.h"

namespace {

struct Tone {
    double coefficient;
    double cosine;
    double sine;
};

// L envelope values for the windows starting at x[0] ... x[L - 1]. Each is
// its own recurrence (the product in float, the sum in double), so they are
// bit for bit what one window at a time would give.
template <int L>
void goertzel(const float* x, const float* window, int W, const Tone& tone, float* out)
{
    double s1[L] = {};
    double s2[L] = {};
    for (int k = 0; k < W; ++k) {
        const float wk = window[k];
        // Unrolled whole, so that the lane states stay in registers.
#pragma GCC unroll 16
        for (int l = 0; l < L; ++l) {
            const double s = tone.coefficient * s1[l] + static_cast<double>(wk * x[k + l]) - s2[l];
            s2[l] = s1[l];
            s1[l] = s;
        }
    }
    for (int l = 0; l < L; ++l) {
        const double re = tone.cosine * s1[l] - s2[l];
        const double im = -(tone.sine * s1[l]);
        out[l] = static_cast<float>(re * re + im * im);
    }
}

int wrapIndex(int i, int size)
{
    i %= size;
    return i < 0 ? i + size : i;
}

}  // namespace

void GoertzelRunningFIR::clear()
{
    *this = GoertzelRunningFIR();
}

bool GoertzelRunningFIR::init(float sampleRate, int windowSize, float historySeconds)
{
    clear();
    const float history = sampleRate * historySeconds;
    // Also false for NaN.
    const bool sized = sampleRate > 0.0f && history >= 0.0f && history <= static_cast<float>(kMaxRingSize);
    if (!sized || windowSize <= 0 || static_cast<int>(history) <= windowSize) return false;

    const int ringSize = static_cast<int>(history);
    sampleRate_ = sampleRate;
    window_ = hamming_window(windowSize);
    ring_.assign(ringSize, 0.0f);
    envelope_.assign(ringSize - windowSize, 0.0f);
    envelopeCopy_.assign(ringSize - windowSize, 0.0f);
    wrapped_.assign(windowSize + kLanes - 1, 0.0f);
    return true;
}

void GoertzelRunningFIR::setFrequency(float frequency)
{
    const float w = static_cast<float>(2.0 * std::numbers::pi * static_cast<double>(frequency / sampleRate_));
    sine_ = std::sin(w);
    cosine_ = std::cos(w);
    coefficient_ = 2.0f * cosine_;
}

void GoertzelRunningFIR::process(const float* samples, int n, float frequency)
{
    if (samples == nullptr || n <= 0 || envelope_.empty()) return;
    setFrequency(frequency);
    const int R = ringSize();
    const int W = windowSize();
    // A chunk's windows reach W - 1 samples back; the ring must still hold them.
    const int maxChunk = R - W + 1;
    while (n > 0) {
        const int chunk = std::min(n, maxChunk);
        const int64_t missing = static_cast<int64_t>(W) - 1 - sampleCount_;
        const int skip = static_cast<int>(std::clamp<int64_t>(missing, 0, chunk));
        const int firstStart = wrapIndex(inputIndex_ + skip + 1 - W, R);
        for (int i = 0; i < chunk; ++i) {
            ring_[inputIndex_] = samples[i];
            if (++inputIndex_ == R) inputIndex_ = 0;
            sampleCount_ = saturating_increment(sampleCount_);
        }
        emitValues(firstStart, chunk - skip);
        samples += chunk;
        n -= chunk;
    }
}

void GoertzelRunningFIR::recompute(float frequency)
{
    if (envelope_.empty()) return;
    setFrequency(frequency);
    // R - W + 1 windows into R - W slots: the oldest is overwritten by the
    // newest, and the output index ends on the oldest remaining value.
    emitValues(inputIndex_, ringSize() - windowSize() + 1);
    sampleCount_ = ringSize();
}

// count consecutive ring samples from start, as one straight array. Callers
// never ask for more than the ring holds.
const float* GoertzelRunningFIR::windowSamples(int start, int count)
{
    const int R = ringSize();
    if (start + count <= R) return ring_.data() + start;
    const int first = R - start;
    std::copy(ring_.begin() + start, ring_.end(), wrapped_.begin());
    std::copy(ring_.begin(), ring_.begin() + (count - first), wrapped_.begin() + first);
    return wrapped_.data();
}

// Envelope values of the windows starting at count consecutive ring
// positions from start, stored in order at the output index.
void GoertzelRunningFIR::emitValues(int start, int count)
{
    const int R = ringSize();
    const int W = windowSize();
    const Tone tone{coefficient_, cosine_, sine_};
    float values[kLanes];
    while (count > 0) {
        const int lanes = count >= kLanes ? kLanes : 1;
        const float* x = windowSamples(start, W + lanes - 1);
        if (lanes == kLanes)
            goertzel<kLanes>(x, window_.data(), W, tone, values);
        else
            goertzel<1>(x, window_.data(), W, tone, values);
        for (int l = 0; l < lanes; ++l) storeValue(values[l]);
        start += lanes;
        if (start >= R) start -= R;
        count -= lanes;
    }
}

void GoertzelRunningFIR::storeValue(float value)
{
    envelope_[outputIndex_] = value;
    if (++outputIndex_ == envelopeSize()) outputIndex_ = 0;
}

const std::vector<float>& GoertzelRunningFIR::envelopeInTimeOrder()
{
    const auto oldest = envelope_.begin() + outputIndex_;
    const auto next = std::copy(oldest, envelope_.end(), envelopeCopy_.begin());
    std::copy(envelope_.begin(), oldest, next);
    return envelopeCopy_;
}
