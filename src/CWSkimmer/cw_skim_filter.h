// The skimmer's filters: Kaiser-windowed low-pass designs and the dot
// product that runs them, shared by the input stage and the channels.
#pragma once

#include <cstddef>

// Taps for a transition `transitionHz` wide at `rate` with a Kaiser window
// needing `widthFactor` transition widths (odd, at most `most`).
size_t cw_skim_taps(double transitionHz, double rate, double widthFactor, size_t most);

// A low-pass of `taps` taps cutting at `cutoff` cycles per sample, Kaiser
// window of `beta`, its taps summing to one.
void cw_skim_lowpass(float* kernel, size_t taps, double cutoff, double beta);

// The dot product of `taps` values, in eight partial sums so that the loop
// runs as vectors.
float cw_skim_dot(const float* kernel, const float* values, size_t taps);
