// The receiver's own decoder, live layer: tone detection with a quadrature
// mixer, keying with hysteresis, a dot-length estimate and character
// classification that steer the confidence and the lock grade.
#pragma once

#include "cw_rx_state.h"

#include <cstddef>

// Fallback state as after creation (the history memory included).
void cw_rx_fallback_reset(CW_RX* rx);

// Dot length the decoder works with: the estimate when it lies within the
// configured speed range, else the middle of the range.
double cw_rx_dot_in_use(const CW_RX* rx, double dotMs);

// Classifies the pending pattern, updates confidence and lock grade, clears
// the pattern; returns the new grade (0 when there was no pattern).
int32_t cw_rx_flush_symbol(CW_RX* rx);

// One block through the live layer; updates the status and appends the
// block's level to the history (or clears the history when no signal is
// present).
void cw_rx_live_step(CW_RX* rx, const float* samples, size_t count);
