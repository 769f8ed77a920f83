// Hamming window of the tone analysers. The divisor is the length, not
// length - 1, so the window is periodic and sums to exactly 0.54 * length.
#pragma once

#include <cmath>
#include <numbers>
#include <vector>

inline std::vector<float> hamming_window(int length)
{
    std::vector<float> w(length > 0 ? length : 0);
    for (int i = 0; i < length; ++i)
        w[i] = static_cast<float>(0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * i / length));
    return w;
}
