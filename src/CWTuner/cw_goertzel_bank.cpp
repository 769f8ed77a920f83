#include "cw_goertzel_bank.h"

namespace {

// Independent recurrences, one per bin, hide the latency of each: a step
// of a bin waits for its product, the product for the last step. Eight
// bins fill two vector registers; kGroups sets of them run side by side in
// one pass over the frame so that enough steps are in flight, each set in
// its own registers.
constexpr size_t kLanes = 8;
constexpr size_t kGroups = 2;

template <size_t kSets>
void run_lanes(const float* frame, size_t count, const float* coefficients, size_t lanes, float* power)
{
    float c[kSets][kLanes] = {};
    float s1[kSets][kLanes] = {};
    float s2[kSets][kLanes] = {};
    for (size_t l = 0; l < lanes; ++l)
        c[l / kLanes][l % kLanes] = coefficients[l];
    // Two samples a pass, the states trading roles in between, so that no
    // step copies s1 into s2; each filter's arithmetic stays the same.
    size_t n = 0;
    for (; n + 2 <= count; n += 2) {
        const float x0 = frame[n];
        const float x1 = frame[n + 1];
#pragma GCC unroll 4
        for (size_t g = 0; g < kSets; ++g) {
#pragma GCC unroll 8
            for (size_t l = 0; l < kLanes; ++l) {
                // x - s2 is known a step early: only the product waits for s1.
                s2[g][l] = (x0 - s2[g][l]) + c[g][l] * s1[g][l];
                s1[g][l] = (x1 - s1[g][l]) + c[g][l] * s2[g][l];
            }
        }
    }
    if (n < count) {
        const float x = frame[n];
#pragma GCC unroll 4
        for (size_t g = 0; g < kSets; ++g) {
#pragma GCC unroll 8
            for (size_t l = 0; l < kLanes; ++l) {
                const float s = (x - s2[g][l]) + c[g][l] * s1[g][l];
                s2[g][l] = s1[g][l];
                s1[g][l] = s;
            }
        }
    }
    for (size_t l = 0; l < lanes; ++l) {
        const size_t g = l / kLanes;
        const size_t i = l % kLanes;
        power[l] = s1[g][i] * s1[g][i] + s2[g][i] * s2[g][i] - c[g][i] * s1[g][i] * s2[g][i];
    }
}

}  // namespace

void cw_goertzel_bank_power(const float* frame, size_t count, const float* coefficients, size_t bins, float* power)
{
    if (!frame || !coefficients || !power)
        return;
    size_t k = 0;
    for (; bins - k >= kGroups * kLanes; k += kGroups * kLanes)
        run_lanes<kGroups>(frame, count, coefficients + k, kGroups * kLanes, power + k);
    for (; k < bins; k += kLanes) {
        const size_t lanes = bins - k < kLanes ? bins - k : kLanes;
        run_lanes<1>(frame, count, coefficients + k, lanes, power + k);
    }
}
