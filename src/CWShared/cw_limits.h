// Range limits shared by the backend and the receiver. A value that is not a
// number counts as below every lower limit and an infinity as beyond the
// limit on its side, so no clamp lets a NaN through to the filters.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

// Below lo (or NaN) becomes lo, above hi becomes hi.
inline double cw_limit(double value, double lo, double hi)
{
    if (!(value >= lo))
        return lo;
    return value > hi ? hi : value;
}

inline float cw_limitf(float value, float lo, float hi)
{
    if (!(value >= lo))
        return lo;
    return value > hi ? hi : value;
}

// Below lo, NaN or infinite becomes the fallback; there is no upper limit.
inline double cw_at_least_or(double value, double lo, double fallback)
{
    return value >= lo && std::isfinite(value) ? value : fallback;
}

// Not above 0 (or NaN) becomes the fallback, then lo..hi.
inline double cw_positive_limit(double value, double fallback, double lo, double hi)
{
    return cw_limit(value > 0.0 ? value : fallback, lo, hi);
}

// Far beyond full scale a sample can only be corrupt data; kept in range it
// cannot overflow the single-precision filter states, and a non-finite one
// would poison them for good.
inline constexpr float kCwqoSampleLimit = 1000.0f;

// Written without branches, so that a loop over a block runs in vector lanes.
inline float cwqo_sample_guard(float x)
{
    const float clamped = std::min(std::max(x, -kCwqoSampleLimit), kCwqoSampleLimit);
    return std::fabs(x) <= std::numeric_limits<float>::max() ? clamped : 0.0f;
}
