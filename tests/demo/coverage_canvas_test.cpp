// The coverage canvas against an independent area computation, its full-coverage rule, the
// union of polygons and the painting rule.
#include "demo/coverage_canvas.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

using ZELK::Color;
using ZELK::CoverageCanvas;
using ZELK::RgbImage;

namespace {

using P = ZELK::Point<2, float>;
using V = ZELK::Vector<2, float>;

// The part of the horizontal line at height y inside a convex polygon, from the crossings of
// the line with the polygon's edges; false when the line misses it.
bool crossing(const std::vector<P>& polygon, double y, double& left, double& right) {
    left = std::numeric_limits<double>::infinity();
    right = -left;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const P& a = polygon[i];
        const P& b = polygon[(i + 1) % polygon.size()];
        const double ya = a.y(), yb = b.y();
        if ((y < std::min(ya, yb)) || (y > std::max(ya, yb)) || ya == yb)
            continue;
        const double x = a.x() + (y - ya) / (yb - ya) * (double(b.x()) - a.x());
        left = std::min(left, x);
        right = std::max(right, x);
    }
    return left <= right;
}

// Area of pixel (x, y) inside a convex polygon by integrating, over the pixel's height, the
// length of the covered piece of each horizontal line (midpoint rule; the integrand is
// piecewise linear, so the error is far below the tolerance used).
double referenceCoverage(const std::vector<P>& polygon, int x, int y) {
    constexpr int steps = 800;
    double sum = 0.0;
    for (int i = 0; i < steps; ++i) {
        const double yy = y + (i + 0.5) / steps;
        double left, right;
        if (crossing(polygon, yy, left, right))
            sum += std::max(0.0, std::min(right, x + 1.0) - std::max(left, double(x)));
    }
    return sum / steps;
}

// Whether the pixel square lies inside the convex polygon with room to spare (+1), outside it
// by a margin somewhere (-1), or too close to tell (0).
int insideWithMargin(const std::vector<P>& polygon, int x, int y) {
    double area = 0.0;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const P& a = polygon[i];
        const P& b = polygon[(i + 1) % polygon.size()];
        area += double(a.x()) * b.y() - double(b.x()) * a.y();
    }
    const double turn = area > 0 ? 1.0 : -1.0;
    int verdict = 1;
    for (int corner = 0; corner < 4; ++corner) {
        const double px = x + (corner & 1), py = y + (corner >> 1);
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const P& a = polygon[i];
            const P& b = polygon[(i + 1) % polygon.size()];
            const double ex = double(b.x()) - a.x(), ey = double(b.y()) - a.y();
            const double side = turn * (ex * (py - a.y()) - ey * (px - a.x())) /
                                std::max(1e-12, std::hypot(ex, ey));
            if (side < -1e-4)
                return -1;
            if (side < 1e-4)
                verdict = 0;
        }
    }
    return verdict;
}

std::vector<P> thickSegmentCorners(P origin, V direction, float length, float thickness) {
    const V h = (thickness / 2) * V(-direction.y(), direction.x());
    const P end = origin + length * direction;
    return {origin - h, end - h, end + h, origin + h};
}

std::vector<std::uint8_t> blank(std::uint32_t w, std::uint32_t h, std::uint8_t value) {
    return std::vector<std::uint8_t>(std::size_t(w) * h * 3, value);
}

} // namespace

TEST(CoverageCanvas, CoverageIsTheAreaInsideTheConvexPolygon) {
    std::mt19937 random(20240917);
    std::uniform_real_distribution<float> position(-6.0f, 30.0f);
    std::uniform_real_distribution<float> angle(0.0f, 6.2831853f);
    std::uniform_real_distribution<float> extent(0.0f, 14.0f);
    constexpr std::uint32_t w = 24, h = 20;
    int fullSeen = 0, partialSeen = 0;
    for (int round = 0; round < 90; ++round) {
        std::vector<P> polygon;
        if (round % 3 == 0) {
            // Triangles in either turn, some reaching out of the canvas.
            polygon = {P(position(random), position(random)), P(position(random), position(random)),
                       P(position(random), position(random))};
        } else {
            const float a = angle(random);
            polygon =
                thickSegmentCorners(P(position(random), position(random)),
                                    V(std::cos(a), std::sin(a)), extent(random), extent(random));
        }
        CoverageCanvas canvas(w, h);
        canvas.addConvexPolygon(polygon);
        for (int y = 0; y < int(h); ++y)
            for (int x = 0; x < int(w); ++x) {
                const double expected = referenceCoverage(polygon, x, y);
                ASSERT_NEAR(canvas.coverage(x, y), expected, 2e-5)
                    << "round " << round << " pixel " << x << "," << y;
                const int inside = insideWithMargin(polygon, x, y);
                if (inside == 1) {
                    ASSERT_TRUE(canvas.fullyCovered(x, y)) << round << " " << x << "," << y;
                } else if (inside == -1) {
                    ASSERT_FALSE(canvas.fullyCovered(x, y)) << round << " " << x << "," << y;
                }
                fullSeen += canvas.fullyCovered(x, y);
                partialSeen += !canvas.fullyCovered(x, y) && canvas.coverage(x, y) > 0;
            }
    }
    EXPECT_GT(fullSeen, 1000);
    EXPECT_GT(partialSeen, 1000);
}

TEST(CoverageCanvas, FullCoverageComesFromGeometryNotFromSums) {
    // A rectangle whose left edge lies a hair right of a pixel boundary: that column is
    // partially covered however close to 1 its coverage is; the next column is full.
    CoverageCanvas canvas(8, 4);
    const P corners[4] = {P(2.00001f, 0.0f), P(6.0f, 0.0f), P(6.0f, 4.0f), P(2.00001f, 4.0f)};
    canvas.addConvexPolygon(corners);
    for (std::uint32_t y = 0; y < 4; ++y) {
        EXPECT_FALSE(canvas.fullyCovered(2, y));
        EXPECT_NEAR(canvas.coverage(2, y), 0.99999, 1e-6);
        EXPECT_LT(canvas.coverage(2, y), 1.0f);
        for (std::uint32_t x = 3; x < 6; ++x)
            EXPECT_TRUE(canvas.fullyCovered(x, y));
        EXPECT_EQ(canvas.coverage(1, y), 0.0f);
        EXPECT_EQ(canvas.coverage(6, y), 0.0f);
    }

    // A long diagonal stroke painted white: every pixel well inside it is 255, never 254.
    constexpr std::uint32_t size = 64;
    CoverageCanvas stroke(size, size);
    const float d = static_cast<float>(std::sqrt(0.5));
    stroke.addThickSegment(P(3.3f, 2.9f), V(d, d), 80.0f, 7.5f);
    std::vector<std::uint8_t> pixels = blank(size, size, 0);
    RgbImage image{size, size, pixels.data()};
    stroke.paint(image, Color{1, 1, 1});
    int inner = 0;
    for (std::uint32_t y = 0; y < size; ++y)
        for (std::uint32_t x = 0; x < size; ++x) {
            const std::uint8_t v = pixels[3 * (y * size + x)];
            if (stroke.fullyCovered(x, y)) {
                ASSERT_EQ(v, 255) << x << "," << y;
                ++inner;
            } else {
                ASSERT_LT(v, 255) << x << "," << y;
            }
        }
    EXPECT_GT(inner, 200);
}

TEST(CoverageCanvas, PolygonsFormAUnion) {
    // Two rectangles overlapping in columns 4 and 5 (partly) and 6 (fully).
    CoverageCanvas canvas(12, 3);
    const P left[4] = {P(0.5f, 0.0f), P(6.5f, 0.0f), P(6.5f, 1.0f), P(0.5f, 1.0f)};
    const P right[4] = {P(4.75f, 0.0f), P(10.0f, 0.0f), P(10.0f, 1.0f), P(4.75f, 1.0f)};
    canvas.addConvexPolygon(left);
    canvas.addConvexPolygon(right);
    EXPECT_FLOAT_EQ(canvas.coverage(0, 0), 0.5f);
    EXPECT_TRUE(canvas.fullyCovered(4, 0)) << "full in the left one, partial in the right one";
    EXPECT_TRUE(canvas.fullyCovered(5, 0));
    EXPECT_TRUE(canvas.fullyCovered(6, 0)) << "partial in the left one, full in the right one";
    EXPECT_TRUE(canvas.fullyCovered(9, 0));
    EXPECT_EQ(canvas.coverage(10, 0), 0.0f);
    EXPECT_EQ(canvas.coverage(3, 1), 0.0f) << "nothing above the rectangles";

    // Partial coverages a and b of one pixel combine as 1 - (1 - a)(1 - b): a quarter and a
    // half give 0.625, and the two halves of a pixel give 0.75, not a full pixel.
    CoverageCanvas halves(4, 4);
    const P lower[4] = {P(0, 0), P(4, 0), P(4, 0.25f), P(0, 0.25f)};
    const P column[4] = {P(1.5f, 0), P(4, 0), P(4, 4), P(1.5f, 4)};
    const P other[4] = {P(0, 0), P(1.5f, 0), P(1.5f, 4), P(0, 4)};
    halves.addConvexPolygon(lower);
    halves.addConvexPolygon(column);
    EXPECT_FLOAT_EQ(halves.coverage(1, 0), 0.625f);
    EXPECT_FLOAT_EQ(halves.coverage(1, 1), 0.5f);
    halves.addConvexPolygon(other);
    EXPECT_FLOAT_EQ(halves.coverage(1, 1), 0.75f);
    EXPECT_FALSE(halves.fullyCovered(1, 1));
    EXPECT_TRUE(halves.fullyCovered(0, 1));

    halves.reset();
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 4; ++x)
            EXPECT_EQ(halves.coverage(x, y), 0.0f);
}

TEST(CoverageCanvas, DegenerateAndOutsideShapesCoverNothing) {
    CoverageCanvas canvas(16, 16);
    const float d = static_cast<float>(std::sqrt(0.5));
    canvas.addThickSegment(P(5.5f, 5.5f), V(d, d), 0.0f, 5.0f);
    canvas.addThickSegment(P(5.5f, 5.5f), V(1, 0), 6.0f, 0.0f);
    const P line[4] = {P(1, 1), P(9, 9), P(9, 9), P(1, 1)};
    canvas.addConvexPolygon(line);
    const P two[2] = {P(1, 1), P(9, 1)};
    canvas.addConvexPolygon(two);
    const P far[4] = {P(100, 100), P(200, 100), P(200, 200), P(100, 200)};
    canvas.addConvexPolygon(far);
    const P below[4] = {P(-1e30f, -1e30f), P(1e30f, -1e30f), P(1e30f, -1), P(-1e30f, -1)};
    canvas.addConvexPolygon(below);
    const float inf = std::numeric_limits<float>::infinity();
    const P broken[3] = {P(0, 0), P(inf, 3), P(3, 8)};
    canvas.addConvexPolygon(broken);
    const P nan[3] = {P(0, 0), P(std::nanf(""), 3), P(3, 8)};
    canvas.addConvexPolygon(nan);
    for (std::uint32_t y = 0; y < 16; ++y)
        for (std::uint32_t x = 0; x < 16; ++x)
            ASSERT_EQ(canvas.coverage(x, y), 0.0f) << x << "," << y;

    // A huge shape is cut to the canvas and covers all of it.
    const P huge[4] = {P(-1e30f, -1e30f), P(1e30f, -1e30f), P(1e30f, 1e30f), P(-1e30f, 1e30f)};
    canvas.addConvexPolygon(huge);
    for (std::uint32_t y = 0; y < 16; ++y)
        for (std::uint32_t x = 0; x < 16; ++x)
            ASSERT_TRUE(canvas.fullyCovered(x, y));

    const P nine[9] = {};
    EXPECT_THROW(canvas.addConvexPolygon(nine), ZELK::UnexpectedValueException);
}

TEST(CoverageCanvas, PaintingBlendsPartialPixelsTowardTheColour) {
    constexpr std::uint32_t w = 6, h = 1;
    CoverageCanvas canvas(w, h);
    // Column 1 half covered, columns 2 and 3 full, column 4 a quarter.
    const P corners[4] = {P(1.5f, 0), P(4.25f, 0), P(4.25f, 1), P(1.5f, 1)};
    canvas.addConvexPolygon(corners);
    std::vector<std::uint8_t> pixels = blank(w, h, 200);
    RgbImage image{w, h, pixels.data()};
    canvas.paint(image, Color{1.0f, 0.0f, 128 / 255.0f});
    const std::vector<std::uint8_t> expected = {
        200, 200, 200,              // untouched
        227, 100, 164,              // trunc(255 (0.5 * 200/255 + 0.5 k)): 227.5, 100, 164
        255, 0,   128, 255, 0, 128, // trunc(255 k)
        213, 150, 182,              // 0.75 old + 0.25 k: 213.75, 150, 182
        200, 200, 200};
    EXPECT_EQ(pixels, expected);

    std::vector<std::uint8_t> wrongSize = blank(5, 1, 0);
    RgbImage small{5, 1, wrongSize.data()};
    EXPECT_THROW(canvas.paint(small, Color{}), ZELK::SignalSizeException);
}
