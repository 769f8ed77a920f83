#include "keying_slicer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <vector>

namespace {

constexpr int kRingSize = 1024;
// Looking 2.5 dots either way always reaches a key-down stretch inside a
// character or across a letter gap, so noise in the gaps stays below the
// threshold of a weak signal.
constexpr float kLookDots = 2.5f;
// A signal this far above the noise is judged within 1.2 dots only.
constexpr float kNearLookDots = 1.2f;
constexpr float kNearRatio = 6.0f;
// Values this far above the noise join into islands; gaps between marks
// fall below it. An island whose top stands kOwnRatio above the noise is a
// mark of its own, judged against its own top: a mark sunk in a deep fade
// beside strong ones is still far above the noise.
constexpr float kIslandRatio = 3.0f;
constexpr float kOwnRatio = 5.0f;
constexpr int kMinLook = 8;
constexpr int kMaxLook = 400;
// A signal must stand this far above the mean noise envelope: the largest
// noise value within a few dots seldom does. Starting an over takes more,
// which noise alone next to never reaches; the over then lasts until the
// signal has not been clear for kQuietDots (two word gaps at most), within
// kShortestQuietMs..kLongestQuietMs.
constexpr float kPresentRatio = 3.0f;
constexpr float kStartRatio = 4.0f;
// A weak signal that never reaches kStartRatio starts an over as well when
// a fifth of the values around stand above 2.5 noise floors, which noise
// alone does for one value in 140.
constexpr float kBusyLevel = 2.5f;
constexpr float kBusyShare = 0.2f;
constexpr float kQuietDots = 10.0f;
constexpr float kShortestQuietMs = 500.0f;
constexpr float kLongestQuietMs = 1500.0f;
// Key down a little below the middle between noise floor and signal (a
// fading mark still reaches it), with hysteresis against ragged edges.
constexpr float kThresholdFraction = kKeyingSlicerThreshold;
// A strong signal keys down lower, down to kStrongFraction at kStrongRatio
// noise floors (from kThresholdFraction at kFairRatio): its fades and the
// dips inside its dashes stay far above the noise.
constexpr float kStrongFraction = 0.22f;
constexpr float kFairRatio = 10.0f;
constexpr float kStrongRatio = 30.0f;
constexpr float kLowestFraction = 0.15f;
constexpr float kHighestFraction = 0.5f;
constexpr float kHysteresis = 0.06f;
constexpr float kNoiseSeconds = 1.0f;
constexpr float kDecileOfMean = 0.366f;
constexpr float kNoiseOutlier = 2.0f;
constexpr float kTruncatedMean = 0.943f;
// The strongest value of the last seconds, for the mark floor, decays with
// this time constant: it outlasts the pause between a station's overs.
constexpr float kMarkPeakSeconds = 3.0f;
constexpr float kHighestMarkFloor = 0.8f;
// Nothing counts as a signal before the floor has learned from this many
// values; the first of them, while an averaging window (128 ms at most)
// fills, are left out.
constexpr int kSettleValues = 264;
constexpr int kRampValues = 64;
// Below this the envelope is digital silence, not noise to scale against.
constexpr float kFloor = 1e-5f;

}  // namespace

struct KEYING_SLICER {
    float stepMs = 2.0f;
    float fraction = kThresholdFraction;
    int look = 30;
    int nearLook = 15;
    std::vector<float> ring;
    long long pushed = 0;
    float noise = 0.0f;  // mean noise envelope
    bool noiseGiven = false;
    long long nextDecision = 0;  // ring position judged next
    int quietValues = 0;         // values since the signal was last clear
    int quietLimit = 750;
    int32_t keyDown = 0;
    int runValues = 0;
    float runPeak = 0.0f;
    float markFloor = 0.0f;  // 0: off
    float markPeak = 0.0f;   // strongest value of the last seconds
    float markDecay = 1.0f;  // per value
    KEYING_SLICER_STATUS status{};
};

namespace {

bool settled(const KEYING_SLICER& s)
{
    return s.noiseGiven || s.pushed > kSettleValues;
}

// The noise floor starts as the lowest tenth of the first values, which
// lies in the noise whatever the keying: for noise alone (a Rayleigh
// envelope) its edge is kDecileOfMean times the mean.
void settle_noise(KEYING_SLICER* s)
{
    if (s->pushed != kSettleValues || s->noiseGiven)
        return;
    std::array<float, kSettleValues - kRampValues> first;
    std::copy_n(s->ring.begin() + kRampValues, first.size(), first.begin());
    std::nth_element(first.begin(), first.begin() + first.size() / 10, first.end());
    s->noise = std::max(first[first.size() / 10] / kDecileOfMean, kFloor);
}

// It then follows the mean of the values judged key-up a dot or more after
// the last mark (the averaging window's tail has passed by then). A
// percentile of all values would count marks as noise in proportion to the
// keying's duty, which lifts the floor of a weak signal by a third. Without
// a signal, values far above the floor are a signal too weak to start an
// over, which must not lift the floor out of its reach.
void learn_noise(KEYING_SLICER* s, float value, bool present)
{
    if (!settled(*s) || s->pushed <= kRampValues || s->keyDown)
        return;
    if (present ? s->runValues < s->nearLook : value > kNoiseOutlier * s->noise)
        return;
    // Noise alone loses its top 4% to that cut, which leaves the mean of
    // the rest kTruncatedMean of the whole.
    const float rate = s->stepMs * 0.001f / kNoiseSeconds;
    const float sample = present ? value : value / kTruncatedMean;
    s->noise = std::max(s->noise + rate * (sample - s->noise), kFloor);
}

}  // namespace

KEYING_SLICER* keying_slicer_create(float stepMs)
{
    auto* s = new (std::nothrow) KEYING_SLICER;
    if (s == nullptr)
        return nullptr;
    try {
        s->ring.assign(2 * kRingSize, 0.0f);  // every value twice: see decide()
    } catch (...) {
        delete s;
        return nullptr;
    }
    keying_slicer_restart(s, stepMs);
    return s;
}

void keying_slicer_restart(KEYING_SLICER* s, float stepMs)
{
    if (s == nullptr)
        return;
    std::vector<float> ring = std::move(s->ring);
    *s = KEYING_SLICER{};
    s->ring = std::move(ring);
    std::fill(s->ring.begin(), s->ring.end(), 0.0f);
    s->stepMs = stepMs > 0.0f && std::isfinite(stepMs) ? stepMs : 2.0f;
    s->quietLimit = static_cast<int>(kLongestQuietMs / s->stepMs);
    s->quietValues = s->quietLimit;
    s->markDecay = std::exp(-s->stepMs / (1000.0f * kMarkPeakSeconds));
    keying_slicer_set_dot(s, 60.0f);
}

void keying_slicer_set_dot(KEYING_SLICER* s, float dotMs)
{
    if (s == nullptr || !(dotMs > 0.0f) || !std::isfinite(dotMs))
        return;
    s->look = std::clamp(static_cast<int>(std::lround(kLookDots * dotMs / s->stepMs)), kMinLook, kMaxLook);
    s->nearLook = std::clamp(static_cast<int>(std::lround(kNearLookDots * dotMs / s->stepMs)), kMinLook / 2, s->look);
    // A slicer that was quiet stays quiet under the new limit.
    const bool quiet = s->quietValues >= s->quietLimit;
    s->quietLimit = static_cast<int>(std::clamp(kQuietDots * dotMs, kShortestQuietMs, kLongestQuietMs) / s->stepMs);
    s->quietValues = quiet ? s->quietLimit : std::min(s->quietValues, s->quietLimit);
}

void keying_slicer_set_mark_floor(KEYING_SLICER* s, float fraction)
{
    if (s != nullptr)
        s->markFloor = std::isfinite(fraction) ? std::clamp(fraction, 0.0f, kHighestMarkFloor) : 0.0f;
}

void keying_slicer_set_threshold(KEYING_SLICER* s, float fraction)
{
    if (s != nullptr && std::isfinite(fraction))
        s->fraction = std::clamp(fraction, kLowestFraction, kHighestFraction);
}

void keying_slicer_reset(KEYING_SLICER* s)
{
    if (s == nullptr)
        return;
    std::fill(s->ring.begin(), s->ring.end(), 0.0f);
    s->pushed = 0;
    s->nextDecision = 0;
    s->noise = 0.0f;
    s->noiseGiven = false;
    s->quietValues = s->quietLimit;
    s->keyDown = 0;
    s->runValues = 0;
    s->runPeak = 0.0f;
    s->status = KEYING_SLICER_STATUS{};
}

void keying_slicer_start_noise(KEYING_SLICER* s, float noise)
{
    if (s == nullptr || !(noise > 0.0f) || !std::isfinite(noise))
        return;
    s->noise = std::max(noise, kFloor);
    s->noiseGiven = true;
}

namespace {

// The largest value of the run of values above `level` around `at`, within
// [first, last]; 0 when the value at `at` lies below it.
float island_top(const KEYING_SLICER& s, long long at, long long first, long long last, float level)
{
    float top = 0.0f;
    for (long long k = at; k >= first; --k) {
        const float x = s.ring[static_cast<size_t>(k & (kRingSize - 1))];
        if (x < level)
            break;
        top = std::max(top, x);
    }
    for (long long k = at + 1; k <= last && top > 0.0f; ++k) {
        const float x = s.ring[static_cast<size_t>(k & (kRingSize - 1))];
        if (x < level)
            break;
        top = std::max(top, x);
    }
    return top;
}

// The threshold's place between noise floor and signal for a signal this
// many noise floors high.
float fraction_for(const KEYING_SLICER& s, float ratio)
{
    const float x = std::clamp(std::log(ratio / kFairRatio) / std::log(kStrongRatio / kFairRatio), 0.0f, 1.0f);
    return std::min(s.fraction, kThresholdFraction + x * (kStrongFraction - kThresholdFraction));
}

struct Reach {
    float top;  // the largest value, +0 when none is above +0
    int above;  // values above the level
};

// A running std::max from +0 keeps +0 or the first of the largest positive
// values, which all have the same bits; eight lanes, each one such running
// maximum, and their maximum give exactly that, while the lanes run as
// vectors (the envelope values are finite).
Reach scan(const float* x, int n, float level)
{
    constexpr int kLanes = 8;
    float tops[kLanes] = {};
    int aboves[kLanes] = {};
    int i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        const float* block = x + i;
        for (int j = 0; j < kLanes; ++j) {
            const float v = block[j];
            tops[j] = tops[j] < v ? v : tops[j];  // std::max, spelled so it vectorizes
            aboves[j] += v > level ? 1 : 0;
        }
    }
    Reach r{.top = 0.0f, .above = 0};
    for (; i < n; ++i) {
        r.top = std::max(r.top, x[i]);
        r.above += x[i] > level ? 1 : 0;
    }
    for (int j = 0; j < kLanes; ++j) {
        r.top = std::max(r.top, tops[j]);
        r.above += aboves[j];
    }
    return r;
}

// Judges the value at ring position `at` against the strongest value within
// the reach on either side (as far as it has arrived).
int32_t decide(KEYING_SLICER* s, long long at, KEYING_RUN* run)
{
    const float v = s->ring[static_cast<size_t>(at % kRingSize)];
    const long long first = std::max(0LL, at - s->look);
    const long long last = std::min(s->pushed - 1, at + s->look);
    const long long nearFirst = std::max(0LL, at - s->nearLook);
    const long long nearLast = std::min(s->pushed - 1, at + s->nearLook);
    const float noise = std::max(s->noise, kFloor);
    // The ring holds every value twice, so the reach is one straight
    // stretch: before the near reach, the near reach, after it.
    const float* x = s->ring.data() + static_cast<size_t>(first % kRingSize);
    const int nearBegin = static_cast<int>(nearFirst - first);
    const int nearEnd = static_cast<int>(nearLast - first) + 1;
    const int end = static_cast<int>(last - first) + 1;
    const float busyLevel = kBusyLevel * noise;
    const Reach before = scan(x, nearBegin, busyLevel);
    const Reach inNear = scan(x + nearBegin, nearEnd - nearBegin, busyLevel);
    const Reach after = scan(x + nearEnd, end - nearEnd, busyLevel);
    const float far = std::max(std::max(before.top, inNear.top), after.top);
    const float near = inNear.top;
    const int above = before.above + inNear.above + after.above;
    const bool busy = static_cast<float>(above) >= kBusyShare * static_cast<float>(last - first + 1);
    // A strong signal is judged against its level within about a dot, which
    // follows even fast fading; a weak one against the wider reach, whose
    // marks on either side keep noise in the gaps below the threshold.
    const float signal = far >= kNearRatio * noise ? near : far;
    // An over starts only with a clear signal; once started, weaker marks
    // (a fade, a weak sender) count until it has been quiet for a while.
    if (settled(*s) && (signal >= kStartRatio * noise || (busy && signal >= kPresentRatio * noise)))
        s->quietValues = 0;
    else if (signal < kPresentRatio * noise)
        s->quietValues = std::min(s->quietValues + 1, s->quietLimit);
    const float island = island_top(*s, at, nearFirst, nearLast, kIslandRatio * noise);
    const bool underFloor = s->markFloor > 0.0f && std::max(island, v) < s->markFloor * s->markPeak;
    const bool present = s->quietValues < s->quietLimit && signal >= kPresentRatio * noise && !underFloor;
    const float span = (island >= kOwnRatio * noise ? std::min(island, signal) : signal) - noise;
    const float threshold = noise + fraction_for(*s, (span + noise) / noise) * span;
    int32_t down = 0;
    if (present) {
        const float edge = s->keyDown ? threshold - kHysteresis * span : threshold + kHysteresis * span;
        down = v > edge ? 1 : 0;
    }
    int32_t ended = 0;
    if (down != s->keyDown && s->runValues > 0) {
        run->keyDown = s->keyDown;
        run->durationMs = static_cast<float>(s->runValues) * s->stepMs;
        run->peak = s->keyDown ? s->runPeak / noise : 0.0f;
        run->level = s->keyDown ? s->runPeak : 0.0f;
        ended = 1;
        s->runValues = 0;
        s->runPeak = 0.0f;
    }
    s->keyDown = down;
    ++s->runValues;
    learn_noise(s, v, present);
    s->runPeak = std::max(s->runPeak, v);

    s->status.noise = s->noise;
    s->status.signal = signal;
    s->status.threshold = present ? threshold : signal;
    s->status.level = v;
    s->status.keyDown = down;
    s->status.present = present ? 1 : 0;
    s->status.runMs = static_cast<float>(s->runValues) * s->stepMs;
    s->status.delayMs = static_cast<float>(s->pushed - 1 - at) * s->stepMs;
    return ended;
}

}  // namespace

int32_t keying_slicer_push(KEYING_SLICER* s, float value, KEYING_RUN runs[2])
{
    if (s == nullptr || runs == nullptr)
        return 0;
    if (!std::isfinite(value) || value < 0.0f)
        value = 0.0f;
    const auto slot = static_cast<size_t>(s->pushed % kRingSize);
    s->ring[slot] = value;
    s->ring[slot + kRingSize] = value;
    ++s->pushed;
    s->markPeak = std::max(value, s->markPeak * s->markDecay);
    settle_noise(s);
    // The decision point keeps its pace when the reach changes: it waits
    // while the reach grows and takes two values at a time while it
    // shrinks, so that every value is judged exactly once.
    int32_t ended = 0;
    for (int step = 0; step < 2 && s->nextDecision < s->pushed - s->look; ++step) {
        ended += decide(s, s->nextDecision, &runs[ended]);
        ++s->nextDecision;
    }
    return ended;
}

void keying_slicer_get_status(const KEYING_SLICER* s, KEYING_SLICER_STATUS* status)
{
    if (status == nullptr)
        return;
    *status = s != nullptr ? s->status : KEYING_SLICER_STATUS{};
}

void keying_slicer_destroy(KEYING_SLICER* s)
{
    delete s;
}
