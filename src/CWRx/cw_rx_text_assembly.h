// The fallback decoder's history layer: re-reads the levels of the last
// blocks for the best speed and threshold, rebuilds their text and emits
// only what is new against the rebuild emitted before.
#pragma once

#include "cw_rx_state.h"

#include <cstddef>

// Largest k such that the last k characters of a equal the first k of b
// (at most the length of either, counting up to 4095 characters of b);
// 0 for none or a null string.
size_t cw_rx_overlap_suffix_prefix(const char* a, const char* b);

// Decodes the level history (each entry blockMs long) and writes the new
// text to out; returns its length. Needs a buffer.
size_t cw_rx_history_text(CW_RX* rx, double blockMs, char* out, size_t capacity);

// Emission of a rebuild against lastText. Only what reaches out counts as
// emitted: a rebuild cut at the capacity leaves the rest for the next call.
size_t cw_rx_emit_rebuild(CW_RX* rx, const char* rebuild, bool strong, char* out, size_t capacity);
