// Resizing 8-bit images: the 2:1 binomial halving along one axis, the corner-aligned bilinear
// resample (also used to bring the line mask to the photo's size), and the reduction to a
// target size that chains them (input scaling and the coarse copies of background detection).
#pragma once

#include "core/signal.hpp"

namespace ZELK {

// Halves the width (axis 0) or height (axis 1) with the 1-4-6-4-1 binomial filter: an input
// line of m samples gives m / 2 outputs, the first and last from the three taps that exist
// ((6 s0 + 4 s1 + s2) / 11 and its mirror), integer arithmetic throughout. Requires m >= 4
// (at least two outputs); raises BoundException<unsigned int> otherwise.
void halveAlong(unsigned axis, const Signal<2, unsigned char>& source,
                Signal<2, unsigned char>& destination);

// How a bilinear step mixes two neighbours a and b at fraction f. WeightedSum is
// (1 - f) a + f b, the form the grey image is scaled with. Difference is a + f (b - a), which
// gives exactly a where the neighbours are equal: a mask's 255 stays 255 instead of rounding
// down to 254.
enum class BilinearForm { WeightedSum, Difference };

// Corner-aligned bilinear resample of source to size: target x samples the source at
// x * (w - 1) / (W' - 1) (likewise y), neighbours beyond the last line count as 0, rows are
// mixed first, then columns, and the value is clamped to [0, 255] and truncated. A target
// extent of 1 samples coordinate 0. An empty source gives zeros; an empty target size an
// empty result.
void resampleBilinear(const Signal<2, unsigned char>& source, const Tuple<2, unsigned>& size,
                      Signal<2, unsigned char>& destination,
                      BilinearForm form = BilinearForm::WeightedSum);

// The target size of a reduction by factor s: trunc(W * s + 0.5) x trunc(H * s + 0.5) in
// single precision, each at least 1 (a zero extent would leave nothing to work on), and never
// above the source's extent.
Tuple<2, unsigned> scaledSize(const Tuple<2, unsigned>& size, float s);

// Shrinks source to the target size (each at most the source's, at least 1): while the
// current image is at least twice the target in both axes, halve it along x, then y; halving
// stops before an extent would drop below 2. Then one bilinear step to the exact size.
void downscale(const Signal<2, unsigned char>& source, const Tuple<2, unsigned>& target,
               Signal<2, unsigned char>& destination);

// The size of an image of the given size resized by factor: each side rounded to the nearest
// whole pixel, at least 1 (0 stays 0) and at most Limits::maxResampledSide.
Tuple<2, unsigned> centredSize(const Tuple<2, unsigned>& size, float factor);

// Resizes source by factor (> 0) to centredSize() so that pixel centres map to pixel centres:
// target x stands for source position (x + 0.5) / factor - 0.5 (likewise y). Enlarging
// interpolates bilinearly between the two nearest samples (the edge sample repeats beyond the
// edge); shrinking averages the source area each target pixel covers, weighted by overlap, so
// that nothing finer than a target pixel aliases. Axes are treated one after the other (x
// first) in single precision, and values are rounded to the nearest level.
void resampleCentred(const Signal<2, unsigned char>& source, float factor,
                     Signal<2, unsigned char>& destination);

} // namespace ZELK
