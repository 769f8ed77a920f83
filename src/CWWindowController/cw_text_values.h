// Numbers and flags read from text the way the window's fields and the
// preference store need: a leading number is taken, anything else is 0.
#pragma once

#include <string>

// The leading decimal number of text ("  12.5 Hz" gives 12.5). No number,
// and also "nan" or "inf", give 0: such text is not a usable setting.
double cw_text_double_value(const std::string& text);

// The leading integer of text, truncated toward zero ("-5.7" gives -5).
long long cw_text_integer_value(const std::string& text);

// True for text that starts (after blanks and an optional sign and zeros)
// with Y, y, T, t or a digit 1 to 9.
bool cw_text_bool_value(const std::string& text);

// A value below min gives min, otherwise the smaller of value and max.
double cw_clamp_value(double value, double min, double max);

// printf-style number formatting for the fields ("%.0f", "%.1f", "%.2f").
std::string cw_format_value(double value, int decimals);
