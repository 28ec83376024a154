// Polyline refinement: merging short edges, dropping vertices that add nothing to the shape,
// and snapping nearly horizontal and nearly vertical edges exactly onto the axes.
#pragma once

#include "tracing/polyline_set.hpp"

namespace ZELK {

// Merges, in every polyline of at least 3 indices, each edge shorter than lineLength into one
// new vertex at its midpoint; the merged vertex is then tested against its next neighbour.
// The first edge of an open polyline is never examined. A closed polyline is treated as a
// cycle. New vertices are appended with count 1 and never merge with existing ones; the old
// vertices stay until the set's clean-up. Positions are read through the view transformation.
void mergeShortEdges(PolylineSet& set, float lineLength);

// Removes, in every polyline of at least 3 indices, each vertex that lies closer than
// vertexDistance to the segment between its neighbours. The ends of an open polyline stay;
// a closed polyline is treated as a cycle.
void removeRedundantVertices(PolylineSet& set, float vertexDistance);

// Snaps edges whose unit direction has a major component above threshold onto the x or y
// axis: runs of edges in the same direction become one edge, each horizontal edge gets one
// y and each vertical edge one x, and the vertices between edges move to the corners where
// these lines meet (or slide along an unsnapped neighbouring edge). Moved vertices are new
// vertices; a vertex shared with another polyline keeps its old place there.
void alignPolylines(PolylineSet& set, float threshold);

} // namespace ZELK
