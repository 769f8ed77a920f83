#include "cw_rx_text_assembly.h"

#include "cw_rx_morse_table.h"
#include "cw_limits.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr size_t kMaxTextChars = kCwRxTextLength - 1;
constexpr size_t kMaxPattern = kCwRxPatternLength - 1;
constexpr int32_t kMinHistory = 24;
constexpr double kGlitchDots = 0.38;

enum { kDot = 0, kDash = 1, kElementGap = 1, kLetterGap = 2, kWordGap = 3 };

struct CANDIDATE {
    double total;
    int w;
    int t;
};

bool has_level_swing(const CW_RX* rx)
{
    const float* h = rx->levelHistory;
    const auto [lo, hi] = std::minmax_element(h, h + rx->levelHistoryCount);
    return *hi - *lo >= 0.1f;
}

void split_segments(const CW_RX* rx, double threshold, CW_RX_SEGMENTS* out)
{
    out->count = 0;
    const int32_t n = rx->levelHistoryCount;
    int32_t first = 0;
    bool on = rx->levelHistory[0] >= threshold;
    for (int32_t i = 1; i <= n && out->count < kCwRxMaxSegments; ++i) {
        const bool next = i < n && rx->levelHistory[i] >= threshold;
        if (i < n && next == on)
            continue;
        out->items[out->count++] = CW_RX_SEGMENT{.on = on ? 1 : 0, .first = first, .end = i, .dots = 0.0, .kind = 0};
        first = i;
        on = next;
    }
}

// Each short interior run is absorbed, with the run after it, by the run
// before it. Merging only lengthens runs, so one pass finds what repeated
// searches from the start would.
void merge_glitches(const CW_RX_SEGMENTS& raw, double msPerDot, CW_RX_SEGMENTS* out)
{
    const int32_t n = raw.count;
    out->items[0] = raw.items[0];
    out->count = 1;
    for (int32_t i = 1; i < n;) {
        const CW_RX_SEGMENT& s = raw.items[i];
        const bool interior = i < n - 1;
        const int32_t remaining = out->count + (n - i);
        if (interior && remaining > 2 && (s.end - s.first) * msPerDot < kGlitchDots) {
            out->items[out->count - 1].end = raw.items[i + 1].end;
            i += 2;
            continue;
        }
        out->items[out->count++] = s;
        ++i;
    }
}

// Classifies every run; returns the candidate's total cost, or a negative
// value when the reading is not a candidate.
double score_segments(CW_RX_SEGMENTS* segs, double msPerDot)
{
    double onCost = 0.0;
    double offCost = 0.0;
    int ons = 0;
    int offs = 0;
    int breaks = 0;
    for (int32_t i = 0; i < segs->count; ++i) {
        CW_RX_SEGMENT& s = segs->items[i];
        s.dots = (s.end - s.first) * msPerDot;
        const double d = std::min(std::max(s.dots, 0.05), 16.0);
        const double e1 = (d - 1.0) * (d - 1.0);
        const double e3 = (d - 3.0) * (d - 3.0);
        const double e7 = (d - 7.0) * (d - 7.0);
        if (s.on) {
            s.kind = e3 < e1 ? kDash : kDot;
            onCost += e3 < e1 ? 0.5 * e3 : e1;
            ++ons;
            continue;
        }
        if (e1 <= e3 && e1 <= e7) {
            s.kind = kElementGap;
            offCost += e1;
        } else if (e3 <= e1 && e3 <= e7) {
            s.kind = kLetterGap;
            offCost += 0.7 * e3;
        } else {
            s.kind = kWordGap;
            offCost += 0.45 * e7;
        }
        ++offs;
        breaks += s.kind != kElementGap ? 1 : 0;
    }
    if (ons < 2 || offs < 1 || breaks < 1)
        return -1.0;
    return offCost / offs + onCost / ons;
}

// Earlier speeds, then lower thresholds, win ties.
bool better(const CANDIDATE& c, const CANDIDATE& best)
{
    if (c.total != best.total)
        return c.total < best.total;
    return c.w != best.w ? c.w < best.w : c.t < best.t;
}

// The best (speed, threshold) reading of the history into bestSegments.
CANDIDATE search_candidates(CW_RX* rx, double blockMs)
{
    const CW_RX_CONFIG& c = rx->config;
    const int wLo = c.minWpm < 5.0 ? 5 : static_cast<int>(std::floor(std::min(80.0, c.minWpm)));
    const int wHi = c.maxWpm < 5.0 ? 5 : static_cast<int>(std::ceil(std::min(80.0, c.maxWpm)));
    const bool search = c.autoThreshold != 0;
    const int tFirst = search ? 18 : static_cast<int>(std::lround(cw_limit(c.threshold * 100.0, 0.0, 100.0)));
    const int tLast = search ? 72 : tFirst;
    CANDIDATE best{999.0, 0, 0};
    if (wLo > wHi || !(blockMs > 0.0))
        return best;
    for (int t = tFirst; t <= tLast; t += 6) {
        split_segments(rx, cw_limit(t / 100.0, 0.0, 1.0), &rx->rawSegments);
        if (rx->rawSegments.count < 3)
            continue;
        for (int w = wLo; w <= wHi; ++w) {
            const double msPerDot = blockMs / (1200.0 / w);
            merge_glitches(rx->rawSegments, msPerDot, &rx->segments);
            if (rx->segments.count < 3)
                continue;
            const double total = score_segments(&rx->segments, msPerDot);
            const CANDIDATE candidate{total, w, t};
            if (total >= 0.0 && better(candidate, best)) {
                best = candidate;
                rx->bestSegments.count = rx->segments.count;
                std::copy_n(rx->segments.items, rx->segments.count, rx->bestSegments.items);
            }
        }
    }
    return best;
}

void grade_reading(CW_RX* rx, bool found, double best)
{
    double delta = -0.05;
    if (found)
        delta = best < 0.95 ? 0.14 : best < 1.6 ? 0.08 : best < 3.0 ? 0.035 : -0.035;
    rx->confidence = cw_limit(rx->confidence + delta, 0.0, 1.0);
    const bool bad = rx->confidence < 0.22 && best >= 3.0;
    int32_t grade;
    if (best < 1.35 && rx->confidence >= 0.7)
        grade = 2;
    else if (rx->lockGrade == 2 && bad)
        grade = rx->confidence > 0.4 ? 1 : 0;
    else if (rx->lockGrade == 1 && bad)
        grade = rx->confidence > 0.14 ? 1 : 0;
    else
        grade = bad ? 0 : 1;
    rx->lockGrade = grade;
    rx->status.lock = grade;
}

void append_char(char* text, size_t* length, char c)
{
    if (*length < kMaxTextChars)
        text[(*length)++] = c;
}

size_t rebuild_text(const CW_RX_SEGMENTS& segs, char* text)
{
    char pattern[kCwRxPatternLength];
    size_t patternLength = 0;
    size_t length = 0;
    for (int32_t i = 0; i < segs.count; ++i) {
        const CW_RX_SEGMENT& s = segs.items[i];
        if (s.on) {
            if (patternLength < kMaxPattern)
                pattern[patternLength++] = s.kind == kDash ? '-' : '.';
            continue;
        }
        if (s.kind != kLetterGap && s.kind != kWordGap)
            continue;
        if (patternLength > 0) {
            pattern[patternLength] = '\0';
            const char c = cw_rx_morse_lookup(pattern);
            append_char(text, &length, c != 0 ? c : '?');
            patternLength = 0;
        }
        if (s.kind == kWordGap && !(length > 0 && text[length - 1] == ' '))
            append_char(text, &length, ' ');
    }
    text[length] = '\0';
    return length;
}

// The same rebuild on consecutive calls; a strong one need not wait.
bool stable_enough(CW_RX* rx, const char* rebuild, bool strong)
{
    if (std::strcmp(rebuild, rx->candidateText) != 0) {
        std::strcpy(rx->candidateText, rebuild);
        rx->candidateRepeats = 1;
    } else if (rx->candidateRepeats < kCwRxCounterCeiling) {
        ++rx->candidateRepeats;
    }
    return strong || rx->candidateRepeats >= 2;
}

// Where the rebuild goes on from the text emitted last. Once the history
// slides, its oldest character is cut at a different point on every call
// and reads differently, so the rebuild is also matched without its first
// character; the longer overlap wins. 0 when neither overlaps.
size_t continuation(const char* lastText, const char* rebuild)
{
    const size_t whole = cw_rx_overlap_suffix_prefix(lastText, rebuild);
    if (rebuild[0] == '\0')
        return whole;
    const size_t headless = cw_rx_overlap_suffix_prefix(lastText, rebuild + 1);
    return headless > whole ? headless + 1 : whole;
}

}  // namespace

size_t cw_rx_overlap_suffix_prefix(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr)
        return 0;
    const size_t nb = std::min(std::strlen(b), kMaxTextChars);
    if (nb == 0)
        return 0;
    int32_t fail[kMaxTextChars];
    fail[0] = 0;
    for (size_t i = 1; i < nb; ++i) {
        int32_t k = fail[i - 1];
        while (k > 0 && b[i] != b[k])
            k = fail[k - 1];
        fail[i] = b[i] == b[k] ? k + 1 : k;
    }
    size_t j = 0;
    for (const char* p = a; *p != '\0'; ++p) {
        if (j == nb)
            j = static_cast<size_t>(fail[j - 1]);
        while (j > 0 && *p != b[j])
            j = static_cast<size_t>(fail[j - 1]);
        if (*p == b[j])
            ++j;
    }
    return j;
}

size_t cw_rx_emit_rebuild(CW_RX* rx, const char* rebuild, bool strong, char* out, size_t capacity)
{
    out[0] = '\0';
    const size_t lastLength = std::strlen(rx->lastText);
    size_t start = 0;
    bool space = false;
    if (lastLength > 0 && std::strncmp(rebuild, rx->lastText, lastLength) == 0) {
        start = lastLength;
    } else if (lastLength > 0) {
        start = continuation(rx->lastText, rebuild);
        if (start == 0 && !strong && rx->candidateRepeats < 3) {
            std::strcpy(rx->lastText, rebuild);
            return 0;
        }
        space = start == 0;
    }
    size_t written = 0;
    if (space && capacity >= 2)
        out[written++] = ' ';
    const size_t textStart = written;
    for (const char* p = rebuild + start; *p != '\0' && written + 1 < capacity; ++p)
        out[written++] = *p;
    out[written] = '\0';
    const size_t emittedEnd = start + (written - textStart);
    std::memmove(rx->lastText, rebuild, emittedEnd);
    rx->lastText[emittedEnd] = '\0';
    return written;
}

size_t cw_rx_history_text(CW_RX* rx, double blockMs, char* out, size_t capacity)
{
    out[0] = '\0';
    if (rx->levelHistoryCount < kMinHistory || !has_level_swing(rx))
        return 0;
    const CANDIDATE best = search_candidates(rx, blockMs);
    const bool found = best.w > 0;
    grade_reading(rx, found, best.total);
    if (found && best.total < 3.0) {
        rx->dotMs = 1200.0 / best.w;
        rx->status.wpm = best.w;
    }
    if (!found || best.total >= 2.65) {
        rx->candidateText[0] = '\0';
        rx->candidateRepeats = 0;
        return 0;
    }
    if (rebuild_text(rx->bestSegments, rx->rebuild) == 0)
        return 0;
    const bool strong = best.total < 1.55 || (best.total < 1.95 && rx->lockGrade == 2);
    if (!strong && rx->lockGrade == 0)
        return 0;
    if (!stable_enough(rx, rx->rebuild, strong))
        return 0;
    return cw_rx_emit_rebuild(rx, rx->rebuild, strong, out, capacity);
}
