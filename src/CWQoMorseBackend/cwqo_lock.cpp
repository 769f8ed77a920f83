#include "cwqo_lock.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t kMissLimit = 5;

int32_t miss_step(CWQO_LOCK* lock, double quietMs, double holdMs)
{
    if (lock->state == 2 && holdMs > quietMs) {
        lock->miss = std::min(lock->miss, kMissLimit - 1) + 1;
        return 2;
    }
    if (lock->state == 0)
        return 0;
    if (lock->miss > kMissLimit - 1) {
        lock->state = 0;
        return 0;
    }
    ++lock->miss;
    return lock->state;
}

int32_t speed_step(CWQO_LOCK* lock, const CWQO_LOCK_INPUT& input)
{
    if (!(input.engineWpm > 0.0f))
        return miss_step(lock, 0.0, input.holdMs);
    if (lock->state == 0) {
        lock->state = 1;
        if (lock->miss <= kMissLimit - 1)
            ++lock->miss;
        return 1;
    }
    if (lock->state == 2 && input.holdMs > 0.0)
        return 2;
    if (lock->miss < kMissLimit) {
        ++lock->miss;
        return lock->state;
    }
    lock->state = 1;
    return 1;
}

int32_t active_step(CWQO_LOCK* lock, const CWQO_LOCK_INPUT& input)
{
    lock->quietMs = 0.0;
    const float c = input.cost;
    if (c > 0.0f && (c < 0.95f || (input.textCount > 0 && c < 1.85f))) {
        lock->state = 2;
        lock->miss = 0;
        return 2;
    }
    if (c > 0.0f && c < 4.5f)
        return speed_step(lock, input);
    return miss_step(lock, 0.0, input.holdMs);
}

}  // namespace

void cwqo_lock_start(CWQO_LOCK* lock, double quietMs)
{
    lock->state = 0;
    lock->miss = kMissLimit;
    lock->quietMs = quietMs;
}

int32_t cwqo_lock_step(CWQO_LOCK* lock, const CWQO_LOCK_INPUT& input)
{
    if (input.active)
        return active_step(lock, input);
    if (input.blockMs > 0.0)
        lock->quietMs = std::min(kCwqoQuietCeilingMs, lock->quietMs + input.blockMs);
    if (lock->quietMs >= kCwqoQuietLimitMs) {
        cwqo_lock_start(lock, lock->quietMs);
        return 0;
    }
    return miss_step(lock, lock->quietMs, input.holdMs);
}

int32_t cwqo_lock_report(CWQO_LOCK* lock, int32_t grade, const CWQO_LOCK_EVIDENCE& e)
{
    const bool outOfRange = e.statWpm < e.minWpm - 2.0 || e.statWpm > e.maxWpm + 2.0;
    const double engineWpm = std::max(0.0f, e.engineWpm);
    bool consistent = true;
    if (e.statQuality >= 55.0f && engineWpm > 0.0 && e.statWpm >= 5.0 && e.statOnRatio >= 0.25f && !outOfRange)
        consistent = std::fabs(engineWpm - e.statWpm) <= 6.0;
    if (e.statQuality < 35.0f || e.cost >= 10.0f || !consistent) {
        cwqo_lock_start(lock, lock->quietMs);
        return 0;
    }
    if (grade == 2 && (e.cost >= 1.0f || e.statQuality < 55.0f))
        return 1;
    return grade;
}
