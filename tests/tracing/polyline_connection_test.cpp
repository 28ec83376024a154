// Connecting segments and polylines: the snap and bridge examples, region runs, the join
// rules, and the indexed versions against the plain pair loops.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tracing/polyline_connection.hpp"

using namespace ZELK;
using P2 = Point<2, float>;
using V2 = Vector<2, float>;

namespace {

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

void expectNear(const P2& p, const P2& expected) {
    EXPECT_NEAR(p.x(), expected.x(), 1e-4f);
    EXPECT_NEAR(p.y(), expected.y(), 1e-4f);
}

int sign(float v) {
    return (v > 0) - (v < 0);
}

// The neighbour connection as the rule reads: every pair of a run, in order.
void plainConnect(std::vector<LineSegment>& segments, float snap, float reach) {
    std::stable_sort(segments.begin(), segments.end(),
                     [](const LineSegment& a, const LineSegment& b) {
                         return dominantRegion(a) < dominantRegion(b);
                     });
    std::vector<LineSegment> bridges;
    std::size_t begin = 0;
    while (begin < segments.size()) {
        const std::uint16_t region = dominantRegion(segments[begin]);
        std::size_t end = begin;
        while (end < segments.size() && dominantRegion(segments[end]) == region)
            ++end;
        for (std::size_t i = begin; region != 0 && i < end; ++i)
            for (std::size_t j = i + 1; j < end; ++j) {
                LineSegment& a = segments[i];
                LineSegment& b = segments[j];
                const ClosestEnds c = closestEnds(a, b);
                if (c.distance > reach)
                    continue;
                const P2 pa = c.aAtOrigin ? a.origin : a.end();
                const P2 qa = c.aAtOrigin ? a.end() : a.origin;
                const P2 pb = c.bAtOrigin ? b.origin : b.end();
                const P2 qb = c.bAtOrigin ? b.end() : b.origin;
                if (c.distance <= snap) {
                    const P2 m = pa + (pb - pa) * 0.5f;
                    a.points = {qa, m};
                    a.regions.clear();
                    a.fit();
                    b.points = {m, qb};
                    b.regions.clear();
                    b.fit();
                } else {
                    const V2 u = pa - qa, w = pb - pa, t = qb - pb;
                    if (sign(cross(u, w)) != sign(cross(t, w)) && dot(u, w) > 0 && dot(t, w) > 0) {
                        LineSegment bridge;
                        bridge.points = {pa, pb};
                        bridge.regions[region] = 2;
                        bridge.fit();
                        bridges.push_back(bridge);
                    }
                }
            }
        begin = end;
    }
    segments.insert(segments.end(), bridges.begin(), bridges.end());
}

// Joining as the rule reads: after every join, start again with the next polyline.
void plainJoin(std::vector<Polyline>& polylines) {
    for (std::size_t i = 0; i < polylines.size(); ++i) {
        std::size_t j = i + 1;
        while (j < polylines.size()) {
            Polyline& a = polylines[i];
            const Polyline b = polylines[j];
            Polyline joined;
            if (a.front() == b.front()) {
                joined.assign(b.rbegin(), b.rend() - 1);
                joined.insert(joined.end(), a.begin(), a.end());
            } else if (a.front() == b.back()) {
                joined.assign(b.begin(), b.end() - 1);
                joined.insert(joined.end(), a.begin(), a.end());
            } else if (a.back() == b.front()) {
                joined = a;
                joined.insert(joined.end(), b.begin() + 1, b.end());
            } else if (a.back() == b.back()) {
                joined = a;
                joined.insert(joined.end(), b.rbegin() + 1, b.rend());
            } else {
                ++j;
                continue;
            }
            a = joined;
            polylines.erase(polylines.begin() + j);
            j = i + 1;
        }
    }
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void expectSameSegments(const std::vector<LineSegment>& fast,
                        const std::vector<LineSegment>& plain) {
    ASSERT_EQ(fast.size(), plain.size());
    for (std::size_t i = 0; i < fast.size(); ++i) {
        ASSERT_EQ(fast[i].points, plain[i].points) << i;
        ASSERT_EQ(fast[i].regions, plain[i].regions) << i;
        ASSERT_EQ(fast[i].valid, plain[i].valid) << i;
        ASSERT_TRUE(sameBits(fast[i].origin.x(), plain[i].origin.x())) << i;
        ASSERT_TRUE(sameBits(fast[i].origin.y(), plain[i].origin.y())) << i;
        ASSERT_TRUE(sameBits(fast[i].length, plain[i].length)) << i;
        ASSERT_TRUE(sameBits(fast[i].direction.x(), plain[i].direction.x())) << i;
        ASSERT_TRUE(sameBits(fast[i].direction.y(), plain[i].direction.y())) << i;
    }
}

} // namespace

TEST(PolylineConnection, ClosestEndsAndDominantRegion) {
    const LineSegment a = between(P2(0, 0), P2(10, 0), 1);
    ClosestEnds c = closestEnds(a, between(P2(10, 1), P2(20, 1), 1));
    EXPECT_FLOAT_EQ(c.distance, 1.0f);
    EXPECT_FALSE(c.aAtOrigin);
    EXPECT_TRUE(c.bAtOrigin);
    c = closestEnds(a, between(P2(30, 0), P2(-2, 0), 1));
    EXPECT_FLOAT_EQ(c.distance, 2.0f);
    EXPECT_TRUE(c.aAtOrigin);
    EXPECT_FALSE(c.bAtOrigin);
    // Equal distances: the earlier pair in the order (origin, origin) first.
    c = closestEnds(a, between(P2(5, 3), P2(5, -3), 1));
    EXPECT_TRUE(c.aAtOrigin);
    EXPECT_TRUE(c.bAtOrigin);

    LineSegment s;
    EXPECT_EQ(dominantRegion(s), 0);
    s.regions = {{7, 5}, {3, 5}, {9, 2}};
    EXPECT_EQ(dominantRegion(s), 3);
    s.regions[9] = 6;
    EXPECT_EQ(dominantRegion(s), 9);
}

TEST(PolylineConnection, CornerGetsABridge) {
    std::vector<LineSegment> segments = {between(P2(0, 0), P2(10, 0), 4),
                                         between(P2(12, 3), P2(12, 13), 4)};
    connectNeighbours(segments, 2.0f, 5.0f);
    ASSERT_EQ(segments.size(), 3u);
    const LineSegment& bridge = segments[2];
    EXPECT_EQ(bridge.points, (std::vector<P2>{P2(10, 0), P2(12, 3)}));
    EXPECT_EQ(bridge.regions, (std::map<std::uint16_t, std::uint32_t>{{4, 2}}));
    EXPECT_TRUE(bridge.valid);
    EXPECT_NEAR(bridge.length, std::sqrt(13.0f) + 1.0f, 1e-4f);
    // The corner's own segments stay as they were.
    expectNear(segments[0].end(), P2(10, 0));
    expectNear(segments[1].origin, P2(12, 3));

    // Turning away from each other (B mirrored to the other side of A's line): no bridge.
    segments = {between(P2(0, 0), P2(10, 0), 4), between(P2(12, 3), P2(12, -7), 4)};
    connectNeighbours(segments, 2.0f, 5.0f);
    EXPECT_EQ(segments.size(), 2u);
    // Beyond the segment distance: nothing.
    segments = {between(P2(0, 0), P2(10, 0), 4), between(P2(12, 5), P2(12, 15), 4)};
    connectNeighbours(segments, 2.0f, 5.0f);
    EXPECT_EQ(segments.size(), 2u);
}

TEST(PolylineConnection, CollinearEndsSnapButDoNotBridge) {
    // 3 pixels apart in line: both cross products are 0, so no bridge.
    std::vector<LineSegment> segments = {between(P2(0, 0), P2(10, 0), 2),
                                         between(P2(13, 0), P2(23, 0), 2)};
    connectNeighbours(segments, 2.0f, 5.0f);
    ASSERT_EQ(segments.size(), 2u);
    expectNear(segments[1].origin, P2(13, 0));

    // 1.5 apart: both meet at the midpoint 10.75 and end half a pixel beyond it.
    segments = {between(P2(0, 0), P2(10, 0), 2), between(P2(11.5f, 0), P2(21.5f, 0), 2)};
    connectNeighbours(segments, 2.0f, 5.0f);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].points, (std::vector<P2>{P2(0, 0), P2(10.75f, 0)}));
    EXPECT_EQ(segments[1].points, (std::vector<P2>{P2(10.75f, 0), P2(21.5f, 0)}));
    EXPECT_TRUE(segments[0].regions.empty());
    EXPECT_NEAR(std::max(segments[0].origin.x(), segments[0].end().x()), 11.25f, 1e-4f);
    EXPECT_NEAR(std::min(segments[1].origin.x(), segments[1].end().x()), 10.25f, 1e-4f);
}

TEST(PolylineConnection, OnlySegmentsOfOneRegionConnect) {
    // Sorted by dominant region (stable), region 0 first; different regions never connect,
    // and region 0 is left alone.
    std::vector<LineSegment> segments = {
        between(P2(0, 0), P2(10, 0), 5), between(P2(11, 0), P2(20, 0), 3),
        between(P2(40, 0), P2(50, 0), 0), between(P2(51, 0), P2(60, 0), 0),
        between(P2(100, 0), P2(110, 0), 5)};
    connectNeighbours(segments, 2.0f, 5.0f);
    ASSERT_EQ(segments.size(), 5u);
    expectNear(segments[0].origin, P2(40, 0));
    expectNear(segments[1].origin, P2(51, 0));
    expectNear(segments[2].origin, P2(11, 0));
    expectNear(segments[3].origin, P2(0, 0));
    expectNear(segments[3].end(), P2(10, 0));
    expectNear(segments[4].origin, P2(100, 0));
}

// Many segments of one region with crowded ends, so that snaps move ends that later pairs
// look at, for the default and unusual distances.
TEST(PolylineConnection, IndexedConnectionEqualsAllPairs) {
    const float nan = std::nanf("");
    const float inf = std::numeric_limits<float>::infinity();
    const float settings[][2] = {{2, 5},  {2, 5},   {1, 3},   {4, 8},   {2, 2}, {2, 0},
                                 {2, -1}, {nan, 5}, {2, nan}, {2, inf}, {0, 40}};
    std::mt19937 random(3);
    for (const auto& setting : settings)
        for (int repeat = 0; repeat < 3; ++repeat) {
            std::uniform_real_distribution<float> lattice(0.0f, 60.0f);
            std::uniform_real_distribution<float> jitter(-2.5f, 2.5f);
            std::vector<P2> joints;
            for (int k = 0; k < 40; ++k)
                joints.push_back(P2(lattice(random), lattice(random)));
            std::vector<LineSegment> segments;
            const int count = 60 + int(random() % 200);
            for (int k = 0; k < count; ++k) {
                const P2 a = joints[random() % joints.size()] + V2(jitter(random), jitter(random));
                const P2 b = joints[random() % joints.size()] + V2(jitter(random), jitter(random));
                if (distance(a, b) < 0.5f)
                    continue;
                const std::uint16_t region = random() % 10 == 0 ? 0 : 1 + random() % 3;
                segments.push_back(between(a, b, region, 1 + random() % 4));
            }
            if (repeat == 2) {
                LineSegment odd = between(P2(3, 3), P2(8, 3), 1);
                odd.origin = P2(nan, 3); // non-finite ends never come near anything
                segments.push_back(odd);
            }
            std::vector<LineSegment> fast = segments, plain = segments;
            connectNeighbours(fast, setting[0], setting[1]);
            plainConnect(plain, setting[0], setting[1]);
            expectSameSegments(fast, plain);
            if (::testing::Test::HasFatalFailure()) {
                ADD_FAILURE() << "snap " << setting[0] << " reach " << setting[1];
                return;
            }
        }
}

TEST(PolylineConnection, JoinRules) {
    // Three polylines at one vertex: the first joins the lower-numbered one; the third keeps
    // its end there, now in the middle of the joined polyline.
    std::vector<Polyline> p = {{0, 1}, {1, 2}, {1, 3}};
    joinPolylines(p);
    EXPECT_EQ(p, (std::vector<Polyline>{{0, 1, 2}, {1, 3}}));

    // The four ways two polylines can share an end.
    p = {{5, 6}, {5, 7, 8}};
    joinPolylines(p);
    EXPECT_EQ(p, (std::vector<Polyline>{{8, 7, 5, 6}}));
    p = {{5, 6}, {8, 7, 5}};
    joinPolylines(p);
    EXPECT_EQ(p, (std::vector<Polyline>{{8, 7, 5, 6}}));
    p = {{5, 6}, {6, 7, 8}};
    joinPolylines(p);
    EXPECT_EQ(p, (std::vector<Polyline>{{5, 6, 7, 8}}));
    p = {{5, 6}, {8, 7, 6}};
    joinPolylines(p);
    EXPECT_EQ(p, (std::vector<Polyline>{{5, 6, 7, 8}}));

    // A loop closes, and a middle vertex never joins.
    p = {{0, 1}, {2, 0}, {4, 1, 5}, {1, 2}};
    joinPolylines(p);
    EXPECT_EQ(p, (std::vector<Polyline>{{1, 2, 0, 1}, {4, 1, 5}}));
}

TEST(PolylineConnection, IndexedJoinEqualsRestartingScan) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 200; ++trial) {
        const unsigned vertices = 3 + random() % 60;
        const unsigned count = random() % 300;
        std::vector<Polyline> polylines;
        for (unsigned k = 0; k < count; ++k) {
            Polyline p(1 + random() % 4);
            for (std::uint32_t& v : p)
                v = random() % vertices;
            polylines.push_back(p);
        }
        std::vector<Polyline> fast = polylines, plain = polylines;
        joinPolylines(fast);
        plainJoin(plain);
        ASSERT_EQ(fast, plain) << "trial " << trial;
    }
}
