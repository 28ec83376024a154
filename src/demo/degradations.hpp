// The photographic degradations of a rendered demo picture, applied in this order: lens
// distortion, illumination gradient, contrast and noise. Each clamps its results to 0..255
// and leaves the picture alone at its neutral setting.
#pragma once

#include "demo/rgb_image.hpp"

namespace ZELK {

// Radial distortion, for r2 > 0: with c the picture's centre and R = |c| / sqrt 2, pixel p
// takes the bilinear sample of the old picture at c + (p - c)(1 + r2 (|p - c| / R - 1)), where
// samples outside the picture count as 0.
void distortLens(RgbImage& image, float r2);

// Illumination falling toward the bottom-left corner, for g > 0: each channel value v at
// column x, line y becomes trunc(v ((1 - g) + g max(x, y) / max(width, height))).
void applyGradient(RgbImage& image, float g);

// Contrast reduction, for contrast < 1: with k = trunc(255 contrast) every byte v becomes
// ((v - 127) k >> 8) + 127 (arithmetic shift).
void applyContrast(RgbImage& image, float contrast);

// Noise, for noise > 0: a generator seeded with 1984 and range = trunc(255 noise); every byte
// v in memory order becomes v + (r - range / 2) with r the next value modulo range. A range of
// 0 adds nothing.
void addNoise(RgbImage& image, float noise);

} // namespace ZELK
