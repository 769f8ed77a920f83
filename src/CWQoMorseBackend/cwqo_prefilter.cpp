#include "cwqo_prefilter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDcPole = 0.995;
constexpr size_t kOrder = kCwqoChainOrder;

CWQO_BIQUAD band_pass(double sampleRate, double pitchHz, double bandwidthHz)
{
    if (!(pitchHz > 0.0))
        return CWQO_BIQUAD{.b0 = 1.0, .b1 = 0.0, .b2 = 0.0, .a1 = 0.0, .a2 = 0.0};
    const double f0 = pitchHz < 100.0 ? 100.0 : std::min(0.45 * sampleRate, pitchHz);
    const double bw = bandwidthHz < 20.0 ? 20.0 : std::min(0.4 * sampleRate, bandwidthHz);
    const double q = f0 / bw;
    const double w0 = 2.0 * M_PI * f0 / sampleRate;
    // Below Q 0.5 the section would no longer be a band-pass.
    const double divisor = q < 0.5 ? 1.0 : 2.0 * std::min(q, 24.0);
    const double alpha = std::sin(w0) / divisor;
    const double a0 = 1.0 + alpha;
    return CWQO_BIQUAD{
        .b0 = alpha / a0, .b1 = 0.0, .b2 = -alpha / a0, .a1 = -2.0 * std::cos(w0) / a0, .a2 = (1.0 - alpha) / a0};
}

double biquad_run(const CWQO_BIQUAD& s, double* z1, double* z2, double u)
{
    const double y = s.b0 * u + *z1;
    *z1 = s.b1 * u - s.a1 * y + *z2;
    *z2 = s.b2 * u - s.a2 * y;
    return y;
}

using State = double[kOrder];  // laid out as CWQO_CONDITIONER::state

// One sample through the chain, the recursion itself: the tables are read
// from it.
double chain_step(const CWQO_CONDITIONER& c, State s, double x)
{
    const double d = x - s[0] + kDcPole * s[1];
    s[0] = x;
    s[1] = d;
    const double u = biquad_run(c.sections[0], &s[2], &s[3], d);
    return biquad_run(c.sections[1], &s[4], &s[5], u);
}

// The chain is linear: stepping unit states and a unit input gives the
// columns of A and C, and B and D.
void make_tables(CWQO_CONDITIONER* c)
{
    double a[kOrder][kOrder];  // by columns
    double cRow[kOrder];
    for (size_t k = 0; k < kOrder; ++k) {
        State s{};
        s[k] = 1.0;
        cRow[k] = chain_step(*c, s, 0.0);
        std::copy_n(s, kOrder, a[k]);
    }
    State b{};
    const double d = chain_step(*c, b, 1.0);

    for (size_t k = 0; k < kOrder; ++k)
        for (size_t r = 0; r < kOrder; ++r)
            c->power[0][k][r] = r == k ? 1.0 : 0.0;
    for (size_t m = 1; m <= kCwqoStretchMax; ++m)
        for (size_t k = 0; k < kOrder; ++k)
            for (size_t r = 0; r < kOrder; ++r) {
                double sum = 0.0;
                for (size_t j = 0; j < kOrder; ++j)
                    sum += a[j][r] * c->power[m - 1][k][j];
                c->power[m][k][r] = sum;
            }
    for (size_t m = 0; m < kCwqoStretchMax; ++m)
        for (size_t r = 0; r < kOrder; ++r) {
            double drive = 0.0;
            double seen = 0.0;
            for (size_t j = 0; j < kOrder; ++j) {
                drive += c->power[m][j][r] * b[j];
                seen += cRow[j] * c->power[m][r][j];
            }
            c->drive[m][r] = drive;
            c->seen[m][r] = seen;
        }
    c->pulse[0] = d;
    for (size_t m = 1; m < kCwqoStretchMax; ++m) {
        double sum = 0.0;
        for (size_t j = 0; j < kOrder; ++j)
            sum += c->seen[m - 1][j] * b[j];
        c->pulse[m] = sum;
    }
}

// The output at the last sample of a stretch from the state before it;
// recent holds the stretch newest first. Two partial sums keep the
// additions from waiting on each other.
double output_at_end(const CWQO_CONDITIONER& c, const State s, const double* recent, size_t length)
{
    const double* seen = c.seen[length - 1];
    double even = 0.0;
    double odd = 0.0;
    for (size_t k = 0; k < kOrder; k += 2) {
        even += seen[k] * s[k];
        odd += seen[k + 1] * s[k + 1];
    }
    size_t j = 0;
    for (; j + 1 < length; j += 2) {
        even += c.pulse[j] * recent[j];
        odd += c.pulse[j + 1] * recent[j + 1];
    }
    if (j < length)
        even += c.pulse[j] * recent[j];
    return even + odd;
}

inline void add_scaled(double* sum, const double* column, double factor)
{
#pragma GCC unroll 8
    for (size_t r = 0; r < kOrder; ++r)
        sum[r] += column[r] * factor;
}

// The state moved over a stretch (recent: newest first): the stretch's
// matrix times the state plus each input's column, in two partial sums.
void move_state(const CWQO_CONDITIONER& c, State s, const double* recent, size_t length)
{
    double even[kOrder] = {};
    double odd[kOrder] = {};
    const auto& power = c.power[length];
    for (size_t k = 0; k < kOrder; k += 2) {
        add_scaled(even, power[k], s[k]);
        add_scaled(odd, power[k + 1], s[k + 1]);
    }
    size_t j = 0;
    for (; j + 1 < length; j += 2) {
        add_scaled(even, c.drive[j], recent[j]);
        add_scaled(odd, c.drive[j + 1], recent[j + 1]);
    }
    if (j < length)
        add_scaled(even, c.drive[j], recent[j]);
#pragma GCC unroll 8
    for (size_t r = 0; r < kOrder; ++r)
        s[r] = even[r] + odd[r];
}

// Samples from the phase to the next pick, counted as the phase is
// advanced one sample at a time (the phase after it in *next); at most
// kCwqoStretchMax, and 0 then.
size_t count_to_pick(CWQO_CONDITIONER* c, double phase, double step, double* next)
{
    if (phase == c->memoPhase && step == c->memoStep) {
        *next = c->memoNext;
        return c->memoLength;
    }
    double p = phase;
    for (size_t length = 1; length <= kCwqoStretchMax; ++length) {
        p += step;
        if (p >= 1.0) {
            c->memoPhase = phase, c->memoStep = step, c->memoNext = p, c->memoLength = length;
            *next = p;
            return length;
        }
    }
    return 0;
}

}  // namespace

void cwqo_conditioner_design(CWQO_CONDITIONER* c, double sampleRate, double pitchHz, double bandwidthHz)
{
    c->sections[0] = band_pass(sampleRate, pitchHz, bandwidthHz);
    c->sections[1] = c->sections[0];
    make_tables(c);
    cwqo_conditioner_clear(c);
}

void cwqo_conditioner_clear(CWQO_CONDITIONER* c)
{
    std::fill_n(c->state, kOrder, 0.0);
    c->decimPhase = 0.0;
    c->memoPhase = NAN;
    c->memoLength = 0;
}

size_t cwqo_conditioner_run(CWQO_CONDITIONER* c, const float* in, size_t n, double step, float* out)
{
    State s;  // a copy, which nothing else can touch while the tables are read
    std::copy_n(c->state, kOrder, s);
    double phase = c->decimPhase;
    size_t written = 0;
    double recent[kCwqoStretchMax];
    for (size_t at = 0; at < n;) {
        // A stretch ends at a pick, at the tables' limit or at the end of
        // the block; the phase moves exactly as if stepped sample by sample.
        double next = phase;
        size_t length = count_to_pick(c, phase, step, &next);
        const bool picked = length > 0 && length <= n - at;
        if (!picked) {
            length = std::min(kCwqoStretchMax, n - at);
            for (size_t k = 0; k < length; ++k)
                phase += step;
        }
        for (size_t j = 0; j < length; ++j)
            recent[j] = in[at + length - 1 - j];
        if (picked) {
            phase = next;
            const auto y = static_cast<float>(output_at_end(*c, s, recent, length));
            do {
                out[written++] = y;
                phase -= 1.0;
            } while (phase >= 1.0);
        }
        move_state(*c, s, recent, length);
        at += length;
    }
    std::copy_n(s, kOrder, c->state);
    c->decimPhase = phase;
    return written;
}
