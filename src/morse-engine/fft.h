// Radix-2 complex FFT over interleaved (re, im) float pairs.
#pragma once

namespace fft {

// Largest transform the reordering area holds, in complex values.
constexpr int kMaxSize = 1024;

// floor(log2 n) for n >= 1, -1 for n <= 0.
int log2(int n);

// n with its lowest log2(N) bits reversed; 0 for N <= 1.
int reverse(int N, int n);

// The functions below return false and leave the data untouched when f is
// null or N is not a power of two from 1 to kMaxSize.

// Reorders the N complex values of f into bit-reversed index order.
bool ordina(float* f, int N);

// In-place forward DFT, X[k] = sum x[n] e^(-2 pi i k n / N), unscaled.
// Allocates nothing.
bool transform(float* f, int N);

// transform() followed by scaling every float by d.
bool FFT(float* f, int N, float d);

// Twiddles of every stage of a size-N transform, stage by stage (spans 1,
// 2, 4, ... N/2, each span values long: N - 1 in all), as the butterflies
// of transform() use them; false (nothing written) for an invalid N.
bool stage_twiddles(int N, float* re, float* im);

// The butterflies of transform() over values already in bit-reversed
// order, held as separate real and imaginary arrays, with the twiddles of
// stage_twiddles(): the same arithmetic, so the same rounding, in loops
// over contiguous values.
bool butterflies_split(float* re, float* im, int N, const float* twiddleRe, const float* twiddleIm);

// Transform of N real inputs into N complex outputs, scaled by d; in may be
// the same array as out.
bool FFT(const float* in, float* out, int N, float d);

}  // namespace fft
