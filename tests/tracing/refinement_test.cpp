// Refinement of polylines: merging short edges, dropping redundant vertices and snapping edges
// to the axes, on open and closed polylines, including the wrap-around of closed ones.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tracing/refinement.hpp"

using namespace ZELK;
using P2 = Point<2, float>;

namespace {

// A set whose vertices are exactly the given points (count 1 each, no merging) and whose
// polylines are the given index lists.
PolylineSet makeSet(const std::vector<P2>& points, const std::vector<Polyline>& polylines) {
    PolylineSet set(2.0f);
    for (const P2& p : points)
        set.vertices().push_back(PositionAccumulator{p, 1});
    set.polylines() = polylines;
    return set;
}

// One open polyline through the points.
PolylineSet openPolyline(const std::vector<P2>& points) {
    Polyline indices;
    for (std::uint32_t i = 0; i < points.size(); ++i)
        indices.push_back(i);
    return makeSet(points, {indices});
}

// One closed polyline through the points (first index repeated at the end).
PolylineSet closedPolyline(const std::vector<P2>& points) {
    PolylineSet set = openPolyline(points);
    set.polylines()[0].push_back(0);
    return set;
}

std::vector<P2> shapeOf(const PolylineSet& set, std::size_t polyline = 0) {
    std::vector<P2> shape;
    for (std::uint32_t v : set.polylines().at(polyline))
        shape.push_back(set.position(v));
    return shape;
}

void expectShape(const std::vector<P2>& actual, const std::vector<P2>& expected,
                 float tolerance = 1e-5f) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t k = 0; k < actual.size(); ++k) {
        EXPECT_NEAR(actual[k].x(), expected[k].x(), tolerance) << "vertex " << k;
        EXPECT_NEAR(actual[k].y(), expected[k].y(), tolerance) << "vertex " << k;
    }
}

} // namespace

TEST(MergeShortEdges, OpenPolylinesMergeEveryEdgeButTheFirst) {
    PolylineSet set = openPolyline({P2(0, 0), P2(10, 0), P2(12, 0), P2(30, 0)});
    mergeShortEdges(set, 5.0f);
    expectShape(shapeOf(set), {P2(0, 0), P2(11, 0), P2(30, 0)});
    // The merged vertex is new; the two it replaces stay until a clean-up.
    EXPECT_EQ(set.vertexCount(), 5u);
    EXPECT_EQ(set.vertices()[4].count, 1u);

    PolylineSet firstShort = openPolyline({P2(0, 0), P2(2, 0), P2(30, 0), P2(40, 0)});
    mergeShortEdges(firstShort, 5.0f);
    expectShape(shapeOf(firstShort), {P2(0, 0), P2(2, 0), P2(30, 0), P2(40, 0)});

    // The merged vertex is tested against its next neighbour: three close vertices collapse
    // step by step, and the last edge of an open polyline is examined.
    PolylineSet chain = openPolyline({P2(0, 0), P2(10, 0), P2(12, 0), P2(14, 0), P2(15, 0)});
    mergeShortEdges(chain, 5.0f);
    expectShape(shapeOf(chain), {P2(0, 0), P2(13.75f, 0)});

    // Two-index polylines are left alone, however short.
    PolylineSet pair = openPolyline({P2(0, 0), P2(1, 0)});
    mergeShortEdges(pair, 5.0f);
    expectShape(shapeOf(pair), {P2(0, 0), P2(1, 0)});
}

TEST(MergeShortEdges, ClosedPolylinesWrapAroundAndFollowTheMergedVertex) {
    // The edge from the last vertex back to the first is short, and after merging it the new
    // vertex lies close to the next one as well: it is followed to position n - 1 and merged
    // again with the vertex that has become the first.
    PolylineSet set =
        closedPolyline({P2(0, 0), P2(6, 0), P2(30, 0), P2(30, 30), P2(0, 30), P2(4, 1)});
    mergeShortEdges(set, 5.0f);
    const std::vector<P2> shape = shapeOf(set);
    expectShape(shape, {P2(30, 0), P2(30, 30), P2(0, 30), P2(4, 0.25f), P2(30, 0)});
    EXPECT_EQ(set.polylines()[0].front(), set.polylines()[0].back());

    // A closed polyline whose every edge is short ends as one vertex repeated, which the
    // clean-up removes.
    PolylineSet tiny = closedPolyline({P2(0, 0), P2(1, 0), P2(1, 1)});
    mergeShortEdges(tiny, 5.0f);
    ASSERT_EQ(tiny.polylines()[0].size(), 2u);
    EXPECT_EQ(tiny.polylines()[0][0], tiny.polylines()[0][1]);
    tiny.cleanUp();
    EXPECT_TRUE(tiny.polylines().empty());
}

TEST(RemoveRedundantVertices, VerticesCloseToTheChordOfTheirNeighboursGo) {
    PolylineSet flat = openPolyline({P2(0, 0), P2(10, 1), P2(20, 0)});
    removeRedundantVertices(flat, 5.0f);
    expectShape(shapeOf(flat), {P2(0, 0), P2(20, 0)});

    PolylineSet peak = openPolyline({P2(0, 0), P2(10, 8), P2(20, 0)});
    removeRedundantVertices(peak, 5.0f);
    expectShape(shapeOf(peak), {P2(0, 0), P2(10, 8), P2(20, 0)});

    // The distance is to the segment, not the line: a vertex beyond an end is measured to it.
    PolylineSet spur = openPolyline({P2(0, 0), P2(30, 0), P2(20, 0)});
    removeRedundantVertices(spur, 5.0f);
    expectShape(shapeOf(spur), {P2(0, 0), P2(30, 0), P2(20, 0)});

    // Open ends never go, even when the whole polyline is straight.
    PolylineSet straight = openPolyline({P2(0, 0), P2(10, 0), P2(20, 0), P2(30, 0)});
    removeRedundantVertices(straight, 5.0f);
    expectShape(shapeOf(straight), {P2(0, 0), P2(30, 0)});

    // The merge example, followed by the removal, ends as one straight edge.
    PolylineSet merged = openPolyline({P2(0, 0), P2(10, 0), P2(12, 0), P2(30, 0)});
    mergeShortEdges(merged, 5.0f);
    removeRedundantVertices(merged, 5.0f);
    expectShape(shapeOf(merged), {P2(0, 0), P2(30, 0)});
}

TEST(RemoveRedundantVertices, ClosedPolylinesUseTheLastVertexAsNeighbourOfTheFirst) {
    // The first vertex lies in the middle of the bottom edge: its neighbours are the last
    // vertex (0, 0) and (20, 0). Six vertices make any wrong wrap-around of the index -1 pick
    // another vertex ((10, 20)), from whose chord the first vertex is far.
    PolylineSet set =
        closedPolyline({P2(10, 0), P2(20, 0), P2(20, 20), P2(10, 20), P2(0, 20), P2(0, 0)});
    removeRedundantVertices(set, 5.0f);
    expectShape(shapeOf(set), {P2(20, 0), P2(20, 20), P2(0, 20), P2(0, 0), P2(20, 0)});

    // A degenerate chord (both neighbours on one point) still yields a distance.
    PolylineSet needle = closedPolyline({P2(0, 0), P2(3, 0), P2(0, 0.5f)});
    removeRedundantVertices(needle, 5.0f);
    const Polyline& left = needle.polylines()[0];
    EXPECT_GE(left.size(), 2u);
    EXPECT_EQ(left.front(), left.back());
}

TEST(AlignPolylines, SnapsTheWorkedExampleOntoTheAxes) {
    PolylineSet set = openPolyline({P2(0, 0), P2(10, 0.5f), P2(10.5f, 10)});
    alignPolylines(set, 0.9f);
    expectShape(shapeOf(set), {P2(0, 0), P2(10.5f, 0), P2(10.5f, 10)});
    EXPECT_EQ(set.polylines()[0][0], 0u); // the ends keep their vertices
    EXPECT_EQ(set.polylines()[0][2], 2u);
    EXPECT_EQ(set.vertexCount(), 4u); // the corner is a new vertex

    // A threshold the edges do not pass leaves everything where it is.
    PolylineSet loose = openPolyline({P2(0, 0), P2(10, 3), P2(13, 13)});
    alignPolylines(loose, 0.99f);
    expectShape(shapeOf(loose), {P2(0, 0), P2(10, 3), P2(13, 13)});
    EXPECT_EQ(loose.vertexCount(), 3u);
}

TEST(AlignPolylines, RunsMergeAndFreeEdgesCarryTheirNeighbours) {
    // Two horizontal edges in a row become one; its y is the first vertex's, the vertical
    // end edge keeps the last vertex's x.
    PolylineSet run = openPolyline({P2(0, 0), P2(10, 0.3f), P2(20, 0.1f), P2(20.2f, 10)});
    alignPolylines(run, 0.9f);
    expectShape(shapeOf(run), {P2(0, 0), P2(20.2f, 0), P2(20.2f, 10)});

    // A free diagonal edge before a horizontal one: the vertex slides along the diagonal to
    // the horizontal edge's mean y (5.2), and the next corner is snapped.
    PolylineSet before = openPolyline({P2(0, 0), P2(5, 5), P2(15, 5.4f), P2(15.2f, 15)});
    alignPolylines(before, 0.9f);
    expectShape(shapeOf(before), {P2(0, 0), P2(5.2f, 5.2f), P2(15.2f, 5.2f), P2(15.2f, 15)});

    // A horizontal edge before a free diagonal: the vertex slides along the diagonal to y 0.
    PolylineSet after = openPolyline({P2(0, 0), P2(10, 0.4f), P2(15, 5.4f)});
    alignPolylines(after, 0.9f);
    expectShape(shapeOf(after), {P2(0, 0), P2(9.6f, 0), P2(15, 5.4f)});

    // A zero-length free edge gives no direction to slide along: the vertex stays.
    PolylineSet stuck = openPolyline({P2(0, 0), P2(10, 0.2f), P2(10, 0.2f), P2(20, 7)});
    alignPolylines(stuck, 0.9f);
    expectShape(shapeOf(stuck), {P2(0, 0), P2(10, 0.2f), P2(10, 0.2f), P2(20, 7)});
    EXPECT_EQ(stuck.vertexCount(), 4u);
}

TEST(AlignPolylines, ClosedPolylinesUseMeansAndJoinAcrossTheClosingVertex) {
    // A skewed quadrilateral: every edge takes the mean of its ends; the first and last
    // positions of the cycle keep their vertices.
    PolylineSet quad = closedPolyline({P2(0, 0), P2(10, 0.3f), P2(10.2f, 10), P2(0.1f, 9.8f)});
    alignPolylines(quad, 0.9f);
    expectShape(shapeOf(quad),
                {P2(0, 0), P2(10.1f, 0.15f), P2(10.1f, 9.9f), P2(0.1f, 9.8f), P2(0, 0)});

    // Starting in the middle of the bottom edge: the two horizontal edges meeting there
    // become one, the closing vertex goes, and the corners are snapped.
    PolylineSet rect = closedPolyline({P2(10, 0.2f), P2(20, 0), P2(20, 10), P2(0, 10), P2(0, 0)});
    alignPolylines(rect, 0.9f);
    expectShape(shapeOf(rect), {P2(20, 0), P2(20, 10), P2(0, 10), P2(0, 0), P2(20, 0)});
    const Polyline& cycle = rect.polylines()[0];
    EXPECT_EQ(cycle.front(), 1u);
    EXPECT_EQ(cycle.front(), cycle.back());
}

TEST(AlignPolylines, ASharedCornerMovesOnlyInTheAlignedPolyline) {
    PolylineSet set =
        makeSet({P2(0, 0), P2(10, 0.5f), P2(10.5f, 10), P2(30, 30)}, {{0, 1, 2}, {1, 3}});
    alignPolylines(set, 0.9f);
    expectShape(shapeOf(set, 0), {P2(0, 0), P2(10.5f, 0), P2(10.5f, 10)});
    expectShape(shapeOf(set, 1), {P2(10, 0.5f), P2(30, 30)});
    EXPECT_NE(set.polylines()[0][1], set.polylines()[1][0]);
}

TEST(AlignPolylines, VerticesMoveInOrderAndSlideToTheExactProductOfTheStep) {
    // Horizontal, free, horizontal. The vertex between the first two edges slides along the
    // free edge down to y 0, which lands it exactly on the next vertex. That next vertex then
    // reads its free edge from where its neighbour went: the edge has no length left, so it
    // stays where it is (it would otherwise slide up the old diagonal to the last edge's y).
    PolylineSet set = openPolyline({P2(0, 0), P2(0.5f, 0.05f), P2(0.55f, 0), P2(0.9f, 0.03f)});
    alignPolylines(set, 0.9f);
    const Polyline& polyline = set.polylines()[0];
    ASSERT_EQ(polyline.size(), 4u);
    EXPECT_EQ(polyline[1], 4u); // the slid vertex is new
    EXPECT_EQ(set.position(polyline[1]).x(), 0.55f);
    EXPECT_EQ(set.position(polyline[1]).y(), 0.0f);
    EXPECT_EQ(polyline[2], 2u);
    EXPECT_EQ(set.vertexCount(), 5u);

    // The slid vertex is c + t d as computed in single precision, with t chosen for the
    // target coordinate; rounding leaves y a little above 0 here and it is not forced onto it.
    PolylineSet slid = openPolyline({P2(0, 0), P2(0.5f, 0.0625f), P2(0.5625f, 0)});
    alignPolylines(slid, 0.9f);
    const P2 c(0.5f, 0.0625f);
    const Vector<2, float> edge = P2(0.5625f, 0) - c;
    const Vector<2, float> d = edge / length(edge);
    const float t = (0.0f - c.y()) / d.y();
    const P2 expected = c + d * t;
    const P2 got = slid.position(slid.polylines()[0][1]);
    EXPECT_EQ(got.x(), expected.x());
    EXPECT_EQ(got.y(), expected.y());
    EXPECT_NE(got.y(), 0.0f);
}
