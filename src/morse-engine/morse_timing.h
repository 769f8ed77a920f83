// Morse timing: turns key-down and key-up runs into characters. The classes
// are learned from the sender: dots and dashes by fitting the recent marks
// (hand keying sends long dashes), letter and word gaps by clustering the
// recent long gaps (Farnsworth spacing stretches both), so nothing assumes
// the textbook 1:3:7. The first over is held until its first marks show
// the speed. Blips and dropouts are merged away first. Plain functions over
// an opaque handle; nothing throws.
#pragma once

#include "keying_slicer.h"
#include "morse_code_table.h"

#include <cstdint>
#include <string>
#include <vector>

struct MORSE_TIMING_STATUS {
    float dotMs;  // mean dot as received (keying shape and threshold shorten it)
    float dashMs;
    float unitMs;          // mean of dot and element gap: the sender's dot length
    float letterGapUnits;  // learned letter gap, in units
    float wordGapUnits;    // learned word gap, in units
    float cost;            // mean squared timing error of the recent elements, in units; high without elements
    int32_t elements;      // elements classified since the start
    float markPeak;        // level of the recent marks, in noise floors
    float learnedSpanMs;   // length of the runs the first over's speed was learned from, 0 before
    double clockMs;        // total length of the runs pushed
};

// A character about to be printed, for a reader that looks at the signal
// itself: where its marks lie on the clock of the runs pushed, the
// sender's timing and the code the runs gave.
struct MORSE_TIMING_SPAN {
    double startMs;    // start of its first mark
    double endMs;      // end of its last mark
    float unitMs;      // the sender's dot and gap inside a character
    float dashMs;      // the sender's dash
    float level;       // level of the recent marks, as the envelope gives it
    float markPeak;    // and in noise floors
    const char* code;  // "0" dot, "1" dash
};

// May replace *code (it holds the runs' reading) with a better one; false
// keeps the runs' reading.
using MORSE_TIMING_READER = bool (*)(void* context, const MORSE_TIMING_SPAN& span, std::string* code);

// A weak word about to be printed, for a reader that reads it again whole.
struct MORSE_TIMING_WORD {
    double startMs;    // start of its first mark
    double endMs;      // end of its last mark
    float unitMs;      // the sender's dot and gap inside a character
    float dashMs;      // the sender's dash
    float wordGapMs;   // gaps this long part words
    float level;       // level of the recent marks, as the envelope gives it
    const char* text;  // as the runs read it
};

// Fills *text with a reading of the word's span (it may part it into
// words); false keeps the runs' reading.
using MORSE_TIMING_WORD_READER = bool (*)(void* context, const MORSE_TIMING_WORD& word, std::string* text);

struct MORSE_TIMING;

// The sender's dot is kept within [minDotMs, maxDotMs] (a received dot may
// be somewhat shorter); it starts at initialDotMs.
MORSE_TIMING* morse_timing_create(float initialDotMs, float minDotMs, float maxDotMs);

// Returns the timing to the state morse_timing_create() with these values
// gives (readers off), keeping its storage: nothing is allocated.
void morse_timing_restart(MORSE_TIMING* timing, float initialDotMs, float minDotMs, float maxDotMs);

void morse_timing_set_range(MORSE_TIMING* timing, float minDotMs, float maxDotMs);

// Marks shorter than this part of a dot are blips, and gaps shorter than
// this part of the gap inside a character are dropouts: merged away.
constexpr float kMorseTimingGlitchDots = 0.5f;

// Sets that part, 0.2 to 0.5. An envelope that flutter breaks into short
// pieces needs less: its faded dots come out short, and the gaps between
// them too.
void morse_timing_set_glitch(MORSE_TIMING* timing, float dots);

// One finished run. Characters and word spaces that it completes are looked
// up in `table` and appended to *text.
void morse_timing_push_run(MORSE_TIMING* timing, const KEYING_RUN& run, const MorseCodeTable& table,
                           std::vector<uint8_t>* text);

// The key is up and has been for `gapMs` in the run not yet finished: a
// character or a word ends as soon as the gap is long enough, so the last
// character of an over comes out without waiting for another.
void morse_timing_idle(MORSE_TIMING* timing, float gapMs, const MorseCodeTable& table, std::vector<uint8_t>* text);

// Every character read from runs whose span is known is offered to
// `reader` before it is printed; null turns that off.
void morse_timing_set_reader(MORSE_TIMING* timing, MORSE_TIMING_READER reader, void* context);

// A word whose first character comes from marks weaker than `holdPeak`
// noise floors is held until it ends and offered to `reader` whole; null
// turns that off.
void morse_timing_set_word_reader(MORSE_TIMING* timing, MORSE_TIMING_WORD_READER reader, void* context, float holdPeak);

// Prints the word held so far (the tone was lost or moved).
void morse_timing_end_word(MORSE_TIMING* timing, std::vector<uint8_t>* text);

// Drops a half-assembled character (the tone was lost or moved).
void morse_timing_clear_symbol(MORSE_TIMING* timing);

void morse_timing_get_status(const MORSE_TIMING* timing, MORSE_TIMING_STATUS* status);

void morse_timing_destroy(MORSE_TIMING* timing);

// The character of a code string ("0" dot, "1" dash): an exact entry of the
// table, else the one letter or digit within one edit of it, else '?'.
char morse_timing_character(const MorseCodeTable& table, const std::string& code);
