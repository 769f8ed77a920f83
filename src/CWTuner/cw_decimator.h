// Brings audio at any stream rate down to 4000..8000 Hz for the 0..1500 Hz
// spectrum: a windowed-sinc low-pass that keeps 0..1500 Hz and removes
// everything that would fold back onto it, computed only at the kept
// samples and only when a spectrum is due.
#pragma once

#include <cstddef>

typedef struct CW_DECIMATOR CW_DECIMATOR;

// The input rates a filter is built for.
inline constexpr double kCWDecimatorLowestRate = 8000.0;
inline constexpr double kCWDecimatorHighestRate = 384000.0;

// Modified Bessel function of order 0 by its power series (at most 25
// terms): the shape of the Kaiser windows of the filter and the spectrum.
double cw_bessel_i0(double x);

// The most input samples one kept sample reads (at 384 kHz).
size_t cw_decimator_longest_kernel(void);

// Null when out of memory. Starts at 8000 Hz.
CW_DECIMATOR* cw_decimator_create(void);

// Sets the input rate (8000..384000 Hz; other values keep the last one).
// Returns the output rate.
double cw_decimator_configure(CW_DECIMATOR* d, double sampleRate);

// Input samples per output sample.
size_t cw_decimator_factor(const CW_DECIMATOR* d);

// Input samples that `outputs` kept samples read: (outputs - 1) * factor
// plus the kernel's length.
size_t cw_decimator_span(const CW_DECIMATOR* d, size_t outputs);

// `input` holds cw_decimator_span(outputs) samples, oldest first; the last
// kept sample lies at the newest input.
void cw_decimator_run(const CW_DECIMATOR* d, const float* input, size_t outputs, float* out);

void cw_decimator_destroy(CW_DECIMATOR* d);
