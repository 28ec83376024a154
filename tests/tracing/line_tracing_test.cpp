// Line tracing: seeding on small skeletons, the reassignment distance, region labels, and the
// grid-backed reassignment against the plain comparison of every pixel with every segment.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tracing/line_tracing.hpp"

using namespace ZELK;
using P2 = Point<2, float>;
using V2 = Vector<2, float>;
using Mask = BinarySignal<2, unsigned>;

namespace {

Mask blank(unsigned width, unsigned height) {
    return Mask(Tuple<2, unsigned>(width, height));
}

// Pixels of a straight line from (x0, y0) to (x1, y1), one per step of the longer axis.
void drawLine(Mask& m, int x0, int y0, int x1, int y1) {
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 0; i <= steps; ++i) {
        const int x = x0 + (steps == 0 ? 0 : int(std::lround(double(x1 - x0) * i / steps)));
        const int y = y0 + (steps == 0 ? 0 : int(std::lround(double(y1 - y0) * i / steps)));
        if (x >= 0 && y >= 0 && unsigned(x) < m.width() && unsigned(y) < m.height())
            m.set(unsigned(x), unsigned(y));
    }
}

bool finiteGeometry(const LineSegment& s) {
    return std::isfinite(s.origin.x()) && std::isfinite(s.origin.y()) &&
           std::isfinite(s.direction.x()) && std::isfinite(s.direction.y()) &&
           std::isfinite(s.length);
}

// Every pixel against every segment, every round, as the rule reads; segments with non-finite
// geometry are never nearest.
void plainReassign(const Mask& skeleton, const Signal<2, unsigned short>& labels,
                   std::vector<LineSegment>& segments, unsigned iterations, float limit) {
    for (unsigned round = 1; round <= iterations; ++round) {
        for (LineSegment& s : segments) {
            s.fit();
            s.points.clear();
            s.regions.clear();
        }
        for (unsigned y = 0; y < skeleton.height(); ++y)
            for (unsigned x = 0; x < skeleton.width(); ++x) {
                if (!skeleton.get(x, y))
                    continue;
                const P2 q{float(x), float(y)};
                std::size_t best = segments.size();
                float bestError = limit;
                for (std::size_t s = 0; s < segments.size(); ++s) {
                    if (!finiteGeometry(segments[s]))
                        continue;
                    const float e = assignmentError(segments[s], q);
                    if (e < bestError) {
                        bestError = e;
                        best = s;
                    }
                }
                if (best == segments.size())
                    continue;
                segments[best].points.push_back(q);
                if (round == iterations)
                    ++segments[best].regions[labels(x, y)];
            }
    }
    for (LineSegment& s : segments)
        s.fit();
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void expectSameSegments(const std::vector<LineSegment>& fast,
                        const std::vector<LineSegment>& plain) {
    ASSERT_EQ(fast.size(), plain.size());
    for (std::size_t i = 0; i < fast.size(); ++i) {
        const LineSegment& a = fast[i];
        const LineSegment& b = plain[i];
        ASSERT_EQ(a.points, b.points) << "segment " << i;
        ASSERT_EQ(a.regions, b.regions) << "segment " << i;
        ASSERT_EQ(a.valid, b.valid) << "segment " << i;
        const float fa[] = {a.origin.x(), a.origin.y(),       a.direction.x(),    a.direction.y(),
                            a.length,     a.plane.normal.x(), a.plane.normal.y(), a.plane.offset};
        const float fb[] = {b.origin.x(), b.origin.y(),       b.direction.x(),    b.direction.y(),
                            b.length,     b.plane.normal.x(), b.plane.normal.y(), b.plane.offset};
        for (int k = 0; k < 8; ++k)
            ASSERT_TRUE(sameBits(fa[k], fb[k])) << "segment " << i << " field " << k;
    }
}

} // namespace

TEST(LineTracing, StraightLineGivesOneSegmentOfItsLength) {
    Mask skeleton = blank(50, 12);
    drawLine(skeleton, 10, 6, 39, 6);
    std::vector<LineSegment> segments;
    seedSegments(skeleton, segments);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_TRUE(segments[0].valid);
    EXPECT_FLOAT_EQ(segments[0].length, 30.0f);
    EXPECT_FLOAT_EQ(std::fabs(segments[0].direction.x()), 1.0f);
    EXPECT_FLOAT_EQ(segments[0].direction.y(), 0.0f);
    EXPECT_EQ(segments[0].points.size(), 30u);

    Signal<2, unsigned short> labels;
    labelSkeletonRegions(skeleton, labels);
    reassignPixels(skeleton, labels, segments, 3);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_FLOAT_EQ(segments[0].length, 30.0f);
    EXPECT_EQ(segments[0].regions, (std::map<std::uint16_t, std::uint32_t>{{1, 30}}));

    // Without reassignment rounds the segments are only refitted; no regions are counted.
    std::vector<LineSegment> unrounded;
    seedSegments(skeleton, unrounded);
    reassignPixels(skeleton, labels, unrounded, 0);
    EXPECT_TRUE(unrounded[0].regions.empty());
    EXPECT_EQ(unrounded[0].points.size(), 30u);
}

TEST(LineTracing, SmallPiecesAndBorderPixelsSeedNothing) {
    Mask skeleton = blank(40, 20);
    drawLine(skeleton, 5, 5, 8, 5);   // 4 pixels
    drawLine(skeleton, 20, 0, 39, 0); // along the bottom row: never starts a seed
    std::vector<LineSegment> segments;
    seedSegments(skeleton, segments);
    EXPECT_TRUE(segments.empty());

    // Six pixels in a row make one (the line through two of them has the 4 others as
    // supporters).
    drawLine(skeleton, 5, 12, 10, 12);
    seedSegments(skeleton, segments);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_FLOAT_EQ(segments[0].length, 6.0f);

    // Reassignment still gives nearby pixels that no seed took to a segment: the 4-pixel
    // piece lies 7 rows away, out of reach; on the line, 1.5 beyond the end (at 10.5) is in
    // reach (e = 1.125) and 2.5 beyond is not (e = 3.125).
    skeleton.set(12, 12);
    skeleton.set(13, 12);
    Signal<2, unsigned short> labels;
    labelSkeletonRegions(skeleton, labels);
    reassignPixels(skeleton, labels, segments, 1);
    EXPECT_EQ(segments[0].points.size(), 7u);
    EXPECT_EQ(segments[0].points.back(), P2(12, 12));
}

TEST(LineTracing, CrossingLinesGiveSeparateSegments) {
    Mask skeleton = blank(60, 60);
    drawLine(skeleton, 5, 30, 55, 30);
    drawLine(skeleton, 30, 5, 30, 55);
    std::vector<LineSegment> segments;
    seedSegments(skeleton, segments);
    ASSERT_GE(segments.size(), 2u);
    Signal<2, unsigned short> labels;
    labelSkeletonRegions(skeleton, labels);
    reassignPixels(skeleton, labels, segments, 3);
    // Every segment is close to axis-parallel, both directions occur, and together they
    // hold every skeleton pixel (all lie within reach of a segment of their own line).
    bool horizontal = false, vertical = false;
    std::size_t assigned = 0;
    for (const LineSegment& s : segments) {
        assigned += s.points.size();
        if (std::fabs(s.direction.y()) < 0.05f) {
            horizontal = true;
            EXPECT_NEAR(s.origin.y(), 30.0f, 0.5f);
        } else {
            EXPECT_LT(std::fabs(s.direction.x()), 0.05f);
            vertical = true;
            EXPECT_NEAR(s.origin.x(), 30.0f, 0.5f);
        }
    }
    EXPECT_TRUE(horizontal);
    EXPECT_TRUE(vertical);
    EXPECT_EQ(assigned, std::size_t(skeleton.countSetBits()));
}

TEST(LineTracing, AssignmentErrorBeyondTheEnds) {
    LineSegment s;
    s.origin = P2(0, 0);
    s.direction = V2(1, 0);
    s.length = 10;
    EXPECT_FLOAT_EQ(assignmentError(s, P2(5, 1.5f)), 1.5f);
    EXPECT_FLOAT_EQ(assignmentError(s, P2(12, 0)), 2.0f); // sqrt(0 + (4 / 2)^2)
    EXPECT_FLOAT_EQ(assignmentError(s, P2(13, 0)), 4.5f); // 9 / 2
    EXPECT_FLOAT_EQ(assignmentError(s, P2(-1, 2)), std::sqrt(4.0f + 0.25f));
    s.length = std::numeric_limits<float>::infinity();
    EXPECT_EQ(assignmentError(s, P2(5, 0)), std::numeric_limits<float>::infinity());
}

TEST(LineTracing, RegionLabelsAreFourConnected) {
    Mask skeleton = blank(10, 6);
    drawLine(skeleton, 1, 1, 4, 1);
    skeleton.set(5, 2); // only diagonal to (4, 1): a region of its own
    drawLine(skeleton, 7, 0, 7, 5);
    Signal<2, unsigned short> labels;
    labelSkeletonRegions(skeleton, labels);
    EXPECT_EQ(labels(1, 1), 2);
    EXPECT_EQ(labels(4, 1), 2);
    EXPECT_EQ(labels(5, 2), 3);
    EXPECT_EQ(labels(7, 0), 1);
    EXPECT_EQ(labels(7, 5), 1);
    EXPECT_EQ(labels(0, 0), 0);
}

// The grid must give every pixel to the same segment as the plain loop, in every round, for
// seeded segments and for odd ones: never fitted, non-finite, overlong, non-unit directions.
TEST(LineTracing, GridReassignmentEqualsPlain) {
    const float nan = std::nanf("");
    const float inf = std::numeric_limits<float>::infinity();
    std::mt19937 random(17);
    const float limits[] = {2.5f, 2.5f, 2.5f, 0.7f, 6.0f, 0.0f, -1.0f, nan, 3.0e4f};
    int trial = 0;
    for (float limit : limits)
        for (int repeat = 0; repeat < 4; ++repeat, ++trial) {
            const unsigned width = 20 + random() % 150, height = 20 + random() % 120;
            Mask skeleton = blank(width, height);
            const unsigned strokes = 3 + random() % 25;
            for (unsigned k = 0; k < strokes; ++k)
                drawLine(skeleton, int(random() % width), int(random() % height),
                         int(random() % width), int(random() % height));
            for (unsigned k = 0; k < width * height / 60; ++k)
                skeleton.set(random() % width, random() % height);
            std::vector<LineSegment> segments;
            seedSegments(skeleton, segments);

            // Odd segments with fewer than 2 points keep whatever geometry they are given.
            LineSegment odd;
            odd.origin = P2(nan, 3);
            segments.insert(segments.begin() + segments.size() / 2, odd);
            odd = LineSegment();
            odd.origin = P2(1, 1);
            odd.direction = V2(0.6f, 0.8f);
            odd.length = 1.0e7f; // overlong: a candidate everywhere
            segments.push_back(odd);
            odd.direction = V2(3, 0.5f); // not a unit vector
            odd.length = 20;
            segments.insert(segments.begin(), odd);
            // Equal errors from a candidate of every cell (overlong, earlier) and a gridded one
            // (later) along the same line: the earlier one keeps the pixels.
            odd = LineSegment();
            odd.origin = P2(0, float(height / 3));
            odd.direction = V2(1, 0);
            odd.length = 1.0e7f;
            segments.insert(segments.begin(), odd);
            odd.length = float(width);
            segments.push_back(odd);
            drawLine(skeleton, 0, int(height / 3), int(width) - 1, int(height / 3));
            odd = LineSegment(); // never fitted: a point at the origin
            segments.push_back(odd);
            odd.origin = P2(float(width / 2), float(height / 2));
            odd.direction = V2(inf, 0);
            segments.push_back(odd);

            Signal<2, unsigned short> labels;
            labelSkeletonRegions(skeleton, labels);
            for (unsigned iterations : {0u, 1u, 2u, 4u}) {
                std::vector<LineSegment> fast = segments, plain = segments;
                reassignPixels(skeleton, labels, fast, iterations, limit);
                plainReassign(skeleton, labels, plain, iterations, limit);
                expectSameSegments(fast, plain);
                if (::testing::Test::HasFatalFailure()) {
                    ADD_FAILURE() << "trial " << trial << " limit " << limit << " iterations "
                                  << iterations;
                    return;
                }
            }
        }
}
