#include "morse_soft_reader.h"

#include "keying_slicer.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace {

constexpr int kHistoryValues = 4096;
// The cut marks lie late on the keying: the average rises over the window
// and a weak signal's threshold sits a little below the middle of the mark
// (falling edges cross it the rest of a window after the key went up).
constexpr double kRiseShare = kKeyingSlicerThreshold;
constexpr double kFallShare = 1.0 - kRiseShare;
// Start and end of the keying may lie this many units off the cut ones.
constexpr double kToleranceUnits = 1.0;
constexpr size_t kLongestCode = 7;

}  // namespace

struct MORSE_SOFT_READER {
    float stepMs = 2.0f;
    std::vector<float> ring;
    long long pushed = 0;
    // Work space: one code's keying and its average.
    std::vector<float> keying;
    std::vector<float> averaged;
};

MORSE_SOFT_READER* morse_soft_reader_create(float stepMs)
{
    auto* r = new (std::nothrow) MORSE_SOFT_READER;
    if (r == nullptr)
        return nullptr;
    try {
        r->ring.assign(kHistoryValues, 0.0f);
        r->keying.reserve(kHistoryValues);
        r->averaged.reserve(kHistoryValues);
    } catch (...) {
        delete r;
        return nullptr;
    }
    r->stepMs = stepMs > 0.0f && std::isfinite(stepMs) ? stepMs : 2.0f;
    return r;
}

void morse_soft_reader_push(MORSE_SOFT_READER* r, const float* values, int n)
{
    if (r == nullptr || values == nullptr)
        return;
    for (int i = 0; i < n; ++i) {
        const float v = values[i];
        r->ring[static_cast<size_t>(r->pushed % kHistoryValues)] = std::isfinite(v) ? v : 0.0f;
        ++r->pushed;
    }
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

void morse_soft_reader_destroy(MORSE_SOFT_READER* r)
{
    delete r;
}
