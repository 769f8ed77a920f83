// The skimmer's input stage: the stream brought down to the working rate
// (8000..16000 Hz) by a whole factor. Real audio keeps its CW passband;
// for a complex IQ stream one stage serves one tile of the band: the tile's
// centre is mixed to zero first, and what lies within 0.4 of the working
// rate either side of it is kept.
#pragma once

#include <cstddef>
#include <cstdint>

typedef struct CW_SKIM_INPUT CW_SKIM_INPUT;

// Null when out of memory. Starts at 8000 Hz real audio (no decimation).
CW_SKIM_INPUT* cw_skim_input_create(void);

// Sets the stream rate (8000..384000 Hz; other values keep the last one),
// whether the stream is complex, and (complex streams) the tile's centre.
// Returns the working rate. A new rate or kind starts the filter afresh;
// a new centre only moves the mixer.
double cw_skim_input_configure(CW_SKIM_INPUT* in, double sampleRate, int32_t complex, double centreHz);

// The highest frequency the working rate keeps clean: audio from 0, a tile
// either side of its centre.
double cw_skim_input_passband_hz(const CW_SKIM_INPUT* in);

// Decimates `frames` frames (one real value each, or I and Q interleaved);
// writes at most frames / factor + 1 values to `re` (and, complex, to `im`)
// and returns how many.
size_t cw_skim_input_process(CW_SKIM_INPUT* in, const float* samples, size_t frames, float* re, float* im);

void cw_skim_input_destroy(CW_SKIM_INPUT* in);
