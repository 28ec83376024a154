// Morphological closing and opening of the line mask with the 4-neighbour cross, in place.
#pragma once

#include "core/signal.hpp"

namespace ZELK {

// Closing: count dilations, then count erosions; the result replaces mask, work is scratch
// (resized). Once a step leaves the image unchanged the remaining steps of its kind are
// skipped, since they could not change it either. count 0 leaves mask as it is.
void closeMask(BinarySignal<2, unsigned>& mask, BinarySignal<2, unsigned>& work, unsigned count);

// Opening: count erosions, then count dilations; otherwise as closeMask().
void openMask(BinarySignal<2, unsigned>& mask, BinarySignal<2, unsigned>& work, unsigned count);

} // namespace ZELK
