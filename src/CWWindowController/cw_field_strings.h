// Text of the QSO, station and label fields: trimming, upper-casing and the
// character classes the operating features share. Strings are UTF-8.
#pragma once

#include <string>

// True for Unicode white space and line-break characters.
bool cw_is_space_code_point(char32_t c);

// Upper-case form of one character, as a short UTF-8 string (the German
// sharp s becomes "SS"). Covers Latin, Greek and Cyrillic letters.
std::string cw_upper_code_point(char32_t c);

// UTF-8 text upper-cased; invalid bytes are kept as they are.
std::string cw_upper_string(const std::string& text);

// UTF-8 text without white space and line breaks at both ends.
std::string cw_trimmed_string(const std::string& text);

// Trimmed and upper-cased: the form every QSO, station and label value is
// compared, sent and logged in.
std::string cw_normalized_upper_field_string(const std::string& text);

// Decodes the code point at text[pos], stores its byte count in *length.
// An invalid byte decodes as itself with length 1.
char32_t cw_utf8_code_point_at(const std::string& text, size_t pos, size_t* length);

// Appends the UTF-8 form of c.
void cw_append_utf8(std::string& out, char32_t c);
