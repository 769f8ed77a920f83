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

// Transform of N real inputs into N complex outputs, scaled by d; in may be
// the same array as out.
bool FFT(const float* in, float* out, int N, float d);

}  // namespace fft
