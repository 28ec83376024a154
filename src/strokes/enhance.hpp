// The conditioning steps between the window filters and segmentation: the top-hat transform
// with its dark/bright paper decision, and the local-mean source that replaces everything
// outside the drawing surface by the mean of the surface's border ring.
#pragma once

#include "core/signal.hpp"

namespace ZELK {

// Side of the top-hat structuring window, whatever the other filter sizes are.
inline constexpr unsigned topHatWindow = 10;

// Top-hat in place, so that lines come out bright on a dark ground: when the class split of
// the image's histogram says the dark class is the larger one (dark paper, bright lines),
// image - minimum(image); otherwise maximum(image) - image; both over a 10 x 10 window.
// Returns that decision (false for a constant image, which becomes all zero either way).
bool topHatTransform(Signal<2, unsigned char>& image);

// Builds the local-mean source for an image whose drawing surface is the set pixels of mask
// (same size as grey, else SignalSizeException). The border ring (the mask minus its cross
// erosion) gives the mean grey value under it (unsigned division); work becomes a copy of
// grey with every pixel outside the mask set to that mean. Returns false, leaving work
// alone, when the ring is empty.
bool fillOutsideWithBorderMean(const Signal<2, unsigned char>& grey,
                               const BinarySignal<2, unsigned>& mask,
                               Signal<2, unsigned char>& work);

} // namespace ZELK
