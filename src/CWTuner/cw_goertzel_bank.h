// A bank of Goertzel filters run over one frame: the power of each filter's
// frequency, without the cost of a full transform when only a few hundred
// bins are wanted.
#pragma once

#include <cstddef>

// For each k < bins, runs s = frame[n] + coefficients[k]*s1 - s2 over the
// frame and writes s1^2 + s2^2 - coefficients[k]*s1*s2 into power[k]. The
// filters are run several at a time so that their recurrences overlap in
// the pipeline; each one's arithmetic stays that of a single filter.
void cw_goertzel_bank_power(const float* frame, size_t count, const float* coefficients, size_t bins, float* power);
