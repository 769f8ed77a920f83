#include "cw_grid_dft.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <new>
#include <numbers>
#include <utility>
#include <vector>

namespace {

using Complex = std::complex<double>;

// A product without the checks for infinite parts that the library's
// operator makes on every call: the roots are finite, and so is the frame.
Complex times(Complex a, Complex b)
{
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

constexpr size_t kLongestHalf = kCWGridDftLongestPeriod / 2;
constexpr size_t kMostStages = 12;  // 4^5 > kLongestHalf, with a 2, 3 or 5 to spare

// The even samples as real parts, the odd as imaginary: one transform of
// half the period serves a real frame.
void load_pairs(const std::vector<double>& folded, size_t half, Complex* z)
{
    for (size_t t = 0; t < half; ++t)
        z[t] = Complex(folded[2 * t], folded[2 * t + 1]);
}

// The r-point DFTs of the radices, sum a[k] e^(-2 pi i j k / r) for each j,
// in the usual short forms.
void dft2(const Complex* a, Complex* y)
{
    y[0] = a[0] + a[1];
    y[1] = a[0] - a[1];
}

// times -i
Complex turned_back(Complex z)
{
    return {z.imag(), -z.real()};
}

void dft3(const Complex* a, Complex* y)
{
    const double s = std::sqrt(3.0) / 2.0;  // sin(2 pi / 3)
    const Complex t = a[1] + a[2];
    const Complex d = turned_back(s * (a[1] - a[2]));
    const Complex b = a[0] - 0.5 * t;
    y[0] = a[0] + t;
    y[1] = b + d;
    y[2] = b - d;
}

void dft4(const Complex* a, Complex* y)
{
    const Complex t0 = a[0] + a[2];
    const Complex t1 = a[0] - a[2];
    const Complex t2 = a[1] + a[3];
    const Complex t3 = turned_back(a[1] - a[3]);
    y[0] = t0 + t2;
    y[1] = t1 + t3;
    y[2] = t0 - t2;
    y[3] = t1 - t3;
}

void dft5(const Complex* a, Complex* y)
{
    const double c1 = std::cos(2.0 * std::numbers::pi / 5.0);
    const double c2 = std::cos(4.0 * std::numbers::pi / 5.0);
    const double s1 = std::sin(2.0 * std::numbers::pi / 5.0);
    const double s2 = std::sin(4.0 * std::numbers::pi / 5.0);
    const Complex t1 = a[1] + a[4];
    const Complex t2 = a[2] + a[3];
    const Complex t3 = a[1] - a[4];
    const Complex t4 = a[2] - a[3];
    const Complex b1 = a[0] + c1 * t1 + c2 * t2;
    const Complex b2 = a[0] + c2 * t1 + c1 * t2;
    const Complex d1 = turned_back(s1 * t3 + s2 * t4);
    const Complex d2 = turned_back(s2 * t3 - s1 * t4);
    y[0] = a[0] + t1 + t2;
    y[1] = b1 + d1;
    y[4] = b1 - d1;
    y[2] = b2 + d2;
    y[3] = b2 - d2;
}

// One Stockham stage of radix R over sub-transforms of length n, each
// interleaved `stride` apart: R inputs n / R apart go through an R-point
// DFT, and output j is turned by the root of p * j. The outputs land in
// order, so no reordering pass is needed at the end.
template <size_t R, void (*kDft)(const Complex*, Complex*)>
void stage(const Complex* in, Complex* out, size_t n, size_t stride, const Complex* roots, size_t half)
{
    const size_t m = n / R;
    const size_t step = half / n;  // roots of the length-n transform among those of `half`
    for (size_t p = 0; p < m; ++p) {
        Complex w[R];
        for (size_t j = 1; j < R; ++j)
            w[j] = roots[p * j * step];
        for (size_t q = 0; q < stride; ++q) {
            Complex a[R];
            for (size_t k = 0; k < R; ++k)
                a[k] = in[q + stride * (p + k * m)];
            Complex y[R];
            kDft(a, y);
            out[q + stride * R * p] = y[0];
            for (size_t j = 1; j < R; ++j)
                out[q + stride * (R * p + j)] = p == 0 ? y[j] : times(y[j], w[j]);
        }
    }
}

void run_stage(size_t radix, const Complex* in, Complex* out, size_t n, size_t stride, const Complex* roots,
               size_t half)
{
    switch (radix) {
    case 2: stage<2, dft2>(in, out, n, stride, roots, half); break;
    case 3: stage<3, dft3>(in, out, n, stride, roots, half); break;
    case 4: stage<4, dft4>(in, out, n, stride, roots, half); break;
    default: stage<5, dft5>(in, out, n, stride, roots, half); break;
    }
}

}  // namespace

struct CW_GRID_DFT {
    size_t period = 0;
    size_t half = 0;
    size_t radices[kMostStages] = {};
    size_t stages = 0;
    std::vector<Complex> roots;  // e^(-2 pi i k / half), k < half
    std::vector<Complex> turns;  // e^(-2 pi i k / period), k <= half
    std::vector<double> folded;  // the frame folded onto one period
    std::vector<Complex> work[2];
};

CW_GRID_DFT* cw_grid_dft_create(void)
{
    auto* d = new (std::nothrow) CW_GRID_DFT;
    if (d == nullptr)
        return nullptr;
    try {
        d->roots.reserve(kLongestHalf);
        d->turns.reserve(kLongestHalf + 1);
        d->folded.reserve(kCWGridDftLongestPeriod);
        d->work[0].resize(kLongestHalf);
        d->work[1].resize(kLongestHalf);
    } catch (...) {
        delete d;
        return nullptr;
    }
    return d;
}

int32_t cw_grid_dft_configure(CW_GRID_DFT* d, size_t period)
{
    if (d == nullptr)
        return 0;
    d->period = 0;
    if (period < 2 || period % 2 != 0 || period > kCWGridDftLongestPeriod)
        return 0;
    const size_t half = period / 2;
    size_t left = half;
    size_t stages = 0;
    for (size_t radix : {4, 2, 3, 5})
        while (left % radix == 0 && stages < kMostStages) {
            d->radices[stages++] = radix;
            left /= radix;
        }
    if (left != 1)
        return 0;
    d->period = period;
    d->half = half;
    d->stages = stages;
    d->roots.resize(half);
    for (size_t k = 0; k < half; ++k)
        d->roots[k] = std::polar(1.0, -2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(half));
    d->turns.resize(half + 1);
    for (size_t k = 0; k <= half; ++k)
        d->turns[k] = std::polar(1.0, -2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(period));
    d->folded.resize(period);
    return 1;
}

void cw_grid_dft_power(CW_GRID_DFT* d, const float* frame, size_t count, size_t bins, float* power)
{
    if (d == nullptr || d->period == 0 || power == nullptr || (frame == nullptr && count > 0))
        return;
    const size_t half = d->half;
    // e^(-2 pi i k n / period) repeats every period samples.
    std::fill(d->folded.begin(), d->folded.end(), 0.0);
    for (size_t n = 0, at = 0; n < count; ++n) {
        d->folded[at] += static_cast<double>(frame[n]);
        at = at + 1 == d->period ? 0 : at + 1;
    }
    Complex* in = d->work[0].data();
    Complex* out = d->work[1].data();
    load_pairs(d->folded, half, in);
    size_t n = half;
    size_t stride = 1;
    for (size_t s = 0; s < d->stages; ++s) {
        run_stage(d->radices[s], in, out, n, stride, d->roots.data(), half);
        std::swap(in, out);
        n /= d->radices[s];
        stride *= d->radices[s];
    }
    // The transforms of the even and the odd samples, parted from the one
    // of both, joined into that of the whole frame.
    const Complex* z = in;
    const size_t last = std::min(bins, half + 1);
    for (size_t k = 0; k < last; ++k) {
        const size_t at = k < half ? k : 0;
        const Complex a = z[at];
        const Complex b = std::conj(z[at == 0 ? 0 : half - at]);
        const Complex even = 0.5 * (a + b);
        const Complex diff = 0.5 * (a - b);
        const Complex odd(diff.imag(), -diff.real());  // divided by i
        power[k] = static_cast<float>(std::norm(even + times(d->turns[k], odd)));
    }
}

void cw_grid_dft_destroy(CW_GRID_DFT* d)
{
    delete d;
}
