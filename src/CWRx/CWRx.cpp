#include "CWRx.h"

#include "cw_rx_fallback.h"
#include "cw_rx_state.h"
#include "cw_rx_text_assembly.h"
#include "cw_limits.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

// Long enough for the engine to have read a few characters of a signal
// before the retune; AutoGTM retunes about 3 s after a signal begins.
constexpr double kReplaySeconds = 4.0;
constexpr size_t kReplayBlock = 2048;

CWQO_CONFIG backend_config(const CW_RX_CONFIG& c)
{
    return CWQO_CONFIG{.sampleRate = c.sampleRate,
                       .pitchHz = c.pitchHz,
                       .bandwidthHz = c.bandwidthHz,
                       .minWpm = c.minWpm,
                       .maxWpm = c.maxWpm,
                       .autoPitch = c.autoPitch,
                       .searchHz = c.searchHz,
                       .agcEnabled = c.agcEnabled,
                       .lockHoldMs = c.lockHoldMs,
                       .markFloor = c.markFloor};
}

void normalize(CW_RX_CONFIG* c)
{
    // Rate, speeds, search, AGC and hold follow the backend's rules; pitch
    // and bandwidth keep to the narrower ranges the receiver offers.
    CWQO_CONFIG shared = backend_config(*c);
    cwqo_normalize_config(&shared);
    c->sampleRate = shared.sampleRate;
    c->minWpm = shared.minWpm;
    c->maxWpm = shared.maxWpm;
    c->searchHz = shared.searchHz;
    c->agcEnabled = shared.agcEnabled;
    c->lockHoldMs = shared.lockHoldMs;
    c->markFloor = shared.markFloor;
    c->pitchHz = cw_limit(c->pitchHz, 300.0, 1200.0);
    c->bandwidthHz = cw_limit(c->bandwidthHz, 8.0, 200.0);
    c->threshold = cw_limitf(c->threshold, 0.0f, 1.0f);
    c->releaseThreshold = cw_limitf(c->releaseThreshold, 0.0f, c->threshold);
}

void reset_status(CW_RX* rx)
{
    rx->status = CW_RX_STATUS{};
    rx->status.threshold = rx->config.threshold;
    rx->status.pitchHz = rx->config.pitchHz;
    rx->status.wpm = 22.0;
    rx->status.decoderGain = 1.0f;
}

CW_RX* create(const CW_RX_CONFIG* config, bool withBackend)
{
    CW_RX* rx = nullptr;
    try {
        rx = new CW_RX{};
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    const CW_RX_CONFIG given = config ? *config : cw_rx_default_config();
    if (withBackend) {
        const CWQO_CONFIG backendConfig = backend_config(given);
        rx->backend = cwqo_create(&backendConfig);
    }
    cw_rx_configure(rx, &given);
    cwqo_reset(rx->backend);
    cw_rx_fallback_reset(rx);
    cw_rx_squelch_reset(&rx->squelch);
    reset_status(rx);
    rx->printedAtMs = -1.0;
    return rx;
}

void copy_backend_status(CW_RX_STATUS* out, const CWQO_STATUS& s)
{
    *out = CW_RX_STATUS{.level = s.level,
                        .threshold = s.threshold,
                        .reserved = 0.0f,
                        .keyDown = s.keyDown,
                        .signalPresent = s.signalPresent,
                        .lock = s.lock,
                        .pitchHz = s.pitchHz,
                        .wpm = s.wpm,
                        .inputLevel = s.inputLevel,
                        .decoderGain = s.decoderGain,
                        .decoderCost = s.decoderCost,
                        .statWpm = s.statWpm,
                        .statQuality = s.statQuality,
                        .statSnrDb = s.statSnrDb,
                        .statOnRatio = s.statOnRatio,
                        .toneOffsetHz = s.toneOffsetHz,
                        .engineMissing = 0};
}

double block_ms(const CW_RX& rx, size_t count)
{
    return static_cast<double>(count) * 1000.0 / rx.config.sampleRate;
}

size_t process_fallback(CW_RX* rx, const float* samples, size_t count, char* text, size_t capacity)
{
    cw_rx_live_step(rx, samples, count);
    if (text == nullptr || capacity == 0)
        return 0;
    const size_t n = cw_rx_history_text(rx, block_ms(*rx, count), rx->emitted, sizeof(rx->emitted));
    cw_text_queue_push(&rx->pendingText, rx->emitted, n);
    return cw_text_queue_deliver(&rx->pendingText, text, capacity);
}

// The backend's whole text of the call goes through the squelch; what
// passes waits in pendingText for the caller's capacity.
size_t process_squelched(CW_RX* rx, const float* samples, size_t count, char* text, size_t capacity)
{
    CWQO_STATUS status{};
    const bool wantText = text != nullptr && capacity > 0;
    const size_t n = cwqo_process(rx->backend, samples, count, wantText ? rx->backendText : nullptr,
                                  wantText ? sizeof(rx->backendText) : 0, &status);
    copy_backend_status(&rx->status, status);
    cw_rx_squelch_step(&rx->squelch, rx->status, block_ms(*rx, count), rx->backendText, n, &rx->pendingText);
    return cw_text_queue_deliver(&rx->pendingText, text, capacity);
}

// Room for the replay at the configured rate; without memory there is no
// replay, and decoding goes on.
void size_recent_audio(CW_RX* rx)
{
    const auto wanted = static_cast<size_t>(kReplaySeconds * rx->config.sampleRate);
    if (rx->recentAudio.size() == wanted)
        return;
    rx->recentHead = 0;
    rx->recentCount = 0;
    try {
        rx->recentAudio.assign(wanted, 0.0f);
    } catch (const std::bad_alloc&) {
        rx->recentAudio.clear();
    }
}

void remember_audio(CW_RX* rx, const float* samples, size_t count)
{
    const size_t capacity = rx->recentAudio.size();
    if (capacity == 0)
        return;
    // Only the newest capacity samples can stay.
    if (count > capacity) {
        samples += count - capacity;
        count = capacity;
    }
    // Copied in at most two runs, either side of the ring's end.
    size_t write = (rx->recentHead + rx->recentCount) % capacity;
    for (size_t done = 0; done < count;) {
        const size_t n = std::min(count - done, capacity - write);
        std::copy_n(samples + done, n, rx->recentAudio.begin() + static_cast<std::ptrdiff_t>(write));
        done += n;
        write = (write + n) % capacity;
    }
    const size_t overflow = rx->recentCount + count > capacity ? rx->recentCount + count - capacity : 0;
    rx->recentCount = std::min(capacity, rx->recentCount + count);
    rx->recentHead = (rx->recentHead + overflow) % capacity;
}

void note_printed(CW_RX* rx, const char* text, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (text[i] != ' ' && text[i] != '\n')
            rx->printedAtMs = rx->clockMs;
}

// The remembered audio through the fresh receiver; its text joins the queue
// in order, for the caller's next calls.
void replay_recent_audio(CW_RX* rx)
{
    const size_t capacity = rx->recentAudio.size();
    float block[kReplayBlock];
    char text[kCWTextQueueBytes];
    cw_text_queue_clear(&rx->replayedText);
    rx->replaying = true;
    for (size_t done = 0; done < rx->recentCount;) {
        const size_t n = std::min(kReplayBlock, rx->recentCount - done);
        for (size_t i = 0; i < n; ++i)
            block[i] = rx->recentAudio[(rx->recentHead + done + i) % capacity];
        cw_text_queue_push(&rx->replayedText, text, cw_rx_process(rx, block, n, text, sizeof text));
        done += n;
    }
    rx->replaying = false;
    const size_t n = cw_text_queue_deliver(&rx->replayedText, text, sizeof text);
    cw_text_queue_push(&rx->pendingText, text, n);
}

}  // namespace

// The backend's defaults with a narrower filter for one signal.
CW_RX_CONFIG cw_rx_default_config()
{
    const CWQO_CONFIG b = cwqo_default_config();
    return CW_RX_CONFIG{.sampleRate = b.sampleRate,
                        .pitchHz = b.pitchHz,
                        .bandwidthHz = 30.0,
                        .threshold = 0.5f,
                        .releaseThreshold = 0.4f,
                        .autoThreshold = 0,
                        .autoPitch = b.autoPitch,
                        .minWpm = b.minWpm,
                        .maxWpm = b.maxWpm,
                        .searchHz = b.searchHz,
                        .agcEnabled = b.agcEnabled,
                        .lockHoldMs = b.lockHoldMs,
                        .markFloor = b.markFloor};
}

CW_RX* cw_rx_create(const CW_RX_CONFIG* config)
{
    return create(config, true);
}

CW_RX* cw_rx_create_fallback(const CW_RX_CONFIG* config)
{
    return create(config, false);
}

int32_t cw_rx_has_backend(const CW_RX* rx)
{
    return rx != nullptr && rx->backend != nullptr ? 1 : 0;
}

void cw_rx_configure(CW_RX* rx, const CW_RX_CONFIG* config)
{
    if (rx == nullptr || config == nullptr)
        return;
    const double oldPitchHz = rx->config.pitchHz;
    rx->config = *config;
    normalize(&rx->config);
    if (std::fabs(rx->config.pitchHz - oldPitchHz) > 0.5)
        cw_rx_squelch_retune(&rx->squelch);
    size_recent_audio(rx);
    if (!(rx->thresholdInUse > 0.0f))
        rx->thresholdInUse = rx->config.threshold;
    if (rx->backend) {
        const CWQO_CONFIG backendConfig = backend_config(rx->config);
        cwqo_configure(rx->backend, &backendConfig);
    }
    rx->status.pitchHz = rx->config.pitchHz;
    rx->status.wpm = 1200.0 / rx->dotMs;
    if (!(rx->status.decoderGain > 0.0f))
        rx->status.decoderGain = 1.0f;
}

void cw_rx_reset(CW_RX* rx)
{
    if (rx == nullptr)
        return;
    cwqo_reset(rx->backend);
    cw_rx_fallback_reset(rx);
    cw_rx_squelch_reset(&rx->squelch);
    reset_status(rx);
}

void cw_rx_retune(CW_RX* rx, const CW_RX_CONFIG* config, int32_t reset)
{
    if (rx == nullptr || config == nullptr)
        return;
    cw_rx_configure(rx, config);
    const bool heardNothing = rx->printedAtMs < 0.0 || rx->clockMs - rx->printedAtMs > kReplaySeconds * 1000.0;
    if (!heardNothing) {
        if (reset)
            cw_rx_reset(rx);
        return;
    }
    cw_rx_reset(rx);
    replay_recent_audio(rx);
}

void cw_rx_destroy(CW_RX* rx)
{
    if (rx == nullptr)
        return;
    cwqo_destroy(rx->backend);
    delete rx;
}

namespace {

size_t process(CW_RX* rx, const float* samples, size_t count, char* text, size_t capacity)
{
    if (rx->backend == nullptr)
        return process_fallback(rx, samples, count, text, capacity);
    // Without its engine the backend would be silent; the fallback decoder
    // reads until a later configure has built the engine again.
    if (!cwqo_has_engine(rx->backend)) {
        const size_t n = process_fallback(rx, samples, count, text, capacity);
        rx->status.engineMissing = 1;
        return n;
    }
    // Text still queued from a squelch just switched off comes out first.
    if (rx->squelch.level > 0.0 || rx->pendingText.count > 0)
        return process_squelched(rx, samples, count, text, capacity);
    CWQO_STATUS status{};
    const size_t n = cwqo_process(rx->backend, samples, count, text, capacity, &status);
    copy_backend_status(&rx->status, status);
    return n;
}

}  // namespace

size_t cw_rx_process(CW_RX* rx, const float* samples, size_t count, char* text, size_t capacity)
{
    if (text != nullptr && capacity > 0)
        text[0] = '\0';
    if (rx == nullptr || samples == nullptr || count == 0)
        return 0;
    const size_t n = process(rx, samples, count, text, capacity);
    if (!rx->replaying) {
        remember_audio(rx, samples, count);
        rx->clockMs += block_ms(*rx, count);
        note_printed(rx, text, n);
    }
    return n;
}

void cw_rx_set_squelch(CW_RX* rx, double level)
{
    if (rx != nullptr)
        cw_rx_squelch_set_level(&rx->squelch, level);
}

double cw_rx_get_squelch(const CW_RX* rx)
{
    return rx != nullptr ? rx->squelch.level : 0.0;
}

const char* cw_rx_lock_word(double decoderCost, int32_t lock)
{
    if (decoderCost >= 10.0)
        return "BAD";
    if (decoderCost >= 1.0)
        return "TRACK";
    if (lock >= 2)
        return "LOCK";
    return lock == 1 ? "TRACK" : "UNLOCK";
}

void cw_rx_get_status(const CW_RX* rx, CW_RX_STATUS* status)
{
    if (status == nullptr)
        return;
    *status = rx ? rx->status : CW_RX_STATUS{};
}
