#include "cw_tone_trace_history.h"

#include <algorithm>
#include <cmath>

float cw_tone_trace_clamp(float value)
{
    return std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
}

void CWToneTraceHistory::update(float level, float threshold, int32_t keyDown)
{
    const CW_TONE_TRACE_ENTRY entry{cw_tone_trace_clamp(level), cw_tone_trace_clamp(threshold), keyDown != 0 ? 1 : 0};
    currentThreshold_ = entry.threshold;
    entries_[head_] = entry;
    head_ = (head_ + 1) % kCWToneTraceLength;
    if (head_ == 0)
        filled_ = true;
}

bool CWToneTraceHistory::entryForColumn(size_t column, CW_TONE_TRACE_ENTRY* entry) const
{
    if (column >= kCWToneTraceLength || !entry)
        return false;
    size_t index;
    if (filled_) {
        index = (head_ + column) % kCWToneTraceLength;
    } else {
        const size_t firstColumn = kCWToneTraceLength - head_;
        if (column < firstColumn)
            return false;
        index = column - firstColumn;
    }
    *entry = entries_[index];
    return true;
}
