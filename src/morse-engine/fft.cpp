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
    const float* wRe = twiddleRe;
    const float* wIm = twiddleIm;
    for (int span = 1; span < N; span <<= 1) {
        // Each butterfly of a stage touches its own pair of values, so
        // running them group by group gives what transform() gives.
        for (int g = 0; g < N; g += 2 * span) {
            float* pr = re + g;
            float* pi = im + g;
            float* qr = pr + span;
            float* qi = pi + span;
            for (int m = 0; m < span; ++m) {
                const float tr = wRe[m] * qr[m] - wIm[m] * qi[m];
                const float ti = wRe[m] * qi[m] + wIm[m] * qr[m];
                qr[m] = pr[m] - tr;
                qi[m] = pi[m] - ti;
                pr[m] = pr[m] + tr;
                pi[m] = pi[m] + ti;
            }
        }
        wRe += span;
        wIm += span;
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
