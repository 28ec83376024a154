// Binary morphology on bit-packed masks: the 4-neighbour cross erosion and dilation used by
// closing/opening, the background mask and the local-mean ring, and the 3 x 3 square dilation
// of edge hysteresis.
#pragma once

#include "core/signal.hpp"

namespace ZELK {

// A destination pixel is set when the source pixel or any of its left, right, upper and lower
// neighbours inside the image is set. The destination is resized to the source's size and
// every word of it is written; its row padding bits are 0 and the source's padding bits are
// ignored. Source and destination may be the same object (the source is copied first).
void dilate(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination);

// A destination pixel is set only when the source pixel and its four cross neighbours are all
// set; a neighbour outside the image counts as not set, so every border pixel is cleared.
// Sizes, padding and aliasing as for dilate().
void erode(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination);

// A destination pixel is set when any pixel of the 3 x 3 square around it (inside the image)
// is set in the source. Sizes, padding and aliasing as for dilate().
void dilateSquare3(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination);

} // namespace ZELK
