// Line segments and what is built from them, on worked cases: the fit with its padding and
// inlier refit, the reassignment distance, snapping and bridging of neighbours, and joining.
#include <gtest/gtest.h>

#include <cmath>

#include "drawing_support.hpp"
#include "tracing/line_tracing.hpp"
#include "tracing/polyline_connection.hpp"

using namespace ZELK;
using namespace PenvexTest;

namespace {

// Both ends of a segment, in either order, near the expected ends.
void expectEnds(const LineSegment& s, const P2& a, const P2& b, float tolerance = 1e-4f) {
    const P2 e = s.end();
    EXPECT_TRUE((distance(s.origin, a) <= tolerance && distance(e, b) <= tolerance) ||
                (distance(s.origin, b) <= tolerance && distance(e, a) <= tolerance))
        << "(" << s.origin.x() << ", " << s.origin.y() << ") - (" << e.x() << ", " << e.y() << ")";
}

} // namespace

TEST(LineSegment, FitPadsTheEndsAndRefitsToTheInliers) {
    // Two rows of pixels around y = 0 and one outlier beyond the end: the refit over the
    // inliers is level, but the outlier's projection still extends the span, padded by half a
    // pixel at both ends.
    LineSegment s;
    for (int x = 0; x < 20; ++x)
        s.points.insert(s.points.end(), {P2(float(x), 0.4f), P2(float(x), -0.4f)});
    s.points.push_back(P2(30.0f, 8.0f));
    s.fit();
    ASSERT_TRUE(s.valid);
    EXPECT_NEAR(std::fabs(s.plane.normal.y()), 1.0f, 1e-6f);
    EXPECT_NEAR(s.plane.signedDistance(P2(10, 0)), 0.0f, 1e-4f);
    expectEnds(s, P2(-0.5f, 0.0f), P2(30.5f, 0.0f), 1e-3f);

    // Too few points, no direction, or no dominant direction: invalid, the geometry kept.
    const LineSegment fitted = s;
    for (const std::vector<P2>& points : {std::vector<P2>{P2(1, 1)},
                                          {P2(2, 2), P2(2, 2), P2(2, 2)},
                                          {P2(0, 0), P2(1, 0), P2(0, 1), P2(1, 1)}}) {
        s.points = points;
        s.fit();
        EXPECT_FALSE(s.valid);
        EXPECT_EQ(s.origin, fitted.origin);
        EXPECT_EQ(s.length, fitted.length);
    }
}

TEST(LineTracing, ReassignmentDistance) {
    // Off the line: the distance; beyond an end: half the square of the overshoot added.
    LineSegment s = between(P2(0, 0), P2(10, 0), 0);
    EXPECT_FLOAT_EQ(assignmentError(s, P2(5, 1.5f)), 1.5f);
    EXPECT_FLOAT_EQ(assignmentError(s, P2(12, 0)), 2.0f); // sqrt(0 + (4 / 2)^2)
    EXPECT_FLOAT_EQ(assignmentError(s, P2(13, 0)), 4.5f); // 9 / 2
    EXPECT_FLOAT_EQ(assignmentError(s, P2(-1, 2)), std::sqrt(4.0f + 0.25f));
}

TEST(PolylineConnection, CornerGetsABridgeAndCollinearEndsSnap) {
    // A corner 3.6 apart, the ends turning toward each other: a bridge from end to end. Turned
    // away (B mirrored to the other side of A's line), or collinear ends 3 apart (both cross
    // products 0): nothing. Collinear ends 1.5 apart both move to their midpoint 10.75.
    const struct {
        P2 from, to;
        std::size_t count;
        std::vector<P2> last; // the points of the last segment afterwards
    } cases[] = {{P2(12, 3), P2(12, 13), 3, {P2(10, 0), P2(12, 3)}},
                 {P2(12, 3), P2(12, -7), 2, {}},
                 {P2(13, 0), P2(23, 0), 2, {}},
                 {P2(11.5f, 0), P2(21.5f, 0), 2, {P2(10.75f, 0), P2(21.5f, 0)}}};
    for (const auto& c : cases) {
        std::vector<LineSegment> segments = {between(P2(0, 0), P2(10, 0), 4),
                                             between(c.from, c.to, 4)};
        connectNeighbours(segments, 2.0f, 5.0f);
        EXPECT_EQ(segments.size(), c.count);
        EXPECT_EQ(segments.back().points, c.last) << c.from.x() << ", " << c.from.y();
    }
    // Equal distances between ends: the earlier pair in the order (origin, origin) first.
    const ClosestEnds c =
        closestEnds(between(P2(0, 0), P2(10, 0), 1), between(P2(5, 3), P2(5, -3), 1));
    EXPECT_TRUE(c.aAtOrigin && c.bAtOrigin);
}

TEST(PolylineConnection, JoinRules) {
    // The four ways two polylines can share an end; three at one vertex: the first joins the
    // lower-numbered one and the third keeps its end there, now in the middle; a loop closes
    // and a middle vertex never joins.
    const std::vector<Polyline> cases[][2] = {
        {{{5, 6}, {5, 7, 8}}, {{8, 7, 5, 6}}},
        {{{5, 6}, {8, 7, 5}}, {{8, 7, 5, 6}}},
        {{{5, 6}, {6, 7, 8}}, {{5, 6, 7, 8}}},
        {{{5, 6}, {8, 7, 6}}, {{5, 6, 7, 8}}},
        {{{0, 1}, {1, 2}, {1, 3}}, {{0, 1, 2}, {1, 3}}},
        {{{0, 1}, {2, 0}, {4, 1, 5}, {1, 2}}, {{1, 2, 0, 1}, {4, 1, 5}}},
    };
    for (const auto& [input, joined] : cases) {
        std::vector<Polyline> p = input;
        joinPolylines(p);
        EXPECT_EQ(p, joined);
    }
}
