// Convex hull of boundary pixels, merging of short hull edges, and the four sharpest vertices.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "background/hull.hpp"

using namespace ZELK;

namespace {

using P = Point<2, float>;

// Twice the signed area of (a, b, c): positive for a left turn with y up.
double turn(const P& a, const P& b, const P& c) {
    return (double(b[0]) - a[0]) * (double(c[1]) - a[1]) -
           (double(b[1]) - a[1]) * (double(c[0]) - a[0]);
}

} // namespace

TEST(ConvexHull, CounterClockwiseFromTheLeftmostPoint) {
    // A square with points inside and on its edges, in raster order.
    std::vector<Point<2, int>> points;
    for (int y = 0; y <= 10; ++y)
        for (int x = 0; x <= 10; ++x)
            if (x == 0 || y == 0 || x == 10 || y == 10 || (x + y) % 3 == 0)
                points.emplace_back(x, y);
    const std::vector<P> hull = convexHull(points);
    const std::vector<P> expected = {P(0, 0), P(10, 0), P(10, 10), P(0, 10)};
    EXPECT_EQ(hull, expected);

    // Random clouds: no vertex turns right (a point of a straight edge that ties as farthest
    // may stay as a straight vertex), every point lies inside or on the hull, and the hull
    // goes round exactly once.
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> coordinate(-50, 50);
    for (int round = 0; round < 50; ++round) {
        std::vector<Point<2, int>> cloud;
        for (int i = 0; i < 200; ++i)
            cloud.emplace_back(coordinate(rng), coordinate(rng));
        const std::vector<P> h = convexHull(cloud);
        ASSERT_GE(h.size(), 3u);
        const std::size_t n = h.size();
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_GE(turn(h[i], h[(i + 1) % n], h[(i + 2) % n]), 0.0) << "round " << round;
            for (const auto& q : cloud)
                ASSERT_GE(turn(h[i], h[(i + 1) % n], P(float(q[0]), float(q[1]))), 0.0);
        }
        double area = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            area += turn(h[0], h[i], h[(i + 1) % n]);
        // Twice the area: positive (counter-clockwise), at most twice the cloud's box.
        ASSERT_GT(area, 0.0);
        ASSERT_LE(area, 2.0 * 100 * 100);
        // The start is the leftmost point, the lower one on ties.
        for (const auto& q : cloud)
            ASSERT_TRUE(h[0][0] < q[0] || (h[0][0] == q[0] && h[0][1] <= q[1]));
    }
    // Degenerate inputs.
    EXPECT_TRUE(convexHull({}).empty());
    EXPECT_EQ(convexHull({Point<2, int>(3, 4), Point<2, int>(3, 4)}).size(), 1u);
    const std::vector<P> segment =
        convexHull({Point<2, int>(0, 0), Point<2, int>(5, 5), Point<2, int>(10, 10)});
    EXPECT_EQ(segment, (std::vector<P>{P(0, 0), P(10, 10)}));
}

TEST(HullSimplification, ShortBevelBecomesTheMeetingPoint) {
    // A 40 x 30 rectangle whose corner (40, 30) is cut by a bevel 3 long: the bevel's two
    // ends merge into the corner where the long edges meet.
    std::vector<P> hull = {P(0, 0), P(40, 0), P(40, 28), P(38, 30), P(0, 30)};
    simplifyHull(hull);
    ASSERT_EQ(hull.size(), 4u);
    EXPECT_EQ(hull[0], P(0, 0));
    EXPECT_EQ(hull[1], P(40, 0));
    EXPECT_NEAR(hull[2][0], 40.0f, 1e-4f);
    EXPECT_NEAR(hull[2][1], 30.0f, 1e-4f);
    EXPECT_EQ(hull[3], P(0, 30));

    // The short edge from the last vertex to the first (j = 0) also merges.
    std::vector<P> wrapped = {P(0, 2), P(40, 0), P(40, 30), P(0, 30), P(-1, 4)};
    wrapped = {P(2, 0), P(40, 0), P(40, 30), P(0, 30), P(0, 2)};
    simplifyHull(wrapped);
    ASSERT_EQ(wrapped.size(), 4u);
    EXPECT_TRUE(std::any_of(wrapped.begin(), wrapped.end(), [](const P& p) {
        return std::abs(p[0]) < 1e-4f && std::abs(p[1]) < 1e-4f;
    }));

    // Edges of exactly 5 stay.
    std::vector<P> square = {P(0, 0), P(5, 0), P(5, 5), P(0, 5)};
    simplifyHull(square);
    EXPECT_EQ(square.size(), 4u);

    // A sliver 3 high loses its ends and keeps fewer than four vertices.
    std::vector<P> sliver = {P(0, 0), P(50, 0), P(50, 3), P(0, 3)};
    simplifyHull(sliver);
    EXPECT_LT(sliver.size(), 4u);
    std::uint32_t chosen[4];
    EXPECT_FALSE(sharpestVertices(sliver, chosen));
}

TEST(HullCorners, FourSharpestVerticesInHullOrder) {
    // A quadrilateral with an extra, almost straight vertex on one side.
    const std::vector<P> hull = {P(0, 0), P(50, 0), P(100, 1), P(100, 60), P(0, 60)};
    std::uint32_t chosen[4];
    ASSERT_TRUE(sharpestVertices(hull, chosen));
    const std::uint32_t expected[4] = {0, 2, 3, 4};
    EXPECT_TRUE(std::equal(chosen, chosen + 4, expected));
    // A triangle has no four corners.
    EXPECT_FALSE(sharpestVertices({P(0, 0), P(9, 0), P(0, 9)}, chosen));
}
