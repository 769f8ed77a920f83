// CW skimmer: decodes every CW signal of the receive audio (or of a wide IQ
// stream) at once. It
// finds keyed carriers in the spectrum, gives each its own receiver tuned
// to it (and following it as it drifts), retires receivers whose station
// fell silent, reads the calls out of each channel's text and keeps them
// as spots: frequency, call, speed, SNR and whether the station called CQ.
// Receivers are made once, as channels are first needed, and reused after;
// an idle channel costs nothing per block.
#pragma once

#include "cw_spot_table.h"

#include <cstddef>
#include <cstdint>

struct CW_SKIMMER_CONFIG {
    double sampleRate;      // the stream's rate, 8000..384000 Hz
    int32_t iq;             // 0: real audio (cw_skimmer_process); 1: complex IQ (cw_skimmer_process_iq)
    double lowHz;           // the span searched: audio frequencies, or IQ offsets from the centre
    double highHz;          // (negative below it); clamped to what the stream holds
    double dialHz;          // added to every frequency reported: the dial, or the IQ centre (dds)
    int32_t capacity;       // channels decoded at once, 1..kCWSkimmerMaxChannels
    double silenceSeconds;  // a channel whose carrier was gone this long is retired (default 20)
    double spotAgeSeconds;  // a spot not heard again this long is deleted (default 900)
};

inline constexpr int32_t kCWSkimmerMaxChannels = 128;
inline constexpr size_t kCWSkimmerTextBytes = 96;

struct CW_SKIMMER_CHANNEL {
    int32_t id;  // stays with the channel's signal until it is retired
    double frequencyHz;
    double wpm;
    float snrDb;  // key-down carrier over the noise in 2500 Hz
    int32_t signalPresent;
    char text[kCWSkimmerTextBytes];  // the newest decoded text, NUL-terminated
};

// New text of one channel since the last take.
struct CW_SKIMMER_TEXT {
    int32_t channelId;
    double frequencyHz;
    char text[kCWSkimmerTextBytes];
};

struct CW_SKIMMER_STATUS {
    double seconds;    // audio time processed
    double workRate;   // the rate the channels run at
    int32_t channels;  // channels decoding now
    int32_t capacity;
    int32_t carriers;        // keyed carriers in the last spectrum list
    int32_t refused;         // carriers left without a channel since creation (capacity reached)
    int32_t spots;           // spots in the table
    int32_t receiversBuilt;  // receivers made so far (at most the capacity)
    int32_t eventsDropped;   // spot events lost because nobody took them
};

typedef struct CW_SKIMMER CW_SKIMMER;

// 48000 Hz audio, 300..3200 Hz, dial 0, 32 channels, 20 s, 900 s.
CW_SKIMMER_CONFIG cw_skimmer_default_config(void);

// Null when out of memory.
CW_SKIMMER* cw_skimmer_create(const CW_SKIMMER_CONFIG* config);

// A new stream rate or span starts every channel afresh; the spots stay.
void cw_skimmer_configure(CW_SKIMMER* s, const CW_SKIMMER_CONFIG* config);

// Decodes `count` mono samples at the configured rate (audio skimmers).
void cw_skimmer_process(CW_SKIMMER* s, const float* samples, size_t count);

// Decodes `frames` complex samples, I and Q interleaved (IQ skimmers).
void cw_skimmer_process_iq(CW_SKIMMER* s, const float* iq, size_t frames);

// Spot news in order (new spots, spots worth sending again, deletions);
// returns how many were written. Unread events beyond the queue's room are
// dropped oldest first and counted.
size_t cw_skimmer_take_events(CW_SKIMMER* s, CW_SPOT_EVENT* events, size_t capacity);

// New decoded text, channel by channel.
size_t cw_skimmer_take_text(CW_SKIMMER* s, CW_SKIMMER_TEXT* texts, size_t capacity);

// The channels decoding now, lowest frequency first.
size_t cw_skimmer_get_channels(const CW_SKIMMER* s, CW_SKIMMER_CHANNEL* channels, size_t capacity);

// The spots, newest first.
size_t cw_skimmer_get_spots(const CW_SKIMMER* s, CW_SPOT* spots, size_t capacity);

void cw_skimmer_get_status(const CW_SKIMMER* s, CW_SKIMMER_STATUS* status);

void cw_skimmer_destroy(CW_SKIMMER* s);
