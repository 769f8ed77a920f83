// State of the CW receiver, shared by its source files and by white-box
// tests. Callers use CWRx.h only.
#pragma once

#include "CWQoMorseBackend.h"
#include "CWRx.h"
#include "cwqo_presence.h"
#include "cw_rx_squelch.h"
#include "cw_text_queue.h"

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr int32_t kCwRxHistoryLength = 4096;  // level history, one entry per block
inline constexpr int32_t kCwRxTextLength = 4096;     // rebuilt text, with its terminator
inline constexpr int32_t kCwRxPatternLength = 16;    // 15 elements and a terminator
inline constexpr int32_t kCwRxMaxSegments = 1024;
inline constexpr int32_t kCwRxCounterCeiling = 1000000;

// One key-down or key-up run of the level history.
struct CW_RX_SEGMENT {
    int32_t on;
    int32_t first;
    int32_t end;   // exclusive
    double dots;   // length in dot units
    int32_t kind;  // on: 0 dot, 1 dash; off: 1 element, 2 letter, 3 word gap
};

struct CW_RX_SEGMENTS {
    int32_t count;
    CW_RX_SEGMENT items[kCwRxMaxSegments];
};

struct CW_RX {
    CW_RX_CONFIG config;
    CW_RX_STATUS status;
    CWQO_BACKEND* backend;  // owned; null selects the fallback decoder

    // Fallback decoder, live layer.
    double oscPhase;
    double mixLowpass1[2];
    double mixLowpass2[2];
    float toneAverage;
    float thresholdInUse;
    float noiseLevel;
    float peakLevel;
    double onMs;
    double offMs;
    double noToneMs;
    double elementMs;
    double dotMs;
    int32_t dotCount;
    int32_t silenceCount;
    double confidence;
    int32_t lockGrade;
    char pattern[kCwRxPatternLength];
    double durations[kCwRxPatternLength];
    int32_t elementCount;
    int32_t toneHeard;       // 0 after long absence of tone: the history starts afresh
    CWQO_PRESENCE presence;  // signalPresent, from the tone magnitude

    // Fallback decoder, history layer.
    float levelHistory[kCwRxHistoryLength];
    int32_t levelHistoryCount;
    char lastText[kCwRxTextLength];
    char candidateText[kCwRxTextLength];
    int32_t candidateRepeats;

    // Working storage of one call, kept here so that no call allocates.
    CW_RX_SEGMENTS rawSegments;
    CW_RX_SEGMENTS segments;
    CW_RX_SEGMENTS bestSegments;
    char rebuild[kCwRxTextLength];
    char emitted[kCwRxTextLength + 2];  // a space, the longest rebuild, the terminator
    CW_TEXT_QUEUE pendingText;          // fallback or squelched text not yet handed out

    // Text squelch of the backend's output (the fallback has no figures
    // to judge by).
    CW_RX_SQUELCH squelch;
    char backendText[kCWTextQueueBytes];  // one call's text before the squelch

    // The last seconds of audio, decoded again after a retune that found
    // the signal elsewhere; sized when the rate changes, never per block.
    std::vector<float> recentAudio;
    size_t recentHead;  // oldest sample
    size_t recentCount;
    double clockMs;      // audio time seen since creation
    double printedAtMs;  // when the caller last got a character other than a blank; negative: never
    bool replaying;
    CW_TEXT_QUEUE replayedText;  // the replay's text until it joins pendingText
};
