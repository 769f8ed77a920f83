// The structure of amateur callsigns as a skimmer reads them out of decoded
// CW: whether a word is shaped like a call, and whether two calls are one
// station decoded differently (a busted call).
#pragma once

#include <cstddef>
#include <cstdint>

// The longest call held, without the terminating NUL.
inline constexpr size_t kCWCallsignMaxLength = 15;

// Nonzero when the `len` characters at `word` (upper-case letters, digits and
// '/') are shaped like an amateur call: a prefix of 1..3 characters with a
// letter (K, DL, 4X, E5, 3DA), one or two area digits and 1..4 suffix letters,
// optionally with a prefix part (VE3/DL2QZA, F/G4ABC) and a portable part
// (/P, /M, /MM, /AM, /QRP, /A, /7, /VE3). CW words and reports (CQ, TEST, 5NN,
// 599, QRZ, 73, 001...) have no such shape; exchanges glued to a word
// (TU5NN, R5NN) are refused too. Null is refused.
int32_t cw_callsign_check(const char* word, size_t len);

// Nonzero when the NUL-terminated calls `a` and `b` differ but are likely
// one station: one character replaced, inserted or dropped; one character
// read as the two whose codes make up its code (A .- as ET); or the same
// call with a prefix or portable part added or removed; or one holding the
// other (of at least four characters) with up to four more: a missed word
// gap glues a word on (CKZ39ZE for Z39ZE), a fade cuts a call short (DL2Q
// for DL2QZA). Equal calls and
// null give 0: the same call heard twice is not busted.
int32_t cw_callsign_similar(const char* a, const char* b);
