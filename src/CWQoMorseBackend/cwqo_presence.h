// Whether a keyed signal is present, judged by the tone envelope: keying
// leaves key-down peaks far above the key-up floor, band noise only small
// ripples (its envelope, however loud, holds a spread of a few dB), silence
// nothing at all. The peaks are those of the last 0.8 s, so a signal is
// seen within a dot or two of its first key-down and given up within about
// a second of its last one, while a word gap does not end it. The floor is
// that of the last 3 s, so that dense keying (a run of dashes fills most of
// a second) still finds the key-up level below it.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kCwqoPresenceBins = 600;      // 3 s of 5 ms means
inline constexpr size_t kCwqoPresencePeakBins = 160;  // 0.8 s
inline constexpr double kCwqoPresenceBinMs = 5.0;
inline constexpr size_t kCwqoPresenceMinimumBins = 60;  // 0.3 s before any verdict

struct CWQO_PRESENCE {
    float bins[kCwqoPresenceBins];  // ring of envelope means, oldest at head
    size_t head;
    size_t count;
    double fillSum;  // the bin being filled: sum of value x ms
    double fillMs;
    // The same bins kept in ascending order, all of them and the newest
    // kCwqoPresencePeakBins, so that a verdict reads its two percentiles
    // directly instead of selecting them afresh.
    float sortedAll[kCwqoPresenceBins];
    float sortedRecent[kCwqoPresencePeakBins];
    float spreadDb;   // key-down peaks over the floor, last verdict
    int32_t present;  // last verdict
};

// Empty memory, nothing present.
void cwqo_presence_reset(CWQO_PRESENCE* presence);

// Envelope values (not negative) in time order, each held for `ms`.
// Non-finite values are left out.
void cwqo_presence_add(CWQO_PRESENCE* presence, const float* values, size_t count, double ms);

// The backend's envelope (band noise through the 120 Hz prefilter and the
// envelope follower) kept its spread near 4 dB and below 6 dB in minutes of
// measurements at any level; keying at -6 dB in 2500 Hz holds it near 9 dB,
// at -9 dB near 7.5 dB. The gap between the two limits keeps the verdict
// from flickering at the edge.
inline constexpr float kCwqoPresenceOnDb = 7.5f;
inline constexpr float kCwqoPresenceOffDb = 6.5f;

// The verdict: present once the spread reaches onDb, absent again once it
// falls below offDb; also stored in presence->present.
int32_t cwqo_presence_update(CWQO_PRESENCE* presence, float onDb, float offDb);
