#include "cwqo_presence.h"

#include <algorithm>
#include <cmath>

namespace {

// Below this the input is silence (about -100 dBFS), whatever its spread.
constexpr float kSilence = 1e-5f;

// The first of n ascending entries that is not below `value` (orEqual
// false) or above it (true): std::lower_bound and std::upper_bound, with
// the halving done by a select rather than a jump, since on noise which
// way each step goes cannot be predicted.
float* sorted_bound(float* values, size_t n, float value, bool orEqual)
{
    float* first = values;
    size_t length = n;
    while (length > 1) {
        const size_t half = length / 2;
        const float probe = first[half - 1];
        first = (orEqual ? probe <= value : probe < value) ? first + half : first;
        length -= half;
    }
    if (length == 1 && (orEqual ? *first <= value : *first < value))
        ++first;
    return first;
}

// Ascending `values` of n entries gains `value` after its equals.
void sorted_insert(float* values, size_t n, float value)
{
    float* at = sorted_bound(values, n, value, true);
    std::copy_backward(at, values + n, values + n + 1);
    *at = value;
}

// Ascending `values` of n entries: one entry equal to `old` (held) gives
// way to `value`, as if erased and then inserted after its equals: only
// the entries between the two places move, not the list's tail twice.
void sorted_replace(float* values, size_t n, float old, float value)
{
    float* from = sorted_bound(values, n, old, false);
    float* to = sorted_bound(values, n, value, true);
    if (to > from) {
        std::copy(from + 1, to, from);
        *(to - 1) = value;
    } else {
        std::copy_backward(to, from, from + 1);
        *to = value;
    }
}

void push_bin(CWQO_PRESENCE* p, float mean)
{
    const size_t recent = std::min(p->count, kCwqoPresencePeakBins);
    if (recent == kCwqoPresencePeakBins)
        sorted_replace(p->sortedRecent, recent, p->bins[(p->head + p->count - recent) % kCwqoPresenceBins], mean);
    else
        sorted_insert(p->sortedRecent, recent, mean);
    if (p->count == kCwqoPresenceBins) {
        sorted_replace(p->sortedAll, p->count, p->bins[p->head], mean);
        p->bins[p->head] = mean;
        p->head = (p->head + 1) % kCwqoPresenceBins;
        return;
    }
    sorted_insert(p->sortedAll, p->count, mean);
    p->bins[(p->head + p->count) % kCwqoPresenceBins] = mean;
    ++p->count;
}

// The entry a selection of rank q*(n-1), rounded, would give.
float quantile(const float* sorted, size_t n, double q)
{
    return sorted[static_cast<size_t>(q * static_cast<double>(n - 1) + 0.5)];
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

void cwqo_presence_add(CWQO_PRESENCE* p, const float* values, size_t count, double ms)
{
    if (p == nullptr || values == nullptr || !(ms > 0.0))
        return;
    // The bin being filled in locals, stored back once.
    double fillSum = p->fillSum;
    double fillMs = p->fillMs;
    for (size_t i = 0; i < count; ++i) {
        if (!std::isfinite(values[i]))
            continue;
        const double v = std::max(0.0f, values[i]);
        for (double left = ms; left > 0.0;) {
            const double take = std::min(left, kCwqoPresenceBinMs - fillMs);
            fillSum += v * take;
            fillMs += take;
            left -= take;
            if (fillMs >= kCwqoPresenceBinMs - 1e-9) {
                push_bin(p, static_cast<float>(fillSum / fillMs));
                fillSum = 0.0;
                fillMs = 0.0;
            }
        }
    }
    p->fillSum = fillSum;
    p->fillMs = fillMs;
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
    const float floor = std::max(quantile(p->sortedAll, p->count, 0.2), kSilence * 0.01f);
    const float peak = quantile(p->sortedRecent, std::min(p->count, kCwqoPresencePeakBins), 0.95);
    p->spreadDb = peak > kSilence ? 20.0f * std::log10(peak / floor) : 0.0f;
    p->present = p->spreadDb >= (p->present ? offDb : onDb) ? 1 : 0;
    return p->present;
}
