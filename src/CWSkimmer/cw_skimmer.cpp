#include "cw_skimmer.h"

#include "CWRx.h"
#include "cw_call_extractor.h"
#include "cw_carrier_detector.h"
#include "cw_channel_ddc.h"
#include "cw_skim_input.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>

namespace {

constexpr size_t kBlock = 2048;  // input samples decimated at a time
// Working samples gathered before the channels run: a receiver's cost is
// partly per call, so it gets about a tenth of a second at once.
constexpr size_t kChannelBlock = 1024;
constexpr size_t kWorkRoom = kChannelBlock + kBlock;
constexpr double kChannelPitchHz = 600.0;  // where each channel's receiver hears its station
// A neighbour's key clicks come through a channel's filter this many dB
// under the neighbour's own level (5 ms edges; measured from 80 Hz out, the
// 40 Hz figure estimated). They read as strings of E and I between the
// channel's overs and inside its word gaps.
// A channel beside such clicks counts as marks only what stands 8 dB over
// the loudest of them, at most kHighestMarkFloor of its strongest tone of
// the last seconds. The floor is no higher than the clicks ask: it also cuts
// the channel's own marks sunk in a fade, so a lone station has none.
struct ClickReach {
    double hz;
    double belowDb;
};
constexpr ClickReach kClickReach[] = {{40.0, 10.0},  {80.0, 19.0},  {100.0, 23.0},
                                      {120.0, 26.0}, {150.0, 30.0}, {200.0, 37.0}};
constexpr double kClickMargin = 2.5;
constexpr double kHighestMarkFloor = 0.4;
constexpr double kLeastMarkFloor = 0.1;  // under this the clicks stay under the noise anyway
constexpr double kMarkFloorStep = 0.05;  // the receiver is reconfigured only when the floor moves this much
constexpr double kSameSignalHz = 40.0;   // a carrier this close to a channel is its station
constexpr double kPendingHz = 20.0;      // ... and this close to a candidate, the same candidate
constexpr int32_t kListsToConfirm = 2;   // a candidate held for this many lists (0.4 s) gets a channel
constexpr double kFollowShare = 0.25;    // how far a channel moves toward its carrier per list
constexpr double kFollowLeastHz = 2.0;
constexpr float kSnrShare = 0.2f;
constexpr double kReplaySeconds = 4.0;  // a new channel first decodes this much of the past
constexpr size_t kReplaySamples = 4 * 16000;
// An IQ band is cut into tiles this wide, each brought down to the working
// rate on its own (which keeps 0.4 of that rate clean either side).
constexpr double kTileHz = 6000.0;
constexpr size_t kMaxTiles = 64;
constexpr size_t kMaxPending = 64;
constexpr size_t kMaxCarriers = 256;
constexpr size_t kEventQueue = 256;
constexpr size_t kFreshBytes = 1024;
constexpr size_t kHeardPerFeed = 8;
constexpr double kExpiryEverySeconds = 1.0;
constexpr double kSpotNeighbourHz = 150.0;
constexpr double kLowestWpm = 10.0;
constexpr double kHighestWpm = 50.0;
constexpr double kHeldSpeedSpread = 1.4;  // a held speed allows this factor either way
constexpr double kHeldSpeedStep = 0.1;    // and moves when the speed moved by this share
// A held speed is let go when no call was read in context for this long: it
// may have been a wrong lock, which would never read the station again.
constexpr double kHeldSpeedSeconds = 20.0;
constexpr size_t kSpotCapacity = 512;
constexpr double kRespotSeconds = 600.0;
// A call heard on a second channel this soon after its own is a ghost of
// it (a keying sideband given a channel), not a move.
constexpr double kQsyHoldSeconds = 30.0;
// A channel that printed nothing for this many dots of its speed is between
// overs: the calls waiting for the next word (a CQ's closing call) are
// decided then, not when the station calls again. (A word gap is 7 dots;
// the receiver's own idea of a signal is no help here, as a neighbour or
// the noise keeps it up.)
constexpr double kOverGapDots = 40.0;
constexpr double kLeastOverGapSeconds = 2.5;

struct Channel {
    int32_t active;
    int32_t id;
    size_t tile;
    double frequencyHz;  // from the stream's zero: audio Hz, or the IQ offset
    float snrDb;
    double lastCarrier;  // seconds
    double minWpm;       // the speeds its receiver looks for
    double maxWpm;
    double calledAt;      // seconds: a call in context was last read, < 0 none since the speed was let go
    double heldAt;        // seconds: the speed was first held since it was let go, < 0 not held
    double markFloor;     // 0, or up to kHighestMarkFloor beside a neighbour's clicks
    size_t quietSamples;  // working samples since the receiver last printed
    int32_t overDecided;  // the calls of the last over were decided in its gap
    CW_CHANNEL_DDC* ddc;
    CW_RX* rx;
    CW_CALL_EXTRACTOR* calls;
    char tail[kCWSkimmerTextBytes];
    size_t tailLength;
    char fresh[kFreshBytes];
    size_t freshLength;
};

struct Pending {
    size_t tile;
    double frequencyHz;
    float snrDb;
    int32_t hits;
    int32_t seen;  // in the list just read
};

// One stretch of the band at the working rate: its own input stage,
// carrier detector and recent past for channels opened late.
struct Tile {
    CW_SKIM_INPUT* input;
    CW_CARRIER_DETECTOR* detector;
    double centreHz;
    size_t workFill;
    float workRe[kWorkRoom];
    float workIm[kWorkRoom];
    float replayRe[kReplaySamples];
    float replayIm[kReplaySamples];
    size_t replayHead;
    size_t replayFill;
};

}  // namespace

struct CW_SKIMMER {
    CW_SKIMMER_CONFIG config;
    Tile* tiles[kMaxTiles];
    size_t tileCount;
    CW_SPOT_TABLE* spots;
    double workRate;
    double seconds;
    double nextExpiry;
    int32_t nextId;
    int32_t refused;
    int32_t built;
    int32_t eventsDropped;
    int32_t broken;  // a tile could not be made: out of memory
    Channel channels[kCWSkimmerMaxChannels];
    Pending pending[kMaxPending];
    size_t pendingCount;
    CW_CARRIER carriers[kMaxCarriers];
    size_t carrierCount;
    float audio[kWorkRoom];
    CW_SPOT_EVENT events[kEventQueue];
    size_t eventHead;
    size_t eventCount;
};

namespace {

CW_SKIMMER_CONFIG clamp_config(const CW_SKIMMER_CONFIG& c)
{
    const CW_SKIMMER_CONFIG d = cw_skimmer_default_config();
    CW_SKIMMER_CONFIG out = c;
    out.iq = out.iq ? 1 : 0;
    if (!std::isfinite(out.sampleRate) || out.sampleRate < 8000.0 || out.sampleRate > 384000.0)
        out.sampleRate = d.sampleRate;
    // Audio has no frequencies below zero; IQ offsets do.
    if (!std::isfinite(out.lowHz) || (!out.iq && out.lowHz < 0.0))
        out.lowHz = d.lowHz;
    if (!std::isfinite(out.highHz) || (!out.iq && out.highHz <= 0.0))
        out.highHz = d.highHz;
    if (out.lowHz > out.highHz)
        std::swap(out.lowHz, out.highHz);
    if (!std::isfinite(out.dialHz))
        out.dialHz = 0.0;
    out.capacity = std::clamp(out.capacity, 1, kCWSkimmerMaxChannels);
    if (!std::isfinite(out.silenceSeconds) || out.silenceSeconds <= 0.0)
        out.silenceSeconds = d.silenceSeconds;
    if (!std::isfinite(out.spotAgeSeconds) || out.spotAgeSeconds <= 0.0)
        out.spotAgeSeconds = d.spotAgeSeconds;
    return out;
}

CW_SPOT_TABLE_CONFIG spot_table_config(const CW_SKIMMER_CONFIG& c)
{
    return CW_SPOT_TABLE_CONFIG{.capacity = kSpotCapacity,
                                .maxAgeSeconds = c.spotAgeSeconds,
                                .respotSeconds = kRespotSeconds,
                                .neighbourHz = kSpotNeighbourHz,
                                .qsyHoldSeconds = kQsyHoldSeconds};
}

CW_RX_CONFIG channel_rx_config(double workRate, double minWpm, double maxWpm, double markFloor)
{
    CW_RX_CONFIG c = cw_rx_default_config();
    c.sampleRate = workRate;
    c.pitchHz = kChannelPitchHz;
    c.autoPitch = 1;  // the channel follows its carrier only roughly; the engine finds the rest
    c.minWpm = minWpm;
    c.maxWpm = maxWpm;
    c.markFloor = markFloor;
    return c;
}

void look_for_speeds(CW_SKIMMER* s, Channel& ch, double low, double high)
{
    ch.minWpm = low;
    ch.maxWpm = high;
    const CW_RX_CONFIG rc = channel_rx_config(s->workRate, low, high, ch.markFloor);
    cw_rx_configure(ch.rx, &rc);
}

// How far under a neighbour its clicks reach a channel this far away, in
// dB; negative beyond their reach.
double click_db_below(double hz)
{
    const size_t n = std::size(kClickReach);
    if (hz >= kClickReach[n - 1].hz)
        return -1.0;
    if (hz <= kClickReach[0].hz)
        return kClickReach[0].belowDb;
    size_t i = 1;
    while (kClickReach[i].hz < hz)
        ++i;
    const ClickReach& a = kClickReach[i - 1];
    const ClickReach& b = kClickReach[i];
    return a.belowDb + (b.belowDb - a.belowDb) * (hz - a.hz) / (b.hz - a.hz);
}

// Sets the mark floor of a channel by its neighbours' clicks (see kClickReach).
void mind_neighbours(CW_SKIMMER* s, Channel& ch)
{
    double clicksDb = -1000.0;  // the loudest neighbour's clicks, against the channel's station
    for (const Channel& other : s->channels) {
        if (!other.active || &other == &ch)
            continue;
        const double below = click_db_below(std::abs(other.frequencyHz - ch.frequencyHz));
        if (below >= 0.0)
            clicksDb = std::max(clicksDb, static_cast<double>(other.snrDb - ch.snrDb) - below);
    }
    const double wanted = std::min(kHighestMarkFloor, kClickMargin * std::pow(10.0, clicksDb / 20.0));
    const double floor = wanted < kLeastMarkFloor ? 0.0 : std::round(wanted / kMarkFloorStep) * kMarkFloorStep;
    if (std::abs(floor - ch.markFloor) < 0.5 * kMarkFloorStep)
        return;
    ch.markFloor = floor;
    look_for_speeds(s, ch, ch.minWpm, ch.maxWpm);
}

// Once the receiver has locked onto its station's speed, it looks for that
// speed only: the key clicks of a strong neighbour are short blips that a
// receiver open to any speed reads as strings of E and I between overs.
// A lock counts once a call was read in context at that speed (clicks and
// noise can lock the receiver onto a speed that is not the station's).
void hold_speed(CW_SKIMMER* s, Channel& ch, const CW_RX_STATUS& status)
{
    if (ch.heldAt >= 0.0 && s->seconds - std::max(ch.heldAt, ch.calledAt) > kHeldSpeedSeconds) {
        ch.heldAt = -1.0;
        ch.calledAt = -1.0;
        look_for_speeds(s, ch, kLowestWpm, kHighestWpm);
        return;
    }
    if (ch.calledAt < 0.0 || status.lock != 2 || !(status.wpm >= kLowestWpm && status.wpm <= kHighestWpm))
        return;
    const double low = std::max(kLowestWpm, status.wpm / kHeldSpeedSpread);
    const double high = std::min(kHighestWpm, status.wpm * kHeldSpeedSpread);
    if (ch.heldAt < 0.0)
        ch.heldAt = s->seconds;
    if (std::abs(high - ch.maxWpm) < kHeldSpeedStep * ch.maxWpm)
        return;
    look_for_speeds(s, ch, low, high);
}

void push_event(CW_SKIMMER* s, const CW_SPOT_EVENT& e)
{
    if (s->eventCount == kEventQueue) {
        s->eventHead = (s->eventHead + 1) % kEventQueue;
        --s->eventCount;
        ++s->eventsDropped;
    }
    s->events[(s->eventHead + s->eventCount) % kEventQueue] = e;
    ++s->eventCount;
}

void append_text(Channel& ch, const char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (ch.tailLength + 1 == kCWSkimmerTextBytes) {
            std::memmove(ch.tail, ch.tail + 1, ch.tailLength - 1);
            --ch.tailLength;
        }
        ch.tail[ch.tailLength++] = text[i];
        if (ch.freshLength == kFreshBytes) {
            std::memmove(ch.fresh, ch.fresh + 1, kFreshBytes - 1);
            --ch.freshLength;
        }
        ch.fresh[ch.freshLength++] = text[i];
    }
    ch.tail[ch.tailLength] = '\0';
}

void offer_calls(CW_SKIMMER* s, Channel& ch, const CW_CALL_HEARD* heard, size_t count)
{
    CW_RX_STATUS status{};
    cw_rx_get_status(ch.rx, &status);
    for (size_t i = 0; i < count; ++i) {
        if (heard[i].strong)
            ch.calledAt = s->seconds;
        // A call fit to spot and heard twice: one misread call in a context
        // is the commonest busted spot.
        if (!heard[i].strong || !heard[i].repeated)
            continue;
        CW_SPOT_CANDIDATE candidate{};
        std::memcpy(candidate.call, heard[i].call, sizeof candidate.call);
        candidate.frequencyHz = s->config.dialHz + ch.frequencyHz;
        candidate.wpm = status.wpm;
        candidate.snrDb = ch.snrDb;
        candidate.cq = heard[i].cq;
        candidate.now = s->seconds;
        CW_SPOT_EVENT events[kCWSpotTableOfferEvents];
        const size_t n = cw_spot_table_offer(s->spots, &candidate, events, kCWSpotTableOfferEvents);
        for (size_t e = 0; e < n; ++e) {
            // Busted variants stay out; a spot heard again goes out again
            // only when the table says it is time.
            const bool send = events[e].kind == CW_SPOT_NEW || events[e].kind == CW_SPOT_DELETE ||
                              (events[e].kind == CW_SPOT_REFRESH && events[e].resend);
            if (send)
                push_event(s, events[e]);
        }
    }
}

void hear_calls(CW_SKIMMER* s, Channel& ch, const char* text, size_t length)
{
    CW_CALL_HEARD heard[kHeardPerFeed];
    size_t n = cw_call_extractor_feed(ch.calls, text, length, heard, kHeardPerFeed);
    while (n > 0) {
        offer_calls(s, ch, heard, n);
        n = cw_call_extractor_feed(ch.calls, nullptr, 0, heard, kHeardPerFeed);
    }
}

// The station fell silent (between overs, or for good): the calls waiting
// for the next word are decided.
void decide_over(CW_SKIMMER* s, Channel& ch)
{
    CW_CALL_HEARD heard[kHeardPerFeed];
    size_t n = cw_call_extractor_flush(ch.calls, heard, kHeardPerFeed);
    while (n > 0) {
        offer_calls(s, ch, heard, n);
        n = cw_call_extractor_feed(ch.calls, nullptr, 0, heard, kHeardPerFeed);
    }
    ch.overDecided = 1;
}

void retire(CW_SKIMMER* s, Channel& ch)
{
    decide_over(s, ch);
    ch.active = 0;
}

// Runs one channel over `count` samples of its tile's working stream.
void run_channel(CW_SKIMMER* s, Channel& ch, const float* re, const float* im, size_t count)
{
    cw_channel_ddc_process(ch.ddc, re, im, count, s->audio);
    char text[256];
    size_t length = cw_rx_process(ch.rx, s->audio, count, text, sizeof text);
    ch.quietSamples = length > 0 ? 0 : ch.quietSamples + count;
    if (length > 0)
        ch.overDecided = 0;
    while (length > 0) {
        append_text(ch, text, length);
        hear_calls(s, ch, text, length);
        length = cw_rx_process(ch.rx, s->audio, 0, text, sizeof text);
    }
    CW_RX_STATUS status{};
    cw_rx_get_status(ch.rx, &status);
    if (!ch.overDecided) {
        const double dotSeconds = 1.2 / std::clamp(static_cast<double>(status.wpm), kLowestWpm, kHighestWpm);
        const double gap = std::max(kLeastOverGapSeconds, kOverGapDots * dotSeconds);
        if (static_cast<double>(ch.quietSamples) >= gap * s->workRate)
            decide_over(s, ch);
    }
    hold_speed(s, ch, status);
    mind_neighbours(s, ch);
}

void replay_into(CW_SKIMMER* s, Channel& ch)
{
    const Tile& t = *s->tiles[ch.tile];
    const bool complex = s->config.iq != 0;
    const size_t start = (t.replayHead + kReplaySamples - t.replayFill) % kReplaySamples;
    size_t done = 0;
    while (done < t.replayFill) {
        const size_t at = (start + done) % kReplaySamples;
        const size_t n = std::min({kChannelBlock, t.replayFill - done, kReplaySamples - at});
        run_channel(s, ch, t.replayRe + at, complex ? t.replayIm + at : nullptr, n);
        done += n;
    }
}

// The frequency of a tile's carrier as the skimmer reports it, without the dial.
double absolute_hz(const CW_SKIMMER* s, size_t tile, double hz)
{
    return s->tiles[tile]->centreHz + hz;
}

bool open_channel(CW_SKIMMER* s, const Pending& p)
{
    Channel* free = nullptr;
    int32_t active = 0;
    for (int32_t i = 0; i < kCWSkimmerMaxChannels; ++i) {
        Channel& ch = s->channels[i];
        if (ch.active)
            ++active;
        else if (free == nullptr && (ch.rx != nullptr || s->built < s->config.capacity))
            free = &ch;
    }
    if (free == nullptr || active >= s->config.capacity)
        return false;
    Channel& ch = *free;
    if (ch.rx == nullptr) {
        // Made once, when first needed, and kept for the next signal.
        ch.ddc = cw_channel_ddc_create();
        ch.calls = cw_call_extractor_create();
        const CW_RX_CONFIG rc = channel_rx_config(s->workRate, kLowestWpm, kHighestWpm, 0.0);
        ch.rx = cw_rx_create(&rc);
        if (ch.ddc == nullptr || ch.calls == nullptr || ch.rx == nullptr) {
            cw_channel_ddc_destroy(ch.ddc);
            cw_call_extractor_destroy(ch.calls);
            cw_rx_destroy(ch.rx);
            ch.ddc = nullptr;
            ch.calls = nullptr;
            ch.rx = nullptr;
            return false;
        }
        ++s->built;
    }
    ch.minWpm = kLowestWpm;
    ch.maxWpm = kHighestWpm;
    ch.calledAt = -1.0;
    ch.heldAt = -1.0;
    ch.markFloor = 0.0;
    ch.quietSamples = 0;
    ch.overDecided = 1;
    const CW_RX_CONFIG rc = channel_rx_config(s->workRate, kLowestWpm, kHighestWpm, 0.0);
    cw_rx_reset(ch.rx);
    cw_rx_configure(ch.rx, &rc);
    cw_rx_set_squelch(ch.rx, 0.5);
    const double inTile = p.frequencyHz - s->tiles[p.tile]->centreHz;
    cw_channel_ddc_configure(ch.ddc, s->workRate, inTile, kChannelPitchHz);
    cw_channel_ddc_reset(ch.ddc);
    cw_call_extractor_reset(ch.calls);
    ch.active = 1;
    ch.id = s->nextId++;
    ch.tile = p.tile;
    ch.frequencyHz = p.frequencyHz;
    ch.snrDb = p.snrDb;
    ch.lastCarrier = s->seconds;
    ch.tailLength = 0;
    ch.tail[0] = '\0';
    // The signal was keyed for a while before it was confirmed: its start
    // is read from the recent audio, so the first call is not lost.
    replay_into(s, ch);
    return true;
}

Channel* nearest_channel(CW_SKIMMER* s, double hz)
{
    Channel* best = nullptr;
    for (Channel& ch : s->channels) {
        if (ch.active && std::abs(ch.frequencyHz - hz) <= kSameSignalHz &&
            (best == nullptr || std::abs(ch.frequencyHz - hz) < std::abs(best->frequencyHz - hz)))
            best = &ch;
    }
    return best;
}

// A tile's new list of carriers: channels follow theirs, new carriers held
// for long enough get channels. Carriers are matched by their frequency in
// the whole band, so one at a tile's edge is one station.
void read_carriers(CW_SKIMMER* s, size_t tile)
{
    Tile& t = *s->tiles[tile];
    s->carrierCount = cw_carrier_detector_get_carriers(t.detector, s->carriers, kMaxCarriers);
    for (size_t p = 0; p < s->pendingCount; ++p) {
        if (s->pending[p].tile == tile)
            s->pending[p].seen = 0;
    }
    for (size_t c = 0; c < s->carrierCount; ++c) {
        const CW_CARRIER& carrier = s->carriers[c];
        const double hz = absolute_hz(s, tile, carrier.frequencyHz);
        if (Channel* ch = nearest_channel(s, hz)) {
            ch->lastCarrier = s->seconds;
            ch->snrDb += kSnrShare * (carrier.snrDb - ch->snrDb);
            const double off = hz - ch->frequencyHz;
            if (ch->tile == tile && std::abs(off) > kFollowLeastHz) {
                ch->frequencyHz += kFollowShare * off;
                cw_channel_ddc_configure(ch->ddc, s->workRate, ch->frequencyHz - t.centreHz, kChannelPitchHz);
            }
            continue;
        }
        Pending* match = nullptr;
        for (size_t p = 0; p < s->pendingCount; ++p) {
            if (std::abs(s->pending[p].frequencyHz - hz) <= kPendingHz)
                match = &s->pending[p];
        }
        if (match == nullptr) {
            if (s->pendingCount == kMaxPending)
                continue;
            match = &s->pending[s->pendingCount++];
            *match = Pending{.tile = tile, .frequencyHz = hz, .snrDb = carrier.snrDb, .hits = 0, .seen = 0};
        }
        if (match->tile != tile)
            continue;  // the neighbouring tile has it already
        match->frequencyHz = 0.5 * (match->frequencyHz + hz);
        match->snrDb = carrier.snrDb;
        ++match->hits;
        match->seen = 1;
    }
    // Candidates gone from the list are forgotten; those held long enough
    // get a channel.
    size_t kept = 0;
    for (size_t p = 0; p < s->pendingCount; ++p) {
        const Pending& candidate = s->pending[p];
        if (candidate.tile == tile) {
            if (!candidate.seen)
                continue;
            if (candidate.hits >= kListsToConfirm) {
                if (!open_channel(s, candidate))
                    ++s->refused;
                continue;
            }
        }
        s->pending[kept++] = candidate;
    }
    s->pendingCount = kept;
}

void retire_silent(CW_SKIMMER* s)
{
    for (Channel& ch : s->channels) {
        if (ch.active && s->seconds - ch.lastCarrier > s->config.silenceSeconds)
            retire(s, ch);
    }
}

void destroy_tiles(CW_SKIMMER* s)
{
    for (size_t i = 0; i < kMaxTiles; ++i) {
        if (s->tiles[i] != nullptr) {
            cw_skim_input_destroy(s->tiles[i]->input);
            cw_carrier_detector_destroy(s->tiles[i]->detector);
            delete s->tiles[i];
            s->tiles[i] = nullptr;
        }
    }
    s->tileCount = 0;
}

// Lays the span out in tiles (one for audio) and starts every channel
// afresh. Tiles are made here, never per block.
void start_afresh(CW_SKIMMER* s)
{
    for (Channel& ch : s->channels)
        ch.active = 0;
    s->pendingCount = 0;
    s->carrierCount = 0;
    const bool complex = s->config.iq != 0;
    double low = s->config.lowHz;
    double high = s->config.highHz;
    size_t wanted = 1;
    if (complex) {
        const double edge = 0.5 * s->config.sampleRate - 0.5 * kTileHz;
        low = std::clamp(low, -edge, edge);
        high = std::clamp(high, low, edge);
        wanted = std::min(kMaxTiles, static_cast<size_t>(std::ceil((high - low) / kTileHz)) + 1);
    }
    s->broken = 0;
    for (size_t i = 0; i < kMaxTiles; ++i) {
        if (i < wanted && s->tiles[i] == nullptr) {
            Tile* t = new (std::nothrow) Tile{};
            if (t != nullptr) {
                t->input = cw_skim_input_create();
                t->detector = cw_carrier_detector_create(nullptr);
            }
            if (t == nullptr || t->input == nullptr || t->detector == nullptr) {
                if (t != nullptr) {
                    cw_skim_input_destroy(t->input);
                    cw_carrier_detector_destroy(t->detector);
                    delete t;
                }
                s->broken = 1;
                wanted = i;
                break;
            }
            s->tiles[i] = t;
        }
    }
    s->tileCount = wanted;
    for (size_t i = 0; i < wanted; ++i) {
        Tile& t = *s->tiles[i];
        t.centreHz = complex ? low + 0.5 * kTileHz + static_cast<double>(i) * kTileHz : 0.0;
        s->workRate = cw_skim_input_configure(t.input, s->config.sampleRate, complex ? 1 : 0, t.centreHz);
        const double clean = cw_skim_input_passband_hz(t.input);
        CW_CARRIER_DETECTOR_CONFIG dc = cw_carrier_detector_default_config();
        dc.sampleRate = s->workRate;
        if (complex) {
            // Each tile searches its own stretch; the last one stops at the span's end.
            dc.lowHz = -0.5 * kTileHz;
            dc.highHz = std::min(0.5 * kTileHz, high - t.centreHz);
        } else {
            dc.lowHz = low;
            dc.highHz = std::min(high, clean);
        }
        cw_carrier_detector_configure(t.detector, &dc);
        cw_carrier_detector_reset(t.detector);
        t.workFill = 0;
        t.replayHead = 0;
        t.replayFill = 0;
    }
}

void remember(CW_SKIMMER* s, Tile& t)
{
    const size_t limit = std::min(kReplaySamples, static_cast<size_t>(kReplaySeconds * s->workRate));
    for (size_t i = 0; i < t.workFill; ++i) {
        t.replayRe[t.replayHead] = t.workRe[i];
        t.replayIm[t.replayHead] = t.workIm[i];
        t.replayHead = (t.replayHead + 1) % kReplaySamples;
    }
    t.replayFill = std::min(limit, t.replayFill + t.workFill);
}

void run_tile(CW_SKIMMER* s, size_t tile)
{
    Tile& t = *s->tiles[tile];
    const bool complex = s->config.iq != 0;
    const float* im = complex ? t.workIm : nullptr;
    remember(s, t);
    int32_t fresh[kCWSkimmerMaxChannels] = {};
    if (cw_carrier_detector_process(t.detector, t.workRe, im, t.workFill)) {
        int32_t before[kCWSkimmerMaxChannels];
        for (int32_t i = 0; i < kCWSkimmerMaxChannels; ++i)
            before[i] = s->channels[i].active ? s->channels[i].id : 0;
        read_carriers(s, tile);
        // Channels opened now already read these samples in their replay.
        for (int32_t i = 0; i < kCWSkimmerMaxChannels; ++i)
            fresh[i] = s->channels[i].active && s->channels[i].id != before[i];
    }
    for (int32_t i = 0; i < kCWSkimmerMaxChannels; ++i) {
        Channel& ch = s->channels[i];
        if (ch.active && ch.tile == tile && !fresh[i])
            run_channel(s, ch, t.workRe, im, t.workFill);
    }
    t.workFill = 0;
}

void expire_spots(CW_SKIMMER* s)
{
    if (s->seconds < s->nextExpiry)
        return;
    s->nextExpiry = s->seconds + kExpiryEverySeconds;
    CW_SPOT_EVENT expired[16];
    size_t n;
    while ((n = cw_spot_table_expire(s->spots, s->seconds, expired, 16)) > 0) {
        for (size_t e = 0; e < n; ++e)
            push_event(s, expired[e]);
    }
}

// `frames` frames of the stream, interleaved when complex.
void take_frames(CW_SKIMMER* s, const float* samples, size_t frames)
{
    const size_t stride = s->config.iq ? 2 : 1;
    for (size_t done = 0; done < frames;) {
        const size_t n = std::min(kBlock, frames - done);
        bool full = false;
        for (size_t i = 0; i < s->tileCount; ++i) {
            Tile& t = *s->tiles[i];
            t.workFill += cw_skim_input_process(t.input, samples + stride * done, n, t.workRe + t.workFill,
                                                t.workIm + t.workFill);
            full = t.workFill >= kChannelBlock;
        }
        done += n;
        s->seconds += static_cast<double>(n) / s->config.sampleRate;
        if (full) {
            for (size_t i = 0; i < s->tileCount; ++i)
                run_tile(s, i);
            retire_silent(s);
            expire_spots(s);
        }
    }
}

}  // namespace

CW_SKIMMER_CONFIG cw_skimmer_default_config(void)
{
    return CW_SKIMMER_CONFIG{.sampleRate = 48000.0,
                             .iq = 0,
                             .lowHz = 300.0,
                             .highHz = 3200.0,
                             .dialHz = 0.0,
                             .capacity = 32,
                             .silenceSeconds = 20.0,
                             .spotAgeSeconds = 900.0};
}

CW_SKIMMER* cw_skimmer_create(const CW_SKIMMER_CONFIG* config)
{
    CW_SKIMMER* s = new (std::nothrow) CW_SKIMMER{};
    if (s == nullptr)
        return nullptr;
    s->config = clamp_config(config ? *config : cw_skimmer_default_config());
    const CW_SPOT_TABLE_CONFIG tc = spot_table_config(s->config);
    s->spots = cw_spot_table_create(&tc);
    s->nextId = 1;
    start_afresh(s);
    if (s->spots == nullptr || s->broken) {
        cw_skimmer_destroy(s);
        return nullptr;
    }
    return s;
}

void cw_skimmer_configure(CW_SKIMMER* s, const CW_SKIMMER_CONFIG* config)
{
    if (s == nullptr || config == nullptr)
        return;
    const CW_SKIMMER_CONFIG next = clamp_config(*config);
    const bool afresh = next.sampleRate != s->config.sampleRate || next.iq != s->config.iq ||
                        next.lowHz != s->config.lowHz || next.highHz != s->config.highHz;
    s->config = next;
    const CW_SPOT_TABLE_CONFIG tc = spot_table_config(next);
    cw_spot_table_configure(s->spots, &tc);
    if (afresh)
        start_afresh(s);
}

void cw_skimmer_process(CW_SKIMMER* s, const float* samples, size_t count)
{
    if (s != nullptr && samples != nullptr && !s->config.iq)
        take_frames(s, samples, count);
}

void cw_skimmer_process_iq(CW_SKIMMER* s, const float* iq, size_t frames)
{
    if (s != nullptr && iq != nullptr && s->config.iq)
        take_frames(s, iq, frames);
}

size_t cw_skimmer_take_events(CW_SKIMMER* s, CW_SPOT_EVENT* events, size_t capacity)
{
    if (s == nullptr || events == nullptr)
        return 0;
    const size_t n = std::min(capacity, s->eventCount);
    for (size_t i = 0; i < n; ++i)
        events[i] = s->events[(s->eventHead + i) % kEventQueue];
    s->eventHead = (s->eventHead + n) % kEventQueue;
    s->eventCount -= n;
    return n;
}

size_t cw_skimmer_take_text(CW_SKIMMER* s, CW_SKIMMER_TEXT* texts, size_t capacity)
{
    if (s == nullptr || texts == nullptr)
        return 0;
    size_t written = 0;
    for (Channel& ch : s->channels) {
        size_t from = 0;
        while (from < ch.freshLength && written < capacity) {
            CW_SKIMMER_TEXT& t = texts[written++];
            const size_t n = std::min(kCWSkimmerTextBytes - 1, ch.freshLength - from);
            t.channelId = ch.id;
            t.frequencyHz = s->config.dialHz + ch.frequencyHz;
            std::memcpy(t.text, ch.fresh + from, n);
            t.text[n] = '\0';
            from += n;
        }
        std::memmove(ch.fresh, ch.fresh + from, ch.freshLength - from);
        ch.freshLength -= from;
    }
    return written;
}

size_t cw_skimmer_get_channels(const CW_SKIMMER* s, CW_SKIMMER_CHANNEL* channels, size_t capacity)
{
    if (s == nullptr || channels == nullptr)
        return 0;
    size_t n = 0;
    for (const Channel& ch : s->channels) {
        if (!ch.active || n == capacity)
            continue;
        CW_RX_STATUS status{};
        cw_rx_get_status(ch.rx, &status);
        CW_SKIMMER_CHANNEL& out = channels[n++];
        out = CW_SKIMMER_CHANNEL{.id = ch.id,
                                 .frequencyHz = s->config.dialHz + ch.frequencyHz,
                                 .wpm = status.wpm,
                                 .snrDb = ch.snrDb,
                                 .signalPresent = status.signalPresent,
                                 .text = {}};
        std::memcpy(out.text, ch.tail, ch.tailLength + 1);
    }
    std::sort(channels, channels + n,
              [](const CW_SKIMMER_CHANNEL& a, const CW_SKIMMER_CHANNEL& b) { return a.frequencyHz < b.frequencyHz; });
    return n;
}

size_t cw_skimmer_get_spots(const CW_SKIMMER* s, CW_SPOT* spots, size_t capacity)
{
    return s ? cw_spot_table_list(s->spots, spots, capacity) : 0;
}

void cw_skimmer_get_status(const CW_SKIMMER* s, CW_SKIMMER_STATUS* status)
{
    if (status == nullptr)
        return;
    *status = CW_SKIMMER_STATUS{};
    if (s == nullptr)
        return;
    int32_t active = 0;
    for (const Channel& ch : s->channels)
        active += ch.active;
    *status = CW_SKIMMER_STATUS{.seconds = s->seconds,
                                .workRate = s->workRate,
                                .channels = active,
                                .capacity = s->config.capacity,
                                .carriers = static_cast<int32_t>(s->carrierCount),
                                .refused = s->refused,
                                .spots = static_cast<int32_t>(cw_spot_table_count(s->spots)),
                                .receiversBuilt = s->built,
                                .eventsDropped = s->eventsDropped};
}

void cw_skimmer_destroy(CW_SKIMMER* s)
{
    if (s == nullptr)
        return;
    for (Channel& ch : s->channels) {
        cw_channel_ddc_destroy(ch.ddc);
        cw_call_extractor_destroy(ch.calls);
        cw_rx_destroy(ch.rx);
    }
    destroy_tiles(s);
    cw_spot_table_destroy(s->spots);
    delete s;
}
