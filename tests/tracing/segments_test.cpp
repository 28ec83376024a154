// The line segment fit on worked cases: its padding, inlier refit and refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "drawing_support.hpp"
#include "tracing/line_tracing.hpp"

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
