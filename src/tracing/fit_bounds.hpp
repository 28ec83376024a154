// Bounds on the line a fit of integer points computes, found from their moments without visiting
// the points. A seed grows by a ring of pixels at a time and must refit after every ring, which
// visits all its points again; on a long stroke that makes the growth quadratic. While the
// bounds are narrow enough to tell which new pixels lie within the growth distance, the growth
// goes on without the fit, and the fit runs only when they cannot tell and at the end.
#pragma once

#include <cstdint>
#include <vector>

#include "core/tuple.hpp"

namespace ZELK {

struct Interval {
    double lo = 0.0;
    double hi = 0.0;
};

// Exact moments of the points appended so far, and their coordinate sums added in single
// precision in list order, as a fit adds them.
struct PointMoments {
    std::size_t counted = 0;
    float sumX = 0.0f, sumY = 0.0f;
    std::int64_t sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    double largestX = 0.0, largestY = 0.0; // of the absolute coordinates
    bool integral = true;                  // every point has integer coordinates below 2^20

    // Takes in the points after the first `counted` ones.
    void update(const std::vector<Point<2, float>>& points);

    // For telling whether every point is an inlier without visiting them all every round: the
    // largest distance of the points from a reference line, kept up to date as points arrive,
    // and how far the points reach from the first one. A line close to the reference moves
    // no point by more than the difference of the lines over that reach.
    struct Reference {
        bool set = false;
        double nx = 0.0, ny = 0.0, k = 0.0; // nx (x - x0) + ny (y - y0) = k
        double farthest = 0.0;
        std::size_t counted = 0;
    } reference;
    double x0 = 0.0, y0 = 0.0, reachX = 0.0, reachY = 0.0;
};

// The normal (nx, ny) and offset c of the line, each an interval holding what the fit computes.
struct FitBounds {
    Interval nx, ny, c;
};

// Finds bounds when it is certain that the fit of the points succeeds and every point is an
// inlier of its first line (so that the fitted line is that first line); false otherwise, or
// when the bounds would be too loose to use. moments must be up to date with the points; its
// reference line may be renewed.
bool boundFit(const std::vector<Point<2, float>>& points, PointMoments& moments, FitBounds& bounds);

// +1 when every line within the bounds puts q at a distance of at least `limit` (as the
// single-precision distance of the growth test computes it), -1 when every one puts it closer,
// 0 when the bounds cannot tell.
int sideOf(const FitBounds& bounds, const Point<2, float>& q, float limit);

} // namespace ZELK
