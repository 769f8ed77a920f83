// One run of zarvo-skim, whatever the source: the skimmer, what it prints,
// and the telnet feed polled between blocks. Files and the TCI stream feed
// it alike.
#pragma once

#include "cw_cluster_server.h"
#include "cw_skimmer.h"
#include "skim_options.h"
#include "skim_output.h"

#include <cstdio>
#include <string>
#include <vector>

// Seconds of silence after the input so that the last words come out.
constexpr double kSkimTailSeconds = 3.0;

struct SKIM_SESSION {
    SKIM_OPTIONS options;
    CW_SKIMMER_CONFIG config{};  // as last configured
    CW_SKIMMER* skimmer = nullptr;
    CW_CLUSTER_SERVER* cluster = nullptr;
    SKIM_OUTPUT* output = nullptr;
    uint64_t frames = 0;  // fed so far
    bool writeFailed = false;
};

// Starts the cluster feed when asked for. False with a one-line reason when
// the port cannot be opened or memory is short.
bool skim_session_open(SKIM_SESSION* session, const SKIM_OPTIONS& options, FILE* out, std::string* error);

// (Re)tunes the skimmer to a stream: its rate and the frequency added to
// every pitch or offset. The channels start afresh only when the rate
// changes; the spots stay.
void skim_session_set_stream(SKIM_SESSION* session, double sampleRate, double dialHz);

// Mono samples, or with options.iq interleaved I/Q pairs (`frames` of them).
// Prints what came of them and serves the cluster clients. False once the
// output cannot be written.
bool skim_session_feed(SKIM_SESSION* session, const float* samples, size_t frames);

// kSkimTailSeconds of silence, then the text lines still open.
bool skim_session_finish(SKIM_SESSION* session);

void skim_session_close(SKIM_SESSION* session);
