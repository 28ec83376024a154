// Closing the gaps between traced segments: snapping and bridging segment ends of one skeleton
// region, turning segments into polylines, and joining polylines that share an end vertex.
#pragma once

#include <cstdint>
#include <vector>

#include "tracing/line_segment.hpp"
#include "tracing/polyline_set.hpp"

namespace ZELK {

// The pair of ends, one of each segment, that lie closest together: the pairs (origin,
// origin), (origin, end), (end, origin), (end, end) are tried in this order and a later one
// wins only when strictly closer.
struct ClosestEnds {
    float distance = 0.0f;
    bool aAtOrigin = true; // the closest end of a is its origin (else its second end)
    bool bAtOrigin = true;
};
ClosestEnds closestEnds(const LineSegment& a, const LineSegment& b);

// The region label with the most pixels in the segment's regions (the smallest label among
// equal counts), 0 when the map is empty.
std::uint16_t dominantRegion(const LineSegment& segment);

// Sorts the segments by dominant region (stable) and, within every run of one region other
// than 0, looks at each pair (A, B), A before B, with their current geometry: ends at most
// snapDistance apart are snapped to their midpoint (both segments refitted to their far end
// and the midpoint); ends up to segmentDistance apart get a new bridging segment when the two
// segments turn towards each other across the gap. Bridges are appended at the end, in
// creation order. Only pairs with ends in reach are examined, through a grid of segment ends,
// so a run costs about its size unless the ends crowd together.
void connectNeighbours(std::vector<LineSegment>& segments, float snapDistance,
                       float segmentDistance);

// Adds every segment's two ends (origin, then second end) as one polyline to the set, in
// segment order; invalid segments too, with their last geometry.
void addSegmentPolylines(PolylineSet& set, const std::vector<LineSegment>& segments);

// Joins polylines that share an end vertex: for each polyline in order, the first later
// polyline with an end on one of its ends is attached (reversed where needed) and removed,
// until no later polyline touches its ends. Vertices in the middle of a polyline never join.
// Found through an index of end vertices, so the cost is about the total length.
void joinPolylines(std::vector<Polyline>& polylines);

} // namespace ZELK
