#include "cw_callsign.h"

#include <algorithm>
#include <cstring>

namespace {

// A call with a few characters glued on is the same call misread; calls
// shorter than this are too common inside other calls to tell.
constexpr size_t kGluedLeast = 4;
constexpr size_t kGluedMost = 4;

bool is_letter(char c)
{
    return c >= 'A' && c <= 'Z';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool has_letter(const char* s, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (is_letter(s[i]))
            return true;
    return false;
}

bool equal_word(const char* s, size_t n, const char* word)
{
    return std::strlen(word) == n && std::memcmp(s, word, n) == 0;
}

// Q is reserved for the Q-codes and never starts a prefix; that alone keeps
// garbles like QRL1A out.
bool prefix_shaped(const char* s, size_t n)
{
    return n >= 1 && n <= 3 && has_letter(s, n) && s[0] != 'Q';
}

// Where the area digits could end: prefix, one or two digits, then the
// suffix. E51ABC reads as E5+1 or E+51; either parse will do.
bool base_shaped(const char* s, size_t n)
{
    size_t suffix = 0;
    while (suffix < n && is_letter(s[n - 1 - suffix]))
        ++suffix;
    if (suffix < 1 || suffix > 4)
        return false;
    const size_t rest = n - suffix;
    size_t digits = 0;
    while (digits < rest && is_digit(s[rest - 1 - digits]))
        ++digits;
    for (size_t area = 1; area <= 2 && area <= digits; ++area)
        if (prefix_shaped(s, rest - area))
            return true;
    return false;
}

// A contest exchange run into the word before it (TU 5NN sent fast decodes
// as TU5NN): shaped like a call, heard far more often than such a call.
bool glued_exchange(const char* s, size_t n)
{
    if (n < 4 || std::memcmp(s + n - 3, "5NN", 3) != 0)
        return false;
    const size_t head = n - 3;
    return equal_word(s, head, "TU") || equal_word(s, head, "R") || equal_word(s, head, "UR") ||
           equal_word(s, head, "ES") || equal_word(s, head, "5NN");
}

// Words sent in CW that a garble could turn into a prefix part (CQ/DL2QZA).
bool cw_word(const char* s, size_t n)
{
    static constexpr const char* kWords[] = {"CQ", "DE", "TU", "UR", "ES", "RST", "TEST", "BK", "KN", "SK", "NR"};
    for (const char* w : kWords)
        if (equal_word(s, n, w))
            return true;
    return false;
}

// VE3, F, KH6, 3DA0, EA8: the country part before or after a call.
bool designator_shaped(const char* s, size_t n)
{
    return n >= 1 && n <= 4 && has_letter(s, n) && s[0] != 'Q' && !cw_word(s, n);
}

bool portable_shaped(const char* s, size_t n)
{
    if (n == 1 && is_digit(s[0]))
        return true;
    static constexpr const char* kPortable[] = {"P", "M", "MM", "AM", "QRP", "A"};
    for (const char* w : kPortable)
        if (equal_word(s, n, w))
            return true;
    return designator_shaped(s, n);
}

struct CallParts {
    size_t start[3];
    size_t length[3];
    size_t count;
    size_t base;  // index of the part shaped like a call
};

bool split_call(const char* word, size_t len, CallParts* parts)
{
    if (word == nullptr || len < 3 || len > kCWCallsignMaxLength)
        return false;
    for (size_t i = 0; i < len; ++i)
        if (!is_letter(word[i]) && !is_digit(word[i]) && word[i] != '/')
            return false;
    parts->count = 0;
    size_t from = 0;
    for (size_t i = 0; i <= len; ++i) {
        if (i < len && word[i] != '/')
            continue;
        if (i == from || parts->count == 3)
            return false;
        parts->start[parts->count] = from;
        parts->length[parts->count] = i - from;
        ++parts->count;
        from = i + 1;
    }
    size_t bases = 0;
    for (size_t p = 0; p < parts->count; ++p) {
        if (base_shaped(word + parts->start[p], parts->length[p])) {
            parts->base = p;
            ++bases;
        }
    }
    // Two call-shaped parts are two calls run together, not one station.
    if (bases != 1)
        return false;
    if (glued_exchange(word + parts->start[parts->base], parts->length[parts->base]))
        return false;
    for (size_t p = 0; p < parts->count; ++p) {
        const char* s = word + parts->start[p];
        const size_t n = parts->length[p];
        if (p < parts->base && !designator_shaped(s, n))
            return false;
        if (p > parts->base && !portable_shaped(s, n))
            return false;
    }
    // At most one part on each side: PREFIX/CALL/PORTABLE.
    return parts->base <= 1 && parts->count - parts->base <= 2;
}

// Letters, digits and '/': the characters of a call. Two characters are one
// misread character when their codes run together make its code.
const char* morse_code(char c)
{
    static constexpr const char* kLetters[26] = {".-",   "-...", "-.-.", "-..",  ".",   "..-.", "--.",  "....", "..",
                                                 ".---", "-.-",  ".-..", "--",   "-.",  "---",  ".--.", "--.-", ".-.",
                                                 "...",  "-",    "..-",  "...-", ".--", "-..-", "-.--", "--.."};
    static constexpr const char* kDigits[10] = {"-----", ".----", "..---", "...--", "....-",
                                                ".....", "-....", "--...", "---..", "----."};
    if (is_letter(c))
        return kLetters[c - 'A'];
    if (is_digit(c))
        return kDigits[c - '0'];
    if (c == '/')
        return "-..-.";
    return nullptr;
}

bool codes_join(char whole, char first, char second)
{
    const char* w = morse_code(whole);
    const char* a = morse_code(first);
    const char* b = morse_code(second);
    if (w == nullptr || a == nullptr || b == nullptr)
        return false;
    const size_t na = std::strlen(a);
    return std::strlen(w) == na + std::strlen(b) && std::strncmp(w, a, na) == 0 && std::strcmp(w + na, b) == 0;
}

bool one_substitution(const char* a, const char* b, size_t n)
{
    size_t differ = 0;
    for (size_t i = 0; i < n; ++i)
        differ += a[i] != b[i];
    return differ == 1;
}

// `longer` has one character more than `shorter`: either one inserted, or
// one character of `shorter` split into two.
bool one_more(const char* shorter, size_t n, const char* longer)
{
    size_t same = 0;
    while (same < n && shorter[same] == longer[same])
        ++same;
    if (std::strcmp(shorter + same, longer + same + 1) == 0)
        return true;
    return same < n && codes_join(shorter[same], longer[same], longer[same + 1]) &&
           std::strcmp(shorter + same + 1, longer + same + 2) == 0;
}

bool same_base(const char* a, size_t na, const char* b, size_t nb)
{
    CallParts pa{};
    CallParts pb{};
    if (!split_call(a, na, &pa) || !split_call(b, nb, &pb) || (pa.count == 1 && pb.count == 1))
        return false;
    return pa.length[pa.base] == pb.length[pb.base] &&
           std::memcmp(a + pa.start[pa.base], b + pb.start[pb.base], pa.length[pa.base]) == 0;
}

}  // namespace

int32_t cw_callsign_check(const char* word, size_t len)
{
    CallParts parts{};
    return split_call(word, len, &parts) ? 1 : 0;
}

int32_t cw_callsign_similar(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr || std::strcmp(a, b) == 0)
        return 0;
    const size_t na = std::strlen(a);
    const size_t nb = std::strlen(b);
    if (na == nb && one_substitution(a, b, na))
        return 1;
    if (na + 1 == nb && one_more(a, na, b))
        return 1;
    if (nb + 1 == na && one_more(b, nb, a))
        return 1;
    if (same_base(a, na, b, nb))
        return 1;
    // A word gap the decoder missed glues a letter or two onto a call
    // ("CKZ39ZE", "DL2QZAE"): the longer one holds the shorter whole.
    const char* longer = na > nb ? a : b;
    const char* shorter = na > nb ? b : a;
    const size_t ns = std::min(na, nb);
    return ns >= kGluedLeast && std::max(na, nb) <= ns + kGluedMost && std::strstr(longer, shorter) != nullptr ? 1 : 0;
}
