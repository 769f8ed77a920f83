// History behind the tone trace: the last 360 tone levels, thresholds and
// key-down flags in a ring, and the threshold drawn as the current line.
// Fixed storage; an update is constant time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t kCWToneTraceLength = 360;

struct CW_TONE_TRACE_ENTRY {
    float level;      // 0..1
    float threshold;  // 0..1
    int32_t keyDown;  // 0 or 1
};

// Limits to 0..1; a value that is not a number becomes 0, so nothing
// unplottable enters the history.
float cw_tone_trace_clamp(float value);

class CWToneTraceHistory {
public:
    // Appends one entry, dropping the oldest once full, and makes its
    // threshold the current one.
    void update(float level, float threshold, int32_t keyDown);
    // Forgets every entry (the link is gone); the current line stays.
    void clear() { head_ = 0, filled_ = false; }

    // A threshold placed by hand: moves the current line only; the next
    // update replaces it with the receiver's.
    void setCurrentThreshold(float threshold) { currentThreshold_ = cw_tone_trace_clamp(threshold); }
    float currentThreshold() const { return currentThreshold_; }

    // Column 0 is the left edge, kCWToneTraceLength - 1 the right one and
    // always the newest entry; older entries lie to its left. Returns false
    // for a column that holds no entry yet.
    bool entryForColumn(size_t column, CW_TONE_TRACE_ENTRY* entry) const;

    size_t head() const { return head_; }    // next write position
    bool filled() const { return filled_; }  // the ring has wrapped at least once
    size_t size() const { return filled_ ? kCWToneTraceLength : head_; }

private:
    std::array<CW_TONE_TRACE_ENTRY, kCWToneTraceLength> entries_{};
    size_t head_ = 0;
    bool filled_ = false;
    float currentThreshold_ = 0.5f;
};
