#include "cw_word_pick.h"

#include "cw_field_strings.h"

#include <cmath>
#include <string_view>

namespace {

constexpr std::u16string_view kCWWordDelimiters = u" \t\r\n.,;:!?\"'`()[]{}<>";
constexpr std::string_view kCWCallsignCharacters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/";

bool cw_is_high_surrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool cw_is_low_surrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Lone surrogates become U+FFFD, which the cleaning drops anyway.
std::string cw_utf8_from_utf16(const std::u16string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (cw_is_high_surrogate(text[i]) && i + 1 < text.size() && cw_is_low_surrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cw_is_high_surrogate(text[i]) || cw_is_low_surrogate(text[i])) {
            c = 0xFFFD;
        }
        cw_append_utf8(out, c);
    }
    return out;
}

bool cw_is_repeated_pick(double eventTimestamp, double lastTimestamp)
{
    return eventTimestamp > 0 && std::fabs(eventTimestamp - lastTimestamp) < kCWPickRepeatInterval;
}

}  // namespace

bool cw_is_word_delimiter(char16_t c)
{
    return kCWWordDelimiters.find(c) != std::u16string_view::npos;
}

std::u16string cw_word_at_index(const std::u16string& text, size_t index)
{
    if (text.empty())
        return {};
    size_t i = index < text.size() ? index : text.size() - 1;
    if (i > 0 && cw_is_word_delimiter(text[i]) && !cw_is_word_delimiter(text[i - 1]))
        --i;
    if (cw_is_word_delimiter(text[i]))
        return {};
    size_t start = i;
    while (start > 0 && !cw_is_word_delimiter(text[start - 1]))
        --start;
    size_t end = i + 1;
    while (end < text.size() && !cw_is_word_delimiter(text[end]))
        ++end;
    return text.substr(start, end - start);
}

std::string cw_cleaned_pick_string(const std::u16string& word)
{
    std::string cleaned;
    for (const char c : cw_normalized_upper_field_string(cw_utf8_from_utf16(word))) {
        if (kCWCallsignCharacters.find(c) != std::string_view::npos)
            cleaned += c;
    }
    return cleaned;
}

CW_DECODE_PICK cw_decode_pick(const CW_DECODE_PICK_INPUT& input)
{
    CW_DECODE_PICK pick = {input.lastTimestamp, kCWPickTargetNone, {}, input.target, kCWPickTargetNone};
    if (cw_is_repeated_pick(input.eventTimestamp, input.lastTimestamp))
        return pick;
    pick.lastTimestamp = input.eventTimestamp;
    pick.text = cw_cleaned_pick_string(input.word);
    if (pick.text.empty())
        return pick;
    const bool toName = input.target == kCWPickTargetName;
    pick.fillField = toName ? kCWPickTargetName : kCWPickTargetCall;
    pick.target = toName ? kCWPickTargetCall : kCWPickTargetName;
    pick.focusField = pick.target;
    return pick;
}
