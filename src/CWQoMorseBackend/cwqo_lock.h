// Lock grading of the backend: a small state machine over the engine's fit
// and the activity of the signal, then a check against the backend's own
// envelope figures before a grade is reported.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr double kCwqoQuietLimitMs = 2500.0;
inline constexpr double kCwqoQuietCeilingMs = 10000.0;

struct CWQO_LOCK {
    int32_t state;   // 0 none, 1 tentative, 2 locked
    int32_t miss;    // 0..5
    double quietMs;  // ms without activity, at most 10000
};

// What one call saw.
struct CWQO_LOCK_INPUT {
    bool active;
    float cost;        // engine cost of the best hypothesis
    float engineWpm;   // engine speed estimate
    size_t textCount;  // bytes the engine decoded in this call
    double holdMs;     // how long a strong lock survives silence
    double blockMs;    // duration of the call's audio
};

// Fresh machine: nothing locked; quietMs as given (2500 for a new backend,
// 0 for an engine restart).
void cwqo_lock_start(CWQO_LOCK* lock, double quietMs);

// Advances the machine; returns the grade. Whether a signal is present at
// all is not its business: activity counts band noise as well.
int32_t cwqo_lock_step(CWQO_LOCK* lock, const CWQO_LOCK_INPUT& input);

struct CWQO_LOCK_EVIDENCE {
    double statWpm;
    float statQuality;
    float statOnRatio;
    float cost;
    float engineWpm;
    double minWpm;
    double maxWpm;
};

// The grade to report: the machine is reset when the figures contradict it,
// and a strong grade is shown as tentative while the fit is only fair.
int32_t cwqo_lock_report(CWQO_LOCK* lock, int32_t grade, const CWQO_LOCK_EVIDENCE& evidence);
