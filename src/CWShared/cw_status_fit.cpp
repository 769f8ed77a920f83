#include "cw_status_fit.h"

#include <cstring>

namespace {

constexpr size_t kMaxGroups = 32;
constexpr size_t kSeparatorChars = 2;

size_t characters(const char* text)
{
    size_t n = 0;
    for (; *text; ++text)
        n += (static_cast<unsigned char>(*text) & 0xC0) != 0x80;
    return n;
}

}  // namespace

size_t cw_status_fit(const CW_STATUS_GROUP* groups, size_t count, size_t maxChars, char* text, size_t capacity)
{
    if (!text || capacity == 0)
        return 0;
    text[0] = '\0';
    if (!groups || count == 0)
        return 0;
    if (count > kMaxGroups)
        count = kMaxGroups;
    bool kept[kMaxGroups];
    size_t width = 0, shown = 0;
    for (size_t i = 0; i < count; ++i) {
        kept[i] = groups[i].text && groups[i].text[0];
        if (kept[i])
            width += characters(groups[i].text) + (shown++ ? kSeparatorChars : 0);
    }
    while (width > maxChars) {
        size_t victim = count;
        for (size_t i = 0; i + 1 < count; ++i)
            if (kept[i] && groups[i].drop > 0 && (victim == count || groups[i].drop >= groups[victim].drop))
                victim = i;
        if (victim == count)
            break;
        kept[victim] = false;
        width -= characters(groups[victim].text) + (--shown ? kSeparatorChars : 0);
    }
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!kept[i])
            continue;
        const size_t need = std::strlen(groups[i].text) + (length ? kSeparatorChars : 0);
        if (length + need >= capacity)
            break;
        if (length)
            std::memcpy(text + length, "  ", kSeparatorChars), length += kSeparatorChars;
        std::memcpy(text + length, groups[i].text, std::strlen(groups[i].text));
        length += std::strlen(groups[i].text);
    }
    text[length] = '\0';
    return length;
}
