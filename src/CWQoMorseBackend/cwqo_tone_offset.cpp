#include "cwqo_tone_offset.h"

#include <cmath>

namespace {

constexpr double kRateHz = 4000.0;  // the engine rate, all the backend feeds
// The mixer's image, twice the pitch away, is cut by two poles at 250 Hz
// while a neighbour 200 Hz off still counts; the average forgets within
// about a second.
const double kLowpass = 1.0 - std::exp(-kCwqoTwoPi * 250.0 / kRateHz);
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
    const double turn = -kCwqoTwoPi * (pitchHz - o->pitchHz) / kRateHz;
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    const double re = o->lag1[0] * c - o->lag1[1] * s;
    o->lag1[1] = o->lag1[0] * s + o->lag1[1] * c;
    o->lag1[0] = re;
    o->pitchHz = pitchHz;
}

CWQO_TONE_OFFSET_PASS cwqo_tone_offset_begin(const CWQO_TONE_OFFSET& o)
{
    const double step = kCwqoTwoPi * o.pitchHz / kRateHz;
    return CWQO_TONE_OFFSET_PASS{.step = step,
                                 .turnCos = std::cos(step),
                                 .turnSin = std::sin(step),
                                 .lowpass = kLowpass,
                                 .keep = kKeep,
                                 .oscCos = std::cos(o.phase),
                                 .oscSin = std::sin(o.phase),
                                 .phase = o.phase,
                                 .lowI1 = o.lowpass[0][0],
                                 .lowI2 = o.lowpass[0][1],
                                 .lowQ1 = o.lowpass[1][0],
                                 .lowQ2 = o.lowpass[1][1],
                                 .lastI = o.previous[0],
                                 .lastQ = o.previous[1],
                                 .lagRe = o.lag1[0],
                                 .lagIm = o.lag1[1],
                                 .power = o.power};
}

void cwqo_tone_offset_end(CWQO_TONE_OFFSET* o, const CWQO_TONE_OFFSET_PASS& p)
{
    o->phase = p.phase;
    o->lowpass[0][0] = p.lowI1;
    o->lowpass[0][1] = p.lowI2;
    o->lowpass[1][0] = p.lowQ1;
    o->lowpass[1][1] = p.lowQ2;
    o->previous[0] = p.lastI;
    o->previous[1] = p.lastQ;
    o->lag1[0] = p.lagRe;
    o->lag1[1] = p.lagIm;
    o->power = p.power;
}

float cwqo_tone_offset_hz(const CWQO_TONE_OFFSET& o)
{
    if (!(o.power > 0.0))
        return 0.0f;
    return static_cast<float>(std::atan2(o.lag1[1], o.lag1[0]) * kRateHz / kCwqoTwoPi);
}
