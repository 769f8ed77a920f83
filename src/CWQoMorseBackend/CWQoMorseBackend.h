// Decoder backend: conditions receive audio at its own rate, brings it to
// 4000 Hz for the Morse engine, grades the engine's lock and keeps its own
// level, speed and quality figures. Plain functions over an opaque handle;
// nothing throws, every pointer may be null, every value is clamped.
#pragma once

#include <cstddef>
#include <cstdint>

struct CWQO_CONFIG {
    double sampleRate;   // Hz of the audio given to cwqo_process; below 8000 (or not finite): 48000
    double pitchHz;      // 200..1200
    double bandwidthHz;  // 10..300 (the prefilter itself is never narrower than 120 Hz)
    double minWpm;       // 5..80, swapped with maxWpm when greater
    double maxWpm;       // 5..80
    int32_t autoPitch;   // nonzero: the engine searches pitchHz +/- searchHz
    double searchHz;     // not above 0: 15; then 5..30
    int32_t agcEnabled;  // stored as 0 or 1; the gain before the engine stays 1
    double lockHoldMs;   // not above 0: 1800; then 800..4000
    double markFloor;    // 0 (off)..0.8: a mark must reach this share of the strongest tone of the last seconds
};

struct CWQO_STATUS {
    float level;      // tone level 0..1
    float threshold;  // key-down threshold in effect 0..1
    int32_t keyDown;
    int32_t signalPresent;  // keyed tone in the last second (not band noise, not silence)
    int32_t lock;           // 0 none, 1 tentative, 2 locked
    double pitchHz;         // pitch in use
    double wpm;             // engine speed estimate
    float inputLevel;       // fast RMS of the filtered 4000 Hz signal, 1.0 = full scale
    float decoderGain;      // always 1.0
    float decoderCost;      // engine cost of the last decode
    double statWpm;         // speed from the envelope statistics, 0 while unknown
    float statQuality;      // 0..100
    float statSnrDb;        // 0..60
    float statOnRatio;      // key-down fraction of the last 3 s
    float toneOffsetHz;     // the tone heard in the last second against the pitch (positive: above)
};

struct CWQO_BACKEND;

// 48000 Hz, 600 Hz, 50 Hz, 12..50 WPM, no auto pitch, search 15 Hz, AGC on, hold 1800 ms, no mark floor.
CWQO_CONFIG cwqo_default_config();

// Clamps every field into the ranges above, as cwqo_create and cwqo_configure do.
void cwqo_normalize_config(CWQO_CONFIG* config);

// Null config: the defaults. Null result when memory or the engine fails.
CWQO_BACKEND* cwqo_create(const CWQO_CONFIG* config);

// Replaces the configuration without resetting running state; the prefilter
// is redesigned only when rate, pitch or bandwidth moved by more than 0.5.
void cwqo_configure(CWQO_BACKEND* backend, const CWQO_CONFIG* config);

// Fresh engine, cleared queues and status; the configuration stays.
void cwqo_reset(CWQO_BACKEND* backend);

void cwqo_destroy(CWQO_BACKEND* backend);

// Nonzero while the backend has its engine. A reset builds a fresh one; when
// memory is short it is missing until a later cwqo_configure builds it, and
// cwqo_process decodes nothing meanwhile.
int32_t cwqo_has_engine(const CWQO_BACKEND* backend);

// Decodes `count` mono samples at the configured rate. When `text` and a
// nonzero `capacity` are given, the buffer receives a NUL-terminated string
// and the result is its length; text that does not fit stays queued for the
// next call (the queue keeps the newest 4096 bytes). Without a buffer the
// text decoded in this call is discarded. `status` (may be null) receives
// the status after the call.
size_t cwqo_process(CWQO_BACKEND* backend, const float* samples, size_t count, char* text, size_t capacity,
                    CWQO_STATUS* status);

// Null handle: an all-zero status.
void cwqo_get_status(const CWQO_BACKEND* backend, CWQO_STATUS* status);
