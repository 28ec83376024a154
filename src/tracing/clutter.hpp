// Clutter: short strokes, letters and specks that are not attached to the real drawing. Splits
// them off the lines and gathers them into groups of nearby marks for the SVG.
#pragma once

#include <cstdint>
#include <vector>

#include "core/geometry.hpp"
#include "tracing/polyline_set.hpp"

namespace ZELK {

// One flag per polyline of the set: true for clutter, that is a polyline not joined through
// any chain of shared vertices to a polyline that has a segment longer than length (compared
// as squared lengths). Positions are read through the view transformation. Every index of
// the set must refer to one of its vertices.
std::vector<bool> markClutter(const PolylineSet& lines, float length);

// Removes the clutter polylines (markClutter) from lines, keeping the order of the others, and
// returns them as a new set with the merge distance of lines: its polylines are the clutter
// polylines from the last to the first, its vertices every vertex position of lines (through
// the view transformation, each with count 1, in index order) so that the indices stay valid.
// The result has no view transformation and has not been cleaned up.
PolylineSet classifyClutter(PolylineSet& lines, float length);

// The clutter of a drawing whose strokes are strokeWidth wide (positive), judged by shape:
// groups of polylines (joined through shared vertices, or pieces of one stroke continuing each
// other end to end across a gap of a few widths) are drawing when a segment is longer than 10
// widths or their box is more than 20 widths across; so is whatever crosses a drawn line, ends
// on it from the side or ends at a drawn line's end (an arrowhead), and the groups those join.
// The rest (letters, specks, scribbles) is clutter. Flags as markClutter returns them.
std::vector<bool> markClutterByShape(const PolylineSet& lines, float strokeWidth);

// classifyClutter with the clutter chosen by markClutterByShape.
PolylineSet classifyClutterByShape(PolylineSet& lines, float strokeWidth);

// Moves the polylines flagged as clutter out of lines, as classifyClutter describes.
PolylineSet splitClutter(PolylineSet& lines, const std::vector<bool>& isClutter);

// The label that no box carries once clusterBoxes returns.
inline constexpr std::uint32_t unvisitedLabel = 0xFFFFFFFFu;

// Density clustering of boxes: two boxes are neighbours when the gap between them (per axis
// the gap between their intervals, 0 where they overlap, combined as a Euclidean length) is
// below eps; a box with at least 2 neighbours seeds a cluster, which grows through the
// neighbours of every member that has at least 2 neighbours itself. Returns one label per box:
// the cluster number from 1 upward in order of discovery, or 0 for noise. A box met as noise
// also marks its (at most one) neighbour as noise.
std::vector<std::uint32_t> clusterBoxes(const std::vector<Hyperrectangle<2, float>>& boxes,
                                        float eps);

// The clutter groups: one per cluster of polyline bounding boxes (boxes from the stored
// vertex positions, without the view transformation), in cluster order; then one for each
// noise polyline of 3 or more indices; last, always, one holding every noise polyline of fewer
// than 3 indices (possibly none). Each group is a cleaned-up set with the clutter's merge
// distance, its own copy of the vertices it uses and a copy of the clutter's view
// transformation.
std::vector<PolylineSet> groupClutter(const PolylineSet& clutter, float distance);

} // namespace ZELK
