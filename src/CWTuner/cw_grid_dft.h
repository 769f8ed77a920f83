// The power of a real frame at the frequencies k * rate / period: the
// spectrum's bins when their spacing divides the rate evenly (5 Hz at the
// 4000 Hz the decimator gives from 8, 12, 16, 24, 32, 48, 96, 192 and 384 kHz).
// The frame is folded onto one period, which leaves those frequencies as
// they are, and the period goes through one FFT of half its length: about
// a tenth of the arithmetic of a Goertzel filter per bin.
#pragma once

#include <cstddef>
#include <cstdint>

typedef struct CW_GRID_DFT CW_GRID_DFT;

// The longest period a transform is made for.
inline constexpr size_t kCWGridDftLongestPeriod = 1600;

// Null when out of memory; takes all its storage here.
CW_GRID_DFT* cw_grid_dft_create(void);

// A period from now on: 1 when it is even, at most kCWGridDftLongestPeriod
// and its half a product of 2, 3, 4 and 5; 0 otherwise (nothing to run).
int32_t cw_grid_dft_configure(CW_GRID_DFT* d, size_t period);

// |sum x[n] e^(-2 pi i k n / period)|^2 for k < bins (bins at most half the
// period plus one), over the count samples of frame.
void cw_grid_dft_power(CW_GRID_DFT* d, const float* frame, size_t count, size_t bins, float* power);

void cw_grid_dft_destroy(CW_GRID_DFT* d);
