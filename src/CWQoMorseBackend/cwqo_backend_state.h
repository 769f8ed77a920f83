// State of the decoder backend, shared by its source files and by white-box
// tests. Callers use CWQoMorseBackend.h only.
#pragma once

#include "CWQoMorseBackend.h"
#include "cwqo_envelope_history.h"
#include "cwqo_envelope_statistics.h"
#include "cwqo_lock.h"
#include "cwqo_prefilter.h"
#include "cwqo_sample_ring.h"
#include "cwqo_tone_offset.h"
#include "cwqo_presence.h"
#include "cw_text_queue.h"
#include "impulse_blanker.h"
#include "qomorse.h"

#include <memory>
#include <vector>

inline constexpr double kCwqoEngineRate = 4000.0;
inline constexpr size_t kCwqoEngineQueueSamples = 48000;  // 12 s

struct ImpulseBlankerDeleter {
    void operator()(IMPULSE_BLANKER* b) const { impulse_blanker_destroy(b); }
};

struct CWQO_BACKEND {
    CWQO_CONFIG config;
    CWQO_STATUS status;
    std::unique_ptr<QoMorse> engine;
    CWQO_SAMPLE_RING engineQueue;  // prefiltered 4000 Hz samples not yet pulled
    double engineRate;
    double filterRate;  // also the base of the decimation ratio
    double filterPitchHz;
    double filterBandwidthHz;
    CWQO_CONDITIONER conditioner;                                     // DC blocker, prefilter and decimation phase
    std::unique_ptr<IMPULSE_BLANKER, ImpulseBlankerDeleter> blanker;  // ahead of the prefilter
    double blankerRate = 0.0;
    float fastRms;
    float slowRms;
    float gain;
    CWQO_LOCK lock;  // lockState, lockMiss and quietMs
    CWQO_ENVELOPE_HISTORY envHistory;
    float envLevel;
    CWQO_PRESENCE presence;  // signalPresent, from the same envelope
    CWQO_TONE_OFFSET toneOffset;

    // Storage reused by every call, sized at creation so that steady
    // decoding allocates nothing.
    std::vector<float> blanked;  // the block guarded and past the crash blanker
    std::vector<float> decimated;
    std::vector<float> levels;  // the envelope of the block's finite samples
    CWQO_RUN_LENGTHS runs;
    std::vector<uint8_t> engineText;
    std::vector<float> engineSignal;
    std::vector<float> engineThresholds;
    CW_TEXT_QUEUE pendingText;
    qomorse_CBWaveformInp pull;  // serves engineQueue to the engine
};

// New engine and cleared processing state; false when no engine could be built.
bool cwqo_recreate_decoder(CWQO_BACKEND* backend);

// Redesigns both sections when forced or when rate, pitch or bandwidth moved
// by more than 0.5 since the last design.
void cwqo_update_prefilter(CWQO_BACKEND* backend, bool force);

void cwqo_configure_decoder_parameters(CWQO_BACKEND* backend);

// The decode record for the configuration.
qomorse_ParametersDecode cwqo_decoder_parameters(const CWQO_CONFIG& config);

// A 4000 Hz float engine, or null when memory runs out.
std::unique_ptr<QoMorse> cwqo_new_engine();

// The pull callback's work: whole requests of floats from engineQueue.
uint32_t cwqo_pull_samples(CWQO_BACKEND* backend, void* dst, uint32_t nBytes);

// Takes the engine's text and, when keep holds, queues it without carriage
// returns; returns the bytes queued.
size_t cwqo_collect_text(CWQO_BACKEND* backend, bool keep);
