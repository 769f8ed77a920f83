#include "fft.h"

#include <array>
#include <cmath>
#include <utility>
#include <numbers>

namespace fft {
namespace {

bool validSize(int N)
{
    return N >= 1 && N <= kMaxSize && (N & (N - 1)) == 0;
}

// Twiddles of the largest size, interleaved (re, im). A transform of size N
// reads every (kMaxSize / N)-th entry: both the angle's product and its
// division scale by a power of two, so the strided doubles, and hence the
// rounded floats, equal the ones computed for N directly.
const float* twiddles()
{
    static const std::array<float, kMaxSize> table = [] {
        std::array<float, kMaxSize> t{};
        t[0] = 1.0f;  // exactly (1, +0): sin(-0.0) would give -0
        t[1] = 0.0f;
        for (int k = 1; k < kMaxSize / 2; ++k) {
            const double angle = -2.0 * std::numbers::pi * k / kMaxSize;
            t[2 * k] = static_cast<float>(std::cos(angle));
            t[2 * k + 1] = static_cast<float>(std::sin(angle));
        }
        return t;
    }();
    return table.data();
}

// Steps r to the bit reversal of its successor among N = 2^bits indices.
int nextReversed(int r, int N)
{
    int mask = N >> 1;
    while (r & mask) {
        r ^= mask;
        mask >>= 1;
    }
    return r | mask;
}

void butterflies(float* f, int N)
{
    const float* w = twiddles();
    const int tableStride = 2 * (kMaxSize / N);
    for (int span = 1; span < N; span <<= 1) {
        const int a = N / (2 * span);
        // i * a mod N/2 is m * a for the m-th index of every group, so each
        // twiddle serves all groups of the stage in one inner loop.
        for (int m = 0; m < span; ++m) {
            const float wr = w[m * a * tableStride];
            const float wi = w[m * a * tableStride + 1];
            for (int i = m; i < N; i += 2 * span) {
                float* p = f + 2 * i;
                float* q = p + 2 * span;
                const float tr = wr * q[0] - wi * q[1];
                const float ti = wr * q[1] + wi * q[0];
                q[0] = p[0] - tr;
                q[1] = p[1] - ti;
                p[0] = p[0] + tr;
                p[1] = p[1] + ti;
            }
        }
    }
}

// The butterflies of one group of a stage: its two halves and the
// twiddles never overlap, which lets the loop run as vectors.
void butterfly_run(float* __restrict pr, float* __restrict pi, float* __restrict qr, float* __restrict qi,
                   const float* __restrict wRe, const float* __restrict wIm, int n)
{
    for (int m = 0; m < n; ++m) {
        const float tr = wRe[m] * qr[m] - wIm[m] * qi[m];
        const float ti = wRe[m] * qi[m] + wIm[m] * qr[m];
        qr[m] = pr[m] - tr;
        qi[m] = pi[m] - ti;
        pr[m] = pr[m] + tr;
        pi[m] = pi[m] + ti;
    }
}

// The first two stages have groups too short for that: they run across
// the groups instead, each with the arithmetic of butterfly_run().
void span_one(float* __restrict re, float* __restrict im, int N, float wr, float wi)
{
    for (int g = 0; g < N; g += 2) {
        const float tr = wr * re[g + 1] - wi * im[g + 1];
        const float ti = wr * im[g + 1] + wi * re[g + 1];
        re[g + 1] = re[g] - tr;
        im[g + 1] = im[g] - ti;
        re[g] = re[g] + tr;
        im[g] = im[g] + ti;
    }
}

void span_two(float* __restrict re, float* __restrict im, int N, const float* w2Re, const float* w2Im)
{
    const float wr0 = w2Re[0];
    const float wi0 = w2Im[0];
    const float wr1 = w2Re[1];
    const float wi1 = w2Im[1];
    for (int g = 0; g < N; g += 4) {
        const float tr0 = wr0 * re[g + 2] - wi0 * im[g + 2];
        const float ti0 = wr0 * im[g + 2] + wi0 * re[g + 2];
        const float tr1 = wr1 * re[g + 3] - wi1 * im[g + 3];
        const float ti1 = wr1 * im[g + 3] + wi1 * re[g + 3];
        re[g + 2] = re[g] - tr0;
        im[g + 2] = im[g] - ti0;
        re[g] = re[g] + tr0;
        im[g] = im[g] + ti0;
        re[g + 3] = re[g + 1] - tr1;
        im[g + 3] = im[g + 1] - ti1;
        re[g + 1] = re[g + 1] + tr1;
        im[g + 1] = im[g + 1] + ti1;
    }
}

void scale(float* f, int N, float d)
{
    for (int i = 0; i < 2 * N; ++i)
        f[i] *= d;
}

}  // namespace

int log2(int n)
{
    if (n <= 0)
        return -1;
    int bits = 0;
    while (n > 1) {
        n >>= 1;
        ++bits;
    }
    return bits;
}

int reverse(int N, int n)
{
    const int bits = log2(N);
    int r = 0;
    for (int b = 0; b < bits; ++b)
        r = (r << 1) | ((n >> b) & 1);
    return r;
}

bool ordina(float* f, int N)
{
    if (f == nullptr || !validSize(N))
        return false;
    // Bit reversal is its own inverse: swapping each pair once, in place,
    // needs no temporary copy.
    for (int i = 0, r = 0; i < N; ++i, r = nextReversed(r, N)) {
        if (i < r) {
            std::swap(f[2 * i], f[2 * r]);
            std::swap(f[2 * i + 1], f[2 * r + 1]);
        }
    }
    return true;
}

bool stage_twiddles(int N, float* re, float* im)
{
    if (re == nullptr || im == nullptr || !validSize(N))
        return false;
    const float* w = twiddles();
    const int tableStride = 2 * (kMaxSize / N);
    int at = 0;
    for (int span = 1; span < N; span <<= 1) {
        const int a = N / (2 * span);
        for (int m = 0; m < span; ++m, ++at) {
            re[at] = w[m * a * tableStride];
            im[at] = w[m * a * tableStride + 1];
        }
    }
    return true;
}

bool butterflies_split(float* re, float* im, int N, const float* twiddleRe, const float* twiddleIm)
{
    if (re == nullptr || im == nullptr || twiddleRe == nullptr || twiddleIm == nullptr || !validSize(N))
        return false;
    // Each butterfly of a stage touches its own pair of values, so running
    // them in another order within the stage gives what transform() gives.
    int span = 1;
    if (N >= 2) {
        span_one(re, im, N, twiddleRe[0], twiddleIm[0]);
        span = 2;
    }
    if (N >= 4) {
        span_two(re, im, N, twiddleRe + 1, twiddleIm + 1);
        span = 4;
    }
    for (; span < N; span <<= 1) {
        const float* wRe = twiddleRe + span - 1;
        const float* wIm = twiddleIm + span - 1;
        for (int g = 0; g < N; g += 2 * span)
            butterfly_run(re + g, im + g, re + g + span, im + g + span, wRe, wIm, span);
    }
    return true;
}

bool transform(float* f, int N)
{
    if (!ordina(f, N))
        return false;
    butterflies(f, N);
    return true;
}

bool FFT(float* f, int N, float d)
{
    if (!transform(f, N))
        return false;
    scale(f, N, d);
    return true;
}

bool FFT(const float* in, float* out, int N, float d)
{
    if (in == nullptr || out == nullptr || !validSize(N))
        return false;
    // Backwards, so that in may alias out.
    for (int k = N - 1; k >= 0; --k) {
        const float x = in[k];
        out[2 * k + 1] = 0.0f;
        out[2 * k] = x;
    }
    return FFT(out, N, d);
}

}  // namespace fft
