// The skimmer's input stage: receive audio at its stream rate brought down
// to the working rate (8000..16000 Hz) by a whole factor, keeping the CW
// passband and removing what would fold back onto it.
#pragma once

#include <cstddef>

typedef struct CW_SKIM_INPUT CW_SKIM_INPUT;

// Null when out of memory. Starts at 8000 Hz (no decimation).
CW_SKIM_INPUT* cw_skim_input_create(void);

// Sets the stream rate (8000..384000 Hz; other values keep the last one).
// Returns the working rate. A new rate starts the filter afresh.
double cw_skim_input_configure(CW_SKIM_INPUT* in, double sampleRate);

// The highest audio frequency the working rate keeps clean, Hz.
double cw_skim_input_passband_hz(const CW_SKIM_INPUT* in);

// Decimates `count` samples; writes at most count / factor + 1 samples to
// `out` and returns how many.
size_t cw_skim_input_process(CW_SKIM_INPUT* in, const float* samples, size_t count, float* out);

void cw_skim_input_destroy(CW_SKIM_INPUT* in);
