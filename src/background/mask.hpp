// The background mask: the pixels that lie well inside the quadrilateral of the four detected
// sheet corners.
#pragma once

#include "core/signal.hpp"
#include "core/tuple.hpp"

namespace ZELK {

// How far inside each edge the mask starts, in pixels (before the two erosions).
inline constexpr float backgroundMaskInset = 10.0f;

// Resizes mask to width x height and sets the pixels (x, y) with x n.x + y n.y - d >= 0 for
// each edge k (corner k to corner k + 1), n the edge's unit left normal and d its offset with
// the edge moved 10 pixels inward; corners are counter-clockwise with y up, so the left
// normal points inside. A degenerate edge (coinciding corners) has normal (0, 0). The result
// is then eroded twice with the 4-neighbour cross.
void buildBackgroundMask(const Point<2, int> corners[4], unsigned width, unsigned height,
                         BinarySignal<2, unsigned>& mask);

} // namespace ZELK
