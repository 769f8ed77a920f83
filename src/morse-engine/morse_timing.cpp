#include "morse_timing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <string>

namespace {

constexpr size_t kMaxSymbol = 16;  // longer symbols all read as '?'
// A weak word is held at most this many characters or this long, and
// left to the runs when its marks' level moves more than kFadingSpread
// times. A reading of it is at most kLongestReading characters.
constexpr size_t kLongestHeldWord = 24;
constexpr double kLongestHeldMs = 8000.0;
constexpr float kFadingSpread = 2.0f;
constexpr size_t kLongestReading = 128;
constexpr size_t kMaxNearMissSymbol = 7;
constexpr size_t kMaxNearMissCode = 15;
constexpr int kRecentMarks = 24;
constexpr int kRecentGaps = 16;
constexpr int kCostElements = 16;
// Runs shorter than this part of a dot are blips (noise, a crash) or
// dropouts (a fade inside an element), never elements or gaps.
constexpr float kGlitchDots = kMorseTimingGlitchDots;
constexpr float kShortestGlitchDots = 0.2f;
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
constexpr float kSmearedDots = 3.0f;
constexpr float kCostWithoutElements = 10.0f;
// A character whose own gaps show a speed this much faster is read again
// at that speed when every element fits it: a sender who speeds up runs
// his letters together at the old letter gap. Its runs are kept for that.
constexpr float kFasterRatio = 1.5f;
constexpr float kFitLog = 0.47f;  // ln 1.6
constexpr int kMinRereadGaps = 4;
constexpr float kTwoClasses = 1.8f;  // marks this far apart are dots and dashes
constexpr int kSymbolRuns = 2 * static_cast<int>(kMaxSymbol) * 4;
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
// A mark this many noise floors high is no noise, however faint beside
// the marks around it: a deep fade.
constexpr float kClearPeak = 6.0f;
constexpr float kLetterBoundaryUnits = 2.0f;
constexpr float kLetterGapWeight = 0.35f;
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
    float glitchDots = kGlitchDots;
    float minDot = 15.0f;
    float maxDot = 150.0f;
    float dot = 60.0f;
    float dash = 180.0f;
    float elementGap = 60.0f;  // ms
    float letterGapUnits = 3.0f;
    float wordGapUnits = 7.0f;
    Recent<kRecentMarks> marks;    // ms
    Recent<kRecentGaps> longGaps;  // units
    Recent<kSpeedGaps> rawGaps;    // ms, as the slicer gave them
    Recent<kSpeedGaps> rawMarks;   // ms, the marks among them
    Recent<kCostElements> errors;  // squared timing errors in units
    float mark = 0.0f;             // key-down time not yet classified
    float gap = 0.0f;              // key-up time since the last mark
    std::string symbol;
    // The symbol's runs as they came, before dropouts were merged: mark,
    // gap, mark, ... up to the mark in progress.
    std::array<float, kSymbolRuns> symbolRuns{};  // ms
    int symbolRunCount = 0;
    bool spaceDue = false;
    int marksSincePause = 0;  // marks begun since the last pause
    int32_t elements = 0;
    // Level of the recent marks as the envelope gives it, which the marks
    // are judged against (the noise floor may move under them), and in
    // noise floors.
    float level = 0.0f;
    float peak = 0.0f;
    // The start of the first over is held until its marks show the speed,
    // then read with classes learned from it.
    bool learning = true;
    int heldMarks = 0;
    std::array<KEYING_RUN, kHeldRuns> held{};
    std::array<double, kHeldRuns> heldEndMs{};  // on the clock
    int heldCount = 0;
    float learnedSpanMs = 0.0f;
    // Total length of the runs pushed, and the symbol's first mark start
    // and last mark end on it (negative: not known).
    double clockMs = 0.0;
    double symbolStartMs = -1.0;
    double symbolEndMs = -1.0;
    bool afterWordGap = false;  // the symbol began after a word gap or more
    MORSE_TIMING_READER reader = nullptr;
    void* readerContext = nullptr;
    // A weak word is held until it ends, with the span of its marks
    // (start negative: some character's span is not known).
    MORSE_TIMING_WORD_READER wordReader = nullptr;
    void* wordContext = nullptr;
    float holdPeak = 0.0f;
    // Its characters (a fixed array: the classes are tried on copies of the
    // timing, which must not allocate) and the lowest and highest level
    // of the marks as each of them ended.
    std::array<char, kLongestHeldWord + 1> heldText{};
    int heldChars = 0;
    float heldLowest = 0.0f;
    float heldHighest = 0.0f;
    std::string wordText;  // the reader's reading, empty between readings
    double wordStartMs = -1.0;
    double wordEndMs = -1.0;
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

// Letter and word gaps part nearer the word gap: a dot lost in the noise or
// a fade after a letter gap adds two units to it (3 to 5, the boundary at
// 5.2), and a space where none was sent breaks a call sign.
float word_boundary(const MORSE_TIMING& t)
{
    return std::pow(t.letterGapUnits, kLetterGapWeight) * std::pow(t.wordGapUnits, 1.0f - kLetterGapWeight) * unit(t);
}

// Marks shorter than this are blips: noise, a crash.
float blip(const MORSE_TIMING& t)
{
    return t.glitchDots * t.dot;
}

// Gaps shorter than this are dropouts inside an element: a part of the gap
// inside a character as received (an average longer than the dot shortens
// the gaps as much as it lengthens the marks).
float dropout(const MORSE_TIMING& t)
{
    return t.glitchDots * std::min(t.elementGap, t.dot);
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
    // The ratios' costs are summed side by side (each in the order of the
    // marks), which lets them run as one vector.
    constexpr int kRatios = static_cast<int>(std::size(kDashRatios));
    std::array<float, kRatios> logRatios{};
    for (int j = 0; j < kRatios; ++j)
        logRatios[static_cast<size_t>(j)] = std::log(kDashRatios[j]);
    for (float d = std::log(kShortestDot * t->minDot); d <= std::log(t->maxDot); d += kDotStep) {
        std::array<float, kRatios> costs{};
        costs.fill(kKeepDot * static_cast<float>(t->marks.count) * (d - current) * (d - current));
        for (int i = 0; i < t->marks.count; ++i) {
            const float v = logs[static_cast<size_t>(i)];
            const float toDot = (v - d) * (v - d);
            for (int j = 0; j < kRatios; ++j) {
                const float r = logRatios[static_cast<size_t>(j)];
                costs[static_cast<size_t>(j)] += std::min(kMarkCap, std::min(toDot, (v - d - r) * (v - d - r)));
            }
        }
        for (int j = 0; j < kRatios; ++j) {
            if (costs[static_cast<size_t>(j)] < bestCost) {
                bestCost = costs[static_cast<size_t>(j)];
                bestDot = d;
                bestRatio = logRatios[static_cast<size_t>(j)];
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

bool reread_faster(MORSE_TIMING* t, const MorseCodeTable& table, std::vector<uint8_t>* text);

// Forgets the symbol being built: its code, its runs and its span.
void forget_symbol(MORSE_TIMING* t)
{
    t->symbol.clear();
    t->symbolRunCount = 0;
    t->symbolStartMs = -1.0;
}

// Reads the held word again, when its span is known and its marks do not
// fade (a reading that takes one amplitude per character loses faded
// marks): false keeps the runs' reading.
bool read_held(MORSE_TIMING* t)
{
    if (t->wordStartMs < 0.0 || t->heldHighest > kFadingSpread * t->heldLowest)
        return false;
    const MORSE_TIMING_WORD word{.startMs = t->wordStartMs,
                                 .endMs = t->wordEndMs,
                                 .unitMs = unit(*t),
                                 .dashMs = t->dash + unit(*t) - t->dot,
                                 .wordGapMs = word_boundary(*t),
                                 .level = t->level,
                                 .text = t->heldText.data()};
    t->wordText.clear();
    return t->wordReader(t->wordContext, word, &t->wordText) && !t->wordText.empty();
}

void print(const char* from, const char* to, std::vector<uint8_t>* text)
{
    if (text != nullptr)
        text->insert(text->end(), from, to);
}

// Prints the held word, read again as a whole.
void end_word(MORSE_TIMING* t, std::vector<uint8_t>* text)
{
    if (t->heldChars == 0)
        return;
    if (read_held(t))
        print(t->wordText.data(), t->wordText.data() + t->wordText.size(), text);
    else
        print(t->heldText.data(), t->heldText.data() + t->heldChars, text);
    // Kept empty: a copy of the timing then allocates nothing.
    t->wordText.clear();
    t->heldChars = 0;
}

// Prints a character, or holds it with its word when the word is weak. A
// start before 0 says its span is not known.
void put_character(MORSE_TIMING* t, char c, double startMs, double endMs, std::vector<uint8_t>* text)
{
    if (c == ' ') {
        end_word(t, text);
        print(" ", " " + 1, text);
        return;
    }
    if (t->wordReader == nullptr || (t->heldChars == 0 && t->peak >= t->holdPeak)) {
        print(&c, &c + 1, text);
        return;
    }
    if (t->heldChars == static_cast<int>(kLongestHeldWord))
        end_word(t, text);
    if (t->heldChars == 0) {
        t->wordStartMs = startMs;
        t->heldLowest = t->level;
        t->heldHighest = t->level;
    }
    if (startMs < 0.0)
        t->wordStartMs = -1.0;
    t->wordEndMs = endMs;
    t->heldLowest = std::min(t->heldLowest, t->level);
    t->heldHighest = std::max(t->heldHighest, t->level);
    t->heldText[static_cast<size_t>(t->heldChars++)] = c;
    t->heldText[static_cast<size_t>(t->heldChars)] = '\0';
    if (t->wordEndMs - t->wordStartMs > kLongestHeldMs)
        end_word(t, text);
}

void emit_character(MORSE_TIMING* t, const MorseCodeTable& table, std::vector<uint8_t>* text)
{
    if (t->symbol.empty())
        return;
    // One mark shorter than a blip standing alone between word gaps is a
    // crash or a noise burst, however strong: no sender keys a lone E that
    // short.
    if (t->afterWordGap && t->symbolRunCount == 1 && t->symbolRuns[0] < blip(*t)) {
        forget_symbol(t);
        return;
    }
    if (!reread_faster(t, table, text)) {
        std::string code = t->symbol;
        if (t->reader != nullptr && t->symbolStartMs >= 0.0) {
            const MORSE_TIMING_SPAN span{.startMs = t->symbolStartMs,
                                         .endMs = t->symbolEndMs,
                                         .unitMs = unit(*t),
                                         .dashMs = t->dash + unit(*t) - t->dot,
                                         .level = t->level,
                                         .markPeak = t->peak,
                                         .code = t->symbol.c_str()};
            if (!t->reader(t->readerContext, span, &code) || code.empty())
                code = t->symbol;
        }
        put_character(t, morse_timing_character(table, code), t->symbolStartMs, t->symbolEndMs, text);
    }
    forget_symbol(t);
    t->spaceDue = true;
}

void keep_symbol_run(MORSE_TIMING* t, float ms)
{
    if (t->symbolRunCount < kSymbolRuns)
        t->symbolRuns[static_cast<size_t>(t->symbolRunCount++)] = ms;
}

void emit_space(MORSE_TIMING* t, std::vector<uint8_t>* text)
{
    if (!t->spaceDue)
        return;
    put_character(t, ' ', -1.0, -1.0, text);
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
        t->elementGap =
            std::clamp(t->elementGap + 0.15f * (g - t->elementGap), std::max(0.5f * t->dot, t->minDot), 2.0f * t->dot);
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

// Reads the symbol's runs with the classes of `c`, merging dropouts
// shorter than its glitch: the characters its letter gaps complete go to
// *read, the code after the last one to *rest and its first run's index to
// *restStart. The mark in progress goes to *lastMark when that is not null,
// else into the code. With `strict`, false when a character is no known
// code or a mark or gap lies far from its class.
bool split_symbol(const MORSE_TIMING& c, const MORSE_TIMING& t, const MorseCodeTable& table, bool strict,
                  std::string* read, std::string* rest, int* restStart, float* lastMark)
{
    std::string code;
    *restStart = 0;
    float mark = 0.0f;
    for (int i = 0; i < t.symbolRunCount; ++i) {
        const float ms = t.symbolRuns[static_cast<size_t>(i)];
        if (i % 2 == 0 || ms < dropout(c)) {
            mark += ms;
            continue;
        }
        const bool dash = mark > std::sqrt(c.dot * c.dash);
        if (strict && std::fabs(std::log(mark / (dash ? c.dash : c.dot))) > kFitLog)
            return false;
        if (code.size() < kMaxSymbol)
            code.push_back(dash ? '1' : '0');
        mark = 0.0f;
        if (ms < letter_boundary(c)) {
            if (strict && std::fabs(std::log(ms / c.elementGap)) > kFitLog)
                return false;
            continue;
        }
        if (strict && ms < word_boundary(c) && std::fabs(std::log(ms / (c.letterGapUnits * unit(c)))) > kFitLog)
            return false;
        const auto found = table.find(code);
        if (strict && found == table.end())
            return false;
        read->push_back(found != table.end() ? found->second : morse_timing_character(table, code));
        if (ms >= word_boundary(c))
            read->push_back(' ');
        code.clear();
        *restStart = i + 1;
    }
    if (lastMark != nullptr)
        *lastMark = mark;
    else if (mark > 0.0f && code.size() < kMaxSymbol)
        code.push_back(mark > std::sqrt(c.dot * c.dash) ? '1' : '0');
    *rest = code;
    return true;
}

// Puts the re-read symbol in place: its finished characters are printed and
// the rest goes on as the symbol being built.
void apply_split(MORSE_TIMING* t, const std::string& read, const std::string& rest, int restStart,
                 std::vector<uint8_t>* text)
{
    for (char c : read)
        put_character(t, c, -1.0, -1.0, text);
    std::copy(t->symbolRuns.begin() + restStart, t->symbolRuns.begin() + t->symbolRunCount, t->symbolRuns.begin());
    t->symbolRunCount -= restStart;
    t->symbol = rest;
    t->symbolStartMs = -1.0;  // where the rest begins is not kept
    if (!read.empty())
        t->spaceDue = read.back() != ' ';
}

// Adopts dot, dash and element gap of `c`; the marks learned at the old
// speed and the old classes' misfit say nothing of the new.
void adopt_speed(MORSE_TIMING* t, const MORSE_TIMING& c)
{
    t->dot = c.dot;
    t->dash = c.dash;
    t->elementGap = c.elementGap;
    t->marks = {};
    t->rawGaps = {};
    t->rawMarks = {};
    t->errors = {};
}

// The symbol's own gaps inside characters give the new unit
// and its short marks the dot. The new reading counts only when every
// character it makes is a known code: merged noise makes none.
bool reread_faster(MORSE_TIMING* t, const MorseCodeTable& table, std::vector<uint8_t>* text)
{
    std::array<float, kSymbolRuns / 2> gaps{};
    int nGaps = 0;
    for (int i = 1; i < t->symbolRunCount; i += 2)
        gaps[static_cast<size_t>(nGaps++)] = t->symbolRuns[static_cast<size_t>(i)];
    if (nGaps < kMinRereadGaps)
        return false;
    // The lower third: letters run together bring as many letter gaps.
    const int lower = (nGaps - 1) / 3;
    std::nth_element(gaps.begin(), gaps.begin() + lower, gaps.begin() + nGaps);
    const float gap = gaps[static_cast<size_t>(lower)];
    // Its dots are the marks on the short side of the symbol's own marks
    // (an average still set for the old speed lengthens them as much as it
    // shortens the gaps), else those under two gaps.
    float shortest = 1e30f;
    float longest = 0.0f;
    for (int i = 0; i < t->symbolRunCount; i += 2) {
        shortest = std::min(shortest, t->symbolRuns[static_cast<size_t>(i)]);
        longest = std::max(longest, t->symbolRuns[static_cast<size_t>(i)]);
    }
    const float dotLimit =
        std::max(longest > kTwoClasses * shortest ? std::sqrt(shortest * longest) : 0.0f, 2.0f * gap);
    float dotSum = 0.0f;
    int nDots = 0;
    for (int i = 0; i < t->symbolRunCount; i += 2) {
        const float m = t->symbolRuns[static_cast<size_t>(i)];
        if (m < dotLimit) {
            dotSum += m;
            ++nDots;
        }
    }
    MORSE_TIMING trial = *t;
    trial.dot = nDots > 0 ? dotSum / static_cast<float>(nDots) : gap;
    trial.dash = trial.dot * t->dash / t->dot;
    keep_dot_in_range(&trial);
    trial.elementGap = gap;
    if (unit(trial) * kFasterRatio > unit(*t))
        return false;
    std::string read;
    std::string rest;
    int restStart = 0;
    if (!split_symbol(trial, *t, table, true, &read, &rest, &restStart, nullptr) || table.find(rest) == table.end())
        return false;
    adopt_speed(t, trial);
    read.push_back(table.find(rest)->second);
    apply_split(t, read, std::string(), t->symbolRunCount, text);
    return true;
}

}  // namespace

MORSE_TIMING* morse_timing_create(float initialDotMs, float minDotMs, float maxDotMs)
{
    auto* t = new (std::nothrow) MORSE_TIMING;
    if (t == nullptr)
        return nullptr;
    try {
        t->symbol.reserve(kMaxSymbol);
        t->wordText.reserve(kLongestReading);
    } catch (...) {
        delete t;
        return nullptr;
    }
    morse_timing_restart(t, initialDotMs, minDotMs, maxDotMs);
    return t;
}

void morse_timing_restart(MORSE_TIMING* t, float initialDotMs, float minDotMs, float maxDotMs)
{
    if (t == nullptr)
        return;
    // The strings keep their reserved room.
    std::string symbol = std::move(t->symbol);
    std::string wordText = std::move(t->wordText);
    *t = MORSE_TIMING{};
    symbol.clear();
    wordText.clear();
    t->symbol = std::move(symbol);
    t->wordText = std::move(wordText);
    morse_timing_set_range(t, minDotMs, maxDotMs);
    if (initialDotMs > 0.0f && std::isfinite(initialDotMs))
        t->dot = initialDotMs;
    t->dash = 3.0f * t->dot;
    keep_dot_in_range(t);
    t->elementGap = t->dot;
}

void morse_timing_set_glitch(MORSE_TIMING* t, float dots)
{
    if (t != nullptr && std::isfinite(dots))
        t->glitchDots = std::clamp(dots, kShortestGlitchDots, kGlitchDots);
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
void follow_speed_change(MORSE_TIMING* t, const KEYING_RUN& run, const MorseCodeTable& table,
                         std::vector<uint8_t>* text)
{
    if (run.durationMs < kShortestDot * t->minDot)
        return;  // blips and dropouts say nothing about the speed
    if (run.keyDown) {
        t->rawMarks.push(run.durationMs);
        return;
    }
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
    // A slower sender sends longer dots as well: words of short letters
    // (NAME, ES TNX) have as many letter gaps as gaps inside characters,
    // and their dots stay short. (Faster keying through an averaging
    // window still set for the old speed comes out with long marks and
    // short gaps, so only the gaps can tell a speed-up.)
    std::array<float, kSpeedGaps> marks = t->rawMarks.values;
    const int dotAt = t->rawMarks.count / 4;
    std::nth_element(marks.begin(), marks.begin() + dotAt, marks.begin() + t->rawMarks.count);
    if (median > unit(*t) && t->rawMarks.count > 0 && marks[static_cast<size_t>(dotAt)] < median / kSpeedChangeRatio)
        return;
    // A window still set for the old speed lengthens the new marks by as
    // much as it shortens the gaps: the short marks among the recent ones
    // are the new dots as received, when they lie near the gaps. Halfway
    // between the two is safe when noise breaks the marks as well.
    const float dots = t->rawMarks.count > 0 ? marks[static_cast<size_t>(dotAt)] : median;
    MORSE_TIMING c = *t;
    c.dot = median < unit(*t) && dots > median && dots < kSmearedDots * median ? 0.5f * (dots + median) : median;
    c.dash = t->dash / t->dot * c.dot;
    keep_dot_in_range(&c);
    c.elementGap = median;
    adopt_speed(t, c);
    // The symbol begun at the old speed is read again at the new.
    std::string read;
    std::string rest;
    int restStart = 0;
    float lastMark = 0.0f;
    split_symbol(*t, *t, table, false, &read, &rest, &restStart, &lastMark);
    apply_split(t, read, rest, restStart, text);
    if (t->mark > 0.0f)
        t->mark = lastMark;
}

// endMs: where the run ends on the clock.
void process_run(MORSE_TIMING* t, const KEYING_RUN& run, double endMs, const MorseCodeTable& table,
                 std::vector<uint8_t>* text)
{
    const float glitch = blip(*t);
    follow_speed_change(t, run, table, text);
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
    const float fading = std::exp(-(t->gap + t->mark) / memoryMs);
    const float remembered = t->level * fading;
    const bool isolated = t->gap >= letter_boundary(*t);
    const bool shortBlip = run.durationMs < glitch && (run.level < kStrongMark * remembered ||
                                                       run.durationMs < t->glitchDots * kShortestDot * t->minDot);
    const bool clear = run.peak >= kClearPeak;
    const bool faint = !clear && run.level < kFaintMark * remembered;
    if (shortBlip || faint || (!clear && isolated && run.level < kWeakMark * remembered)) {
        t->gap += run.durationMs;
        return;
    }
    t->level = remembered + 0.5f * (run.level - remembered);
    t->peak = t->peak * fading + 0.5f * (run.peak - t->peak * fading);
    if (t->mark > 0.0f && t->gap < dropout(*t)) {
        keep_symbol_run(t, t->gap);
        keep_symbol_run(t, run.durationMs);
        t->mark += t->gap + run.durationMs;  // a dropout inside an element
        t->gap = 0.0f;
        t->symbolEndMs = endMs;
        return;
    }
    finish_mark(t);
    if (t->elements > 0 || !t->symbol.empty())
        finish_gap(t, t->gap, table, text);
    if (t->symbol.empty()) {
        t->symbolStartMs = endMs - run.durationMs;
        t->afterWordGap = t->gap >= word_boundary(*t);
    }
    t->symbolEndMs = endMs;
    ++t->marksSincePause;
    if (t->symbolRunCount > 0)
        keep_symbol_run(t, t->gap);
    keep_symbol_run(t, run.durationMs);
    t->mark = run.durationMs;
    t->gap = 0.0f;
}

// Learns the speed from the held marks alone and reads the held runs with
// it. Weak marks before the first strong one are noise that came before
// the over and are read as part of the gap.
void end_learning(MORSE_TIMING* t, const MorseCodeTable& table, std::vector<uint8_t>* text)
{
    t->learning = false;
    // The over's level: the upper quartile of its held marks' levels, which
    // one noise peak riding on a mark cannot lift, nor noise marks before
    // the over (a floor not yet settled lets a few through) pull down.
    std::array<float, kHeldRuns> peaks{};
    int nPeaks = 0;
    for (int i = 0; i < t->heldCount; ++i)
        if (t->held[static_cast<size_t>(i)].keyDown)
            peaks[static_cast<size_t>(nPeaks++)] = t->held[static_cast<size_t>(i)].level;
    const int upper = nPeaks * 3 / 4;
    std::nth_element(peaks.begin(), peaks.begin() + upper, peaks.begin() + nPeaks);
    const float level = nPeaks > 0 ? peaks[static_cast<size_t>(upper)] : 0.0f;
    const float shortest = t->glitchDots * kShortestDot * t->minDot;
    bool started = false;
    t->marks = {};
    for (int i = 0; i < t->heldCount; ++i) {
        KEYING_RUN& run = t->held[static_cast<size_t>(i)];
        if (!run.keyDown)
            continue;
        started = started || run.level >= kStrongMark * level || run.peak >= kClearPeak;
        if (!started)
            run.durationMs = 0.0f;
        else if (run.durationMs >= shortest && run.level >= kStrongMark * level)
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
    t->level = 0.0f;
    for (int i = 0; i < t->heldCount; ++i) {
        const KEYING_RUN& run = t->held[static_cast<size_t>(i)];
        if (run.durationMs > 0.0f)
            process_run(t, run, t->heldEndMs[static_cast<size_t>(i)], table, text);
    }
    for (int i = 0; i < t->heldCount; ++i)
        t->learnedSpanMs += t->held[static_cast<size_t>(i)].durationMs;
    t->heldCount = 0;
    t->heldMarks = 0;
}

}  // namespace

void morse_timing_push_run(MORSE_TIMING* t, const KEYING_RUN& run, const MorseCodeTable& table,
                           std::vector<uint8_t>* text)
{
    if (t == nullptr || !(run.durationMs > 0.0f))
        return;
    t->clockMs += run.durationMs;
    if (!t->learning) {
        process_run(t, run, t->clockMs, table, text);
        return;
    }
    if (t->heldCount == 0 && !run.keyDown)
        return;  // the silence before the over
    t->heldEndMs[static_cast<size_t>(t->heldCount)] = t->clockMs;
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
    if (t->mark > 0.0f && total >= dropout(*t))
        finish_mark(t);
    if (t->mark > 0.0f)
        return;
    // One lone element between pauses is a noise burst, not an over: it is
    // held until a second mark follows it.
    const bool lone = t->marksSincePause == 1 && t->symbol.size() == 1;
    if (lone && total >= pause)
        morse_timing_clear_symbol(t);
    if (total >= letter_boundary(*t) && !lone)
        emit_character(t, table, text);
    if (total >= word_boundary(*t))
        emit_space(t, text);
    // The next over starts a new reading of the cost; the classes stay, as
    // a fade is far more common than a new sender, who is learned on the go.
    if (total >= pause) {
        t->errors.count = 0;
        t->marksSincePause = 0;
    }
}

void morse_timing_clear_symbol(MORSE_TIMING* t)
{
    if (t == nullptr)
        return;
    forget_symbol(t);
    t->mark = 0.0f;
    t->gap = 0.0f;
}

void morse_timing_set_reader(MORSE_TIMING* t, MORSE_TIMING_READER reader, void* context)
{
    if (t == nullptr)
        return;
    t->reader = reader;
    t->readerContext = context;
}

void morse_timing_set_word_reader(MORSE_TIMING* t, MORSE_TIMING_WORD_READER reader, void* context, float holdPeak)
{
    if (t == nullptr)
        return;
    t->wordReader = reader;
    t->wordContext = context;
    t->holdPeak = std::isfinite(holdPeak) ? holdPeak : 0.0f;
}

void morse_timing_end_word(MORSE_TIMING* t, std::vector<uint8_t>* text)
{
    if (t != nullptr)
        end_word(t, text);
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
    status->learnedSpanMs = t->learnedSpanMs;
    status->clockMs = t->clockMs;
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
