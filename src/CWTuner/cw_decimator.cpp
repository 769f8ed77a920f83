#include "cw_decimator.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <vector>

namespace {

// Output rates from kLowestOutputHz up to twice that: the band to keep ends
// at kKeptHz, and what lies above rate - kKeptHz would fold onto it.
constexpr double kLowestOutputHz = 4000.0;
constexpr double kKeptHz = 1500.0;
// A Kaiser window with beta 6 holds the stop band about 63 dB down with
// kTapsPerTransition * rate / transition taps.
constexpr double kKaiserBeta = 6.0;
constexpr double kTapsPerTransition = 3.9;
// The dot product runs in kLanes independent sums, which the compiler
// turns into vector arithmetic; the kernel is padded with zeros to a
// multiple of them.
constexpr size_t kLanes = 8;
constexpr size_t kMostTaps =
    (static_cast<size_t>(kTapsPerTransition * kCWDecimatorHighestRate / 1000.0) / kLanes + 2) * kLanes;

}  // namespace

double cw_bessel_i0(double x)
{
    const double half = x / 2.0;
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k <= 24; ++k) {
        const double ratio = half / k;
        term *= ratio * ratio;
        sum += term;
        if (sum * 1e-12 > term)
            break;
    }
    return sum;
}

struct CW_DECIMATOR {
    std::vector<float> taps;  // kMostTaps reserved, `length` used
    size_t length = kLanes;
    size_t factor = 1;
    double rate = 0.0;
};

size_t cw_decimator_longest_kernel(void)
{
    return kMostTaps;
}

CW_DECIMATOR* cw_decimator_create(void)
{
    auto* d = new (std::nothrow) CW_DECIMATOR;
    if (d == nullptr)
        return nullptr;
    try {
        d->taps.assign(kMostTaps, 0.0f);
    } catch (...) {
        delete d;
        return nullptr;
    }
    cw_decimator_configure(d, kCWDecimatorLowestRate);
    return d;
}

double cw_decimator_configure(CW_DECIMATOR* d, double sampleRate)
{
    if (d == nullptr)
        return 0.0;
    if (std::isfinite(sampleRate) && sampleRate >= kCWDecimatorLowestRate && sampleRate <= kCWDecimatorHighestRate &&
        sampleRate != d->rate) {
        d->rate = sampleRate;
        d->factor = static_cast<size_t>(sampleRate / kLowestOutputHz);
        const double output = sampleRate / static_cast<double>(d->factor);
        const double transition = output - 2.0 * kKeptHz;
        const size_t taps = static_cast<size_t>(kTapsPerTransition * sampleRate / transition) | 1;
        d->length = std::min(kMostTaps, (taps + kLanes - 1) / kLanes * kLanes);
        const double cutoff = 0.5 * output / sampleRate;  // cycles per sample, halfway through the transition
        const double middle = 0.5 * static_cast<double>(taps - 1);
        const double norm = cw_bessel_i0(kKaiserBeta);
        const auto kernel = [&](size_t n) {
            const double t = static_cast<double>(n) - middle;
            const double sinc =
                t == 0.0 ? 2.0 * cutoff : std::sin(2.0 * std::numbers::pi * cutoff * t) / (std::numbers::pi * t);
            const double r = t / middle;
            return sinc * cw_bessel_i0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / norm;
        };
        double sum = 0.0;
        for (size_t n = 0; n < taps; ++n)
            sum += kernel(n);
        // Unit gain at 0 Hz; the padding comes first, so the newest input
        // meets the kernel's last tap.
        std::fill(d->taps.begin(), d->taps.end(), 0.0f);
        for (size_t n = 0; n < taps; ++n)
            d->taps[d->length - taps + n] = static_cast<float>(kernel(n) / sum);
    }
    return d->rate / static_cast<double>(d->factor);
}

size_t cw_decimator_factor(const CW_DECIMATOR* d)
{
    return d != nullptr ? d->factor : 1;
}

size_t cw_decimator_span(const CW_DECIMATOR* d, size_t outputs)
{
    if (d == nullptr || outputs == 0)
        return 0;
    return (outputs - 1) * d->factor + d->length;
}

void cw_decimator_run(const CW_DECIMATOR* d, const float* input, size_t outputs, float* out)
{
    if (d == nullptr || input == nullptr || out == nullptr)
        return;
    const float* taps = d->taps.data();
    for (size_t j = 0; j < outputs; ++j) {
        const float* h = input + j * d->factor;
        float sums[kLanes] = {};
        for (size_t n = 0; n < d->length; n += kLanes)
            for (size_t l = 0; l < kLanes; ++l)
                sums[l] += taps[n + l] * h[n + l];
        float acc = 0.0f;
        for (float s : sums)
            acc += s;
        out[j] = acc;
    }
}

void cw_decimator_destroy(CW_DECIMATOR* d)
{
    delete d;
}
