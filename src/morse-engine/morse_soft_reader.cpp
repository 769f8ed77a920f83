#include "morse_soft_reader.h"

#include "keying_slicer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <new>
#include <vector>

namespace {

constexpr int kHistoryValues = 8192;
// The cut marks lie late on the keying: the average rises over the window
// and a weak signal's threshold sits a little below the middle of the mark
// (falling edges cross it the rest of a window after the key went up).
constexpr double kRiseShare = kKeyingSlicerThreshold;
constexpr double kFallShare = 1.0 - kRiseShare;
// Start and end of the keying may lie this many units off the cut ones.
constexpr double kToleranceUnits = 1.0;
constexpr size_t kLongestCode = 7;
// A word is searched from this many units before its first cut mark to as
// many after its last.
constexpr double kWordMarginUnits = 2.0;
// Characters of a word lie at least this many units apart (a letter gap is
// three; a hand-sent one may be shorter).
constexpr double kLetterGapUnits = 2.0;
// Every character read costs this much log-likelihood: without it noise in
// the gaps would read as E and T wherever it peaks.
constexpr double kCharacterCost = 6.0;
// The timing holds a word at most 8 s; with the margins 9.6 s of values.
constexpr int kLongestWordValues = 4800;
constexpr size_t kLongestReading = 128;
constexpr int kOffsetSteps = 16;
// Fading and QSB move the tone's amplitude within a word: each character is
// read at the one of these parts of the marks' level that fits it best.
constexpr double kAmplitudes[] = {1.4, 1.0, 0.7, 0.5, 0.35, 0.25};
constexpr int kSteadyLevels = 2;
constexpr double kCoherentGain = 2.0;
// How much likelier (in log-likelihood) a reading must be than the runs'.
constexpr double kLikelierBy = 5.0;
constexpr double kSpacingScales[] = {0.92, 0.96, 1.0, 1.04, 1.08};
constexpr size_t kCodesKept = 128 * std::size(kSpacingScales);
constexpr double kOffsetStepHz = 0.5;

// ln I0(x), the Bessel function that averages a tone of unknown phase
// (Abramowitz and Stegun 9.8.1 and 9.8.2).
double log_bessel_i0(double x)
{
    if (x < 3.75) {
        const double t = (x / 3.75) * (x / 3.75);
        const double tail = 0.2659732 + t * (0.0360768 + t * 0.0045813);
        return std::log(1.0 + t * (3.5156229 + t * (3.0899424 + t * (1.2067492 + t * tail))));
    }
    const double u = 3.75 / x;
    const double p =
        0.39894228 +
        u * (0.01328592 +
             u * (0.00225319 +
                  u * (-0.00157565 +
                       u * (0.00916281 + u * (-0.02057706 + u * (0.02635537 + u * (-0.01647633 + u * 0.00392377)))))));
    return x - 0.5 * std::log(x) + std::log(p);
}

}  // namespace

struct MORSE_SOFT_READER {
    float stepMs = 2.0f;
    std::vector<float> ring;
    std::vector<float> baseband;  // real and imaginary parts, beside the ring
    long long pushed = 0;
    // Work space: one code's keying and its average.
    std::vector<float> keying;
    std::vector<float> averaged;
    // Work space of a word: running sums of the baseband, each mark
    // length's score at every start, the likeliest reading up to each value
    // and the character that ends there.
    std::vector<double> sumRe;
    std::vector<double> sumIm;
    std::vector<float> dotScore;  // floats: one row per amplitude
    std::vector<float> dashScore;
    std::vector<int> bestCode;
    std::vector<int> bestFrom;
    std::vector<int> bestLevel;
    std::vector<double> upTo;
    std::vector<double> readBefore;  // the runs' reading laid over the values
    std::vector<double> readCurrent;
    std::vector<int> upToEnd;
    struct WordCode {
        char character;
        int count;                               // marks
        int length;                              // values from its first mark's start to its last's end
        std::array<bool, kLongestCode> dash{};   // each mark a dash
        std::array<int, kLongestCode> offset{};  // each mark's start from the first's
    };
    std::vector<WordCode> codes;
    std::string reversed;
};

MORSE_SOFT_READER* morse_soft_reader_create(float stepMs)
{
    auto* r = new (std::nothrow) MORSE_SOFT_READER;
    if (r == nullptr)
        return nullptr;
    try {
        r->ring.assign(kHistoryValues, 0.0f);
        r->baseband.assign(2 * kHistoryValues, 0.0f);
        for (auto* v : {&r->sumRe, &r->sumIm, &r->upTo, &r->readBefore, &r->readCurrent})
            v->reserve(kLongestWordValues + 1);
        r->dotScore.reserve(std::size(kAmplitudes) * (kLongestWordValues + 1));
        r->dashScore.reserve(std::size(kAmplitudes) * (kLongestWordValues + 1));
        r->bestCode.reserve(kLongestWordValues + 1);
        r->bestFrom.reserve(kLongestWordValues + 1);
        r->bestLevel.reserve(kLongestWordValues + 1);
        r->upToEnd.reserve(kLongestWordValues + 1);
        r->codes.reserve(kCodesKept);
        r->reversed.reserve(kLongestReading);
        r->keying.reserve(kHistoryValues);
        r->averaged.reserve(kHistoryValues);
    } catch (...) {
        delete r;
        return nullptr;
    }
    r->stepMs = stepMs > 0.0f && std::isfinite(stepMs) ? stepMs : 2.0f;
    return r;
}

void morse_soft_reader_push(MORSE_SOFT_READER* r, const float* values, const float* baseband, int n)
{
    if (r == nullptr || values == nullptr)
        return;
    for (int i = 0; i < n; ++i) {
        const float v = values[i];
        const auto at = static_cast<size_t>(r->pushed % kHistoryValues);
        r->ring[at] = std::isfinite(v) ? v : 0.0f;
        for (size_t part = 0; part < 2; ++part) {
            const float b = baseband != nullptr ? baseband[2 * i + static_cast<int>(part)] : 0.0f;
            r->baseband[2 * at + part] = std::isfinite(b) ? b : 0.0f;
        }
        ++r->pushed;
    }
}

void morse_soft_reader_restart(MORSE_SOFT_READER* r)
{
    if (r == nullptr)
        return;
    std::fill(r->ring.begin(), r->ring.end(), 0.0f);
    std::fill(r->baseband.begin(), r->baseband.end(), 0.0f);
    r->pushed = 0;
    r->keying.clear();
    r->averaged.clear();
    r->sumRe.clear();
    r->sumIm.clear();
    r->dotScore.clear();
    r->dashScore.clear();
    r->bestCode.clear();
    r->bestFrom.clear();
    r->bestLevel.clear();
    r->upTo.clear();
    r->readBefore.clear();
    r->readCurrent.clear();
    r->upToEnd.clear();
    r->codes.clear();
    r->reversed.clear();
}

void morse_soft_reader_reset(MORSE_SOFT_READER* r)
{
    if (r != nullptr)
        r->pushed = 0;
}

namespace {

// Keying of `code` in values, 1 key down; false when it does not fit the
// work space.
bool key_code(const std::string& code, int dot, int dash, int gap, std::vector<float>* keying)
{
    keying->clear();
    for (size_t i = 0; i < code.size(); ++i) {
        if (i > 0)
            keying->insert(keying->end(), static_cast<size_t>(gap), 0.0f);
        keying->insert(keying->end(), static_cast<size_t>(code[i] == '1' ? dash : dot), 1.0f);
    }
    return keying->size() + 1 < static_cast<size_t>(kHistoryValues / 2);
}

// The keying as the demodulator's window averages it: the mean of the last
// `window` values, running on past the keying's end.
void average(const std::vector<float>& keying, int window, std::vector<float>* out)
{
    out->assign(keying.size() + static_cast<size_t>(window), 0.0f);
    float sum = 0.0f;
    for (size_t k = 0; k < out->size(); ++k) {
        if (k < keying.size())
            sum += keying[k];
        if (k >= static_cast<size_t>(window) && k - static_cast<size_t>(window) < keying.size())
            sum -= keying[k - static_cast<size_t>(window)];
        (*out)[k] = std::max(sum, 0.0f) / static_cast<float>(window);
    }
}

}  // namespace

bool morse_soft_reader_read(MORSE_SOFT_READER* r, const MORSE_SOFT_QUERY& q, const MorseCodeTable& table,
                            std::string* code)
{
    if (r == nullptr || code == nullptr || !(q.unitMs > 0.0f) || !(q.dashMs > q.unitMs) || !(q.level > q.noise) ||
        !(q.endMs > q.startMs))
        return false;
    const double step = r->stepMs;
    const int window = std::max(1, static_cast<int>(std::lround(q.windowMs / step)));
    const int dot = std::max(1, static_cast<int>(std::lround(q.unitMs / step)));
    const int dash = std::max(dot + 1, static_cast<int>(std::lround(q.dashMs / step)));
    const double tolerance = kToleranceUnits * dot;
    // Where the keying began and ended, in values.
    const double start = q.startMs / step - kRiseShare * window;
    const double end = q.endMs / step - kFallShare * window;
    const long long first = static_cast<long long>(std::floor(start - tolerance));
    const long long last = static_cast<long long>(std::ceil(end + tolerance)) + window;
    if (first < 0 || last >= r->pushed || r->pushed - first > kHistoryValues)
        return false;
    const float span = q.level - q.noise;
    double best = 0.0;
    bool found = false;
    for (const auto& [candidate, character] : table) {
        (void)character;
        if (candidate.size() > kLongestCode || !key_code(candidate, dot, dash, dot, &r->keying))
            continue;
        const double length = static_cast<double>(r->keying.size());
        // Starts that put both ends of the keying near the cut ones.
        const long long from = static_cast<long long>(std::ceil(std::max(start, end - length) - tolerance));
        const long long to = static_cast<long long>(std::floor(std::min(start, end - length) + tolerance));
        if (from > to)
            continue;
        average(r->keying, window, &r->averaged);
        double energy = 0.0;
        for (float a : r->averaged)
            energy += static_cast<double>(a) * a;
        // The squared distance between values and expected envelope, less
        // what all candidates share: 2 span <v - noise, a> - span^2 |a|^2.
        for (long long s = from; s <= to; ++s) {
            double correlation = 0.0;
            for (size_t k = 0; k < r->averaged.size(); ++k) {
                const float v = r->ring[static_cast<size_t>((s + static_cast<long long>(k)) % kHistoryValues)];
                correlation += static_cast<double>(v - q.noise) * r->averaged[k];
            }
            const double score = 2.0 * span * correlation - static_cast<double>(span) * span * energy;
            if (!found || score > best) {
                best = score;
                *code = candidate;
                found = true;
            }
        }
    }
    return found;
}

namespace {

// Running sums of the baseband from value `first` on, turned back by
// `offsetHz`.
void sum_baseband(MORSE_SOFT_READER* r, long long first, size_t values, double offsetHz)
{
    r->sumRe.assign(values + 1, 0.0);
    r->sumIm.assign(values + 1, 0.0);
    const double turn = -2.0 * 3.14159265358979323846 * offsetHz * r->stepMs * 0.001;
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    double rotorRe = 1.0;
    double rotorIm = 0.0;
    for (size_t k = 0; k < values; ++k) {
        const auto at = static_cast<size_t>((first + static_cast<long long>(k)) % kHistoryValues);
        const double re = r->baseband[2 * at];
        const double im = r->baseband[2 * at + 1];
        r->sumRe[k + 1] = r->sumRe[k] + re * rotorRe - im * rotorIm;
        r->sumIm[k + 1] = r->sumIm[k] + re * rotorIm + im * rotorRe;
        const double nextRe = rotorRe * c - rotorIm * s;
        rotorIm = rotorRe * s + rotorIm * c;
        rotorRe = nextRe;
    }
}

// Log-likelihood that a mark of `length` values starts at each value of
// the word, against noise alone, for each amplitude of kAmplitudes times a
// (a row of values + 1 each): the tone's energy over exactly the mark, its
// phase unknown, in noise of power n per value.
void score_marks(const MORSE_SOFT_READER& r, int length, double a, double n, std::vector<float>* out)
{
    const size_t values = r.sumRe.size() - 1;
    out->assign(std::size(kAmplitudes) * (values + 1), -1e30f);
    for (size_t p = 0; p + static_cast<size_t>(length) <= values; ++p) {
        const double re = r.sumRe[p + static_cast<size_t>(length)] - r.sumRe[p];
        const double im = r.sumIm[p + static_cast<size_t>(length)] - r.sumIm[p];
        const double magnitude = std::sqrt(re * re + im * im);
        for (size_t k = 0; k < std::size(kAmplitudes); ++k) {
            const double ak = kAmplitudes[k] * a;
            const double score = log_bessel_i0(2.0 * ak * magnitude / n) - ak * ak * length / n;
            (*out)[k * (values + 1) + p] = static_cast<float>(score);
        }
    }
}

// Log-likelihood of `code` keyed from value `start` on, less the cost of
// a character, at the amplitude that fits it best (its index to *level).
double character_score(const MORSE_SOFT_READER& r, const MORSE_SOFT_READER::WordCode& code, size_t start, int* level)
{
    const size_t row = r.sumRe.size();
    double score = -1e300;
    for (size_t k = 0; k < std::size(kAmplitudes); ++k) {
        double sum = -kCharacterCost;
        for (size_t i = 0; i < static_cast<size_t>(code.count); ++i) {
            const size_t at = k * row + start + static_cast<size_t>(code.offset[i]);
            sum += code.dash[i] ? r.dashScore[at] : r.dotScore[at];
        }
        if (sum > score) {
            score = sum;
            *level = static_cast<int>(k);
        }
    }
    return score;
}

struct MARKS {
    int dot;  // values of a dot and of the gap inside a character
    int dash;
    int letterGap;  // least gap between characters
};

// The likeliest characters for the baseband summed in the work space, for
// marks of amplitude a in noise of power n per value: upTo[e] is the
// likeliest reading ending at or before value e (0: nothing read), and
// upToEnd[e] where its last character ends.
void read_best(MORSE_SOFT_READER* r, const MARKS& m, double a, double n)
{
    const size_t values = r->sumRe.size() - 1;
    score_marks(*r, m.dot, a, n, &r->dotScore);
    score_marks(*r, m.dash, a, n, &r->dashScore);
    r->bestCode.assign(values + 1, -1);
    r->bestFrom.assign(values + 1, -1);
    r->bestLevel.assign(values + 1, 0);
    r->upTo.assign(values + 1, 0.0);
    r->upToEnd.assign(values + 1, -1);
    for (size_t e = 1; e <= values; ++e) {
        double best = -1e300;  // the likeliest reading whose last character ends at e
        for (size_t c = 0; c < r->codes.size(); ++c) {
            const long long start = static_cast<long long>(e) - r->codes[c].length;
            if (start < 0)
                continue;
            int level = 0;
            const double score = character_score(*r, r->codes[c], static_cast<size_t>(start), &level);
            const long long before = start - m.letterGap;
            const double previous = before >= 0 ? r->upTo[static_cast<size_t>(before)] : 0.0;
            const int from = before >= 0 ? r->upToEnd[static_cast<size_t>(before)] : -1;
            if (previous + score > best) {
                best = previous + score;
                r->bestCode[e] = static_cast<int>(c);
                r->bestLevel[e] = level;
                r->bestFrom[e] = from;
            }
        }
        const bool better = best > r->upTo[e - 1];
        r->upTo[e] = better ? best : r->upTo[e - 1];
        r->upToEnd[e] = better ? static_cast<int>(e) : r->upToEnd[e - 1];
    }
}

// Dot, dash and least letter gap in values for the timing's dot, and the
// codes of `table` laid out with it. The timing's dot may lie a few per
// cent off, and a hand's spacing wanders: every code is also laid out a
// little tighter and wider, and a character read at the spacing that fits
// it best, which keeps the last marks of a long one on the keying.
MARKS marks_for(const MORSE_SOFT_WORD_QUERY& q, double step, const MorseCodeTable& table, MORSE_SOFT_READER* r)
{
    const int dot = std::max(1, static_cast<int>(std::lround(q.unitMs / step)));
    const int dash = std::max(dot + 1, static_cast<int>(std::lround(q.dashMs / step)));
    r->codes.clear();
    for (const auto& [code, character] : table) {
        if (code.empty() || code.size() > kLongestCode)
            continue;
        for (double scale : kSpacingScales) {
            if (r->codes.size() == r->codes.capacity())
                break;
            MORSE_SOFT_READER::WordCode entry{.character = character, .count = 0, .length = 0};
            double at = 0.0;
            for (char element : code) {
                const int length = element == '1' ? dash : dot;
                entry.dash[static_cast<size_t>(entry.count)] = element == '1';
                entry.offset[static_cast<size_t>(entry.count++)] = static_cast<int>(std::lround(at));
                entry.length = static_cast<int>(std::lround(at)) + length;
                at += scale * (length + dot);
            }
            r->codes.push_back(entry);
        }
    }
    return MARKS{.dot = dot, .dash = dash, .letterGap = static_cast<int>(std::lround(kLetterGapUnits * dot))};
}

// Log-likelihood of `read` (its characters in order, spaces ignored) laid
// over the values where it fits best; -1e300 when a character has no code.
double reading_score(MORSE_SOFT_READER* r, const MARKS& m, const char* read)
{
    const size_t values = r->sumRe.size() - 1;
    std::vector<double>& before = r->readBefore;  // best of the characters so far ending at or before each value
    std::vector<double>& current = r->readCurrent;
    before.assign(values + 1, 0.0);
    for (const char* c = read; *c != '\0'; ++c) {
        if (*c == ' ')
            continue;
        current.assign(values + 1, -1e300);
        bool known = false;
        for (const auto& code : r->codes) {
            if (code.character != *c)
                continue;
            known = true;
            for (size_t e = static_cast<size_t>(code.length); e <= values; ++e) {
                const long long start = static_cast<long long>(e) - code.length;
                const long long previous = start - m.letterGap;
                const double prior = c == read ? 0.0 : previous >= 0 ? before[static_cast<size_t>(previous)] : -1e300;
                if (prior <= -1e300)
                    continue;
                int level = 0;
                const double score = character_score(*r, code, static_cast<size_t>(start), &level);
                current[e] = std::max(current[e], prior + score);
            }
        }
        if (!known)
            return -1e300;
        before[0] = current[0];
        for (size_t e = 1; e <= values; ++e)
            before[e] = std::max(before[e - 1], current[e]);
    }
    return before.back();
}

}  // namespace

bool morse_soft_reader_read_word(MORSE_SOFT_READER* r, const MORSE_SOFT_WORD_QUERY& q, const MorseCodeTable& table,
                                 std::string* text)
{
    if (r == nullptr || text == nullptr || !(q.unitMs > 0.0f) || !(q.dashMs > q.unitMs) || !(q.level > q.noise) ||
        !(q.noise > 0.0f) || !(q.endMs > q.startMs) || !(q.wordGapMs > 0.0f))
        return false;
    const double step = r->stepMs;
    const int window = std::max(1, static_cast<int>(std::lround(q.windowMs / step)));
    const double margin = kWordMarginUnits * q.unitMs / step;
    const auto dash = static_cast<size_t>(std::max(2L, std::lround(q.dashMs / step)));
    const long long first = static_cast<long long>(std::floor(q.startMs / step - kRiseShare * window - margin));
    const long long last = static_cast<long long>(std::ceil(q.endMs / step - kFallShare * window + margin));
    if (first < 0 || last >= r->pushed || r->pushed - first > kHistoryValues || last - first > kLongestWordValues)
        return false;
    // Noise of power n per value gives the window's average a mean envelope
    // of sqrt(pi n / (4 window)); a mark's envelope is its amplitude with
    // the noise's power added.
    const double noise = q.noise;
    const double n = 4.0 * window * noise * noise / 3.14159265358979323846;
    const double level = q.level;
    const double a = std::sqrt(std::max(level * level - n / window, 0.25 * level * level));
    const auto values = static_cast<size_t>(last - first);
    // The pitch the baseband was brought down at may lie a few hertz off
    // (a searched pitch, drift), which turns the tone's phase along a
    // dash: the offset whose dash-long sums hold the most energy is taken
    // out first.
    double bestEnergy = -1.0;
    double offsetHz = 0.0;
    for (int k = -kOffsetSteps; k <= kOffsetSteps; ++k) {
        sum_baseband(r, first, values, k * kOffsetStepHz);
        double energy = 0.0;
        for (size_t p = 0; p + dash <= values; ++p) {
            const double re = r->sumRe[p + dash] - r->sumRe[p];
            const double im = r->sumIm[p + dash] - r->sumIm[p];
            energy += re * re + im * im;
        }
        if (energy > bestEnergy) {
            bestEnergy = energy;
            offsetHz = k * kOffsetStepHz;
        }
    }
    sum_baseband(r, first, values, offsetHz);
    // A tone whose phase holds along a dash gives its dash-long sums three
    // times the energy of their thirds; flutter's turning phase, about the
    // same (noise's share taken out of both). Marks are then no tone to sum.
    const size_t third = std::max<size_t>(1, dash / 3);
    double whole = 0.0;
    double thirds = 0.0;
    size_t sums = 0;
    for (size_t p = 0; p + 3 * third <= values; ++p, ++sums) {
        double re = 0.0;
        double im = 0.0;
        for (size_t k = 0; k < 3; ++k) {
            const double partRe = r->sumRe[p + (k + 1) * third] - r->sumRe[p + k * third];
            const double partIm = r->sumIm[p + (k + 1) * third] - r->sumIm[p + k * third];
            thirds += partRe * partRe + partIm * partIm;
            re += partRe;
            im += partIm;
        }
        whole += re * re + im * im;
    }
    const double noiseShare = static_cast<double>(sums) * 3.0 * static_cast<double>(third) * n;
    if (whole - noiseShare < kCoherentGain * (thirds - noiseShare))
        return false;
    const MARKS marks = marks_for(q, step, table, r);
    read_best(r, marks, a, n);
    // The runs read well down to a few dB under the noise; their reading
    // stands unless this one is far likelier.
    const double likeliest = r->upTo.back();
    if (q.read != nullptr && reading_score(r, marks, q.read) >= likeliest - kLikelierBy)
        return false;
    // Back from the likeliest end, characters in reverse.
    std::string& reversed = r->reversed;
    reversed.clear();
    const int wordGap = static_cast<int>(std::lround(q.wordGapMs / step));
    for (int e = r->upToEnd.back(); e > 0;) {
        if (r->bestLevel[static_cast<size_t>(e)] > kSteadyLevels)
            return false;  // a character this faded: the signal fades within the word
        if (reversed.size() + 2 > kLongestReading)
            return false;
        const auto& read = r->codes[static_cast<size_t>(r->bestCode[static_cast<size_t>(e)])];
        const int from = r->bestFrom[static_cast<size_t>(e)];
        reversed.push_back(read.character);
        if (from > 0 && e - read.length - from >= wordGap)
            reversed.push_back(' ');
        e = from;
    }
    if (reversed.empty())
        return false;
    text->assign(reversed.rbegin(), reversed.rend());
    return true;
}

void morse_soft_reader_destroy(MORSE_SOFT_READER* r)
{
    delete r;
}
