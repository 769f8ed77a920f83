// Soft reader: reads a character again from the tone's envelope itself.
// Every code whose keying fits the character's span is averaged as the
// demodulator averages and laid over the envelope values; the code that
// explains them best wins. Where noise breaks or merges the runs cut one
// value at a time, the values as a whole still show the character. Plain
// functions over an opaque handle; nothing throws.
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

// Keeps the last eight seconds of values; null without memory.
MORSE_SOFT_READER* morse_soft_reader_create(float stepMs);

void morse_soft_reader_push(MORSE_SOFT_READER* reader, const float* values, int n);

// Starts the clock again with the next value.
void morse_soft_reader_reset(MORSE_SOFT_READER* reader);

// The code ("0" dot, "1" dash) of `table` that fits the values of the span
// best; false when the span lies outside what is kept or no code fits it.
bool morse_soft_reader_read(MORSE_SOFT_READER* reader, const MORSE_SOFT_QUERY& query,
                            const MorseCodeTable& table, std::string* code);

void morse_soft_reader_destroy(MORSE_SOFT_READER* reader);
