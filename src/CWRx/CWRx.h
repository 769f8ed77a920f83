// CW receiver: the one object through which audio becomes Morse text. It
// hands the audio to the decoder backend, or, when no backend exists, runs
// its own simpler decoder. Plain functions over an opaque handle; nothing
// throws, every pointer may be null, every value is clamped.
#pragma once

#include <cstddef>
#include <cstdint>

struct CW_RX_CONFIG {
    double sampleRate;       // Hz; below 8000 (or not finite): 48000
    double pitchHz;          // 300..1200
    double bandwidthHz;      // 8..200
    float threshold;         // key-down threshold 0..1 (fallback decoder)
    float releaseThreshold;  // key-up threshold 0..threshold (fallback decoder)
    int32_t autoThreshold;   // fallback decoder: fixed 0.5 and a threshold search
    int32_t autoPitch;       // backend: the engine searches pitchHz +/- searchHz
    double minWpm;           // 5..80, swapped with maxWpm when greater
    double maxWpm;           // 5..80
    double searchHz;         // not above 0: 15; then 5..30
    int32_t agcEnabled;      // stored as 0 or 1
    double lockHoldMs;       // not above 0: 1800; then 800..4000
    double markFloor;  // backend: 0 (off)..0.8, marks under this share of the strongest tone of the last seconds are no
                       // marks
};

struct CW_RX_STATUS {
    float level;      // tone level 0..1
    float threshold;  // key-down threshold in use
    float reserved;   // always 0
    int32_t keyDown;
    int32_t signalPresent;
    int32_t lock;  // 0 none, 1 tentative, 2 locked
    double pitchHz;
    double wpm;
    float inputLevel;   // fast RMS of the filtered signal (backend), else 0
    float decoderGain;  // 1.0
    float decoderCost;  // engine cost (backend), else 0
    double statWpm;     // backend statistics, else 0
    float statQuality;
    float statSnrDb;
    float statOnRatio;
    float toneOffsetHz;     // backend: the tone heard in the last second against the pitch, else 0
    int32_t engineMissing;  // the backend's engine could not be built (memory): the fallback decoder reads meanwhile
};

struct CW_RX;

// 48000 Hz, 600 Hz, 30 Hz, threshold 0.5, release 0.4, no auto threshold or
// pitch, 12..50 WPM, search 15 Hz, AGC on, hold 1800 ms, no mark floor.
CW_RX_CONFIG cw_rx_default_config();

// Null config: the defaults. Null only when the receiver's memory cannot be
// had; without a backend the receiver runs its fallback decoder for life.
// As after cw_rx_reset, the backend's fresh engine takes the decoder
// settings with the next cw_rx_configure (callers configure before every
// block, with the stream's rate).
CW_RX* cw_rx_create(const CW_RX_CONFIG* config);

// A receiver that always runs the fallback decoder, for testing it and for
// comparing the two decoders.
CW_RX* cw_rx_create_fallback(const CW_RX_CONFIG* config);

// Nonzero when the receiver decodes with the backend.
int32_t cw_rx_has_backend(const CW_RX* rx);

// Cheap and safe before every block: no running state is reset.
void cw_rx_configure(CW_RX* rx, const CW_RX_CONFIG* config);

// Fresh decoder state and status; the configuration stays.
void cw_rx_reset(CW_RX* rx);

// A new pitch chosen for a signal (GotoMax, AutoGTM). When the receiver
// printed nothing in the last seconds, the old pitch heard nothing readable
// (or the squelch held back a station off the pitch): it starts afresh on
// the new pitch and decodes those seconds of audio again, so the start of
// the signal found is not lost; their text comes out with the next calls.
// Otherwise it takes the configuration and, with `reset`, starts afresh.
void cw_rx_retune(CW_RX* rx, const CW_RX_CONFIG* config, int32_t reset);

void cw_rx_destroy(CW_RX* rx);

// Decodes `count` mono samples at the configured rate. When `text` and a
// nonzero `capacity` are given, the buffer always receives a NUL-terminated
// string and the result is its length; text that does not fit stays queued
// for the next call, so none is lost or repeated.
size_t cw_rx_process(CW_RX* rx, const float* samples, size_t count, char* text, size_t capacity);

// Text squelch level, clamped to 0..1: 0 (the default) hands out all the
// decoder prints; higher levels withhold text while no CW signal is
// present, 1 strictest. Text held while a signal is being confirmed comes
// out in order once it is. Only the backend has the figures it judges by;
// the fallback decoder ignores it. Null handle: nothing happens.
void cw_rx_set_squelch(CW_RX* rx, double level);

// The level in effect; 0 for a null handle.
double cw_rx_get_squelch(const CW_RX* rx);

// Null handle: an all-zero status.
// The lock as the window shows it: "BAD" for a cost of 10 or more, "TRACK"
// for 1 or more, else "LOCK", "TRACK" or "UNLOCK" by the lock grade.
const char* cw_rx_lock_word(double decoderCost, int32_t lock);

void cw_rx_get_status(const CW_RX* rx, CW_RX_STATUS* status);
