#include "cw_text_values.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

size_t skip_blanks(const std::string& text, size_t i)
{
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    return i;
}

bool is_digit(const std::string& text, size_t i)
{
    return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
}

// Length of the leading [sign] digits [. digits] [e [sign] digits] number
// starting at i, or 0 when there is none. Words such as "nan" and "inf"
// are never numbers here.
size_t number_length(const std::string& text, size_t i)
{
    size_t j = i;
    if (j < text.size() && (text[j] == '+' || text[j] == '-'))
        ++j;
    size_t digits = 0;
    while (is_digit(text, j))
        ++j, ++digits;
    if (j < text.size() && text[j] == '.') {
        ++j;
        while (is_digit(text, j))
            ++j, ++digits;
    }
    if (digits == 0)
        return 0;
    if (j < text.size() && (text[j] == 'e' || text[j] == 'E')) {
        size_t k = j + 1;
        if (k < text.size() && (text[k] == '+' || text[k] == '-'))
            ++k;
        if (is_digit(text, k)) {
            while (is_digit(text, k))
                ++k;
            j = k;
        }
    }
    return j - i;
}

}  // namespace

double cw_text_double_value(const std::string& text)
{
    const size_t start = skip_blanks(text, 0);
    const size_t length = number_length(text, start);
    if (length == 0)
        return 0.0;
    const double value = std::strtod(text.substr(start, length).c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;  // "1e999" overflows to inf
}

long long cw_text_integer_value(const std::string& text)
{
    const double value = cw_text_double_value(text);
    if (value >= 9.2e18)
        return 9200000000000000000LL;
    if (value <= -9.2e18)
        return -9200000000000000000LL;
    return static_cast<long long>(value);
}

bool cw_text_bool_value(const std::string& text)
{
    size_t i = skip_blanks(text, 0);
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    while (i < text.size() && text[i] == '0')
        ++i;
    if (i >= text.size())
        return false;
    const char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

double cw_clamp_value(double value, double min, double max)
{
    if (!(value >= min))  // also NaN
        return min;
    return value < max ? value : max;
}

std::string cw_format_value(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}
