// Speed, signal-to-noise and quality figures of the backend, read from its
// 3-second envelope history independently of the engine.
#pragma once

#include "cwqo_envelope_history.h"

#include <vector>

inline constexpr size_t kCwqoHistorySamples = 12000;    // 3 s at 4000 Hz
inline constexpr size_t kCwqoStatisticsMinimum = 1800;  // 0.45 s
inline constexpr size_t kCwqoMinimumRun = 16;           // 4 ms

struct CWQO_ENVELOPE_FIGURES {
    double wpm;          // 0 while no dot length could be measured
    float quality;       // 0..100
    float snrDb;         // 0..60
    float onRatio;       // 0..1
    float keyThreshold;  // envelope level that counts as key down
};

// Mark and space lengths of one reading, kept by the caller so that no call
// allocates.
struct CWQO_RUN_LENGTHS {
    std::vector<float> marks;   // ms
    std::vector<float> spaces;  // ms
};

void cwqo_run_lengths_init(CWQO_RUN_LENGTHS* runs);

// Only for a committed history of more than kCwqoStatisticsMinimum values.
CWQO_ENVELOPE_FIGURES cwqo_envelope_statistics(const CWQO_ENVELOPE_HISTORY& history, double minWpm, double maxWpm,
                                               CWQO_RUN_LENGTHS* runs);

// Median of the shortest marks: half of them, but two when that is fewer
// than three. Reorders the marks; 0 with fewer than four.
double cwqo_dot_length_ms(std::vector<float>* marks);
