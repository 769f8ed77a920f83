#include "cw_field_strings.h"

namespace {

bool cw_is_continuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// Lower-case ranges whose capitals sit at a fixed distance below them.
struct CW_CASE_RANGE {
    char32_t first;
    char32_t last;
    char32_t distance;
};

constexpr CW_CASE_RANGE kCWShiftedRanges[] = {
    {U'a', U'z', 0x20},     {0x00E0, 0x00FE, 0x20},  // Latin-1 letters (the division sign is excluded below)
    {0x03B1, 0x03C9, 0x20},                          // Greek
    {0x0430, 0x044F, 0x20},                          // Cyrillic
    {0x0450, 0x045F, 0x50},
};

// Blocks where capital and small letter alternate (capital first).
bool cw_is_alternating_lower(char32_t c)
{
    if (c >= 0x0100 && c <= 0x017F && c != 0x0131 && c != 0x0138 && c != 0x0149 && c != 0x017F) {
        const bool oddFirstBlock = c >= 0x0139 && c <= 0x0148;
        const bool oddLastBlock = c >= 0x0179 && c <= 0x017E;
        return (oddFirstBlock || oddLastBlock) ? (c % 2 == 0) : (c % 2 == 1);
    }
    const bool cyrillicPairs = (c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF);
    return cyrillicPairs && c % 2 == 1;
}

char32_t cw_upper_simple(char32_t c)
{
    if (c == 0x00F7)
        return c;
    if (c == 0x00FF)
        return 0x0178;
    if (c == 0x03C2)
        return 0x03A3;
    for (const CW_CASE_RANGE& range : kCWShiftedRanges) {
        if (c >= range.first && c <= range.last)
            return c - range.distance;
    }
    if (cw_is_alternating_lower(c))
        return c - 1;
    return c;
}

}  // namespace

bool cw_is_space_code_point(char32_t c)
{
    if ((c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680)
        return true;
    if (c >= 0x2000 && c <= 0x200A)
        return true;
    return c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

char32_t cw_utf8_code_point_at(const std::string& text, size_t pos, size_t* length)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    size_t count = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    char32_t c = count == 1 ? lead : count == 2 ? (lead & 0x1F) : count == 3 ? (lead & 0x0F) : (lead & 0x07);
    if (count == 0 || pos + count > text.size())
        count = 0;
    for (size_t i = 1; i < count; ++i) {
        const auto b = static_cast<unsigned char>(text[pos + i]);
        if (!cw_is_continuation(b)) {
            count = 0;
            break;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (count == 0) {
        *length = 1;
        return lead;
    }
    *length = count;
    return c;
}

void cw_append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string cw_upper_code_point(char32_t c)
{
    if (c == 0x00DF)
        return "SS";
    std::string out;
    cw_append_utf8(out, cw_upper_simple(c));
    return out;
}

std::string cw_upper_string(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        size_t length = 0;
        const char32_t c = cw_utf8_code_point_at(text, pos, &length);
        const bool invalid = length == 1 && c >= 0x80;
        if (invalid)
            out += text[pos];
        else
            out += cw_upper_code_point(c);
        pos += length;
    }
    return out;
}

std::string cw_trimmed_string(const std::string& text)
{
    size_t begin = 0;
    size_t length = 0;
    while (begin < text.size() && cw_is_space_code_point(cw_utf8_code_point_at(text, begin, &length)))
        begin += length;
    size_t end = begin;
    for (size_t pos = begin; pos < text.size(); pos += length) {
        if (!cw_is_space_code_point(cw_utf8_code_point_at(text, pos, &length)))
            end = pos + length;
    }
    return text.substr(begin, end - begin);
}

std::string cw_normalized_upper_field_string(const std::string& text)
{
    return cw_upper_string(cw_trimmed_string(text));
}
