// Line segments and polyline sets on worked cases: the segment fit, clean-up and bounding boxes,
// refinement of open and closed polylines, and which polylines are clutter.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "drawing_support.hpp"
#include "tracing/clutter.hpp"
#include "tracing/line_tracing.hpp"
#include "tracing/refinement.hpp"

using namespace ZELK;
using namespace PenvexTest;
using T2 = Transformation<2, float>;
using Box = Hyperrectangle<2, float>;

namespace {

PolylineSet open(const std::vector<P2>& points, bool closed = false) {
    Polyline indices(points.size());
    std::iota(indices.begin(), indices.end(), 0u);
    if (closed)
        indices.push_back(0);
    return makeSet(points, {indices});
}

std::vector<P2> shapeOf(const PolylineSet& set, std::size_t polyline = 0) {
    std::vector<P2> shape;
    for (std::uint32_t v : set.polylines().at(polyline))
        shape.push_back(set.position(v));
    return shape;
}

void expectShape(const std::vector<P2>& actual, const std::vector<P2>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t k = 0; k < actual.size(); ++k)
        EXPECT_LT(distance(actual[k], expected[k]), 1e-5f) << "vertex " << k;
}

std::vector<P2> points(const std::vector<float>& xy) {
    std::vector<P2> out;
    for (std::size_t i = 0; i + 1 < xy.size(); i += 2)
        out.push_back(P2(xy[i], xy[i + 1]));
    return out;
}

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

TEST(PolylineSet, CleanUpAndBoundingBox) {
    PolylineSet set(0.5f);
    for (int i = 0; i < 6; ++i)
        set.insertVertex(P2(float(i) * 10, 0));
    // Vertices 1 and 3 are used. Slot 0 took vertex 5 (unused), then 4 (unused), then 3; slot
    // 1 kept vertex 1; vertex 2 was last by then and went. Repeated indices collapse and
    // polylines of one vertex go.
    set.polylines() = {{1, 1, 3, 3, 3, 1}, {4}, {5, 5}};
    set.cleanUp();
    EXPECT_EQ(set.polylines(), (std::vector<Polyline>{{1, 0, 1}}));
    expectShape(set.vertexCount() == 2 ? shapeOf(set) : std::vector<P2>{},
                {P2(10, 0), P2(30, 0), P2(10, 0)});

    // The box grows vertex by vertex: a point below the origin moves it and adds the difference
    // to the size, a point beyond makes the size one more than its distance from the origin.
    // Read through the view transformation.
    set.insertVertex(P2(10, 7));
    EXPECT_EQ(set.boundingBox(), Box(P2(10, 0), Tuple<2, float>(20, 8)));
    set.setTransformation(std::make_unique<T2::Scale>(2.0f));
    EXPECT_EQ(set.boundingBox(), Box(P2(20, 0), Tuple<2, float>(40, 15)));
    EXPECT_THROW(set.boundingBox(Polyline{0, 7}), BoundException<unsigned int>);
}

TEST(Refinement, WorkedShapes) {
    // Merged vertices are tested again against the next, closed polylines round their start;
    // redundancy is measured to the chord's segment, not its line; alignment makes corners new
    // vertices, joins runs across a closed start and carries a free diagonal edge's vertex.
    void (*const merge)(PolylineSet&, float) = mergeShortEdges;
    void (*const redundant)(PolylineSet&, float) = removeRedundantVertices;
    auto align = [](PolylineSet& set, float) { alignPolylines(set, 0.9f); };
    const struct {
        void (*refine)(PolylineSet&, float);
        bool closed;
        std::vector<float> input, output; // x, y, x, y, ...
    } cases[] = {
        {merge, false, {0, 0, 10, 0, 12, 0, 14, 0, 15, 0}, {0, 0, 13.75f, 0}},
        {merge,
         true,
         {0, 0, 6, 0, 30, 0, 30, 30, 0, 30, 4, 1},
         {30, 0, 30, 30, 0, 30, 4, 0.25f, 30, 0}},
        {redundant, false, {0, 0, 30, 0, 20, 0}, {0, 0, 30, 0, 20, 0}},
        {redundant,
         true,
         {10, 0, 20, 0, 20, 20, 10, 20, 0, 20, 0, 0},
         {20, 0, 20, 20, 0, 20, 0, 0, 20, 0}},
        {align, false, {0, 0, 10, 0.3f, 20, 0.1f, 20.2f, 10}, {0, 0, 20.2f, 0, 20.2f, 10}},
        {align,
         false,
         {0, 0, 5, 5, 15, 5.4f, 15.2f, 15},
         {0, 0, 5.2f, 5.2f, 15.2f, 5.2f, 15.2f, 15}},
        {align, false, {0, 0, 10, 0.4f, 15, 5.4f}, {0, 0, 9.6f, 0, 15, 5.4f}},
        {align, true, {10, 0.2f, 20, 0, 20, 10, 0, 10, 0, 0}, {20, 0, 20, 10, 0, 10, 0, 0, 20, 0}},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        PolylineSet set = open(points(cases[k].input), cases[k].closed);
        cases[k].refine(set, 5.0f);
        expectShape(shapeOf(set), points(cases[k].output));
    }
}

TEST(Clutter, PolylinesCutOffFromEveryLongSegmentLeaveTheLines) {
    // 0: one long segment among short ones; 1: short, shares vertex 2 with 0; 2: short, joined
    // to 1 only (a chain); 3: short and isolated; 4: long in total but of short segments only.
    PolylineSet set = makeSet({P2(0, 0), P2(5, 0), P2(80, 0), P2(82, 3), P2(84, 6), P2(200, 200),
                               P2(203, 200), P2(300, 0), P2(340, 0), P2(380, 0), P2(420, 0)},
                              {{0, 1, 2}, {2, 3}, {3, 4}, {5, 6}, {7, 8, 9, 10}});
    EXPECT_EQ(markClutter(set, 40.0f), (std::vector<bool>{false, false, false, true, true}));
    EXPECT_EQ(markClutter(set, 39.9f), (std::vector<bool>{false, false, false, true, false}));

    // The clutter moves out from the last polyline backwards, the vertices copied whole.
    set.setTransformation(nullptr);
    set.vertices()[0] = PositionAccumulator{P2(2, 4), 2}; // a merged vertex: sum / count
    PolylineSet clutter = classifyClutter(set, 50.0f);
    EXPECT_EQ(set.polylines(), (std::vector<Polyline>{{0, 1, 2}, {2, 3}, {3, 4}}));
    EXPECT_EQ(clutter.polylines(), (std::vector<Polyline>{{7, 8, 9, 10}, {5, 6}}));
    ASSERT_EQ(clutter.vertexCount(), set.vertexCount());
    EXPECT_EQ(clutter.position(0), P2(1, 2));
    EXPECT_EQ(clutter.vertices()[0].count, 1u);
}
