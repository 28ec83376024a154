// A straight piece of a traced stroke: the skeleton pixels assigned to it, the skeleton
// regions they come from, and the line fitted through them by total least squares.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "core/geometry.hpp"
#include "core/tuple.hpp"

namespace ZELK {

struct LineSegment {
    // Pixels a fitted line must stay within to count as its inliers.
    static constexpr float inlierDistance = 2.0f;
    // Half a pixel beyond the outermost pixel centres on each side, so that a segment covers
    // the pixels it was fitted to.
    static constexpr float endPadding = 0.5f;

    std::vector<Point<2, float>> points;
    std::map<std::uint16_t, std::uint32_t> regions; // skeleton region label -> pixel count
    bool valid = false;
    Hyperplane<2, float> plane; // unit normal n, offset c: n . p = c on the line
    Point<2, float> origin;
    Vector<2, float> direction; // unit, from origin towards the second end
    float length = 0.0f;

    // origin + length x direction.
    Point<2, float> end() const { return origin + direction * length; }

    // Refits plane, origin, direction and length to the points: a total least-squares line,
    // refitted to the points within inlierDistance of it, spanning the projections of all
    // points plus endPadding at both ends. On failure (fewer than 2 points, no dominant
    // direction, no inlier) valid is false and the geometry keeps its previous values.
    void fit();
};

// The same as segment.fit(), given the sums of the points' coordinates added in list order in
// single precision (as the fit adds them), so that a growing segment does not add up its whole
// list again every round. With `ends` false only plane and valid change; while a segment grows,
// only its line steers the growth.
void fitWithSums(LineSegment& segment, float sumX, float sumY, bool ends);

// The seed fit on a short list of neighbouring pixels (at most 9): the pair of points whose
// line passes within inlierDistance of the most other points, then two rounds of taking the
// points near the current line and fitting them. Returns true with segment holding the points
// of the second round, which are removed from list; false (list unchanged, segment invalid)
// when the list has fewer than 4 points, no line has 4 supporting points, or a fit fails.
bool seedFit(std::vector<Point<2, float>>& list, LineSegment& segment);

} // namespace ZELK
