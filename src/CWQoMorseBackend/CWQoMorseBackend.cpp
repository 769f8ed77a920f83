#include "CWQoMorseBackend.h"

#include "cwqo_backend_state.h"
#include "cw_limits.h"

#include <cmath>
#include <new>
#include <utility>

namespace {

constexpr double kDesignTolerance = 0.5;

CWQO_STATUS fresh_status(const CWQO_CONFIG& config)
{
    CWQO_STATUS status{};
    status.pitchHz = config.pitchHz;
    status.decoderGain = 1.0f;
    return status;
}

void clear_processing_state(CWQO_BACKEND* b)
{
    b->engineRate = kCwqoEngineRate;
    b->filterRate = b->config.sampleRate;
    b->filterPitchHz = 0.0;
    b->filterBandwidthHz = 0.0;
    cwqo_conditioner_clear(&b->conditioner);
    cwqo_ring_clear(&b->engineQueue);
    b->fastRms = 0.0f;
    b->slowRms = 0.0f;
    b->gain = 1.0f;
    cwqo_lock_start(&b->lock, kCwqoQuietLimitMs);
    cwqo_history_clear(&b->envHistory);
    b->envLevel = 0.0f;
    cwqo_presence_reset(&b->presence);
    cwqo_tone_offset_reset(&b->toneOffset, b->config.pitchHz);
    cw_text_queue_clear(&b->pendingText);
}

// Every buffer a call can need, taken once; throws only here.
void take_storage(CWQO_BACKEND* b)
{
    cwqo_ring_init(&b->engineQueue, kCwqoEngineQueueSamples);
    cwqo_history_init(&b->envHistory, kCwqoHistorySamples);
    cwqo_run_lengths_init(&b->runs);
    b->blanked.reserve(4096);
    b->decimated.reserve(4096);
    b->levels.reserve(4096);
    b->engineText.reserve(1024);
    b->engineSignal.reserve(kCwqoHistorySamples);
    b->engineThresholds.reserve(1024);
    b->pull = [b](void* dst, uint32_t nBytes) { return cwqo_pull_samples(b, dst, nBytes); };
}

// A configuration change keeps the engine; a missing one is built again.
void apply_configuration(CWQO_BACKEND* b)
{
    cwqo_normalize_config(&b->config);
    if (!b->engine)
        b->engine = cwqo_new_engine();
    cwqo_update_prefilter(b, false);
    cwqo_configure_decoder_parameters(b);
    b->status.pitchHz = b->config.pitchHz;
    if (!(b->status.decoderGain > 0.0f))
        b->status.decoderGain = 1.0f;
}

}  // namespace

CWQO_CONFIG cwqo_default_config()
{
    return CWQO_CONFIG{.sampleRate = 48000.0,
                       .pitchHz = 600.0,
                       .bandwidthHz = 50.0,
                       .minWpm = 12.0,
                       .maxWpm = 50.0,
                       .autoPitch = 0,
                       .searchHz = 15.0,
                       .agcEnabled = 1,
                       .lockHoldMs = 1800.0,
                       .markFloor = 0.0};
}

void cwqo_normalize_config(CWQO_CONFIG* c)
{
    c->sampleRate = cw_at_least_or(c->sampleRate, 8000.0, 48000.0);
    c->pitchHz = cw_limit(c->pitchHz, 200.0, 1200.0);
    c->bandwidthHz = cw_limit(c->bandwidthHz, 10.0, 300.0);
    c->minWpm = cw_limit(c->minWpm, 5.0, 80.0);
    c->maxWpm = cw_limit(c->maxWpm, 5.0, 80.0);
    c->searchHz = cw_positive_limit(c->searchHz, 15.0, 5.0, 30.0);
    c->agcEnabled = c->agcEnabled != 0 ? 1 : 0;
    c->lockHoldMs = cw_positive_limit(c->lockHoldMs, 1800.0, 800.0, 4000.0);
    c->markFloor = cw_limit(c->markFloor, 0.0, 0.8);
    if (c->minWpm > c->maxWpm)
        std::swap(c->minWpm, c->maxWpm);
}

std::unique_ptr<QoMorse> cwqo_new_engine()
{
    qomorse_Parameters parameters = QoMorse::getDefaultParameters();
    parameters.sampleRateInp = static_cast<float>(kCwqoEngineRate);
    parameters.sampleRateOut = static_cast<float>(kCwqoEngineRate);
    parameters.samplesPerFrame = 128;
    parameters.sampleFormatInp = QOMORSE_SAMPLE_FORMAT_F32;
    parameters.sampleFormatOut = QOMORSE_SAMPLE_FORMAT_F32;
    try {
        return std::make_unique<QoMorse>(parameters);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool cwqo_recreate_decoder(CWQO_BACKEND* b)
{
    // A restart reuses the engine's memory, so that a reset or a retune
    // allocates nothing on the audio path; only a missing engine is built.
    if (b->engine)
        b->engine->reset();
    else
        b->engine = cwqo_new_engine();
    clear_processing_state(b);
    cwqo_update_prefilter(b, true);
    return b->engine != nullptr;
}

void cwqo_update_prefilter(CWQO_BACKEND* b, bool force)
{
    const double fs = b->config.sampleRate > 0.0 ? b->config.sampleRate : 48000.0;
    const double p = cw_limit(b->config.pitchHz, 200.0, 1200.0);
    const double w = cw_limit(b->config.bandwidthHz, 120.0, 300.0);
    if (!force && std::fabs(fs - b->filterRate) <= kDesignTolerance &&
        std::fabs(p - b->filterPitchHz) <= kDesignTolerance && std::fabs(w - b->filterBandwidthHz) <= kDesignTolerance)
        return;
    b->filterRate = fs;
    b->filterPitchHz = p;
    b->filterBandwidthHz = w;
    cwqo_conditioner_design(&b->conditioner, fs, p, w);
    // Crashes are found by their breadth, so the blanker sees the audio
    // before the band-pass narrows it.
    const IMPULSE_BLANKER_CONFIG blanker{.sampleRate = static_cast<float>(fs), .pitchHz = static_cast<float>(p)};
    if (b->blanker == nullptr || std::fabs(fs - b->blankerRate) > kDesignTolerance) {
        b->blanker.reset(impulse_blanker_create(&blanker));
        b->blankerRate = fs;
    } else {
        impulse_blanker_configure(b->blanker.get(), &blanker);
    }
}

qomorse_ParametersDecode cwqo_decoder_parameters(const CWQO_CONFIG& c)
{
    qomorse_ParametersDecode p = QoMorse::getDefaultParametersDecode();
    const double s = cw_limit(c.searchHz, 5.0, 30.0);
    p.frequency_hz = c.autoPitch == 0 ? static_cast<float>(c.pitchHz) : -1.0f;
    p.speed_wpm = std::fabs(c.maxWpm - c.minWpm) < 0.5 ? static_cast<float>((c.minWpm + c.maxWpm) / 2.0) : -1.0f;
    p.speedRangeMin_wpm = static_cast<float>(c.minWpm);
    p.speedRangeMax_wpm = static_cast<float>(c.maxWpm);
    p.frequencyRangeMin_hz = static_cast<float>(cw_limit(c.pitchHz - s, 200.0, 1200.0));
    p.frequencyRangeMax_hz = static_cast<float>(cw_limit(c.pitchHz + s, 200.0, 1200.0));
    p.applyFilterHighPass = true;
    p.applyFilterLowPass = true;
    p.markFloor = static_cast<float>(c.markFloor);
    return p;
}

void cwqo_configure_decoder_parameters(CWQO_BACKEND* b)
{
    if (b->engine)
        b->engine->setParametersDecode(cwqo_decoder_parameters(b->config));
}

uint32_t cwqo_pull_samples(CWQO_BACKEND* b, void* dst, uint32_t nBytes)
{
    if (nBytes % sizeof(float) != 0)
        return 0;
    return cwqo_ring_pop_front(&b->engineQueue, static_cast<float*>(dst), nBytes / sizeof(float)) ? nBytes : 0;
}

size_t cwqo_collect_text(CWQO_BACKEND* b, bool keep)
{
    const int n = b->engine ? b->engine->takeRxData(b->engineText) : 0;
    if (!keep || n <= 0)
        return 0;
    size_t queued = 0;
    for (uint8_t byte : b->engineText) {
        if (byte == '\r')
            continue;
        const char c = static_cast<char>(byte);
        cw_text_queue_push(&b->pendingText, &c, 1);
        ++queued;
    }
    return queued;
}

CWQO_BACKEND* cwqo_create(const CWQO_CONFIG* config)
{
    CWQO_BACKEND* b = nullptr;
    try {
        b = new CWQO_BACKEND{};
        take_storage(b);
    } catch (const std::bad_alloc&) {
        delete b;
        return nullptr;
    }
    b->config = config ? *config : cwqo_default_config();
    cwqo_normalize_config(&b->config);
    if (!cwqo_recreate_decoder(b)) {
        delete b;
        return nullptr;
    }
    b->status = fresh_status(b->config);
    apply_configuration(b);
    return b;
}

void cwqo_configure(CWQO_BACKEND* backend, const CWQO_CONFIG* config)
{
    if (backend == nullptr || config == nullptr)
        return;
    backend->config = *config;
    apply_configuration(backend);
}

void cwqo_reset(CWQO_BACKEND* backend)
{
    if (backend == nullptr)
        return;
    cwqo_recreate_decoder(backend);
    backend->status = fresh_status(backend->config);
}

void cwqo_destroy(CWQO_BACKEND* backend)
{
    delete backend;
}

int32_t cwqo_has_engine(const CWQO_BACKEND* backend)
{
    return backend != nullptr && backend->engine ? 1 : 0;
}

void cwqo_get_status(const CWQO_BACKEND* backend, CWQO_STATUS* status)
{
    if (status == nullptr)
        return;
    *status = backend ? backend->status : CWQO_STATUS{};
}
