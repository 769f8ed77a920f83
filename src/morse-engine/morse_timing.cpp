#include "morse_timing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <string>

namespace {

constexpr size_t kMaxSymbol = 16;       // longer symbols all read as '?'
constexpr size_t kMaxNearMissSymbol = 7;
constexpr size_t kMaxNearMissCode = 15;
constexpr int kRecentMarks = 24;
constexpr int kRecentGaps = 16;
constexpr int kCostElements = 16;
// Runs shorter than this part of a dot are blips (noise, a crash) or
// dropouts (a fade inside an element), never elements or gaps.
constexpr float kGlitchDots = 0.35f;
// Dash lengths tried, in dots: a window too long for the speed shortens
// dots far more than dashes.
constexpr float kDashRatios[] = {2.4f, 2.8f, 3.2f, 3.6f, 4.0f, 4.6f, 5.4f, 6.4f};
constexpr float kDotStep = 0.02f;  // 2% steps of the dot
constexpr float kMarkCap = 0.16f;  // (ln 1.5)^2: a mark further off counts no more
constexpr float kKeepDot = 0.02f;  // weight of the dot known so far
// Letter and word gaps closer than this ratio are one class; three long
// gaps all on the word side re-anchor the letter gap (Farnsworth), the
// word gap then at the textbook 7:3.
constexpr float kMinWordRatio = 1.7f;
constexpr float kTextbookWordRatio = 7.0f / 3.0f;
constexpr int kGapsToRestretch = 3;
// Gaps longer than this many word gaps are pauses, not spacing.
constexpr float kLongestWordGaps = 2.5f;
// The median gap must move this far from the unit to mean a new speed.
constexpr float kSpeedChangeRatio = 1.6f;
constexpr int kSpeedGaps = 9;  // the median of this many
constexpr float kCostWithoutElements = 10.0f;
// How long the level of the marks is remembered: 600 ms, or ten units at
// slow speeds.
constexpr float kPeakMemoryMs = 600.0f;
constexpr float kPeakMemoryUnits = 10.0f;
// The first mark of an over reaches at least this part of its level.
constexpr float kStrongMark = 0.5f;
// Marks below this part of the level of the marks around them are noise
// when they follow a long gap, and below kFaintMark anywhere.
constexpr float kWeakMark = 0.6f;
constexpr float kFaintMark = 0.25f;
constexpr float kLetterBoundaryUnits = 2.0f;
// Gap classes are learned only once the dot is known from this many marks.
constexpr int kMarksBeforeGaps = 6;
// Marks held at the start of an over before its first character is read,
// and the room for its runs.
constexpr int kMarksToLearn = 12;
constexpr int kHeldRuns = 4 * kMarksToLearn;
// A pause this long (in word gaps, and at least kPauseMs) ends an over.
constexpr float kPauseWordGaps = 3.0f;
constexpr float kPauseMs = 2000.0f;

// Edit distance between a and b, capped at 2.
int capped_edit_distance(const std::string& a, const std::string& b)
{
    const size_t la = a.size();
    const size_t lb = b.size();
    if (lb > kMaxNearMissCode || (la > lb ? la - lb : lb - la) > 1)
        return 2;
    std::array<int, kMaxNearMissCode + 1> previous{};
    std::array<int, kMaxNearMissCode + 1> current{};
    for (size_t j = 0; j <= lb; ++j)
        previous[j] = static_cast<int>(j);
    for (size_t i = 1; i <= la; ++i) {
        current[0] = static_cast<int>(i);
        int rowMin = current[0];
        for (size_t j = 1; j <= lb; ++j) {
            const int substitution = previous[j - 1] + (a[i - 1] != b[j - 1] ? 1 : 0);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
            rowMin = std::min(rowMin, current[j]);
        }
        if (rowMin >= 2)
            return 2;
        previous = current;
    }
    return std::min(previous[lb], 2);
}

bool is_letter_or_digit(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// A small ring of recent values.
template <int N>
struct Recent {
    std::array<float, N> values{};
    int count = 0;
    int next = 0;

    void push(float v)
    {
        values[static_cast<size_t>(next)] = v;
        next = (next + 1) % N;
        count = std::min(count + 1, N);
    }
};

// Two-class split of positive values in the log domain, started from the
// extremes or from the given centres; false when the values do not fall
// into two classes of at least minMembers values each.
template <int N>
bool split_two(const Recent<N>& r, bool fromExtremes, int minMembers, float* low, float* high)
{
    if (r.count < 2)
        return false;
    const auto first = r.values.begin();
    const auto last = first + r.count;
    double lo = std::log(std::max(fromExtremes ? *std::min_element(first, last) : *low, 1e-3f));
    double hi = std::log(std::max(fromExtremes ? *std::max_element(first, last) : *high, 1e-3f));
    for (int iteration = 0; iteration < 6; ++iteration) {
        const double cut = 0.5 * (lo + hi);
        double sumLo = 0.0;
        double sumHi = 0.0;
        int nLo = 0;
        int nHi = 0;
        for (auto it = first; it != last; ++it) {
            const double v = std::log(std::max(*it, 1e-3f));
            if (v < cut) {
                sumLo += v;
                ++nLo;
            } else {
                sumHi += v;
                ++nHi;
            }
        }
        if (nLo < minMembers || nHi < minMembers)
            return false;
        lo = sumLo / nLo;
        hi = sumHi / nHi;
    }
    *low = static_cast<float>(std::exp(lo));
    *high = static_cast<float>(std::exp(hi));
    return true;
}

template <int N>
float mean_of(const Recent<N>& r)
{
    double sum = 0.0;
    for (int i = 0; i < r.count; ++i)
        sum += std::log(std::max(r.values[static_cast<size_t>(i)], 1e-3f));
    return r.count > 0 ? static_cast<float>(std::exp(sum / r.count)) : 0.0f;
}

}  // namespace

struct MORSE_TIMING {
    float minDot = 15.0f;
    float maxDot = 150.0f;
    float dot = 60.0f;
    float dash = 180.0f;
    float elementGap = 60.0f;     // ms
    float letterGapUnits = 3.0f;
    float wordGapUnits = 7.0f;
    Recent<kRecentMarks> marks;     // ms
    Recent<kRecentGaps> longGaps;   // units
    Recent<kSpeedGaps> rawGaps;     // ms, as the slicer gave them
    Recent<kCostElements> errors;   // squared timing errors in units
    float mark = 0.0f;  // key-down time not yet classified
    float gap = 0.0f;   // key-up time since the last mark
    std::string symbol;
    bool spaceDue = false;
    int32_t elements = 0;
    float peak = 0.0f;  // level of the recent marks, in noise floors
    // The start of the first over is held until its marks show the speed,
    // then read with classes learned from it.
    bool learning = true;
    int heldMarks = 0;
    std::array<KEYING_RUN, kHeldRuns> held{};
    int heldCount = 0;
};

namespace {

// The sender's dot: received marks come out shorter and gaps longer by the
// same amount, so their mean is the true length.
float unit(const MORSE_TIMING& t)
{
    return 0.5f * (t.dot + t.elementGap);
}

// Gaps inside a character are about one unit, between characters three or
// (Farnsworth) more: two units parts them for any sender.
float letter_boundary(const MORSE_TIMING& t)
{
    return kLetterBoundaryUnits * unit(t);
}

float word_boundary(const MORSE_TIMING& t)
{
    return std::sqrt(t.letterGapUnits * t.wordGapUnits) * unit(t);
}

// Keying shape and the threshold shorten received marks by a few
// milliseconds, which matters at the top of the range.
constexpr float kShortestDot = 0.7f;

// Silence that ends an over.
float pause_ms(const MORSE_TIMING& t)
{
    return std::max(kPauseMs, kPauseWordGaps * t.wordGapUnits * unit(t));
}

void keep_dot_in_range(MORSE_TIMING* t)
{
    const float ratio = std::clamp(t->dash / t->dot, 2.5f, 4.5f);
    t->dot = std::clamp(t->dot, kShortestDot * t->minDot, t->maxDot);
    t->dash = t->dot * ratio;
}

// Re-learns dot and dash from the recent marks: the dot length and dash
// ratio under which the marks lie closest (in the log) to either class,
// each mark's part capped so that a blip or two merged elements cannot pull
// the classes, and a little preference for the dot known so far so that a
// stretch of dots alone is not read as dashes of a slower sender.
void learn_marks(MORSE_TIMING* t)
{
    if (t->marks.count < 4)
        return;
    std::array<float, kRecentMarks> logs{};
    for (int i = 0; i < t->marks.count; ++i)
        logs[static_cast<size_t>(i)] = std::log(std::max(t->marks.values[static_cast<size_t>(i)], 1.0f));
    const float current = std::log(t->dot);
    float bestCost = 1e30f;
    float bestDot = current;
    float bestRatio = std::log(t->dash / t->dot);
    for (float d = std::log(kShortestDot * t->minDot); d <= std::log(t->maxDot); d += kDotStep) {
        for (float ratio : kDashRatios) {
            const float r = std::log(ratio);
            float cost = kKeepDot * static_cast<float>(t->marks.count) * (d - current) * (d - current);
            for (int i = 0; i < t->marks.count; ++i) {
                const float v = logs[static_cast<size_t>(i)];
                cost += std::min(kMarkCap, std::min((v - d) * (v - d), (v - d - r) * (v - d - r)));
            }
            if (cost < bestCost) {
                bestCost = cost;
                bestDot = d;
                bestRatio = r;
            }
        }
    }
    // The class means of the marks that fit, the fit's own values otherwise.
    float sumDot = 0.0f;
    float sumDash = 0.0f;
    int nDot = 0;
    int nDash = 0;
    for (int i = 0; i < t->marks.count; ++i) {
        const float v = logs[static_cast<size_t>(i)];
        const float toDot = (v - bestDot) * (v - bestDot);
        const float toDash = (v - bestDot - bestRatio) * (v - bestDot - bestRatio);
        if (toDot < toDash && toDot < kMarkCap) {
            sumDot += v;
            ++nDot;
        } else if (toDash <= toDot && toDash < kMarkCap) {
            sumDash += v;
            ++nDash;
        }
    }
    t->dot = std::exp(nDot > 0 ? sumDot / static_cast<float>(nDot) : bestDot);
    t->dash = std::exp(nDash > 0 ? sumDash / static_cast<float>(nDash) : bestDot + bestRatio);
    keep_dot_in_range(t);
}

// Re-learns letter and word gaps from the recent long gaps, starting from
// the classes known so far, else from the extremes.
// Long gaps that all read as word gaps are letter gaps stretched by
// Farnsworth spacing: nobody sends only one-letter words.
void learn_gaps(MORSE_TIMING* t)
{
    if (t->longGaps.count < 2)
        return;
    float low = t->letterGapUnits;
    float high = t->wordGapUnits;
    bool split = split_two(t->longGaps, false, 1, &low, &high) && high / low >= kMinWordRatio;
    if (!split) {
        low = t->letterGapUnits;
        high = t->wordGapUnits;
        split = split_two(t->longGaps, true, 1, &low, &high) && high / low >= kMinWordRatio;
    }
    if (split) {
        t->letterGapUnits = std::clamp(low, 2.5f, 15.0f);
        t->wordGapUnits = std::max(high, t->letterGapUnits * kMinWordRatio);
        return;
    }
    const float m = mean_of(t->longGaps);
    if (t->longGaps.count >= kGapsToRestretch && m > std::sqrt(t->letterGapUnits * t->wordGapUnits)) {
        t->letterGapUnits = std::clamp(m, 2.5f, 15.0f);
        t->wordGapUnits = kTextbookWordRatio * t->letterGapUnits;
    }
}

void add_error(MORSE_TIMING* t, float ms, float centre)
{
    const float e = (ms - centre) / unit(*t);
    t->errors.push(e * e);
}

void emit_character(MORSE_TIMING* t, const MorseCodeTable& table, std::vector<uint8_t>* text)
{
    if (t->symbol.empty())
        return;
    if (text != nullptr)
        text->push_back(static_cast<uint8_t>(morse_timing_character(table, t->symbol)));
    t->symbol.clear();
    t->spaceDue = true;
}

void emit_space(MORSE_TIMING* t, std::vector<uint8_t>* text)
{
    if (!t->spaceDue)
        return;
    if (text != nullptr)
        text->push_back(' ');
    t->spaceDue = false;
}

void finish_mark(MORSE_TIMING* t)
{
    if (t->mark <= 0.0f)
        return;
    const float m = t->mark;
    t->mark = 0.0f;
    const bool dash = m > std::sqrt(t->dot * t->dash);
    add_error(t, m, dash ? t->dash : t->dot);
    if (t->symbol.size() < kMaxSymbol)
        t->symbol.push_back(dash ? '1' : '0');
    ++t->elements;
    t->marks.push(m);
    learn_marks(t);
}

// A gap has ended with a new mark: acts on it if the idle calls have not
// yet, and learns from it.
void finish_gap(MORSE_TIMING* t, float g, const MorseCodeTable& table, std::vector<uint8_t>* text)
{
    if (g < letter_boundary(*t)) {
        add_error(t, g, t->elementGap);
        t->elementGap = std::clamp(t->elementGap + 0.15f * (g - t->elementGap), std::max(0.5f * t->dot, t->minDot),
                                   2.0f * t->dot);
        return;
    }
    emit_character(t, table, text);
    if (g >= word_boundary(*t))
        emit_space(t, text);
    // Pauses far longer than a word gap say nothing about the sender's spacing.
    const float units = g / unit(*t);
    if (t->marks.count >= kMarksBeforeGaps && units < kLongestWordGaps * t->wordGapUnits && g < pause_ms(*t)) {
        t->longGaps.push(units);
        learn_gaps(t);
    }
}

}  // namespace

MORSE_TIMING* morse_timing_create(float initialDotMs, float minDotMs, float maxDotMs)
{
    auto* t = new (std::nothrow) MORSE_TIMING;
    if (t == nullptr)
        return nullptr;
    t->symbol.reserve(kMaxSymbol);
    morse_timing_set_range(t, minDotMs, maxDotMs);
    if (initialDotMs > 0.0f && std::isfinite(initialDotMs))
        t->dot = initialDotMs;
    t->dash = 3.0f * t->dot;
    keep_dot_in_range(t);
    t->elementGap = t->dot;
    return t;
}

void morse_timing_set_range(MORSE_TIMING* t, float minDotMs, float maxDotMs)
{
    if (t == nullptr || !std::isfinite(minDotMs) || !std::isfinite(maxDotMs))
        return;
    t->minDot = std::clamp(std::min(minDotMs, maxDotMs), 5.0f, 500.0f);
    t->maxDot = std::clamp(std::max(minDotMs, maxDotMs), t->minDot, 500.0f);
    keep_dot_in_range(t);
}

namespace {

// Most gaps of any text are gaps inside characters, so the median of the
// recent gaps between strong marks is the sender's unit whatever the
// classes say. When it leaves the unit known so far far behind, the sender
// changed speed (or a new one took over): the classes start again from it,
// as merged or split elements would never teach them otherwise.
void follow_speed_change(MORSE_TIMING* t, const KEYING_RUN& run)
{
    if (run.keyDown || run.durationMs < kShortestDot * t->minDot)
        return;  // dropouts say nothing about the speed
    if (run.durationMs > kLetterBoundaryUnits * kSpeedChangeRatio * unit(*t))
        return;  // letter and word gaps at the new speed or the old
    t->rawGaps.push(run.durationMs);
    if (t->rawGaps.count < kSpeedGaps)
        return;
    std::array<float, kSpeedGaps> sorted = t->rawGaps.values;
    std::nth_element(sorted.begin(), sorted.begin() + kSpeedGaps / 2, sorted.end());
    const float median = sorted[kSpeedGaps / 2];
    if (median > unit(*t) / kSpeedChangeRatio && median < unit(*t) * kSpeedChangeRatio)
        return;
    const float ratio = t->dash / t->dot;
    t->dot = median;
    t->dash = ratio * median;
    keep_dot_in_range(t);
    t->elementGap = t->dot;
    t->marks = {};
    t->rawGaps = {};
    t->errors = {};  // the misfit of the old classes says nothing of the new
}

void process_run(MORSE_TIMING* t, const KEYING_RUN& run, const MorseCodeTable& table, std::vector<uint8_t>* text)
{
    const float glitch = kGlitchDots * t->dot;
    follow_speed_change(t, run);
    if (!run.keyDown) {
        t->gap += run.durationMs;
        return;
    }
    // A blip inside a gap: too short, faint beside the marks before it, or,
    // after a long gap, far weaker than they were. Their level is
    // remembered for a fraction of a second only, so marks that sink into a
    // fade still count.
    // A short mark as strong as the sender's is a dot sent faster than the
    // speed known so far.
    const float memoryMs = std::max(kPeakMemoryMs, kPeakMemoryUnits * unit(*t));
    const float remembered = t->peak * std::exp(-(t->gap + t->mark) / memoryMs);
    const bool isolated = t->gap >= letter_boundary(*t);
    const bool shortBlip = run.durationMs < glitch && (run.peak < kStrongMark * remembered || run.durationMs < kGlitchDots * kShortestDot * t->minDot);
    const bool faint = run.peak < kFaintMark * remembered;
    if (shortBlip || faint || (isolated && run.peak < kWeakMark * remembered)) {
        t->gap += run.durationMs;
        return;
    }
    t->peak = remembered + 0.5f * (run.peak - remembered);
    if (t->mark > 0.0f && t->gap < glitch) {
        t->mark += t->gap + run.durationMs;  // a dropout inside an element
        t->gap = 0.0f;
        return;
    }
    finish_mark(t);
    if (t->elements > 0 || !t->symbol.empty())
        finish_gap(t, t->gap, table, text);
    t->mark = run.durationMs;
    t->gap = 0.0f;
}

// Learns the speed from the held marks alone and reads the held runs with
// it. Weak marks before the first strong one are noise that came before
// the over and are read as part of the gap.
void end_learning(MORSE_TIMING* t, const MorseCodeTable& table, std::vector<uint8_t>* text)
{
    t->learning = false;
    // The over's level: the median peak of its held marks, which one noise
    // peak riding on a mark cannot lift.
    std::array<float, kHeldRuns> peaks{};
    int nPeaks = 0;
    for (int i = 0; i < t->heldCount; ++i)
        if (t->held[static_cast<size_t>(i)].keyDown)
            peaks[static_cast<size_t>(nPeaks++)] = t->held[static_cast<size_t>(i)].peak;
    std::nth_element(peaks.begin(), peaks.begin() + nPeaks / 2, peaks.begin() + nPeaks);
    const float level = nPeaks > 0 ? peaks[static_cast<size_t>(nPeaks / 2)] : 0.0f;
    const float shortest = kGlitchDots * kShortestDot * t->minDot;
    bool started = false;
    t->marks = {};
    for (int i = 0; i < t->heldCount; ++i) {
        KEYING_RUN& run = t->held[static_cast<size_t>(i)];
        if (!run.keyDown)
            continue;
        started = started || run.peak >= kStrongMark * level;
        if (!started)
            run.durationMs = 0.0f;
        else if (run.durationMs >= shortest && run.peak >= kStrongMark * level)
            t->marks.push(run.durationMs);  // blips and faded marks would blur the classes
    }
    learn_marks(t);
    t->elementGap = t->dot;
    t->marks = {};
    // The gaps between the held marks show the spacing before any is read.
    const float longGap = kLetterBoundaryUnits * unit(*t);
    t->longGaps = {};
    for (int i = 1; i + 1 < t->heldCount; ++i) {
        const KEYING_RUN& run = t->held[static_cast<size_t>(i)];
        if (!run.keyDown && run.durationMs >= longGap)
            t->longGaps.push(run.durationMs / unit(*t));
    }
    learn_gaps(t);
    t->longGaps = {};
    t->peak = 0.0f;
    for (int i = 0; i < t->heldCount; ++i) {
        const KEYING_RUN& run = t->held[static_cast<size_t>(i)];
        if (run.durationMs > 0.0f)
            process_run(t, run, table, text);
    }
    t->heldCount = 0;
    t->heldMarks = 0;
}

}  // namespace

void morse_timing_push_run(MORSE_TIMING* t, const KEYING_RUN& run, const MorseCodeTable& table,
                           std::vector<uint8_t>* text)
{
    if (t == nullptr || !(run.durationMs > 0.0f))
        return;
    if (!t->learning) {
        process_run(t, run, table, text);
        return;
    }
    if (t->heldCount == 0 && !run.keyDown)
        return;  // the silence before the over
    t->held[static_cast<size_t>(t->heldCount++)] = run;
    if (run.keyDown)
        ++t->heldMarks;
    if (t->heldMarks >= kMarksToLearn || t->heldCount == kHeldRuns)
        end_learning(t, table, text);
}

void morse_timing_idle(MORSE_TIMING* t, float gapMs, const MorseCodeTable& table, std::vector<uint8_t>* text)
{
    if (t == nullptr)
        return;
    const float pause = pause_ms(*t);
    if (t->learning) {
        // A short over ends before its speed is learned: read it as it is.
        if (t->heldCount == 0 || gapMs < pause)
            return;
        end_learning(t, table, text);
    }
    const float total = t->gap + std::max(gapMs, 0.0f);
    if (t->mark > 0.0f && total >= kGlitchDots * t->dot)
        finish_mark(t);
    if (t->mark > 0.0f)
        return;
    if (total >= letter_boundary(*t))
        emit_character(t, table, text);
    if (total >= word_boundary(*t))
        emit_space(t, text);
    // The next over starts a new reading of the cost; the classes stay, as
    // a fade is far more common than a new sender, who is learned on the go.
    if (total >= pause)
        t->errors.count = 0;
}

void morse_timing_clear_symbol(MORSE_TIMING* t)
{
    if (t == nullptr)
        return;
    t->symbol.clear();
    t->mark = 0.0f;
    t->gap = 0.0f;
}

void morse_timing_get_status(const MORSE_TIMING* t, MORSE_TIMING_STATUS* status)
{
    if (status == nullptr)
        return;
    *status = MORSE_TIMING_STATUS{};
    if (t == nullptr)
        return;
    status->dotMs = t->dot;
    status->dashMs = t->dash;
    status->unitMs = unit(*t);
    status->letterGapUnits = t->letterGapUnits;
    status->wordGapUnits = t->wordGapUnits;
    status->elements = t->elements;
    status->markPeak = t->peak;
    if (t->errors.count == 0) {
        status->cost = kCostWithoutElements;
        return;
    }
    float sum = 0.0f;
    for (int i = 0; i < t->errors.count; ++i)
        sum += t->errors.values[static_cast<size_t>(i)];
    status->cost = sum / static_cast<float>(t->errors.count);
}

void morse_timing_destroy(MORSE_TIMING* t)
{
    delete t;
}

char morse_timing_character(const MorseCodeTable& table, const std::string& code)
{
    const auto exact = table.find(code);
    if (exact != table.end())
        return exact->second;
    if (code.size() > kMaxNearMissSymbol || table.empty())
        return '?';
    int bestDistance = 2;
    int sharing = 0;
    char best = '?';
    for (const auto& [entry, character] : table) {
        if (!is_letter_or_digit(character))
            continue;
        const int distance = capped_edit_distance(code, entry);
        if (distance < bestDistance) {
            bestDistance = distance;
            sharing = 1;
            best = character;
        } else if (distance == bestDistance) {
            ++sharing;
        }
    }
    return bestDistance <= 1 && sharing == 1 ? best : '?';
}
