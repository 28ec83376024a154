// Tracing straight segments on the one-pixel skeleton: seeding and growing segments along
// fitted lines, labelling the skeleton's regions, and reassigning every skeleton pixel to its
// nearest segment so that segments share the pixels of a path fairly.
#pragma once

#include <vector>

#include "core/signal.hpp"
#include "tracing/line_segment.hpp"

namespace ZELK {

// How far a pixel may lie from a growing segment's line and still join it.
inline constexpr float growthDistance = 1.5f;
// How far (by assignmentError) a pixel may lie from a segment and still be assigned to it.
inline constexpr float reassignmentDistance = 2.5f;

// Seeds segments on the skeleton and appends the valid ones to segments, in seeding order.
// Seeds start at skeleton pixels away from the outermost rows and columns, in row-major order,
// from up to 9 pixels collected breadth-first; a seed line grows while the pixels reached
// through its frontier stay within growth of its line.
void seedSegments(const BinarySignal<2, unsigned>& skeleton, std::vector<LineSegment>& segments,
                  float growth = growthDistance);

// Labels the 4-connected regions of the skeleton 1, 2, ... in scan order (0 outside every
// region; after 65535 the labels start again at 1).
void labelSkeletonRegions(const BinarySignal<2, unsigned>& skeleton,
                          Signal<2, unsigned short>& labels);

// How far the pixel q is from the segment for reassignment: its distance from the segment's
// line, combined beyond either end with a term that grows with the fourth power of the
// overshoot x, as sqrt(e^2 + (x^2 / 2)^2). Infinite for a segment whose origin, direction or
// length is not finite, so that such a segment never takes a pixel.
float assignmentError(const LineSegment& segment, const Point<2, float>& q);

// Runs `iterations` rounds of: fit every segment, empty its points and regions, give every
// skeleton pixel (row-major) to the segment with the smallest assignmentError below distance
// (the earlier segment on ties). In the last round every segment also counts its pixels per
// region label. Finally fits every segment once more. labels must have the skeleton's size.
// Candidates come from a grid of cells over the image, so a round costs about the number of
// pixels plus the segments' lengths, not their product.
void reassignPixels(const BinarySignal<2, unsigned>& skeleton,
                    const Signal<2, unsigned short>& labels, std::vector<LineSegment>& segments,
                    unsigned iterations, float distance = reassignmentDistance);

} // namespace ZELK
