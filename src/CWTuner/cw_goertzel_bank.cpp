#include "cw_goertzel_bank.h"

namespace {

// Eight independent recurrences hide the latency of one; the inner loop
// over them is unrolled whole, so that they stay in vector registers.
constexpr size_t kLanes = 8;

void run_lanes(const float* frame, size_t count, const float* coefficients, size_t lanes, float* power)
{
    float c[kLanes] = {};
    float s1[kLanes] = {};
    float s2[kLanes] = {};
    for (size_t l = 0; l < lanes; ++l)
        c[l] = coefficients[l];
    for (size_t n = 0; n < count; ++n) {
        const float x = frame[n];
#pragma GCC unroll 8
        for (size_t l = 0; l < kLanes; ++l) {
            // x - s2 is known a step early: only the product waits for s1.
            const float s = (x - s2[l]) + c[l] * s1[l];
            s2[l] = s1[l];
            s1[l] = s;
        }
    }
    for (size_t l = 0; l < lanes; ++l)
        power[l] = s1[l] * s1[l] + s2[l] * s2[l] - c[l] * s1[l] * s2[l];
}

}  // namespace

void cw_goertzel_bank_power(const float* frame, size_t count, const float* coefficients, size_t bins, float* power)
{
    if (!frame || !coefficients || !power)
        return;
    for (size_t k = 0; k < bins; k += kLanes) {
        const size_t lanes = bins - k < kLanes ? bins - k : kLanes;
        run_lanes(frame, count, coefficients + k, lanes, power + k);
    }
}
