// Status lines that fit their room: groups of figures are dropped, least
// needed first, so that a narrow window still shows what matters and never
// loses the last group (the lock word).
#pragma once

#include <cstddef>

struct CW_STATUS_GROUP {
    const char* text;  // UTF-8, without leading or trailing blanks
    int drop;          // the group with the highest number goes first; 0 stays while anything else can go
};

// Writes the groups, two blanks apart, into text (capacity bytes, always
// NUL-terminated) and returns the byte length. While the line has more
// than maxChars characters the group with the highest `drop` (the later
// one among equals) is left out, down to the groups numbered 0; the last
// group is never left out. Empty groups are skipped. Nothing is written
// that does not fit the buffer whole.
size_t cw_status_fit(const CW_STATUS_GROUP* groups, size_t count, size_t maxChars, char* text, size_t capacity);
