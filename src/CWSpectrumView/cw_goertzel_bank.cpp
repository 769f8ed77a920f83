#include "cw_goertzel_bank.h"

namespace {

// Eight independent recurrences hide the latency of one; the inner loop
// over them vectorises.
constexpr size_t kLanes = 8;

void run_lanes(const double* frame, size_t count, const double* coefficients, size_t lanes, double* power)
{
    double c[kLanes] = {};
    double s1[kLanes] = {};
    double s2[kLanes] = {};
    for (size_t l = 0; l < lanes; ++l) c[l] = coefficients[l];
    for (size_t n = 0; n < count; ++n) {
        const double x = frame[n];
        for (size_t l = 0; l < kLanes; ++l) {
            const double s = x + c[l] * s1[l] - s2[l];
            s2[l] = s1[l];
            s1[l] = s;
        }
    }
    for (size_t l = 0; l < lanes; ++l) power[l] = s1[l] * s1[l] + s2[l] * s2[l] - c[l] * s1[l] * s2[l];
}

}  // namespace

void cw_goertzel_bank_power(const double* frame, size_t count, const double* coefficients, size_t bins,
                            double* power)
{
    if (!frame || !coefficients || !power) return;
    for (size_t k = 0; k < bins; k += kLanes) {
        const size_t lanes = bins - k < kLanes ? bins - k : kLanes;
        run_lanes(frame, count, coefficients + k, lanes, power + k);
    }
}
