// Polygon work of the segmentation background method: the convex hull of boundary pixels,
// the merging of its short edges, and the choice of its four sharpest vertices.
#pragma once

#include <cstdint>
#include <vector>

#include "core/tuple.hpp"

namespace ZELK {

// Convex hull by quickhull, counter-clockwise with x to the right and y up, starting at the
// leftmost point (ties: smaller y). The rightmost point (ties: larger y) closes the lower
// chain; each chain is refined by the point farthest from its edge (the first in input order
// on ties, so several points of one straight hull edge tying as farthest can leave an extra,
// straight vertex on it). One distinct point gives one vertex, none gives none. Uses an
// explicit work stack, no recursion.
std::vector<Point<2, float>> convexHull(const std::vector<Point<2, int>>& points);

// Shortest edge that survives simplifyHull: squared lengths below this are merged.
inline constexpr float minHullEdgeSquared = 25.0f;

// Walks the polygon and replaces each edge shorter than 5 by one vertex: where the lines of
// the two neighbouring edges meet (the midpoint of their nearest points), or the edge's
// midpoint when those lines are parallel. The merged vertex is examined again. Stops as soon
// as fewer than four vertices remain, since such a polygon has no four corners to offer.
void simplifyHull(std::vector<Point<2, float>>& hull);

// Indices of the four vertices with the sharpest angles (largest cosine between the two
// edges leaving the vertex), picked one at a time (the first candidate of a pass wins ties;
// vertices with a zero-length edge are skipped), sorted ascending. False when the polygon has
// fewer than four usable vertices.
bool sharpestVertices(const std::vector<Point<2, float>>& hull, std::uint32_t chosen[4]);

} // namespace ZELK
