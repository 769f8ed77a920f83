#include "cw_rx_squelch.h"

#include "cw_limits.h"

#include <cmath>

namespace {

void hold(CW_RX_SQUELCH* s, const char* text, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (s->heldCount == kCwRxSquelchHeldBytes) {
            s->heldHead = (s->heldHead + 1) % kCwRxSquelchHeldBytes;
            --s->heldCount;
        }
        const size_t at = (s->heldHead + s->heldCount) % kCwRxSquelchHeldBytes;
        s->held[at] = text[i];
        s->heldAtMs[at] = s->clockMs;
        ++s->heldCount;
    }
}

void release_held(CW_RX_SQUELCH* s, CW_TEXT_QUEUE* out)
{
    while (s->heldCount > 0) {
        cw_text_queue_push(out, &s->held[s->heldHead], 1);
        s->heldHead = (s->heldHead + 1) % kCwRxSquelchHeldBytes;
        --s->heldCount;
    }
}

void expire_held(CW_RX_SQUELCH* s)
{
    while (s->heldCount > 0 && s->clockMs - s->heldAtMs[s->heldHead] > kCwRxSquelchHoldMs) {
        s->heldHead = (s->heldHead + 1) % kCwRxSquelchHeldBytes;
        --s->heldCount;
    }
}

}  // namespace

double cw_rx_squelch_snr_min_db(double level)
{
    return 4.5 + 4.0 * cw_limit(level, 0.0, 1.0);
}

float cw_rx_squelch_cost_max(double level)
{
    return static_cast<float>(1.0 - 0.8 * cw_limit(level, 0.0, 1.0));
}

// Within the engine's reach of the pitch a tuned station drifts or was
// tuned a little off; 40 Hz away is another station.
float cw_rx_squelch_offset_max_hz(double level)
{
    return static_cast<float>(45.0 - 30.0 * cw_limit(level, 0.0, 1.0));
}

void cw_rx_squelch_set_level(CW_RX_SQUELCH* s, double level)
{
    if (s == nullptr)
        return;
    s->level = cw_limit(level, 0.0, 1.0);
    s->snrMinDb = cw_rx_squelch_snr_min_db(s->level);
    s->costMax = cw_rx_squelch_cost_max(s->level);
    s->offsetMaxHz = cw_rx_squelch_offset_max_hz(s->level);
}

void cw_rx_squelch_reset(CW_RX_SQUELCH* s)
{
    if (s == nullptr)
        return;
    s->clockMs = 0.0;
    s->open = 0;
    s->heldHead = 0;
    s->heldCount = 0;
}

void cw_rx_squelch_retune(CW_RX_SQUELCH* s)
{
    if (s == nullptr)
        return;
    s->heldHead = 0;
    s->heldCount = 0;
}

void cw_rx_squelch_step(CW_RX_SQUELCH* s, const CW_RX_STATUS& status, double blockMs, const char* text, size_t count,
                        CW_TEXT_QUEUE* out)
{
    if (s == nullptr || out == nullptr)
        return;
    if (text == nullptr)
        count = 0;
    s->clockMs += blockMs > 0.0 ? blockMs : 0.0;
    const bool energy = status.statSnrDb >= s->snrMinDb && std::fabs(status.toneOffsetHz) <= s->offsetMaxHz;
    const bool fits = status.decoderCost < s->costMax;
    s->open = s->level <= 0.0 || (energy && fits) ? 1 : 0;
    if (s->open) {
        release_held(s, out);
        cw_text_queue_push(out, text, count);
    } else if (energy) {
        hold(s, text, count);
    }
    expire_held(s);
}
