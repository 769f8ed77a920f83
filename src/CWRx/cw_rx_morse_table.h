// The receiver's own Morse table ("." dot, "-" dash): letters, digits and
// twelve punctuation marks. Row order decides ties in the fuzzy match.
#pragma once

struct CW_RX_MORSE_ROW {
    const char* pattern;
    char text;
};

inline constexpr int kCwMorseTableRows = 48;

extern const CW_RX_MORSE_ROW cw_morse_table[kCwMorseTableRows];

// The character of an exact pattern, or 0 when no row has it.
char cw_rx_morse_lookup(const char* pattern);
