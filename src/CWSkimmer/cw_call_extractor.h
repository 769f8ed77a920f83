// The calls in one channel's decoded text, with the context that tells a
// station signing on this frequency from a call it merely sends. The
// skimmer runs one extractor per receiver and spots only strong calls.
//
// Words are read as they complete (a space ends a word; text may arrive in
// any chunks). A call is:
// - called, never reported, when the next word is DE, a report (5NN, 599)
//   or UR, unless DE came before it: "DL2QZA DE G4ABC" is G4ABC on the air
//   calling DL2QZA, who is on another frequency; "DL2QZA 5NN 14" is a
//   contest station sending its caller's call.
// - strong when it follows CQ, TEST or DE ("CQ DE DL2QZA", "TEST DL2QZA",
//   repeats included: "DE DL2QZA DL2QZA"), when it precedes K, KN, BK, AR,
//   SK or TEST, or when it is heard at least twice, not called, within the
//   last kCWCallExtractorWindowWords words.
// - cq when it follows CQ or TEST, or DE in an over that began with CQ or
//   TEST ("CQ CQ DE DL2QZA"), or when TEST follows it. A call without that
//   context after a CQ is more likely a station answering the CQ on the
//   same frequency than the one calling it.
// An over ends with K, KN, BK, AR or SK, with DE after a called station (the
// other side of a QSO begins), with a new CQ or TEST after other words, and
// with cw_call_extractor_flush.
// Calls are decided when the next word shows whether they were called; a
// call after DE never is, so it is decided as soon as it is complete.
// Words with characters no call has ('*', '_', '?', '.') are unreadable and
// are no calls; they still take a place in the window.
//
// A call is reported the first time it is heard in an over (strong or not),
// again in that over only when it becomes strong, cq or repeated, and again in every
// later over in which it is heard: a station calling CQ every few seconds
// keeps its spot fresh, and nothing is reported once per character.
#pragma once

#include "cw_callsign.h"

#include <cstddef>
#include <cstdint>

// Words remembered for the repetition rule.
inline constexpr size_t kCWCallExtractorWindowWords = 12;
// Reports held for a caller whose buffer was too small; the oldest give way.
inline constexpr size_t kCWCallExtractorQueuedReports = 16;

struct CW_CALL_HEARD {
    char call[kCWCallsignMaxLength + 1];
    int32_t cq;        // the station was calling CQ (or TEST) in this over
    int32_t strong;    // a context rule matched, or heard twice in the window: fit to spot
    int32_t repeated;  // heard at least twice in the window (not as a called call)
};

typedef struct CW_CALL_EXTRACTOR CW_CALL_EXTRACTOR;

// Null when out of memory. Nothing is allocated after this.
CW_CALL_EXTRACTOR* cw_call_extractor_create(void);

// A new signal on this channel: everything heard so far is forgotten.
void cw_call_extractor_reset(CW_CALL_EXTRACTOR* x);

// Reads decoded text and writes up to `capacity` reports to `heard`,
// returning how many. Reports that do not fit stay queued for the next call
// (a null text of length 0 only hands them out).
size_t cw_call_extractor_feed(CW_CALL_EXTRACTOR* x, const char* text, size_t length, CW_CALL_HEARD* heard,
                              size_t capacity);

// The signal went quiet: the word in progress is complete, calls waiting for
// the next word are decided without it, and the over ends. Writes reports as
// feed does.
size_t cw_call_extractor_flush(CW_CALL_EXTRACTOR* x, CW_CALL_HEARD* heard, size_t capacity);

void cw_call_extractor_destroy(CW_CALL_EXTRACTOR* x);
