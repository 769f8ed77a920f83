#include "cwqo_tone_offset.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kRateHz = 4000.0;  // the engine rate, all the backend feeds
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// The mixer's image, twice the pitch away, is cut by two poles at 250 Hz
// while a neighbour 200 Hz off still counts; the average forgets within
// about a second.
const double kLowpass = 1.0 - std::exp(-kTwoPi * 250.0 / kRateHz);
const double kKeep = std::exp(-1.0 / kRateHz);

}  // namespace

void cwqo_tone_offset_reset(CWQO_TONE_OFFSET* o, double pitchHz)
{
    *o = CWQO_TONE_OFFSET{};
    o->pitchHz = pitchHz;
}

void cwqo_tone_offset_tune(CWQO_TONE_OFFSET* o, double pitchHz)
{
    if (pitchHz == o->pitchHz)
        return;
    const double turn = -kTwoPi * (pitchHz - o->pitchHz) / kRateHz;
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    const double re = o->lag1[0] * c - o->lag1[1] * s;
    o->lag1[1] = o->lag1[0] * s + o->lag1[1] * c;
    o->lag1[0] = re;
    o->pitchHz = pitchHz;
}

void cwqo_tone_offset_add(CWQO_TONE_OFFSET* o, const float* samples, size_t count)
{
    // The mixing oscillator turns by a fixed step: a rotation per sample
    // instead of a sine and cosine, started from the phase itself at every
    // block so that its rounding cannot build up.
    const double step = kTwoPi * o->pitchHz / kRateHz;
    const double turnCos = std::cos(step);
    const double turnSin = std::sin(step);
    double oscCos = std::cos(o->phase);
    double oscSin = std::sin(o->phase);
    // Every recursion in plain locals: kept in the record (even in a copy
    // of it), each would wait on its own last store, twice as slow.
    const double lowpass = kLowpass;
    const double keep = kKeep;
    double phase = o->phase;
    double lowI1 = o->lowpass[0][0], lowI2 = o->lowpass[0][1];
    double lowQ1 = o->lowpass[1][0], lowQ2 = o->lowpass[1][1];
    double lastI = o->previous[0], lastQ = o->previous[1];
    double lagRe = o->lag1[0], lagIm = o->lag1[1];
    double power = o->power;
    for (size_t n = 0; n < count; ++n) {
        const float sample = samples[n];
        if (!std::isfinite(sample))
            continue;
        const double mixedI = sample * oscCos;
        const double mixedQ = -sample * oscSin;
        const double turned = oscCos * turnCos - oscSin * turnSin;
        oscSin = oscSin * turnCos + oscCos * turnSin;
        oscCos = turned;
        const double next = phase + step;
        phase = next < kTwoPi ? next : next < 2.0 * kTwoPi ? next - kTwoPi : std::fmod(next, kTwoPi);
        lowI1 += lowpass * (mixedI - lowI1);
        lowI2 += lowpass * (lowI1 - lowI2);
        lowQ1 += lowpass * (mixedQ - lowQ1);
        lowQ2 += lowpass * (lowQ1 - lowQ2);
        // The sample times the conjugate of the previous one: its angle is
        // the phase advance, its size the power.
        const double re = lowI2 * lastI + lowQ2 * lastQ;
        const double im = lowQ2 * lastI - lowI2 * lastQ;
        lagRe = keep * lagRe + (1.0 - keep) * re;
        lagIm = keep * lagIm + (1.0 - keep) * im;
        power = keep * power + (1.0 - keep) * (lowI2 * lowI2 + lowQ2 * lowQ2);
        lastI = lowI2;
        lastQ = lowQ2;
    }
    o->phase = phase;
    o->lowpass[0][0] = lowI1;
    o->lowpass[0][1] = lowI2;
    o->lowpass[1][0] = lowQ1;
    o->lowpass[1][1] = lowQ2;
    o->previous[0] = lastI;
    o->previous[1] = lastQ;
    o->lag1[0] = lagRe;
    o->lag1[1] = lagIm;
    o->power = power;
}

float cwqo_tone_offset_hz(const CWQO_TONE_OFFSET& o)
{
    if (!(o.power > 0.0))
        return 0.0f;
    return static_cast<float>(std::atan2(o.lag1[1], o.lag1[0]) * kRateHz / kTwoPi);
}
