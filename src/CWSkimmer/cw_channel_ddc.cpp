#include "cw_channel_ddc.h"

#include "cw_skim_filter.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>
#include <numbers>

namespace {

constexpr double kKaiserBeta = 6.0;  // about 63 dB down in the stop band
constexpr double kTapsPerTransition = 3.8;
constexpr double kNarrowRate = 1000.0;
// Down to the narrow rate and back up: everything within this of the
// station passes, and what would fold onto it is held down.
constexpr double kWidePassHz = 100.0;
constexpr size_t kMaxFactor = 48;
constexpr size_t kMaxWideTaps = 2048;
constexpr size_t kMaxNarrowTaps = 256;

// A complex FIR history, doubled so the newest `taps` values are one stretch.
struct History {
    float re[2 * kMaxWideTaps];
    float im[2 * kMaxWideTaps];
    size_t head;
};

void push(History& h, size_t taps, float re, float im)
{
    h.re[h.head] = h.re[h.head + taps] = re;
    h.im[h.head] = h.im[h.head + taps] = im;
    h.head = h.head + 1 == taps ? 0 : h.head + 1;
}

// The filter over the history, oldest value first.
void filter(const History& h, const float* kernel, size_t taps, float* re, float* im)
{
    *re = cw_skim_dot(kernel, h.re + h.head, taps);
    *im = cw_skim_dot(kernel, h.im + h.head, taps);
}

}  // namespace

struct CW_CHANNEL_DDC {
    double rate;
    size_t factor;  // working samples per narrow sample
    size_t phase;   // working samples since the last narrow one
    size_t wideTaps;
    size_t narrowTaps;
    float wideKernel[kMaxWideTaps];  // down and, times the factor, up
    float narrowKernel[kMaxNarrowTaps];
    History down;    // mixed to zero at the working rate
    History narrow;  // at the narrow rate
    History up;      // narrow samples with factor - 1 zeros between them, as the up filter sees them
    double downRe, downIm, downStepRe, downStepIm;
    double upRe, upIm, upStepRe, upStepIm;
};

namespace {

void design(CW_CHANNEL_DDC* d)
{
    d->factor = std::clamp<size_t>(static_cast<size_t>(std::floor(d->rate / kNarrowRate)), 1, kMaxFactor);
    const double narrowRate = d->rate / static_cast<double>(d->factor);
    // Down and up share one filter: pass kWidePassHz, stop where the narrow
    // rate's images begin to reach the station.
    const double stop = narrowRate - kWidePassHz;
    d->wideTaps = cw_skim_taps(stop - kWidePassHz, d->rate, kTapsPerTransition, kMaxWideTaps);
    cw_skim_lowpass(d->wideKernel, d->wideTaps, 0.5 * (stop + kWidePassHz) / d->rate, kKaiserBeta);
    d->narrowTaps = cw_skim_taps(kCWChannelStopHz - kCWChannelPassHz, narrowRate, kTapsPerTransition, kMaxNarrowTaps);
    cw_skim_lowpass(d->narrowKernel, d->narrowTaps, 0.5 * (kCWChannelStopHz + kCWChannelPassHz) / narrowRate,
                    kKaiserBeta);
}

void step_of(double hz, double rate, double* re, double* im)
{
    const double w = 2.0 * std::numbers::pi * hz / rate;
    *re = std::cos(w);
    *im = std::sin(w);
}

}  // namespace

CW_CHANNEL_DDC* cw_channel_ddc_create(void)
{
    CW_CHANNEL_DDC* d = new (std::nothrow) CW_CHANNEL_DDC{};
    if (d == nullptr)
        return nullptr;
    d->downRe = d->upRe = 1.0;
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
    step_of(-signalHz, rate, &d->downStepRe, &d->downStepIm);
    step_of(pitchHz, rate, &d->upStepRe, &d->upStepIm);
}

void cw_channel_ddc_reset(CW_CHANNEL_DDC* d)
{
    if (d == nullptr)
        return;
    d->down = History{};
    d->narrow = History{};
    d->up = History{};
    d->phase = 0;
}

void cw_channel_ddc_process(CW_CHANNEL_DDC* d, const float* re, const float* im, size_t count, float* out)
{
    if (d == nullptr || re == nullptr || out == nullptr)
        return;
    const size_t factor = d->factor;
    const float upGain = static_cast<float>(factor);  // the zeros between narrow samples carry no power
    for (size_t i = 0; i < count; ++i) {
        const double x = re[i];
        const double y = im ? im[i] : 0.0;
        push(d->down, d->wideTaps, static_cast<float>(x * d->downRe - y * d->downIm),
             static_cast<float>(x * d->downIm + y * d->downRe));
        const double nextRe = d->downRe * d->downStepRe - d->downIm * d->downStepIm;
        d->downIm = d->downRe * d->downStepIm + d->downIm * d->downStepRe;
        d->downRe = nextRe;

        // Every factor-th sample: one narrow sample, filtered sharply.
        float ur = 0.0f;
        float ui = 0.0f;
        if (++d->phase == factor) {
            d->phase = 0;
            float nr, ni;
            filter(d->down, d->wideKernel, d->wideTaps, &nr, &ni);
            push(d->narrow, d->narrowTaps, nr, ni);
            filter(d->narrow, d->narrowKernel, d->narrowTaps, &ur, &ui);
        }
        push(d->up, d->wideTaps, ur * upGain, ui * upGain);
        float br, bi;
        filter(d->up, d->wideKernel, d->wideTaps, &br, &bi);
        // The real part raised to the pitch: the image lies at minus the
        // pitch, outside what the filters kept.
        out[i] = static_cast<float>(br * d->upRe - bi * d->upIm);
        const double nextUpRe = d->upRe * d->upStepRe - d->upIm * d->upStepIm;
        d->upIm = d->upRe * d->upStepIm + d->upIm * d->upStepRe;
        d->upRe = nextUpRe;
    }
    // Rounding shrinks or grows the phasors slowly; once a block is plenty.
    const double downNorm = std::hypot(d->downRe, d->downIm);
    const double upNorm = std::hypot(d->upRe, d->upIm);
    d->downRe /= downNorm;
    d->downIm /= downNorm;
    d->upRe /= upNorm;
    d->upIm /= upNorm;
}

void cw_channel_ddc_destroy(CW_CHANNEL_DDC* d)
{
    delete d;
}
