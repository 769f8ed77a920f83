#include "cw_skim_input.h"

#include "cw_decimator.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

namespace {

constexpr double kLowestRate = 8000.0;
constexpr double kHighestRate = 384000.0;
// Kept up to 0.4 of the working rate; stop band from where the rest would
// fold onto it (0.6 of the working rate), about 70 dB down.
constexpr double kPassFraction = 0.4;
constexpr double kKaiserBeta = 7.0;
constexpr size_t kMaxTaps = 1024;

}  // namespace

struct CW_SKIM_INPUT {
    double rate;
    size_t factor;
    size_t taps;
    size_t phase;  // input samples since the last kept one
    size_t fill;   // valid history
    float kernel[kMaxTaps];
    float history[2 * kMaxTaps];  // doubled so the newest `taps` are one stretch
    size_t head;
};

namespace {

void design(CW_SKIM_INPUT* in)
{
    in->factor = std::max<size_t>(1, static_cast<size_t>(std::floor(in->rate / kLowestRate)));
    in->phase = 0;
    in->fill = 0;
    in->head = 0;
    if (in->factor == 1) {
        in->taps = 1;
        in->kernel[0] = 1.0f;
        return;
    }
    const double work = in->rate / in->factor;
    const double transition = (1.0 - 2.0 * kPassFraction) * work / in->rate;  // cycles per sample
    size_t taps = static_cast<size_t>(std::ceil(4.6 / transition)) | 1;
    taps = std::min(taps, kMaxTaps - 1);
    in->taps = taps;
    const double cutoff = 0.5 * work / in->rate;  // middle of the transition
    const double centre = 0.5 * static_cast<double>(taps - 1);
    const double norm = cw_bessel_i0(kKaiserBeta);
    double sum = 0.0;
    for (size_t i = 0; i < taps; ++i) {
        const double x = static_cast<double>(i) - centre;
        const double sinc =
            x == 0.0 ? 2.0 * cutoff : std::sin(2.0 * std::numbers::pi * cutoff * x) / (std::numbers::pi * x);
        const double r = x / (centre + 1.0);
        const double w = cw_bessel_i0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / norm;
        in->kernel[i] = static_cast<float>(sinc * w);
        sum += sinc * w;
    }
    for (size_t i = 0; i < taps; ++i)
        in->kernel[i] = static_cast<float>(in->kernel[i] / sum);
}

}  // namespace

CW_SKIM_INPUT* cw_skim_input_create(void)
{
    CW_SKIM_INPUT* in = new (std::nothrow) CW_SKIM_INPUT{};
    if (in == nullptr)
        return nullptr;
    in->rate = kLowestRate;
    design(in);
    return in;
}

double cw_skim_input_configure(CW_SKIM_INPUT* in, double sampleRate)
{
    if (in == nullptr)
        return kLowestRate;
    if (std::isfinite(sampleRate) && sampleRate >= kLowestRate && sampleRate <= kHighestRate &&
        sampleRate != in->rate) {
        in->rate = sampleRate;
        design(in);
    }
    return in->rate / static_cast<double>(in->factor);
}

double cw_skim_input_passband_hz(const CW_SKIM_INPUT* in)
{
    const double work = in ? in->rate / static_cast<double>(in->factor) : kLowestRate;
    return kPassFraction * work;
}

size_t cw_skim_input_process(CW_SKIM_INPUT* in, const float* samples, size_t count, float* out)
{
    if (in == nullptr || samples == nullptr || out == nullptr)
        return 0;
    if (in->factor == 1) {
        std::copy(samples, samples + count, out);
        return count;
    }
    size_t written = 0;
    const size_t taps = in->taps;
    for (size_t i = 0; i < count; ++i) {
        in->history[in->head] = samples[i];
        in->history[in->head + taps] = samples[i];
        in->head = in->head + 1 == taps ? 0 : in->head + 1;
        if (in->fill < taps)
            ++in->fill;
        if (++in->phase < in->factor)
            continue;
        in->phase = 0;
        // history[head .. head + taps) is oldest to newest.
        const float* h = in->history + in->head;
        float acc = 0.0f;
        for (size_t k = 0; k < taps; ++k)
            acc += in->kernel[k] * h[k];
        out[written++] = acc;
    }
    return written;
}

void cw_skim_input_destroy(CW_SKIM_INPUT* in)
{
    delete in;
}
