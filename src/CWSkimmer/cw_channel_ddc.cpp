#include "cw_channel_ddc.h"

#include "cw_decimator.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <iterator>
#include <new>
#include <numbers>

namespace {

constexpr double kKaiserBeta = 6.0;  // about 63 dB down in the stop band
constexpr size_t kMaxTaps = 255;

}  // namespace

struct CW_CHANNEL_DDC {
    double rate;
    double signalHz;
    double pitchHz;
    size_t taps;
    float kernel[kMaxTaps];
    // Doubled history of the mixed-down signal so the newest `taps` are one stretch.
    float histRe[2 * kMaxTaps];
    float histIm[2 * kMaxTaps];
    size_t head;
    // Oscillators as rotating phasors, renormalised now and then.
    std::complex<double> down;
    std::complex<double> downStep;
    std::complex<double> up;
    std::complex<double> upStep;
};

namespace {

void design(CW_CHANNEL_DDC* d)
{
    const double transition = (kCWChannelStopHz - kCWChannelPassHz) / d->rate;
    size_t taps = static_cast<size_t>(std::ceil(3.8 / transition)) | 1;
    taps = std::min(taps, kMaxTaps);
    d->taps = taps;
    const double cutoff = 0.5 * (kCWChannelStopHz + kCWChannelPassHz) / d->rate;
    const double centre = 0.5 * static_cast<double>(taps - 1);
    const double norm = cw_bessel_i0(kKaiserBeta);
    double sum = 0.0;
    double raw[kMaxTaps];
    for (size_t i = 0; i < taps; ++i) {
        const double x = static_cast<double>(i) - centre;
        const double sinc =
            x == 0.0 ? 2.0 * cutoff : std::sin(2.0 * std::numbers::pi * cutoff * x) / (std::numbers::pi * x);
        const double r = x / (centre + 1.0);
        raw[i] = sinc * cw_bessel_i0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / norm;
        sum += raw[i];
    }
    for (size_t i = 0; i < taps; ++i)
        d->kernel[i] = static_cast<float>(raw[i] / sum);
}

std::complex<double> step_of(double hz, double rate)
{
    const double w = 2.0 * std::numbers::pi * hz / rate;
    return {std::cos(w), std::sin(w)};
}

}  // namespace

CW_CHANNEL_DDC* cw_channel_ddc_create(void)
{
    CW_CHANNEL_DDC* d = new (std::nothrow) CW_CHANNEL_DDC{};
    if (d == nullptr)
        return nullptr;
    d->down = d->up = 1.0;
    cw_channel_ddc_configure(d, 8000.0, 600.0, 600.0);
    return d;
}

void cw_channel_ddc_configure(CW_CHANNEL_DDC* d, double rate, double signalHz, double pitchHz)
{
    if (d == nullptr || !std::isfinite(rate) || rate < 4000.0 || rate > 48000.0 || !std::isfinite(signalHz) ||
        !std::isfinite(pitchHz))
        return;
    if (rate != d->rate) {
        d->rate = rate;
        design(d);
        cw_channel_ddc_reset(d);
    }
    d->signalHz = signalHz;
    d->pitchHz = pitchHz;
    d->downStep = step_of(-signalHz, rate);
    d->upStep = step_of(pitchHz, rate);
}

void cw_channel_ddc_reset(CW_CHANNEL_DDC* d)
{
    if (d == nullptr)
        return;
    std::fill(std::begin(d->histRe), std::end(d->histRe), 0.0f);
    std::fill(std::begin(d->histIm), std::end(d->histIm), 0.0f);
    d->head = 0;
}

void cw_channel_ddc_process(CW_CHANNEL_DDC* d, const float* re, const float* im, size_t count, float* out)
{
    if (d == nullptr || re == nullptr || out == nullptr)
        return;
    const size_t taps = d->taps;
    double downRe = d->down.real();
    double downIm = d->down.imag();
    double upRe = d->up.real();
    double upIm = d->up.imag();
    const double downStepRe = d->downStep.real();
    const double downStepIm = d->downStep.imag();
    const double upStepRe = d->upStep.real();
    const double upStepIm = d->upStep.imag();
    for (size_t i = 0; i < count; ++i) {
        const double x = re[i];
        const double y = im ? im[i] : 0.0;
        const float mr = static_cast<float>(x * downRe - y * downIm);
        const float mi = static_cast<float>(x * downIm + y * downRe);
        const double nextRe = downRe * downStepRe - downIm * downStepIm;
        downIm = downRe * downStepIm + downIm * downStepRe;
        downRe = nextRe;
        d->histRe[d->head] = d->histRe[d->head + taps] = mr;
        d->histIm[d->head] = d->histIm[d->head + taps] = mi;
        d->head = d->head + 1 == taps ? 0 : d->head + 1;
        // Eight partial sums, so the loop runs as vectors.
        const float* hr = d->histRe + d->head;
        const float* hi = d->histIm + d->head;
        float accRe[8] = {};
        float accIm[8] = {};
        size_t k = 0;
        for (; k + 8 <= taps; k += 8) {
            for (size_t l = 0; l < 8; ++l) {
                accRe[l] += d->kernel[k + l] * hr[k + l];
                accIm[l] += d->kernel[k + l] * hi[k + l];
            }
        }
        for (; k < taps; ++k) {
            accRe[0] += d->kernel[k] * hr[k];
            accIm[0] += d->kernel[k] * hi[k];
        }
        float sumRe = 0.0f;
        float sumIm = 0.0f;
        for (size_t l = 0; l < 8; ++l) {
            sumRe += accRe[l];
            sumIm += accIm[l];
        }
        // The real part of the filtered signal raised to the pitch: its
        // image lies at minus the pitch, outside what the filter kept.
        out[i] = static_cast<float>(sumRe * upRe - sumIm * upIm);
        const double nextUpRe = upRe * upStepRe - upIm * upStepIm;
        upIm = upRe * upStepIm + upIm * upStepRe;
        upRe = nextUpRe;
    }
    // Rounding shrinks or grows the phasors slowly; once a block is plenty.
    const double downNorm = std::hypot(downRe, downIm);
    const double upNorm = std::hypot(upRe, upIm);
    d->down = {downRe / downNorm, downIm / downNorm};
    d->up = {upRe / upNorm, upIm / upNorm};
}

void cw_channel_ddc_destroy(CW_CHANNEL_DDC* d)
{
    delete d;
}
