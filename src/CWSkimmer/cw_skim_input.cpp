#include "cw_skim_input.h"

#include "cw_skim_filter.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <new>

namespace {

constexpr double kLowestRate = 8000.0;
constexpr double kHighestRate = 384000.0;
// Kept up to 0.4 of the working rate; stop band from where the rest would
// fold onto it (0.6 of the working rate), about 70 dB down.
constexpr double kPassFraction = 0.4;
constexpr double kKaiserBeta = 7.0;
constexpr double kTapsPerTransition = 4.6;
constexpr size_t kMaxTaps = 1024;

}  // namespace

struct CW_SKIM_INPUT {
    double rate;
    int32_t complex;
    size_t factor;
    size_t taps;
    size_t phase;  // input samples since the last kept one
    float kernel[kMaxTaps];
    // Doubled histories so the newest `taps` values are one stretch.
    float historyRe[2 * kMaxTaps];
    float historyIm[2 * kMaxTaps];
    size_t head;
    double mixRe, mixIm, stepRe, stepIm;  // the tile's centre to zero
};

namespace {

void design(CW_SKIM_INPUT* in)
{
    in->factor = std::max<size_t>(1, static_cast<size_t>(std::floor(in->rate / kLowestRate)));
    in->phase = 0;
    in->head = 0;
    std::fill(std::begin(in->historyRe), std::end(in->historyRe), 0.0f);
    std::fill(std::begin(in->historyIm), std::end(in->historyIm), 0.0f);
    if (in->factor == 1) {
        in->taps = 1;
        in->kernel[0] = 1.0f;
        return;
    }
    const double work = in->rate / static_cast<double>(in->factor);
    in->taps = cw_skim_taps((1.0 - 2.0 * kPassFraction) * work, in->rate, kTapsPerTransition, kMaxTaps);
    cw_skim_lowpass(in->kernel, in->taps, 0.5 * work / in->rate, kKaiserBeta);
}

}  // namespace

CW_SKIM_INPUT* cw_skim_input_create(void)
{
    CW_SKIM_INPUT* in = new (std::nothrow) CW_SKIM_INPUT{};
    if (in == nullptr)
        return nullptr;
    in->rate = kLowestRate;
    in->mixRe = in->stepRe = 1.0;
    design(in);
    return in;
}

double cw_skim_input_configure(CW_SKIM_INPUT* in, double sampleRate, int32_t complex, double centreHz)
{
    if (in == nullptr)
        return kLowestRate;
    const int32_t isComplex = complex ? 1 : 0;
    if (std::isfinite(sampleRate) && sampleRate >= kLowestRate && sampleRate <= kHighestRate &&
        (sampleRate != in->rate || isComplex != in->complex)) {
        in->rate = sampleRate;
        in->complex = isComplex;
        design(in);
    }
    const double centre = isComplex && std::isfinite(centreHz) ? centreHz : 0.0;
    const double w = -2.0 * std::numbers::pi * centre / in->rate;
    in->stepRe = std::cos(w);
    in->stepIm = std::sin(w);
    return in->rate / static_cast<double>(in->factor);
}

double cw_skim_input_passband_hz(const CW_SKIM_INPUT* in)
{
    const double work = in ? in->rate / static_cast<double>(in->factor) : kLowestRate;
    return kPassFraction * work;
}

size_t cw_skim_input_process(CW_SKIM_INPUT* in, const float* samples, size_t frames, float* re, float* im)
{
    if (in == nullptr || samples == nullptr || re == nullptr || (in->complex && im == nullptr))
        return 0;
    const size_t taps = in->taps;
    size_t written = 0;
    for (size_t i = 0; i < frames; ++i) {
        float xr, xi = 0.0f;
        if (in->complex) {
            const double x = samples[2 * i];
            const double y = samples[2 * i + 1];
            xr = static_cast<float>(x * in->mixRe - y * in->mixIm);
            xi = static_cast<float>(x * in->mixIm + y * in->mixRe);
            const double next = in->mixRe * in->stepRe - in->mixIm * in->stepIm;
            in->mixIm = in->mixRe * in->stepIm + in->mixIm * in->stepRe;
            in->mixRe = next;
        } else {
            xr = samples[i];
        }
        in->historyRe[in->head] = in->historyRe[in->head + taps] = xr;
        in->historyIm[in->head] = in->historyIm[in->head + taps] = xi;
        in->head = in->head + 1 == taps ? 0 : in->head + 1;
        if (++in->phase < in->factor)
            continue;
        in->phase = 0;
        re[written] = cw_skim_dot(in->kernel, in->historyRe + in->head, taps);
        if (in->complex)
            im[written] = cw_skim_dot(in->kernel, in->historyIm + in->head, taps);
        ++written;
    }
    if (in->complex) {
        // Rounding shrinks or grows the mixer slowly; once a block is plenty.
        const double norm = std::hypot(in->mixRe, in->mixIm);
        in->mixRe /= norm;
        in->mixIm /= norm;
    }
    return written;
}

void cw_skim_input_destroy(CW_SKIM_INPUT* in)
{
    delete in;
}
