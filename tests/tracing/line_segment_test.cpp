// Line segments: the total least-squares fit with its inlier refit and end padding, failure
// keeping the old geometry, and the seed fit over point pairs.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tracing/line_segment.hpp"

using namespace ZELK;
using P2 = Point<2, float>;
using V2 = Vector<2, float>;

namespace {

// Both ends of a segment, in either order, must be near the expected ends.
void expectEnds(const LineSegment& s, const P2& a, const P2& b, float tolerance = 1e-4f) {
    const P2 e = s.end();
    const bool forward = distance(s.origin, a) <= tolerance && distance(e, b) <= tolerance;
    const bool backward = distance(s.origin, b) <= tolerance && distance(e, a) <= tolerance;
    EXPECT_TRUE(forward || backward)
        << "(" << s.origin.x() << ", " << s.origin.y() << ") - (" << e.x() << ", " << e.y() << ")";
}

} // namespace

TEST(LineSegment, FitSpansThePointsWithHalfAPixelPadding) {
    LineSegment s;
    for (int x = 10; x < 40; ++x)
        s.points.push_back(P2(float(x), 5.0f));
    s.fit();
    ASSERT_TRUE(s.valid);
    EXPECT_FLOAT_EQ(s.length, 30.0f);
    EXPECT_FLOAT_EQ(std::fabs(s.direction.x()), 1.0f);
    EXPECT_FLOAT_EQ(s.direction.y(), 0.0f);
    expectEnds(s, P2(9.5f, 5), P2(39.5f, 5));
    EXPECT_FLOAT_EQ(std::fabs(s.plane.normal.y()), 1.0f);
    EXPECT_FLOAT_EQ(s.plane.signedDistance(P2(20, 5)), 0.0f);

    // A diagonal in scrambled order: the ends still come from the extreme projections.
    LineSegment d;
    for (int i : {3, 0, 7, 5, 1, 6, 2, 4})
        d.points.push_back(P2(float(i), float(i)));
    d.fit();
    ASSERT_TRUE(d.valid);
    const float pad = 0.5f / std::sqrt(2.0f);
    expectEnds(d, P2(-pad, -pad), P2(7 + pad, 7 + pad));
    EXPECT_NEAR(d.length, 7 * std::sqrt(2.0f) + 1.0f, 1e-4f);
}

TEST(LineSegment, RefitIgnoresOutliersButTheSpanKeepsThem) {
    LineSegment s;
    for (int x = 0; x < 20; ++x) {
        s.points.push_back(P2(float(x), 0.4f));
        s.points.push_back(P2(float(x), -0.4f));
    }
    s.points.push_back(P2(30.0f, 8.0f)); // beyond the end and far off the line
    s.fit();
    ASSERT_TRUE(s.valid);
    // The first fit tilts towards the outlier; the refit over the inliers is level again.
    EXPECT_NEAR(std::fabs(s.plane.normal.y()), 1.0f, 1e-6f);
    EXPECT_NEAR(s.plane.signedDistance(P2(10, 0)), 0.0f, 1e-4f);
    // The outlier's projection at x = 30 still extends the segment.
    expectEnds(s, P2(-0.5f, 0.0f), P2(30.5f, 0.0f), 1e-3f);
}

TEST(LineSegment, FailedFitKeepsTheLastGeometry) {
    LineSegment s;
    s.points = {P2(0, 0), P2(4, 0)};
    s.fit();
    ASSERT_TRUE(s.valid);
    const P2 origin = s.origin;
    const float length = s.length;

    s.points = {P2(1, 1)}; // too few
    s.fit();
    EXPECT_FALSE(s.valid);
    EXPECT_EQ(s.origin, origin);
    EXPECT_EQ(s.length, length);

    s.points = {P2(2, 2), P2(2, 2), P2(2, 2)}; // no direction at all
    s.fit();
    EXPECT_FALSE(s.valid);
    EXPECT_EQ(s.origin, origin);

    s.points = {P2(0, 0), P2(1, 0), P2(0, 1), P2(1, 1)}; // square: no dominant direction
    s.fit();
    EXPECT_FALSE(s.valid);
    EXPECT_EQ(s.length, length);
}

TEST(LineSegment, SeedFitTakesTheBestSupportedLine) {
    // Six points along a row and three well away from it: the row wins and its points leave
    // the list; the others stay. (In a tight cluster a steep line through the middle would
    // catch more points than the row itself.)
    std::vector<P2> list = {P2(1, 1), P2(3, 1),   P2(5, 1),  P2(20, 10), P2(7, 1),
                            P2(9, 1), P2(20, 12), P2(11, 1), P2(20, 14)};
    LineSegment s;
    ASSERT_TRUE(seedFit(list, s));
    EXPECT_TRUE(s.valid);
    EXPECT_EQ(s.points.size(), 6u);
    EXPECT_EQ(list, (std::vector<P2>{P2(20, 10), P2(20, 12), P2(20, 14)}));
    expectEnds(s, P2(0.5f, 1), P2(11.5f, 1));

    // Pixels within 2 of the line are taken with it: a staircase diagonal.
    list = {P2(0, 0), P2(1, 0), P2(1, 1), P2(2, 1), P2(2, 2), P2(3, 2), P2(3, 3), P2(4, 3)};
    ASSERT_TRUE(seedFit(list, s));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(s.points.size(), 8u);

    // Fewer than 4 points, or no line with 4 supporters besides its pair: no seed, list kept.
    list = {P2(0, 0), P2(1, 0), P2(2, 0)};
    EXPECT_FALSE(seedFit(list, s));
    EXPECT_EQ(list.size(), 3u);
    list = {P2(0, 0), P2(10, 0), P2(0, 10), P2(10, 10), P2(5, 5), P2(20, 3)};
    EXPECT_FALSE(seedFit(list, s));
    EXPECT_FALSE(s.valid);
    EXPECT_EQ(list.size(), 6u);

    // Spread out so that no steep line catches them all: 4 supporters besides the pair
    // suffice, 3 do not.
    list = {P2(0, 0), P2(3, 0), P2(6, 0), P2(9, 0), P2(12, 0), P2(15, 0), P2(30, 30)};
    ASSERT_TRUE(seedFit(list, s));
    EXPECT_EQ(list, (std::vector<P2>{P2(30, 30)}));
    list = {P2(0, 0), P2(3, 0), P2(6, 0), P2(9, 0), P2(12, 0), P2(30, 30)};
    EXPECT_FALSE(seedFit(list, s));
}
