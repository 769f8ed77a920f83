#include "cwqo_envelope_history.h"

#include <algorithm>
#include <cmath>
#include <iterator>

void cwqo_history_init(CWQO_ENVELOPE_HISTORY* history, size_t capacity)
{
    cwqo_ring_init(&history->ring, capacity);
    // A merge holds the old values and the arrivals (at most a quarter)
    // before the leaving ones are gone; the float buffers trade places.
    const size_t room = capacity + capacity / 4 + 2;
    for (std::vector<float>* v :
         {&history->sorted, &history->merged, &history->arriving, &history->leaving, &history->part})
        v->reserve(room);
    history->batches.assign(cwqo_ring_capacity(history->ring), CWQO_HISTORY_ENTRY{});
    history->batchLengths.assign(cwqo_ring_capacity(history->ring), 0);
    history->order.reserve(cwqo_ring_capacity(history->ring));
    cwqo_history_clear(history);
}

void cwqo_history_clear(CWQO_ENVELOPE_HISTORY* history)
{
    cwqo_ring_clear(&history->ring);
    history->sorted.clear();
    history->arriving.clear();
    history->leaving.clear();
    history->dropped = 0;
    history->resort = false;
    history->batchHead = 0;
    history->batchCount = 0;
    history->oldestSlot = history->ring.head;
}

void cwqo_history_append(CWQO_ENVELOPE_HISTORY* history, float value)
{
    const bool wasDropped = cwqo_ring_push(&history->ring, value, nullptr);
    if (history->resort)
        return;
    // Past a quarter of the history a fresh sort is as cheap as merging.
    const size_t limit = cwqo_ring_capacity(history->ring) / 4;
    if (history->arriving.size() + history->dropped + 2 > limit) {
        history->resort = true;
        return;
    }
    history->arriving.push_back(value);
    if (wasDropped)
        ++history->dropped;
}

namespace {

size_t wrap(const CWQO_ENVELOPE_HISTORY& h, size_t slot)
{
    const size_t capacity = h.batches.size();
    return slot < capacity ? slot : slot - capacity;
}

// A function object, so that the sorts inline the comparison.
constexpr auto by_value = [](const CWQO_HISTORY_ENTRY& a, const CWQO_HISTORY_ENTRY& b) { return a.value < b.value; };

// The sorted entries in order as the newest batch, from slot `start` on.
void push_batch(CWQO_ENVELOPE_HISTORY* h, size_t start, const std::vector<CWQO_HISTORY_ENTRY>& entries)
{
    if (entries.empty())
        return;
    for (size_t i = 0; i < entries.size(); ++i)
        h->batches[wrap(*h, start + i)] = entries[i];
    h->batchLengths[wrap(*h, h->batchHead + h->batchCount)] = entries.size();
    ++h->batchCount;
}

// The ring's values sorted afresh, as one batch.
void resort(CWQO_ENVELOPE_HISTORY* history)
{
    const CWQO_SAMPLE_RING& ring = history->ring;
    std::vector<CWQO_HISTORY_ENTRY>& order = history->order;
    order.resize(ring.count);
    for (size_t i = 0; i < ring.count; ++i) {
        const size_t slot = wrap(*history, ring.head + i);
        order[i] = CWQO_HISTORY_ENTRY{.value = ring.data[slot], .slot = static_cast<uint32_t>(slot)};
    }
    std::sort(order.begin(), order.end(), by_value);
    history->sorted.resize(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        history->sorted[i] = order[i].value;
    history->batchHead = 0;
    history->batchCount = 0;
    history->oldestSlot = ring.head;
    push_batch(history, ring.head, order);
}

// The `count` oldest values, ascending, into leaving: whole oldest batches
// as they are, and of a batch that leaves in part the entries of its
// oldest slots, the rest of it stored back sorted. False when the batches
// hold fewer values.
bool take_leaving(CWQO_ENVELOPE_HISTORY* h, size_t count)
{
    const size_t capacity = h->batches.size();
    h->leaving.clear();
    while (count > 0) {
        if (h->batchCount == 0)
            return false;
        const size_t length = h->batchLengths[h->batchHead];
        const size_t start = h->oldestSlot;
        std::vector<float>& part = h->part;
        part.clear();
        if (length <= count) {
            for (size_t i = 0; i < length; ++i)
                part.push_back(h->batches[wrap(*h, start + i)].value);
            h->batchHead = wrap(*h, h->batchHead + 1);
            --h->batchCount;
            h->oldestSlot = wrap(*h, start + length);
            count -= length;
        } else {
            std::vector<CWQO_HISTORY_ENTRY>& kept = h->order;
            kept.clear();
            for (size_t i = 0; i < length; ++i) {
                const CWQO_HISTORY_ENTRY& e = h->batches[wrap(*h, start + i)];
                const size_t age = e.slot >= start ? e.slot - start : e.slot + capacity - start;
                if (age < count)
                    part.push_back(e.value);
                else
                    kept.push_back(e);
            }
            const size_t rest = wrap(*h, start + count);
            for (size_t i = 0; i < kept.size(); ++i)
                h->batches[wrap(*h, rest + i)] = kept[i];
            h->batchLengths[h->batchHead] = kept.size();
            h->oldestSlot = rest;
            count = 0;
        }
        if (h->leaving.empty()) {
            h->leaving.swap(part);
        } else {
            std::vector<float>& both = h->merged;
            both.clear();
            std::merge(h->leaving.begin(), h->leaving.end(), part.begin(), part.end(), std::back_inserter(both));
            h->leaving.swap(both);
        }
    }
    return true;
}

// The arrivals, ascending, into arriving and as the newest batch.
void take_arriving(CWQO_ENVELOPE_HISTORY* h)
{
    const CWQO_SAMPLE_RING& ring = h->ring;
    std::vector<float>& in = h->arriving;
    std::vector<CWQO_HISTORY_ENTRY>& order = h->order;
    const size_t start = wrap(*h, ring.head + ring.count - in.size());
    order.resize(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        order[i] = CWQO_HISTORY_ENTRY{.value = in[i], .slot = static_cast<uint32_t>(wrap(*h, start + i))};
    std::sort(order.begin(), order.end(), by_value);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = order[i].value;
    push_batch(h, start, order);
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

// sorted + arriving - leaving (both ascending) in one pass into the spare
// buffer: the places of the few new and dropped values are found by a scan
// and the old values between them are copied as whole runs. Every leaving
// value must be held; false (the copy is then rebuilt) when one is not.
bool merge(CWQO_ENVELOPE_HISTORY* history)
{
    const std::vector<float>& in = history->arriving;
    const std::vector<float>& out = history->leaving;
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
    // The leaving values come first: the arrivals take their slots.
    bool merged =
        !history->resort && history->dropped <= history->sorted.size() && take_leaving(history, history->dropped);
    if (merged) {
        take_arriving(history);
        merged = merge(history);
    }
    if (!merged)
        resort(history);
    history->arriving.clear();
    history->leaving.clear();
    history->dropped = 0;
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
