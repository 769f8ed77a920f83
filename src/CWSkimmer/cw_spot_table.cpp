#include "cw_spot_table.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

struct Entry {
    CW_SPOT spot;
    double lastSent;
    uint32_t heard;  // offers of this call at this place
    // The variant suppressed lately and how often: the first decode of a
    // station may be the busted one, and the right call, heard more often,
    // then takes its place.
    char rival[kCWCallsignMaxLength + 1];
    uint32_t rivalHeard;
    bool used;
};

}  // namespace

struct CW_SPOT_TABLE {
    CW_SPOT_TABLE_CONFIG config;
    Entry* entries;
    size_t count;
};

namespace {

// NaN takes the lower bound.
double clamped(double v, double lo, double hi)
{
    if (!(v >= lo))
        return lo;
    return v > hi ? hi : v;
}

CW_SPOT_TABLE_CONFIG clamped_config(const CW_SPOT_TABLE_CONFIG& c, size_t capacity)
{
    return CW_SPOT_TABLE_CONFIG{
        .capacity = capacity,
        .maxAgeSeconds = clamped(c.maxAgeSeconds, 1.0, 86400.0),
        .respotSeconds = clamped(c.respotSeconds, 0.0, 86400.0),
        .neighbourHz = clamped(c.neighbourHz, 0.0, 10000.0),
        .qsyHoldSeconds = clamped(c.qsyHoldSeconds, 0.0, 3600.0),
    };
}

CW_SPOT_EVENT event(CW_SPOT_EVENT_KIND kind, const CW_SPOT& spot, bool resend)
{
    return CW_SPOT_EVENT{.kind = kind, .resend = resend ? 1 : 0, .spot = spot, .similarTo = {}};
}

CW_SPOT spot_of(const CW_SPOT_CANDIDATE& c)
{
    CW_SPOT s{.call = {},
              .frequencyHz = c.frequencyHz,
              .wpm = c.wpm,
              .snrDb = c.snrDb,
              .cq = c.cq ? 1 : 0,
              .firstHeard = c.now,
              .lastHeard = c.now};
    std::memcpy(s.call, c.call, sizeof s.call);
    return s;
}

Entry* find_call(CW_SPOT_TABLE* t, const char* call)
{
    for (size_t i = 0; i < t->config.capacity; ++i)
        if (t->entries[i].used && std::strcmp(t->entries[i].spot.call, call) == 0)
            return &t->entries[i];
    return nullptr;
}

// The nearest spot within neighbourHz whose call looks like a misreading of `call`.
Entry* find_similar(CW_SPOT_TABLE* t, const char* call, double frequencyHz)
{
    Entry* best = nullptr;
    double bestDistance = 0.0;
    for (size_t i = 0; i < t->config.capacity; ++i) {
        Entry& e = t->entries[i];
        if (!e.used)
            continue;
        const double distance = std::fabs(e.spot.frequencyHz - frequencyHz);
        if (distance <= t->config.neighbourHz && cw_callsign_similar(e.spot.call, call) &&
            (best == nullptr || distance < bestDistance)) {
            best = &e;
            bestDistance = distance;
        }
    }
    return best;
}

// A free entry, or the least recently heard one after it has been removed.
Entry* make_room(CW_SPOT_TABLE* t, CW_SPOT_EVENT* deleted, bool* evicted)
{
    Entry* oldest = nullptr;
    for (size_t i = 0; i < t->config.capacity; ++i) {
        Entry& e = t->entries[i];
        if (!e.used)
            return &e;
        if (oldest == nullptr || e.spot.lastHeard < oldest->spot.lastHeard)
            oldest = &e;
    }
    *deleted = event(CW_SPOT_DELETE, oldest->spot, false);
    *evicted = true;
    oldest->used = false;
    --t->count;
    return oldest;
}

bool usable(const CW_SPOT_CANDIDATE& c)
{
    const void* end = std::memchr(c.call, '\0', sizeof c.call);
    if (end == nullptr)
        return false;
    const size_t n = static_cast<size_t>(static_cast<const char*>(end) - c.call);
    return cw_callsign_check(c.call, n) && std::isfinite(c.frequencyHz) && c.frequencyHz > 0.0 && std::isfinite(c.now);
}

// Writes the events in order; with room for one only, the answer.
size_t write_events(const CW_SPOT_EVENT* lead, const CW_SPOT_EVENT& answer, CW_SPOT_EVENT* events, size_t capacity)
{
    size_t n = 0;
    if (lead != nullptr && capacity >= 2)
        events[n++] = *lead;
    events[n++] = answer;
    return n;
}

}  // namespace

CW_SPOT_TABLE* cw_spot_table_create(const CW_SPOT_TABLE_CONFIG* config)
{
    if (config == nullptr)
        return nullptr;
    const size_t capacity = config->capacity < 1                         ? 1
                            : config->capacity > kCWSpotTableMaxCapacity ? kCWSpotTableMaxCapacity
                                                                         : config->capacity;
    auto* t = new (std::nothrow) CW_SPOT_TABLE{};
    if (t == nullptr)
        return nullptr;
    t->entries = new (std::nothrow) Entry[capacity]{};
    if (t->entries == nullptr) {
        delete t;
        return nullptr;
    }
    t->config = clamped_config(*config, capacity);
    return t;
}

void cw_spot_table_configure(CW_SPOT_TABLE* t, const CW_SPOT_TABLE_CONFIG* config)
{
    if (t != nullptr && config != nullptr)
        t->config = clamped_config(*config, t->config.capacity);
}

size_t cw_spot_table_offer(CW_SPOT_TABLE* t, const CW_SPOT_CANDIDATE* candidate, CW_SPOT_EVENT* events, size_t capacity)
{
    if (t == nullptr || candidate == nullptr || events == nullptr || capacity == 0)
        return 0;
    const CW_SPOT_CANDIDATE& c = *candidate;
    if (!usable(c))
        return write_events(nullptr, event(CW_SPOT_NONE, CW_SPOT{}, false), events, capacity);

    if (Entry* same = find_call(t, c.call)) {
        CW_SPOT& s = same->spot;
        if (std::fabs(s.frequencyHz - c.frequencyHz) <= t->config.neighbourHz) {
            s.frequencyHz = c.frequencyHz;
            s.wpm = c.wpm;
            s.snrDb = c.snrDb;
            s.cq = c.cq ? 1 : 0;
            s.lastHeard = c.now;
            ++same->heard;
            const bool resend = c.now - same->lastSent >= t->config.respotSeconds;
            if (resend)
                same->lastSent = c.now;
            return write_events(nullptr, event(CW_SPOT_REFRESH, s, resend), events, capacity);
        }
        // Still being heard where it was: a second receiver on its clicks or
        // on someone sending its call, not the station moving.
        if (c.now - s.lastHeard < t->config.qsyHoldSeconds) {
            CW_SPOT_EVENT answer = event(CW_SPOT_SUPPRESSED, spot_of(c), false);
            std::memcpy(answer.similarTo, s.call, sizeof answer.similarTo);
            return write_events(nullptr, answer, events, capacity);
        }
        const CW_SPOT_EVENT moved = event(CW_SPOT_DELETE, s, false);
        *same = Entry{.spot = spot_of(c), .lastSent = c.now, .heard = 1, .rival = {}, .rivalHeard = 0, .used = true};
        return write_events(&moved, event(CW_SPOT_NEW, s, true), events, capacity);
    }

    if (Entry* similar = find_similar(t, c.call, c.frequencyHz)) {
        if (std::strcmp(similar->rival, c.call) == 0) {
            ++similar->rivalHeard;
        } else {
            std::memcpy(similar->rival, c.call, sizeof similar->rival);
            similar->rivalHeard = 1;
        }
        if (similar->rivalHeard > similar->heard) {
            const CW_SPOT_EVENT replaced = event(CW_SPOT_DELETE, similar->spot, false);
            *similar = Entry{.spot = spot_of(c),
                             .lastSent = c.now,
                             .heard = similar->rivalHeard,
                             .rival = {},
                             .rivalHeard = 0,
                             .used = true};
            return write_events(&replaced, event(CW_SPOT_NEW, similar->spot, true), events, capacity);
        }
        CW_SPOT_EVENT answer = event(CW_SPOT_SUPPRESSED, spot_of(c), false);
        std::memcpy(answer.similarTo, similar->spot.call, sizeof answer.similarTo);
        return write_events(nullptr, answer, events, capacity);
    }

    CW_SPOT_EVENT deleted{};
    bool evicted = false;
    Entry* e = make_room(t, &deleted, &evicted);
    *e = Entry{.spot = spot_of(c), .lastSent = c.now, .heard = 1, .rival = {}, .rivalHeard = 0, .used = true};
    ++t->count;
    return write_events(evicted ? &deleted : nullptr, event(CW_SPOT_NEW, e->spot, true), events, capacity);
}

size_t cw_spot_table_expire(CW_SPOT_TABLE* t, double now, CW_SPOT_EVENT* events, size_t capacity)
{
    if (t == nullptr || events == nullptr)
        return 0;
    size_t n = 0;
    for (size_t i = 0; i < t->config.capacity && n < capacity; ++i) {
        Entry& e = t->entries[i];
        if (e.used && now - e.spot.lastHeard >= t->config.maxAgeSeconds) {
            events[n++] = event(CW_SPOT_DELETE, e.spot, false);
            e.used = false;
            --t->count;
        }
    }
    return n;
}

size_t cw_spot_table_list(const CW_SPOT_TABLE* t, CW_SPOT* spots, size_t capacity)
{
    if (t == nullptr || spots == nullptr)
        return 0;
    const auto newer = [](const CW_SPOT& a, const CW_SPOT& b) {
        return a.lastHeard > b.lastHeard || (a.lastHeard == b.lastHeard && a.firstHeard > b.firstHeard);
    };
    // Insertion into the caller's array keeps the newest `capacity` in order.
    size_t n = 0;
    for (size_t i = 0; i < t->config.capacity; ++i) {
        const Entry& e = t->entries[i];
        if (!e.used)
            continue;
        size_t at = n;
        while (at > 0 && newer(e.spot, spots[at - 1]))
            --at;
        if (at >= capacity)
            continue;
        const size_t last = n < capacity ? n : capacity - 1;
        for (size_t j = last; j > at; --j)
            spots[j] = spots[j - 1];
        spots[at] = e.spot;
        if (n < capacity)
            ++n;
    }
    return n;
}

size_t cw_spot_table_count(const CW_SPOT_TABLE* t)
{
    return t != nullptr ? t->count : 0;
}

void cw_spot_table_destroy(CW_SPOT_TABLE* t)
{
    if (t == nullptr)
        return;
    delete[] t->entries;
    delete t;
}
