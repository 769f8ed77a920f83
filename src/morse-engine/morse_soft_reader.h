// Soft reader: reads a character again from the tone's envelope itself.
// Every code whose keying fits the character's span is averaged as the
// demodulator averages and laid over the envelope values; the code that
// explains them best wins. Where noise breaks or merges the runs cut one
// value at a time, the values as a whole still show the character.
// A weak word is read again whole from the tone's baseband: the most
// likely characters and letter gaps, each mark judged by the tone's energy
// over exactly its length. Plain functions over an opaque handle; nothing
// throws.
#pragma once

#include "morse_code_table.h"

#include <string>

// One character as the runs gave it, on the clock of the values pushed:
// value i lies at i * stepMs.
struct MORSE_SOFT_QUERY {
    double startMs;  // start of its first mark as cut from the envelope
    double endMs;    // end of its last mark
    float unitMs;    // the sender's dot and gap inside a character
    float dashMs;    // the sender's dash
    float windowMs;  // the demodulator's averaging window
    float noise;     // envelope of the noise alone
    float level;     // envelope of a mark
};

struct MORSE_SOFT_READER;

// A word as the runs gave it, on the same clock.
struct MORSE_SOFT_WORD_QUERY {
    double startMs;    // start of its first mark as cut from the envelope
    double endMs;      // end of its last mark
    float unitMs;      // the sender's dot and gap inside a character
    float dashMs;      // the sender's dash
    float wordGapMs;   // gaps this long part words
    float windowMs;    // the demodulator's averaging window
    float noise;       // envelope of the noise alone
    float level;       // envelope of a mark
    const char* read;  // the runs' reading, kept unless the values show a far likelier one; may be null
};

// Keeps the last sixteen seconds of values; null without memory.
MORSE_SOFT_READER* morse_soft_reader_create(float stepMs);

// n envelope values and, when `baseband` is not null, the 2 ms baseband
// values they were averaged from (real and imaginary parts, 2 n floats).
void morse_soft_reader_push(MORSE_SOFT_READER* reader, const float* values, const float* baseband, int n);

// Returns the reader to the state morse_soft_reader_create() gives (the same
// step), keeping its storage: nothing is allocated.
void morse_soft_reader_restart(MORSE_SOFT_READER* reader);

// Starts the clock again with the next value.
void morse_soft_reader_reset(MORSE_SOFT_READER* reader);

// The code ("0" dot, "1" dash) of `table` that fits the values of the span
// best; false when the span lies outside what is kept or no code fits it.
bool morse_soft_reader_read(MORSE_SOFT_READER* reader, const MORSE_SOFT_QUERY& query, const MorseCodeTable& table,
                            std::string* code);

// The most likely text (characters of `table`, spaces where the gap is a
// word gap) for the baseband values of the span; false when the span lies
// outside what is kept, nothing in it reads as a character, the marks fade
// too far for one amplitude or the runs' reading is about as likely.
bool morse_soft_reader_read_word(MORSE_SOFT_READER* reader, const MORSE_SOFT_WORD_QUERY& query,
                                 const MorseCodeTable& table, std::string* text);

void morse_soft_reader_destroy(MORSE_SOFT_READER* reader);
