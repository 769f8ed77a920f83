// Texts of the spectrum view: the frequency labels under the plot and the
// diagnostics line of receiver figures below them. Written into caller
// buffers, always NUL-terminated, so painting allocates nothing for them.
#pragma once

#include <cstddef>

#include "cw_spectrum_figures.h"

// "SIGNAL" or "NO SIGNAL".
const char* cw_spectrum_signal_word(int signalPresent);

// The label of a grid frequency, e.g. "500". Returns the length written
// (at most capacity - 1); 0 with a null buffer or no capacity.
size_t cw_spectrum_frequency_label(double hz, char* text, size_t capacity);

// Pitch, tracked peak (0 until tracked) and their difference, input level,
// cost, threshold, signal word, engine speed, the statistics and the lock
// word, in one UTF-8 line of at most maxChars characters: figures are left
// out, least needed first, but the pitch, the speed, the signal word and
// the lock word stay. Returns the length written.
size_t cw_spectrum_diagnostics_text(const CW_SPECTRUM_FIGURES& figures, double peakHz, size_t maxChars, char* text,
                                    size_t capacity);
