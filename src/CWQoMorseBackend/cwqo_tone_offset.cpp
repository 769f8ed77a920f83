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
    for (size_t i = 0; i < count; ++i) {
        const float sample = samples[i];
        if (!std::isfinite(sample))
            continue;
        const double mixed[2] = {sample * oscCos, -sample * oscSin};
        const double turned = oscCos * turnCos - oscSin * turnSin;
        oscSin = oscSin * turnCos + oscCos * turnSin;
        oscCos = turned;
        const double phase = o->phase + step;
        o->phase = phase < kTwoPi ? phase : phase < 2.0 * kTwoPi ? phase - kTwoPi : std::fmod(phase, kTwoPi);
        double z[2];
        for (int k = 0; k < 2; ++k) {
            o->lowpass[k][0] += kLowpass * (mixed[k] - o->lowpass[k][0]);
            o->lowpass[k][1] += kLowpass * (o->lowpass[k][0] - o->lowpass[k][1]);
            z[k] = o->lowpass[k][1];
        }
        // z times the conjugate of the previous sample: its angle is the
        // phase advance, its size the power.
        const double re = z[0] * o->previous[0] + z[1] * o->previous[1];
        const double im = z[1] * o->previous[0] - z[0] * o->previous[1];
        o->lag1[0] = kKeep * o->lag1[0] + (1.0 - kKeep) * re;
        o->lag1[1] = kKeep * o->lag1[1] + (1.0 - kKeep) * im;
        o->power = kKeep * o->power + (1.0 - kKeep) * (z[0] * z[0] + z[1] * z[1]);
        o->previous[0] = z[0];
        o->previous[1] = z[1];
    }
}

float cwqo_tone_offset_hz(const CWQO_TONE_OFFSET& o)
{
    if (!(o.power > 0.0))
        return 0.0f;
    return static_cast<float>(std::atan2(o.lag1[1], o.lag1[0]) * kRateHz / kTwoPi);
}
