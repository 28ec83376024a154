// Line segments and what is built from them: the fit with its padding and inlier refit,
// the reassignment distance, snapping and bridging of neighbours, joining of polylines, and the
// indexed reassignment, connection and joining against plain loops over every pair.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tracing/line_tracing.hpp"
#include "tracing/polyline_connection.hpp"

using namespace ZELK;
using P2 = Point<2, float>;
using V2 = Vector<2, float>;
using Mask = BinarySignal<2, unsigned>;

namespace {

const float NaN = std::nanf("");
const float inf = std::numeric_limits<float>::infinity();

// Pixels of a straight line from (x0, y0) to (x1, y1), one per step of the longer axis.
void drawLine(Mask& m, int x0, int y0, int x1, int y1) {
    const int steps = std::max({std::abs(x1 - x0), std::abs(y1 - y0), 1});
    for (int i = 0; i <= steps; ++i)
        m.set(unsigned(x0 + std::lround(double(x1 - x0) * i / steps)),
              unsigned(y0 + std::lround(double(y1 - y0) * i / steps)));
}

LineSegment between(const P2& a, const P2& b, std::uint16_t region, std::uint32_t count = 5) {
    LineSegment s;
    s.origin = a;
    s.length = distance(a, b);
    s.direction = (b - a) / s.length;
    s.valid = true;
    if (region != 0)
        s.regions[region] = count;
    return s;
}

// Both ends of a segment, in either order, near the expected ends.
void expectEnds(const LineSegment& s, const P2& a, const P2& b, float tolerance = 1e-4f) {
    const P2 e = s.end();
    EXPECT_TRUE((distance(s.origin, a) <= tolerance && distance(e, b) <= tolerance) ||
                (distance(s.origin, b) <= tolerance && distance(e, a) <= tolerance))
        << "(" << s.origin.x() << ", " << s.origin.y() << ") - (" << e.x() << ", " << e.y() << ")";
}

void expectSameSegments(const std::vector<LineSegment>& fast,
                        const std::vector<LineSegment>& plain) {
    ASSERT_EQ(fast.size(), plain.size());
    for (std::size_t i = 0; i < fast.size(); ++i) {
        const LineSegment &a = fast[i], &b = plain[i];
        ASSERT_EQ(a.points, b.points) << "segment " << i;
        ASSERT_EQ(a.regions, b.regions) << "segment " << i;
        ASSERT_EQ(a.valid, b.valid) << "segment " << i;
        const float fa[] = {a.origin.x(), a.origin.y(),       a.direction.x(),    a.direction.y(),
                            a.length,     a.plane.normal.x(), a.plane.normal.y(), a.plane.offset};
        const float fb[] = {b.origin.x(), b.origin.y(),       b.direction.x(),    b.direction.y(),
                            b.length,     b.plane.normal.x(), b.plane.normal.y(), b.plane.offset};
        ASSERT_EQ(std::memcmp(fa, fb, sizeof fa), 0) << "segment " << i; // bit for bit
    }
}

// Every pixel against every segment, every round; non-finite segments are never nearest.
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
                const P2 q{float(x), float(y)};
                std::size_t best = segments.size();
                float bestError = limit;
                for (std::size_t i = 0; i < segments.size() && skeleton.get(x, y); ++i) {
                    const LineSegment& s = segments[i];
                    const float e = assignmentError(s, q);
                    if (std::isfinite(s.origin.x() + s.origin.y() + s.direction.x() +
                                      s.direction.y() + s.length) &&
                        e < bestError)
                        bestError = e, best = i;
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

int sign(float v) {
    return (v > 0) - (v < 0);
}

// Neighbour connection as the rule reads: every pair of a run of one dominant region, in order.
void plainConnect(std::vector<LineSegment>& segments, float snap, float reach) {
    std::stable_sort(segments.begin(), segments.end(), [](const auto& a, const auto& b) {
        return dominantRegion(a) < dominantRegion(b);
    });
    std::vector<std::uint16_t> regions; // before snapping clears any
    for (const LineSegment& s : segments)
        regions.push_back(dominantRegion(s));
    std::vector<LineSegment> bridges;
    for (std::size_t i = 0; i < segments.size(); ++i)
        for (std::size_t j = i + 1; j < segments.size(); ++j) {
            LineSegment &a = segments[i], &b = segments[j];
            const std::uint16_t region = regions[i];
            const ClosestEnds c = closestEnds(a, b);
            if (region == 0 || regions[j] != region || c.distance > reach)
                continue;
            const P2 pa = c.aAtOrigin ? a.origin : a.end(), qa = c.aAtOrigin ? a.end() : a.origin;
            const P2 pb = c.bAtOrigin ? b.origin : b.end(), qb = c.bAtOrigin ? b.end() : b.origin;
            if (c.distance <= snap) {
                const P2 m = pa + (pb - pa) * 0.5f;
                a.points = {qa, m};
                b.points = {m, qb};
                a.regions.clear(), b.regions.clear();
                a.fit(), b.fit();
                continue;
            }
            const V2 u = pa - qa, w = pb - pa, t = qb - pb;
            if (sign(cross(u, w)) != sign(cross(t, w)) && dot(u, w) > 0 && dot(t, w) > 0) {
                LineSegment& bridge = bridges.emplace_back();
                bridge.points = {pa, pb};
                bridge.regions[region] = 2;
                bridge.fit();
            }
        }
    segments.insert(segments.end(), bridges.begin(), bridges.end());
}

// Joining as the rule reads: after every join, start again with the next polyline.
void plainJoin(std::vector<Polyline>& polylines) {
    for (std::size_t i = 0; i < polylines.size(); ++i)
        for (std::size_t j = i + 1; j < polylines.size();) {
            Polyline &a = polylines[i], b = polylines[j];
            // Checked in the order front-front, front-back, back-front, back-back; a reversed b
            // turns the first into the second and the last into the third.
            const bool ff = a.front() == b.front(), fb = a.front() == b.back();
            const bool bf = a.back() == b.front(), bb = a.back() == b.back();
            if (ff || (!fb && !bf && bb))
                std::reverse(b.begin(), b.end());
            if (ff || fb)
                a.insert(a.begin(), b.begin(), b.end() - 1);
            else if (bf || bb)
                a.insert(a.end(), b.begin() + 1, b.end());
            else {
                ++j;
                continue;
            }
            polylines.erase(polylines.begin() + j);
            j = i + 1;
        }
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

// The grid must give every pixel to the same segment as the plain loop, in every round, for
// seeded segments and for odd ones: never fitted, non-finite, overlong, non-unit directions.
TEST(LineTracing, GridReassignmentEqualsPlain) {
    std::mt19937 random(17);
    for (float limit : {2.5f, 2.5f, 2.5f, 0.7f, 6.0f, 0.0f, -1.0f, NaN, 3.0e4f})
        for (int repeat = 0; repeat < 4; ++repeat) {
            const unsigned width = 20 + random() % 150, height = 20 + random() % 120;
            Mask skeleton(Tuple<2, unsigned>(width, height));
            for (unsigned k = 3 + random() % 25; k > 0; --k)
                drawLine(skeleton, int(random() % width), int(random() % height),
                         int(random() % width), int(random() % height));
            for (unsigned k = 0; k < width * height / 60; ++k)
                skeleton.set(random() % width, random() % height);
            drawLine(skeleton, 0, int(height / 3), int(width) - 1, int(height / 3));
            std::vector<LineSegment> segments;
            seedSegments(skeleton, segments);
            // Odd segments with fewer than 2 points keep whatever geometry they are given. Along
            // row height / 3 an overlong one (a candidate of every cell, earlier) and a gridded
            // one (later) have equal errors: the earlier one keeps the pixels.
            LineSegment odd, notUnit = between(P2(1, 1), P2(21, 1), 0), row = notUnit;
            odd.origin = P2(NaN, 3);
            notUnit.direction = V2(3, 0.5f);
            row.origin = P2(0, float(height / 3));
            row.length = 1.0e7f;
            segments.insert(segments.begin() + segments.size() / 2, odd);
            segments.insert(segments.begin(), {row, notUnit});
            row.length = float(width);
            odd = between(P2(1, 1), P2(1.6f, 1.8f), 0);
            odd.length = 1.0e7f; // overlong: a candidate everywhere
            segments.insert(segments.end(), {odd, row, LineSegment()}); // never fitted: a point
            odd.origin = P2(float(width / 2), float(height / 2));
            odd.direction = V2(inf, 0);
            segments.push_back(odd);

            Signal<2, unsigned short> labels;
            labelSkeletonRegions(skeleton, labels);
            for (unsigned iterations : {0u, 1u, 2u, 4u}) {
                SCOPED_TRACE(::testing::Message()
                             << "limit " << limit << " iterations " << iterations);
                std::vector<LineSegment> fast = segments, plain = segments;
                reassignPixels(skeleton, labels, fast, iterations, limit);
                plainReassign(skeleton, labels, plain, iterations, limit);
                expectSameSegments(fast, plain);
                if (HasFatalFailure())
                    return;
            }
        }
}

TEST(PolylineConnection, CornerGetsABridgeAndCollinearEndsSnap) {
    // A corner 3.6 apart, the ends turning toward each other: a bridge of the corner's region;
    // turned away (B mirrored to the other side of A's line): nothing.
    std::vector<LineSegment> segments = {between(P2(0, 0), P2(10, 0), 4),
                                         between(P2(12, 3), P2(12, 13), 4)};
    connectNeighbours(segments, 2.0f, 5.0f);
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[2].points, (std::vector<P2>{P2(10, 0), P2(12, 3)}));
    EXPECT_EQ(segments[2].regions, (std::map<std::uint16_t, std::uint32_t>{{4, 2}}));
    EXPECT_NEAR(segments[2].length, std::sqrt(13.0f) + 1.0f, 1e-4f);
    segments = {between(P2(0, 0), P2(10, 0), 4), between(P2(12, 3), P2(12, -7), 4)};
    connectNeighbours(segments, 2.0f, 5.0f);
    EXPECT_EQ(segments.size(), 2u);
    // Collinear ends 3 apart: both cross products are 0, no bridge. 1.5 apart: both meet at
    // the midpoint 10.75 and end half a pixel beyond it.
    segments = {between(P2(0, 0), P2(10, 0), 2), between(P2(13, 0), P2(23, 0), 2)};
    connectNeighbours(segments, 2.0f, 5.0f);
    EXPECT_EQ(segments.size(), 2u);
    segments = {between(P2(0, 0), P2(10, 0), 2), between(P2(11.5f, 0), P2(21.5f, 0), 2)};
    connectNeighbours(segments, 2.0f, 5.0f);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].points, (std::vector<P2>{P2(0, 0), P2(10.75f, 0)}));
    EXPECT_EQ(segments[1].points, (std::vector<P2>{P2(10.75f, 0), P2(21.5f, 0)}));
    EXPECT_NEAR(std::max(segments[0].origin.x(), segments[0].end().x()), 11.25f, 1e-4f);
    // Equal distances between ends: the earlier pair in the order (origin, origin) first.
    const ClosestEnds c =
        closestEnds(between(P2(0, 0), P2(10, 0), 1), between(P2(5, 3), P2(5, -3), 1));
    EXPECT_TRUE(c.aAtOrigin && c.bAtOrigin);
}

// Many segments of one region with crowded ends, so that snaps move ends that later pairs
// look at, for the default and unusual distances.
TEST(PolylineConnection, IndexedConnectionEqualsAllPairs) {
    const float settings[][2] = {{2, 5},  {2, 5},   {1, 3},   {4, 8},   {2, 2}, {2, 0},
                                 {2, -1}, {NaN, 5}, {2, NaN}, {2, inf}, {0, 40}};
    std::mt19937 random(3);
    for (const auto& setting : settings)
        for (int repeat = 0; repeat < 3; ++repeat) {
            std::uniform_real_distribution<float> lattice(0.0f, 60.0f), jitter(-2.5f, 2.5f);
            std::vector<P2> joints;
            for (int k = 0; k < 40; ++k)
                joints.push_back(P2(lattice(random), lattice(random)));
            std::vector<LineSegment> segments;
            for (int k = 60 + int(random() % 200); k > 0; --k) {
                const P2 a = joints[random() % joints.size()] + V2(jitter(random), jitter(random));
                const P2 b = joints[random() % joints.size()] + V2(jitter(random), jitter(random));
                const std::uint16_t region = random() % 10 == 0 ? 0 : 1 + random() % 3;
                if (distance(a, b) >= 0.5f)
                    segments.push_back(between(a, b, region, 1 + random() % 4));
            }
            if (repeat == 2) { // non-finite ends never come near anything
                segments.push_back(between(P2(3, 3), P2(8, 3), 1));
                segments.back().origin = P2(NaN, 3);
            }
            SCOPED_TRACE(::testing::Message() << "snap " << setting[0] << " reach " << setting[1]);
            std::vector<LineSegment> fast = segments, plain = segments;
            connectNeighbours(fast, setting[0], setting[1]);
            plainConnect(plain, setting[0], setting[1]);
            expectSameSegments(fast, plain);
            if (HasFatalFailure())
                return;
        }
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
    // Against the restarting scan on random polylines.
    std::mt19937 random(11);
    for (int trial = 0; trial < 200; ++trial) {
        const unsigned vertices = 3 + random() % 60;
        std::vector<Polyline> fast(random() % 300);
        for (Polyline& p : fast) {
            p.resize(1 + random() % 4);
            for (std::uint32_t& v : p)
                v = random() % vertices;
        }
        std::vector<Polyline> plain = fast;
        joinPolylines(fast);
        plainJoin(plain);
        ASSERT_EQ(fast, plain) << "trial " << trial;
    }
}
