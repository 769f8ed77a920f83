#include "cwqo_presence.h"

#include <algorithm>
#include <cmath>

namespace {

// Below this the input is silence (about -100 dBFS), whatever its spread.
constexpr float kSilence = 1e-5f;

void push_bin(CWQO_PRESENCE* p, float mean)
{
    if (p->count == kCwqoPresenceBins) {
        p->head = (p->head + 1) % kCwqoPresenceBins;
        --p->count;
    }
    p->bins[(p->head + p->count) % kCwqoPresenceBins] = mean;
    ++p->count;
}

float quantile(float* values, size_t n, double q)
{
    const auto k = static_cast<size_t>(q * static_cast<double>(n - 1) + 0.5);
    std::nth_element(values, values + k, values + n);
    return values[k];
}

}  // namespace

void cwqo_presence_reset(CWQO_PRESENCE* p)
{
    if (p == nullptr)
        return;
    p->head = 0;
    p->count = 0;
    p->fillSum = 0.0;
    p->fillMs = 0.0;
    p->spreadDb = 0.0f;
    p->present = 0;
}

void cwqo_presence_add(CWQO_PRESENCE* p, float value, double ms)
{
    if (p == nullptr || !std::isfinite(value) || !(ms > 0.0))
        return;
    const double v = std::max(0.0f, value);
    while (ms > 0.0) {
        const double take = std::min(ms, kCwqoPresenceBinMs - p->fillMs);
        p->fillSum += v * take;
        p->fillMs += take;
        ms -= take;
        if (p->fillMs >= kCwqoPresenceBinMs - 1e-9) {
            push_bin(p, static_cast<float>(p->fillSum / p->fillMs));
            p->fillSum = 0.0;
            p->fillMs = 0.0;
        }
    }
}

int32_t cwqo_presence_update(CWQO_PRESENCE* p, float onDb, float offDb)
{
    if (p == nullptr)
        return 0;
    if (p->count < kCwqoPresenceMinimumBins) {
        p->spreadDb = 0.0f;
        p->present = 0;
        return 0;
    }
    for (size_t i = 0; i < p->count; ++i)
        p->scratch[i] = p->bins[(p->head + i) % kCwqoPresenceBins];
    const float floor = std::max(quantile(p->scratch, p->count, 0.2), kSilence * 0.01f);
    const size_t recent = std::min(p->count, kCwqoPresencePeakBins);
    for (size_t i = 0; i < recent; ++i)
        p->scratch[i] = p->bins[(p->head + p->count - recent + i) % kCwqoPresenceBins];
    const float peak = quantile(p->scratch, recent, 0.95);
    p->spreadDb = peak > kSilence ? 20.0f * std::log10(peak / floor) : 0.0f;
    p->present = p->spreadDb >= (p->present ? offDb : onDb) ? 1 : 0;
    return p->present;
}
