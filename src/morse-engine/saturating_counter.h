// Sample counters that run as long as the audio does: they stop at the top
// of their range rather than wrap to a negative count.
#pragma once

#include <cstdint>
#include <limits>

inline int32_t saturating_increment(int32_t count)
{
    return count < std::numeric_limits<int32_t>::max() ? count + 1 : count;
}
