// Polyline sets and what works on them: merging insertion (against a plain scan of every
// vertex), clean-up and bounding boxes, refinement of open and closed polylines, and clutter:
// which polylines it is, how it leaves the lines, and its grouping by the distance of boxes
// (against plain pairwise searches).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>

#include "tracing/clutter.hpp"
#include "tracing/refinement.hpp"

using namespace ZELK;
using P2 = Point<2, float>;
using T2 = Transformation<2, float>;
using Box = Hyperrectangle<2, float>;

namespace {

// The vertices exactly at the points (count 1 each, never merged) and the given polylines.
PolylineSet makeSet(const std::vector<P2>& points, const std::vector<Polyline>& polylines) {
    PolylineSet set(2.0f);
    for (const P2& p : points)
        set.vertices().push_back(PositionAccumulator{p, 1});
    set.polylines() = polylines;
    return set;
}

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

Box box(float x, float y, float w, float h) {
    return Box(P2(x, y), Tuple<2, float>(w, h));
}

// The insertion as first written: every vertex in index order, the first one close enough
// takes the point.
std::uint32_t plainInsert(std::vector<PositionAccumulator>& vertices, float merge, const P2& p) {
    for (std::uint32_t v = 0; v < vertices.size(); ++v)
        if (distance(vertices[v].position(), p) < merge) {
            vertices[v].add(p);
            return v;
        }
    vertices.push_back(PositionAccumulator{p, 1});
    return std::uint32_t(vertices.size() - 1);
}

void expectSameVertices(const PolylineSet& set, const std::vector<PositionAccumulator>& plain) {
    ASSERT_EQ(set.vertexCount(), plain.size());
    for (std::size_t v = 0; v < plain.size(); ++v) {
        ASSERT_EQ(set.vertices()[v].count, plain[v].count) << "vertex " << v;
        ASSERT_EQ(std::memcmp(&set.vertices()[v].sum, &plain[v].sum, sizeof plain[v].sum), 0);
    }
}

// Density clustering the plain way: every pair of boxes compared, neighbours closer than eps
// (Euclidean gap over both axes, strict), two neighbours make a core box, noise reclaimed by
// a later cluster and made noise again by a later noise box.
std::vector<std::uint32_t> plainClusters(const std::vector<Box>& boxes, float eps) {
    auto gap = [](float a, float as, float b, float bs) {
        return std::max({0.0f, b - (a + as), a - (b + bs)});
    };
    auto neighbours = [&](std::size_t i) {
        std::vector<std::uint32_t> found;
        for (std::size_t j = 0; j < boxes.size(); ++j) {
            const float gx =
                gap(boxes[i].origin.x(), boxes[i].size[0], boxes[j].origin.x(), boxes[j].size[0]);
            const float gy =
                gap(boxes[i].origin.y(), boxes[i].size[1], boxes[j].origin.y(), boxes[j].size[1]);
            if (j != i && std::sqrt(double(gx * gx + gy * gy)) < double(eps))
                found.push_back(std::uint32_t(j));
        }
        return found;
    };
    std::vector<std::uint32_t> labels(boxes.size(), unvisitedLabel);
    std::uint32_t cluster = 1;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (labels[i] != unvisitedLabel)
            continue;
        std::vector<std::uint32_t> seeds = neighbours(i);
        if (seeds.size() < 2) {
            labels[i] = 0;
            for (std::uint32_t j : seeds)
                labels[j] = 0;
            continue;
        }
        for (labels[i] = cluster; !seeds.empty();) {
            const std::uint32_t k = seeds.back();
            seeds.pop_back();
            const bool expand = labels[k] == unvisitedLabel;
            if (labels[k] == 0 || expand)
                labels[k] = cluster;
            const std::vector<std::uint32_t> more = expand ? neighbours(k) : seeds;
            if (expand && more.size() >= 2)
                seeds.insert(seeds.end(), more.begin(), more.end());
        }
        ++cluster;
    }
    return labels;
}

} // namespace

// The grid-backed insertion must give the same indices and sums as the plain scan, also where
// vertices drift across cells as they average, where direct edits move vertices, after a
// clean-up and a bake, and for merge distances that the grid does not serve.
TEST(PolylineSet, GridInsertionEqualsPlainScan) {
    const float inf = std::numeric_limits<float>::infinity();
    std::mt19937 random(1234);
    for (float merge : {2.0f, 0.7f, 5.0f, 0.0f, -1.0f, std::nanf(""), inf, 3.0e6f})
        for (int round = 0; round < 6; ++round) {
            PolylineSet set(merge);
            std::vector<PositionAccumulator> plain;
            std::uniform_real_distribution<float> span(-30.0f, 30.0f + 40.0f * round),
                jitter(-3, 3);
            std::vector<P2> recent;
            for (int step = 0; step < 3000; ++step) {
                P2 p(span(random), span(random));
                const unsigned kind = random() % 20;
                if (kind < 8 && !recent.empty()) // near an earlier point: merges and drifts
                    p = recent[random() % recent.size()] +
                        Vector<2, float>(jitter(random), jitter(random));
                else if (kind == 8)
                    p = P2(float(random() % 9), float(random() % 9)); // exact grid
                else if (kind == 9 && round == 5)
                    p = P2(random() % 2 ? inf : std::nanf(""), 1.0f);
                else if (kind == 10 && round == 4)
                    p = P2(1.0e30f, -1.0e30f); // far outside any image
                recent.push_back(p);
                ASSERT_EQ(set.insertVertex(p), plainInsert(plain, merge, p)) << "merge " << merge;
                for (std::size_t v = 0; step % 700 == 699 && v < plain.size(); v += 7) {
                    set.vertices()[v].sum += Vector<2, float>(5.0f, 0.0f); // a stage's own edit
                    plain[v].sum += Vector<2, float>(5.0f, 0.0f);
                }
            }
            expectSameVertices(set, plain);
        }

    std::uniform_real_distribution<float> span(0.0f, 200.0f);
    PolylineSet set;
    for (int i = 0; i < 500; ++i)
        set.addSegment(P2(span(random), span(random)), P2(span(random), span(random)));
    std::vector<Polyline>& polylines = set.polylines();
    for (std::size_t i = polylines.size(); i-- > 0;)
        if (i % 3 == 0) // so that the clean-up has vertices to move
            polylines.erase(polylines.begin() + i);
    set.cleanUp();
    set.setTransformation(std::make_unique<T2::Translation>(Vector<2, float>(-50, 7)));
    set.bakeTransformation();
    std::vector<PositionAccumulator> plain = set.vertices();
    for (int i = 0; i < 2000; ++i) {
        const P2 p(span(random) - 50.0f, span(random) + 7.0f);
        ASSERT_EQ(set.insertVertex(p), plainInsert(plain, 2.0f, p));
    }
    expectSameVertices(set, plain);
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
    EXPECT_EQ(set.boundingBox(), box(10, 0, 20, 8));
    set.setTransformation(std::make_unique<T2::Scale>(2.0f));
    EXPECT_EQ(set.boundingBox(), box(20, 0, 40, 15));
    EXPECT_THROW(set.boundingBox(Polyline{0, 7}), BoundException<unsigned int>);
}

TEST(Refinement, MergeShortEdgesAndRemoveRedundantVertices) {
    // Open: every short edge but the first merges into its midpoint, the merged vertex tested
    // again against the next; closed: the closing edge too, followed round to the start.
    PolylineSet chain = open({P2(0, 0), P2(10, 0), P2(12, 0), P2(14, 0), P2(15, 0)});
    mergeShortEdges(chain, 5.0f);
    expectShape(shapeOf(chain), {P2(0, 0), P2(13.75f, 0)});
    PolylineSet firstShort = open({P2(0, 0), P2(2, 0), P2(30, 0), P2(40, 0)});
    mergeShortEdges(firstShort, 5.0f);
    EXPECT_EQ(shapeOf(firstShort).size(), 4u);
    PolylineSet ring = open({P2(0, 0), P2(6, 0), P2(30, 0), P2(30, 30), P2(0, 30), P2(4, 1)}, true);
    mergeShortEdges(ring, 5.0f);
    expectShape(shapeOf(ring), {P2(30, 0), P2(30, 30), P2(0, 30), P2(4, 0.25f), P2(30, 0)});

    // A vertex within the distance of its neighbours' chord goes, measured to the segment
    // (not the line); open ends stay; a closed polyline's first vertex has the last as its
    // neighbour.
    const std::vector<P2> shapes[][2] = {
        {{P2(0, 0), P2(10, 1), P2(20, 0)}, {P2(0, 0), P2(20, 0)}},
        {{P2(0, 0), P2(10, 8), P2(20, 0)}, {P2(0, 0), P2(10, 8), P2(20, 0)}},
        {{P2(0, 0), P2(30, 0), P2(20, 0)}, {P2(0, 0), P2(30, 0), P2(20, 0)}},
        {{P2(0, 0), P2(10, 0), P2(20, 0), P2(30, 0)}, {P2(0, 0), P2(30, 0)}}};
    for (const auto& [input, output] : shapes) {
        PolylineSet set = open(input);
        removeRedundantVertices(set, 5.0f);
        expectShape(shapeOf(set), output);
    }
    PolylineSet box =
        open({P2(10, 0), P2(20, 0), P2(20, 20), P2(10, 20), P2(0, 20), P2(0, 0)}, true);
    removeRedundantVertices(box, 5.0f);
    expectShape(shapeOf(box), {P2(20, 0), P2(20, 20), P2(0, 20), P2(0, 0), P2(20, 0)});
}

TEST(Refinement, AlignPolylines) {
    // The corner becomes a new vertex, the ends keep theirs; a run of horizontal edges becomes
    // one; a free diagonal edge carries its vertex along to the aligned edge's mean y.
    const std::vector<P2> cases[][2] = {
        {{P2(0, 0), P2(10, 0.5f), P2(10.5f, 10)}, {P2(0, 0), P2(10.5f, 0), P2(10.5f, 10)}},
        {{P2(0, 0), P2(10, 0.3f), P2(20, 0.1f), P2(20.2f, 10)},
         {P2(0, 0), P2(20.2f, 0), P2(20.2f, 10)}},
        {{P2(0, 0), P2(5, 5), P2(15, 5.4f), P2(15.2f, 15)},
         {P2(0, 0), P2(5.2f, 5.2f), P2(15.2f, 5.2f), P2(15.2f, 15)}},
        {{P2(0, 0), P2(10, 0.4f), P2(15, 5.4f)}, {P2(0, 0), P2(9.6f, 0), P2(15, 5.4f)}}};
    for (const auto& [input, output] : cases) {
        PolylineSet set = open(input);
        alignPolylines(set, 0.9f);
        expectShape(shapeOf(set), output);
    }
    // A closed rectangle starting in the middle of its bottom edge: the two horizontal edges
    // meeting there become one and the closing vertex goes.
    PolylineSet rect = open({P2(10, 0.2f), P2(20, 0), P2(20, 10), P2(0, 10), P2(0, 0)}, true);
    alignPolylines(rect, 0.9f);
    expectShape(shapeOf(rect), {P2(20, 0), P2(20, 10), P2(0, 10), P2(0, 0), P2(20, 0)});
    // A corner shared with another polyline moves only in the aligned one.
    PolylineSet shared =
        makeSet({P2(0, 0), P2(10, 0.5f), P2(10.5f, 10), P2(30, 30)}, {{0, 1, 2}, {1, 3}});
    alignPolylines(shared, 0.9f);
    expectShape(shapeOf(shared, 1), {P2(10, 0.5f), P2(30, 30)});
}

TEST(Clutter, PolylinesCutOffFromEveryLongSegmentLeaveTheLines) {
    // 0: one long segment among short ones; 1: short, shares vertex 2 with 0; 2: short, joined
    // to 1 only (a chain); 3: short and isolated; 4: long in total but of short segments only.
    PolylineSet set = makeSet({P2(0, 0), P2(5, 0), P2(80, 0), P2(82, 3), P2(84, 6), P2(200, 200),
                               P2(203, 200), P2(300, 0), P2(340, 0), P2(380, 0), P2(420, 0)},
                              {{0, 1, 2}, {2, 3}, {3, 4}, {5, 6}, {7, 8, 9, 10}});
    EXPECT_EQ(markClutter(set, 50.0f), (std::vector<bool>{false, false, false, true, true}));
    EXPECT_EQ(markClutter(set, 40.0f), (std::vector<bool>{false, false, false, true, true}));
    EXPECT_EQ(markClutter(set, 39.9f), (std::vector<bool>{false, false, false, true, false}));
    // Lengths are read through the view transformation.
    set.setTransformation(std::make_unique<T2::Scale>(3.0f));
    EXPECT_EQ(markClutter(set, 50.0f), (std::vector<bool>{false, false, false, true, false}));

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

TEST(Clutter, ClusterBoxesEqualsThePlainPairwiseSearch) {
    // Worked: three touching boxes visited from the middle make one cluster, from the left
    // only noise (the middle box is no longer unvisited); the gap is Euclidean and strict.
    EXPECT_EQ(clusterBoxes({box(10, 0, 10, 10), box(0, 0, 10, 10), box(20, 0, 10, 10)}, 1.0f),
              (std::vector<std::uint32_t>{1, 1, 1}));
    EXPECT_EQ(clusterBoxes({box(0, 0, 10, 10), box(10, 0, 10, 10), box(20, 0, 10, 10)}, 1.0f),
              (std::vector<std::uint32_t>{0, 0, 0}));
    const std::vector<Box> diagonal{box(0, 0, 1, 1), box(4, 5, 1, 1), box(-4, -5, 1, 1)};
    EXPECT_EQ(clusterBoxes(diagonal, 5.0f), (std::vector<std::uint32_t>{0, 0, 0}));
    EXPECT_EQ(clusterBoxes(diagonal, 5.01f), (std::vector<std::uint32_t>{1, 1, 1}));
    // Noise is reclaimed as a border box by a later cluster and made noise again by later noise.
    EXPECT_EQ(clusterBoxes({box(0, 0, 1, 1), box(4, 0, 1, 1), box(6, 0, 1, 1), box(2, 0, 1, 1),
                            box(2, 2, 1, 1)},
                           1.2f),
              (std::vector<std::uint32_t>{0, 1, 1, 0, 0}));

    // Random boxes on a coarse lattice, so that exact touching is common, many enough for the
    // search by left edges.
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        std::vector<Box> boxes;
        for (unsigned b = 64 + random() % 200; b > 0; --b) {
            const float x = float(random() % 60) * 5.0f - 100.0f, y = float(random() % 60) * 5.0f;
            boxes.push_back(box(x, y, float(random() % 4) * 5.0f, float(random() % 4) * 5.0f));
        }
        if (round % 5 == 0)
            boxes.push_back(box(-1000, 0, 3000, 1)); // one very wide box
        const float eps = float(random() % 4) * 5.0f + (round % 2 ? 0.5f : 0.0f);
        ASSERT_EQ(clusterBoxes(boxes, eps), plainClusters(boxes, eps)) << "round " << round;
    }
}

TEST(Clutter, GroupsAreClustersThenLoneLongPolylinesThenTheCatchAll) {
    // The plain form of the grouping: labels from clusterBoxes over the polylines' boxes, the
    // clusters in order, noise of three vertices or more alone, the rest together; each group
    // made of a copy of every clutter vertex and its polylines, then cleaned up. groupClutter
    // copies only the vertices a group uses; the result must be the same.
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::vector<P2> points(2 + random() % 40);
        for (P2& p : points)
            p = P2(float(random() % 300), float(random() % 300));
        std::vector<Polyline> polylines(1 + random() % 12);
        std::vector<Box> boxes;
        for (Polyline& polyline : polylines) {
            BoundingBoxBuilder builder;
            for (unsigned k = 1 + random() % 5; k > 0; --k)
                polyline.push_back(random() % points.size());
            if (random() % 4 == 0)
                polyline.push_back(polyline.front());
            for (std::uint32_t v : polyline)
                builder.add(points[v]);
            boxes.push_back(builder.box());
        }
        const float distance = float(random() % 120);
        const std::vector<std::uint32_t> labels = clusterBoxes(boxes, distance);
        std::vector<std::vector<Polyline>> expected(
            *std::max_element(labels.begin(), labels.end()));
        std::vector<Polyline> shortNoise;
        for (std::size_t p = 0; p < polylines.size(); ++p)
            if (labels[p] != 0)
                expected[labels[p] - 1].push_back(polylines[p]);
        for (std::size_t p = 0; p < polylines.size(); ++p)
            if (labels[p] == 0 && polylines[p].size() >= 3)
                expected.push_back({polylines[p]});
            else if (labels[p] == 0)
                shortNoise.push_back(polylines[p]);
        expected.push_back(shortNoise);

        const std::vector<PolylineSet> groups = groupClutter(makeSet(points, polylines), distance);
        ASSERT_EQ(groups.size(), expected.size());
        for (std::size_t g = 0; g < groups.size(); ++g) {
            PolylineSet plain = makeSet(points, expected[g]);
            plain.cleanUp();
            ASSERT_EQ(groups[g].polylines(), plain.polylines()) << "round " << round;
            expectSameVertices(groups[g], plain.vertices());
        }
    }
    // Boxes 4 and 9 apart as stored (8 and 18 through the view) group at 10: measured without
    // the view transformation, which each group gets a copy of.
    PolylineSet scaled = makeSet({P2(0, 0), P2(4, 0), P2(0, 5), P2(4, 5), P2(0, 10), P2(4, 10)},
                                 {{0, 1}, {2, 3}, {4, 5}});
    scaled.setTransformation(std::make_unique<T2::Scale>(2.0f));
    const std::vector<PolylineSet> groups = groupClutter(scaled, 10.0f);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].polylines().size(), 3u);
    ASSERT_NE(groups[0].transformation(), nullptr);
    EXPECT_NE(groups[0].transformation(), scaled.transformation());
    EXPECT_EQ(groups[0].boundingBox().origin, P2(0, 0));
    EXPECT_TRUE(groups[1].polylines().empty());
}
