// Canny-style edge finding on the coarse copy for the lines background method: 3 x 3 kernel
// filtering, squared gradient, non-maximum suppression, thresholds from a class split and
// hysteresis. All neighbourhoods are clamped at the image edge.
#pragma once

#include <array>

#include "core/signal.hpp"

namespace ZELK {

// A small filter kernel, coefficients row by row: coefficient (i, j) weighs the sample at
// offset (i - w/2, j - h/2).
template <typename T> struct SignalFilterKernel {
    unsigned width = 0;
    unsigned height = 0;
    std::array<T, 9> coefficients{};
};

inline constexpr SignalFilterKernel<short> SobelX{3, 3, {-1, 0, 1, -2, 0, 2, -1, 0, 1}};
inline constexpr SignalFilterKernel<short> SobelY{3, 3, {-1, -2, -1, 0, 0, 0, 1, 2, 1}};

// Weighted sum of each pixel's clamped 3 x 3 neighbourhood, as a 16-bit result.
void applyKernel(const Signal<2, unsigned char>& source, const SignalFilterKernel<short>& kernel,
                 Signal<2, short>& destination);

// (gx >> 4)^2 + (gy >> 4)^2 per pixel (arithmetic shifts), sizes checked.
void gradientSquared(const Signal<2, short>& gx, const Signal<2, short>& gy,
                     Signal<2, short>& squared);

// Copy of squared in which every pixel whose neighbour along the gradient direction (on
// either side, directions quantised to the eight neighbours with tan(pi/8) ~ 6/16) is strictly
// larger becomes 0.
void suppressNonMaxima(const Signal<2, short>& squared, const Signal<2, short>& gx,
                       const Signal<2, short>& gy, Signal<2, short>& thinned);

// The strong threshold: class split of the histogram of the non-zero values of thinned, as a
// 16-bit value, raised to 256 when below.
short edgeThreshold(const Signal<2, short>& thinned);

// Strong edges: values in [t, 32767]; weak edges: values in [t / 2, t].
void thresholdEdges(const Signal<2, short>& thinned, short t, BinarySignal<2, unsigned>& strong,
                    BinarySignal<2, unsigned>& weak);

// Grows strong into the weak edges that touch it (3 x 3 neighbourhood) until nothing changes.
void hysteresis(BinarySignal<2, unsigned>& strong, const BinarySignal<2, unsigned>& weak);

} // namespace ZELK
