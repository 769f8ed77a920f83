#include "cwqo_envelope_history.h"

#include <algorithm>
#include <cmath>

void cwqo_history_init(CWQO_ENVELOPE_HISTORY* history, size_t capacity)
{
    cwqo_ring_init(&history->ring, capacity);
    // A merge holds the old values and the arrivals (at most a quarter)
    // before the leaving ones are gone; the two buffers trade places.
    history->sorted.reserve(capacity + capacity / 4 + 2);
    history->merged.reserve(capacity + capacity / 4 + 2);
    history->arriving.reserve(capacity);
    history->leaving.reserve(capacity);
    cwqo_history_clear(history);
}

void cwqo_history_clear(CWQO_ENVELOPE_HISTORY* history)
{
    cwqo_ring_clear(&history->ring);
    history->sorted.clear();
    history->arriving.clear();
    history->leaving.clear();
    history->resort = false;
}

void cwqo_history_append(CWQO_ENVELOPE_HISTORY* history, float value)
{
    float dropped = 0.0f;
    const bool wasDropped = cwqo_ring_push(&history->ring, value, &dropped);
    if (history->resort)
        return;
    // Past a quarter of the history a fresh sort is as cheap as merging.
    const size_t limit = cwqo_ring_capacity(history->ring) / 4;
    if (history->arriving.size() + history->leaving.size() + 2 > limit) {
        history->resort = true;
        return;
    }
    history->arriving.push_back(value);
    if (wasDropped)
        history->leaving.push_back(dropped);
}

namespace {

void resort(CWQO_ENVELOPE_HISTORY* history)
{
    history->sorted.resize(history->ring.count);
    cwqo_ring_copy(history->ring, history->sorted.data());
    std::sort(history->sorted.begin(), history->sorted.end());
}

// The first place in [first, last) where `past` holds (it holds from some
// place on). The next event of a merge lies a few dozen values on, so the
// values are counted a chunk at a time in a loop the compiler vectorises:
// a binary search would spend a mispredicted branch on every halving, and
// over a whole merge the chunks read each old value at most once.
constexpr size_t kScanChunk = 16;

template <typename Past>
std::vector<float>::const_iterator scan(std::vector<float>::const_iterator first,
                                        std::vector<float>::const_iterator last, Past past)
{
    if (first == last)
        return last;
    const float* p = &*first;
    size_t left = static_cast<size_t>(last - first);
    while (left >= kScanChunk) {
        unsigned before = 0;
        for (size_t j = 0; j < kScanChunk; ++j)
            before += past(p[j]) ? 0 : 1;
        if (before < kScanChunk)
            return first + (p - &*first) + before;
        p += kScanChunk;
        left -= kScanChunk;
    }
    while (left > 0 && !past(*p)) {
        ++p;
        --left;
    }
    return first + (p - &*first);
}

// sorted + arriving - leaving in one pass into the spare buffer: the
// places of the few new and dropped values are found by binary search and
// the old values between them are copied as whole runs. Every leaving value
// must be held; false (the copy is then rebuilt) when one is not.
bool merge(CWQO_ENVELOPE_HISTORY* history)
{
    std::vector<float>& in = history->arriving;
    std::vector<float>& out = history->leaving;
    std::sort(in.begin(), in.end());
    std::sort(out.begin(), out.end());
    const std::vector<float>& old = history->sorted;
    std::vector<float>& result = history->merged;
    result.resize(old.size() + in.size());
    auto read = old.begin();
    auto write = result.begin();
    size_t j = 0;
    size_t k = 0;
    while (j < in.size() || k < out.size()) {
        // The next event is the smaller of the next insertion and removal.
        const bool insert = k == out.size() || (j < in.size() && in[j] < out[k]);
        // Insertions go after equal old values, removals take the first.
        const auto at = insert ? scan(read, old.end(), [x = in[j]](float v) { return x < v; })
                               : scan(read, old.end(), [x = out[k]](float v) { return !(v < x); });
        write = std::copy(read, at, write);
        read = at;
        if (insert) {
            *write++ = in[j++];
        } else {
            if (read == old.end() || *read != out[k])
                return false;
            ++read;
            ++k;
        }
    }
    write = std::copy(read, old.end(), write);
    result.resize(static_cast<size_t>(write - result.begin()));
    history->sorted.swap(history->merged);
    return true;
}

}  // namespace

void cwqo_history_commit(CWQO_ENVELOPE_HISTORY* history)
{
    if (history->resort || history->leaving.size() > history->sorted.size() || !merge(history))
        resort(history);
    history->arriving.clear();
    history->leaving.clear();
    history->resort = false;
}

size_t cwqo_history_size(const CWQO_ENVELOPE_HISTORY& history)
{
    return history.ring.count;
}

float cwqo_history_quantile(const CWQO_ENVELOPE_HISTORY& history, double q)
{
    const std::vector<float>& v = history.sorted;
    if (v.empty())
        return 0.0f;
    const size_t last = v.size() - 1;
    const double p = q * static_cast<double>(last);
    const size_t i = std::min(static_cast<size_t>(std::floor(p)), last);
    const size_t j = std::min(i + 1, last);
    const double f = p - static_cast<double>(i);
    return static_cast<float>(static_cast<double>(v[i]) * (1.0 - f) + static_cast<double>(v[j]) * f);
}
