// One block of receive audio through the backend: conditioning and
// decimation, envelope figures, decoding, text and status. The engine runs
// for the life of the backend: it follows fades, pauses and new senders
// itself, so a pause never costs the text around it.
#include "CWQoMorseBackend.h"

#include "cwqo_backend_state.h"
#include "cw_limits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>

namespace {

constexpr double kHistoryRise = 0.951229424500714;   // exp(-1/(4000 * 5 ms))
constexpr double kHistoryFall = 0.9928825924309503;  // 35 ms
constexpr double kEngineSampleMs = 1000.0 / kCwqoEngineRate;

double decimation_step(const CWQO_BACKEND& b)
{
    return b.filterRate > 0.0 ? kCwqoEngineRate / b.filterRate : 1.0 / 12.0;
}

// Room for the block blanked and at 4000 Hz; false when a huge block finds
// no memory. Only a block longer than any before allocates.
// Most samples count samples can give at 4000 Hz, whatever the phase.
size_t decimated_room(const CWQO_BACKEND& b, size_t count)
{
    return static_cast<size_t>(static_cast<double>(count) * decimation_step(b)) + 2;
}

bool reserve_buffers(CWQO_BACKEND* b, size_t count)
{
    try {
        b->blanked.reserve(count);
        b->decimated.reserve(decimated_room(*b, count));
        b->levels.reserve(decimated_room(*b, count));
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// Crashes are silenced ahead of the filters; the filters then take the
// whole block, which lets their two sections overlap.
void condition_and_decimate(CWQO_BACKEND* b, const float* samples, size_t count)
{
    std::vector<float>& blanked = b->blanked;
    blanked.resize(count);
    for (size_t i = 0; i < count; ++i)
        blanked[i] = cwqo_sample_guard(samples[i]);
    constexpr size_t kPiece = size_t{1} << 20;  // the blanker counts in int
    for (size_t at = 0; at < count; at += kPiece)
        impulse_blanker_process(b->blanker.get(), blanked.data() + at, blanked.data() + at,
                                static_cast<int>(std::min(kPiece, count - at)));
    std::vector<float>& out = b->decimated;
    out.resize(decimated_room(*b, count));
    out.resize(cwqo_conditioner_run(&b->conditioner, blanked.data(), count, decimation_step(*b), out.data()));
}

void update_levels(CWQO_BACKEND* b)
{
    double sum = 0.0;
    for (float s : b->decimated)
        sum += static_cast<double>(s) * s;
    const float rms = static_cast<float>(std::sqrt(sum / static_cast<double>(b->decimated.size())));
    b->fastRms = 0.7f * b->fastRms + 0.3f * rms;
    b->slowRms = 0.995f * b->slowRms + 0.005f * rms;
}

float follow(float level, float a, double rise, double fall)
{
    const double c = a > level ? rise : fall;
    return static_cast<float>(c * level + (1.0 - c) * a);
}

void update_history(CWQO_BACKEND* b)
{
    // The level followed in a local; the history and presence take the
    // block's levels at once. The tone offset steps in the same loop: both
    // recursions wait on their last results, and side by side those waits
    // overlap.
    b->levels.resize(b->decimated.size());
    float* const levels = b->levels.data();
    size_t n = 0;
    float level = b->envLevel;
    CWQO_TONE_OFFSET_PASS offset = cwqo_tone_offset_begin(b->toneOffset);
    for (float s : b->decimated) {
        if (!std::isfinite(s))
            continue;
        level = follow(level, std::fabs(s), kHistoryRise, kHistoryFall);
        levels[n++] = level;
        cwqo_tone_offset_step(&offset, s);
    }
    cwqo_tone_offset_end(&b->toneOffset, offset);
    b->envLevel = level;
    cwqo_history_append(&b->envHistory, levels, n);
    cwqo_presence_add(&b->presence, levels, n, kEngineSampleMs);
    cwqo_history_commit(&b->envHistory);
    cwqo_presence_update(&b->presence, kCwqoPresenceOnDb, kCwqoPresenceOffDb);
}

void update_statistics(CWQO_BACKEND* b)
{
    CWQO_STATUS& st = b->status;
    if (cwqo_history_size(b->envHistory) < kCwqoStatisticsMinimum) {
        st.statWpm = 0.0;
        st.statQuality = 0.0f;
        st.statSnrDb = 0.0f;
        st.statOnRatio = 0.0f;
        return;
    }
    const CWQO_ENVELOPE_FIGURES f =
        cwqo_envelope_statistics(b->envHistory, b->config.minWpm, b->config.maxWpm, &b->runs);
    st.statWpm = f.wpm;
    st.statQuality = f.quality;
    st.statSnrDb = f.snrDb;
    st.statOnRatio = f.onRatio;
}

void queue_for_engine(CWQO_BACKEND* b)
{
    b->gain = 1.0f;
    // The runs between samples that are not finite, each in one append.
    const float* const d = b->decimated.data();
    const size_t n = b->decimated.size();
    size_t start = 0;
    for (size_t i = 0; i <= n; ++i)
        if (i == n || !std::isfinite(d[i])) {
            cwqo_ring_append(&b->engineQueue, d + start, i - start);
            start = i + 1;
        }
}

// The engine's newest envelope value against the largest of its window.
float engine_level(CWQO_BACKEND* b)
{
    const int n = b->engine->takeSignalF(b->engineSignal);
    if (n <= 0 || b->engineSignal.empty())
        return std::min(1.0f, 40.0f * b->fastRms);
    const float m = b->engine->getStatistics().signalPeak;
    return m > 0.0f ? std::min(1.0f, b->engineSignal.back() / m) : 0.0f;
}

void update_status(CWQO_BACKEND* b, float level, bool active, int32_t grade, int32_t present)
{
    const QoMorse::Statistics& s = b->engine->getStatistics();
    CWQO_STATUS& st = b->status;
    st.level = level;
    st.threshold = cw_limitf(s.signalThreshold, 0.0f, 1.0f);
    st.keyDown = active && level >= st.threshold ? 1 : 0;
    st.signalPresent = present;
    st.lock = grade;
    st.pitchHz = s.estimatedPitch_Hz > 0.0f ? s.estimatedPitch_Hz : b->config.pitchHz;
    st.wpm = std::max(0.0f, s.estimatedSpeed_wpm);
    st.inputLevel = b->fastRms;
    st.decoderGain = b->gain;
    st.decoderCost = s.costFunction;
    st.toneOffsetHz = cwqo_tone_offset_hz(b->toneOffset);
}

// Decode, text, level, lock grade and status once the engine has its audio.
void decode_and_grade(CWQO_BACKEND* b, size_t count, bool wantText)
{
    b->engine->decode(b->pull);
    const QoMorse::Statistics& s = b->engine->getStatistics();
    const size_t newText = cwqo_collect_text(b, wantText);
    const float level = engine_level(b);
    // Nothing reads the engine's threshold history, but only a take empties it.
    b->engine->takeThresholdF(b->engineThresholds);
    const bool active = level > 0.15f || b->fastRms > std::max(1.8f * b->slowRms, 0.0015f);

    const CWQO_LOCK_INPUT input{
        .active = active,
        .cost = s.costFunction,
        .engineWpm = s.estimatedSpeed_wpm,
        .textCount = newText,
        .holdMs = b->config.lockHoldMs,
        .blockMs = b->config.sampleRate > 0.0 ? static_cast<double>(count) * 1000.0 / b->config.sampleRate : 0.0};
    const int32_t grade = cwqo_lock_step(&b->lock, input);

    const CWQO_STATUS& st = b->status;
    const CWQO_LOCK_EVIDENCE evidence{.statWpm = st.statWpm,
                                      .statQuality = st.statQuality,
                                      .statOnRatio = st.statOnRatio,
                                      .cost = s.costFunction,
                                      .engineWpm = s.estimatedSpeed_wpm,
                                      .minWpm = b->config.minWpm,
                                      .maxWpm = b->config.maxWpm};
    update_status(b, level, active, cwqo_lock_report(&b->lock, grade, evidence), b->presence.present);
}

}  // namespace

size_t cwqo_process(CWQO_BACKEND* backend, const float* samples, size_t count, char* text, size_t capacity,
                    CWQO_STATUS* status)
{
    const bool wantText = text != nullptr && capacity > 0;
    if (wantText)
        text[0] = '\0';
    if (backend == nullptr)
        return 0;
    if (count == 0 || samples == nullptr || !backend->engine) {
        if (status)
            *status = backend->status;
        return 0;
    }
    CWQO_BACKEND* b = backend;
    cwqo_update_prefilter(b, false);
    cwqo_tone_offset_tune(&b->toneOffset, b->config.pitchHz);
    if (!reserve_buffers(b, count)) {
        if (status)
            *status = b->status;
        return 0;
    }
    condition_and_decimate(b, samples, count);
    if (!b->decimated.empty()) {
        update_levels(b);
        update_history(b);
        update_statistics(b);
        queue_for_engine(b);
    }
    if (b->engine)
        decode_and_grade(b, count, wantText);
    if (status)
        *status = b->status;
    return wantText ? cw_text_queue_deliver(&b->pendingText, text, capacity) : 0;
}
