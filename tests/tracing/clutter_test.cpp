// Clutter: which polylines count as clutter, how they leave the lines, and how the clutter is
// grouped by the distance between bounding boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tracing/clutter.hpp"

using namespace ZELK;
using P2 = Point<2, float>;
using Box = Hyperrectangle<2, float>;

namespace {

PolylineSet makeSet(const std::vector<P2>& points, const std::vector<Polyline>& polylines) {
    PolylineSet set(2.0f);
    for (const P2& p : points)
        set.vertices().push_back(PositionAccumulator{p, 1});
    set.polylines() = polylines;
    return set;
}

Box box(float x, float y, float w, float h) {
    return Box(P2(x, y), Tuple<2, float>(w, h));
}

// A short two-vertex stroke at (x, y) of length 4 along x, as vertices appended to points.
Polyline stroke(std::vector<P2>& points, float x, float y) {
    const std::uint32_t first = static_cast<std::uint32_t>(points.size());
    points.push_back(P2(x, y));
    points.push_back(P2(x + 4, y));
    return {first, first + 1};
}

} // namespace

TEST(MarkClutter, OnlyPolylinesCutOffFromEveryLongSegmentAreClutter) {
    // 0: one long segment among short ones; 1: short, shares vertex 2 with polyline 0;
    // 2: short, shares a vertex with 1 only (a chain); 3: short and isolated; 4: a long
    // polyline made of short segments only (the test is per segment, not on the total).
    PolylineSet set = makeSet({P2(0, 0), P2(5, 0), P2(80, 0), P2(82, 3), P2(84, 6), P2(200, 200),
                               P2(203, 200), P2(300, 0), P2(340, 0), P2(380, 0), P2(420, 0)},
                              {{0, 1, 2}, {2, 3}, {3, 4}, {5, 6}, {7, 8, 9, 10}});
    EXPECT_EQ(markClutter(set, 50.0f), (std::vector<bool>{false, false, false, true, true}));
    // With a shorter length every polyline of 4 has long segments.
    EXPECT_EQ(markClutter(set, 30.0f), (std::vector<bool>{false, false, false, true, false}));
    // The comparison is strict: a segment exactly as long as the limit is not long.
    PolylineSet exact = makeSet({P2(0, 0), P2(50, 0)}, {{0, 1}});
    EXPECT_EQ(markClutter(exact, 50.0f), std::vector<bool>{true});

    // Lengths are read through the view transformation.
    PolylineSet scaled = makeSet({P2(0, 0), P2(20, 0)}, {{0, 1}});
    scaled.setTransformation(std::make_unique<Transformation<2, float>::Scale>(3.0f));
    EXPECT_EQ(markClutter(scaled, 50.0f), std::vector<bool>{false});
}

TEST(MarkClutter, ConnectionsReachAcrossAnyOrderOfPolylines) {
    // A chain of short polylines listed from its far end toward the long one: every link is
    // joined to the long polyline, whatever the order in which they are listed.
    std::vector<P2> points{P2(0, 0), P2(100, 0)};
    std::vector<Polyline> polylines;
    const int links = 40;
    for (int k = links; k >= 1; --k)
        points.push_back(P2(100.0f + 3.0f * k, 0.0f));
    // Vertex 1 is (100, 0); vertex 2 + (links - k) is (100 + 3k, 0).
    for (int k = links; k >= 1; --k) {
        const std::uint32_t here = static_cast<std::uint32_t>(2 + (links - k));
        const std::uint32_t towards = k == 1 ? 1u : here + 1;
        polylines.push_back({here, towards});
    }
    polylines.push_back({0, 1});
    PolylineSet set = makeSet(points, polylines);
    const std::vector<bool> flags = markClutter(set, 50.0f);
    for (bool clutter : flags)
        EXPECT_FALSE(clutter);
}

TEST(ClassifyClutter, MovesClutterOutInReverseOrderKeepingIndicesValid) {
    std::vector<P2> points{P2(0, 0), P2(100, 0)};
    std::vector<Polyline> polylines{{0, 1}};
    polylines.push_back(stroke(points, 10, 50));
    polylines.push_back({1, static_cast<std::uint32_t>(points.size())});
    points.push_back(P2(101, 3)); // short, but touching the long line
    polylines.push_back(stroke(points, 200, 50));
    PolylineSet lines = makeSet(points, polylines);
    lines.vertices()[0].count = 2; // a merged vertex: position is sum / count
    lines.vertices()[0].sum = P2(2, 4);

    PolylineSet clutter = classifyClutter(lines, 50.0f);
    ASSERT_EQ(lines.polylines().size(), 2u);
    EXPECT_EQ(lines.polylines()[0], (Polyline{0, 1}));
    EXPECT_EQ(lines.polylines()[1], (Polyline{1, 4}));
    ASSERT_EQ(clutter.polylines().size(), 2u);
    EXPECT_EQ(clutter.polylines()[0], (Polyline{5, 6})); // the later one first
    EXPECT_EQ(clutter.polylines()[1], (Polyline{2, 3}));
    ASSERT_EQ(clutter.vertexCount(), lines.vertexCount());
    EXPECT_EQ(clutter.vertices()[0].count, 1u);
    EXPECT_EQ(clutter.position(0), P2(1, 2));
    EXPECT_EQ(clutter.position(6), P2(204, 50));
    EXPECT_EQ(clutter.mergeDistance(), lines.mergeDistance());
    EXPECT_EQ(clutter.transformation(), nullptr);
}

TEST(ClusterBoxes, TouchingBoxesAreNeighboursAndDensityFormsClusters) {
    // Three boxes in a row that touch. Visited from the middle, the middle box has two
    // neighbours and seeds a cluster of all three.
    const std::vector<Box> fromMiddle{box(10, 0, 10, 10), box(0, 0, 10, 10), box(20, 0, 10, 10)};
    EXPECT_EQ(clusterBoxes(fromMiddle, 1.0f), (std::vector<std::uint32_t>{1, 1, 1}));
    // With eps 0 nothing is a neighbour (the test is strict): all noise.
    EXPECT_EQ(clusterBoxes(fromMiddle, 0.0f), (std::vector<std::uint32_t>{0, 0, 0}));
    // Visited from the left, the first box has one neighbour: both become noise, and the
    // middle box, no longer unvisited, is never examined as a seed.
    const std::vector<Box> fromLeft{box(0, 0, 10, 10), box(10, 0, 10, 10), box(20, 0, 10, 10)};
    EXPECT_EQ(clusterBoxes(fromLeft, 1.0f), (std::vector<std::uint32_t>{0, 0, 0}));

    // The gap is Euclidean over both axes: (3, 4) apart diagonally is 5.
    const std::vector<Box> diagonal{box(0, 0, 1, 1), box(4, 5, 1, 1), box(-4, -5, 1, 1)};
    EXPECT_EQ(clusterBoxes(diagonal, 5.0f), (std::vector<std::uint32_t>{0, 0, 0}));
    EXPECT_EQ(clusterBoxes(diagonal, 5.01f), (std::vector<std::uint32_t>{1, 1, 1}));

    // Two clusters are numbered in order of discovery; an isolated box is noise.
    const std::vector<Box> two{box(3, 0, 2, 2),    box(503, 0, 2, 2), box(0, 0, 2, 2),
                               box(1000, 0, 2, 2), box(6, 0, 2, 2),   box(500, 0, 2, 2),
                               box(506, 0, 2, 2)};
    EXPECT_EQ(clusterBoxes(two, 2.0f), (std::vector<std::uint32_t>{1, 2, 1, 0, 1, 2, 2}));
}

TEST(ClusterBoxes, NoiseIsReclaimedByAClusterAndAgainByLaterNoise) {
    // Box 0 meets only box 1: both are noise at once. Box 2 then has neighbours 1 and 3 and
    // seeds a cluster that takes box 1 back from noise as a border box.
    const std::vector<Box> chain{box(0, 0, 1, 1), box(2, 0, 1, 1), box(4, 0, 1, 1),
                                 box(6, 0, 1, 1)};
    EXPECT_EQ(clusterBoxes(chain, 1.5f), (std::vector<std::uint32_t>{0, 1, 1, 1}));

    // A (0) meets only J (3), so both are noise; K (1) seeds a cluster with J and X (2), J
    // joining without being expanded; U (4) then meets only J and makes it noise again,
    // whatever cluster it belonged to.
    const std::vector<Box> quirk{box(0, 0, 1, 1), box(4, 0, 1, 1), box(6, 0, 1, 1), box(2, 0, 1, 1),
                                 box(2, 2, 1, 1)};
    EXPECT_EQ(clusterBoxes(quirk, 1.2f), (std::vector<std::uint32_t>{0, 1, 1, 0, 0}));
}

TEST(GroupClutter, ClustersFirstThenLoneLongPolylinesThenTheCatchAll) {
    std::vector<P2> points;
    std::vector<Polyline> polylines;
    // Three isolated two-vertex strokes far apart.
    polylines.push_back(stroke(points, 0, 0));
    polylines.push_back(stroke(points, 500, 0));
    polylines.push_back(stroke(points, 0, 500));
    // An isolated three-vertex stroke.
    const std::uint32_t v = static_cast<std::uint32_t>(points.size());
    points.insert(points.end(), {P2(500, 500), P2(503, 500), P2(503, 503)});
    polylines.push_back({v, v + 1, v + 2});
    // A tight cluster of three strokes.
    polylines.push_back(stroke(points, 1000, 1000));
    polylines.push_back(stroke(points, 1000, 1005));
    polylines.push_back(stroke(points, 1000, 1010));
    PolylineSet clutter = makeSet(points, polylines);
    clutter.setTransformation(std::make_unique<Transformation<2, float>::Scale>(2.0f));

    const std::vector<PolylineSet> groups = groupClutter(clutter, 30.0f);
    ASSERT_EQ(groups.size(), 3u);
    // The cluster: three polylines, only their six vertices, the view transformation copied.
    EXPECT_EQ(groups[0].polylines().size(), 3u);
    EXPECT_EQ(groups[0].vertexCount(), 6u);
    ASSERT_NE(groups[0].transformation(), nullptr);
    EXPECT_NE(groups[0].transformation(), clutter.transformation());
    EXPECT_EQ(groups[0].boundingBox().origin, P2(2000, 2000));
    // The isolated three-vertex stroke alone.
    ASSERT_EQ(groups[1].polylines().size(), 1u);
    EXPECT_EQ(groups[1].polylines()[0].size(), 3u);
    // The catch-all: the three short strokes, in order.
    ASSERT_EQ(groups[2].polylines().size(), 3u);
    EXPECT_EQ(groups[2].position(groups[2].polylines()[1][0]), P2(1000, 0));

    // Boxes are measured without the view transformation: the cluster's strokes are 4, 4
    // and 9 apart as stored (8 and 18 through the doubling view), so a distance of 10 still
    // groups them.
    const std::vector<PolylineSet> tight = groupClutter(clutter, 10.0f);
    EXPECT_EQ(tight.front().polylines().size(), 3u);

    // Only short noise: just the catch-all.
    std::vector<P2> few;
    std::vector<Polyline> shortOnes{stroke(few, 0, 0), stroke(few, 100, 0), stroke(few, 0, 100)};
    const std::vector<PolylineSet> catchAll = groupClutter(makeSet(few, shortOnes), 30.0f);
    ASSERT_EQ(catchAll.size(), 1u);
    EXPECT_EQ(catchAll[0].polylines().size(), 3u);

    // No clutter at all still gives the (empty) catch-all.
    const std::vector<PolylineSet> none = groupClutter(PolylineSet(2.0f), 30.0f);
    ASSERT_EQ(none.size(), 1u);
    EXPECT_TRUE(none[0].polylines().empty());
}

TEST(GroupClutter, EqualsCopyingEveryVertexAndCleaningUpOnRandomDrawings) {
    // The plain form of the grouping: labels from clusterBoxes over the polylines' boxes, the
    // groups in their order, each made of a copy of every clutter vertex and its polylines,
    // then the set clean-up. groupClutter copies only the vertices a group uses; the result
    // must be the same vertex for vertex and index for index.
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        const unsigned vertexCount = 2 + random() % 40;
        std::vector<P2> points;
        for (unsigned v = 0; v < vertexCount; ++v)
            points.push_back(P2(float(random() % 300), float(random() % 300)));
        std::vector<Polyline> polylines;
        const unsigned polylineCount = 1 + random() % 12;
        for (unsigned p = 0; p < polylineCount; ++p) {
            Polyline polyline;
            const unsigned length = 1 + random() % 5;
            for (unsigned k = 0; k < length; ++k)
                polyline.push_back(random() % vertexCount);
            if (random() % 4 == 0)
                polyline.push_back(polyline.front());
            polylines.push_back(polyline);
        }
        const PolylineSet clutter = makeSet(points, polylines);
        const float distance = float(random() % 120);

        std::vector<Box> boxes;
        for (const Polyline& polyline : polylines) {
            BoundingBoxBuilder builder;
            for (std::uint32_t v : polyline)
                builder.add(points[v]);
            boxes.push_back(builder.box());
        }
        const std::vector<std::uint32_t> labels = clusterBoxes(boxes, distance);
        std::vector<std::vector<Polyline>> expected;
        const std::uint32_t clusters = *std::max_element(labels.begin(), labels.end());
        for (std::uint32_t c = 1; c <= clusters; ++c) {
            expected.emplace_back();
            for (std::size_t p = 0; p < polylines.size(); ++p)
                if (labels[p] == c)
                    expected.back().push_back(polylines[p]);
        }
        std::vector<Polyline> shortNoise;
        for (std::size_t p = 0; p < polylines.size(); ++p) {
            if (labels[p] != 0)
                continue;
            if (polylines[p].size() >= 3)
                expected.push_back({polylines[p]});
            else
                shortNoise.push_back(polylines[p]);
        }
        expected.push_back(shortNoise);

        const std::vector<PolylineSet> groups = groupClutter(clutter, distance);
        ASSERT_EQ(groups.size(), expected.size());
        for (std::size_t g = 0; g < groups.size(); ++g) {
            PolylineSet plain = makeSet(points, expected[g]);
            plain.cleanUp();
            ASSERT_EQ(groups[g].polylines(), plain.polylines()) << "round " << round;
            ASSERT_EQ(groups[g].vertexCount(), plain.vertexCount());
            for (std::uint32_t v = 0; v < plain.vertexCount(); ++v) {
                EXPECT_EQ(groups[g].vertices()[v].sum, plain.vertices()[v].sum);
                EXPECT_EQ(groups[g].vertices()[v].count, 1u);
            }
        }
    }
}

TEST(ClusterBoxes, ManyBoxesGiveTheLabelsOfThePlainPairwiseSearch) {
    // With many boxes the neighbours are searched in order of the left edges; the labels must
    // be those of comparing every pair, including boxes that touch exactly at eps.
    auto plainLabels = [](const std::vector<Box>& boxes, float eps) {
        auto gap = [](float a, float as, float b, float bs) {
            return std::max({0.0f, b - (a + as), a - (b + bs)});
        };
        auto neighbours = [&](std::size_t i) {
            std::vector<std::uint32_t> found;
            for (std::size_t j = 0; j < boxes.size(); ++j) {
                const float gx = gap(boxes[i].origin.x(), boxes[i].size[0], boxes[j].origin.x(),
                                     boxes[j].size[0]);
                const float gy = gap(boxes[i].origin.y(), boxes[i].size[1], boxes[j].origin.y(),
                                     boxes[j].size[1]);
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
            labels[i] = cluster;
            while (!seeds.empty()) {
                const std::uint32_t k = seeds.back();
                seeds.pop_back();
                if (labels[k] == 0) {
                    labels[k] = cluster;
                } else if (labels[k] == unvisitedLabel) {
                    labels[k] = cluster;
                    const std::vector<std::uint32_t> more = neighbours(k);
                    if (more.size() >= 2)
                        seeds.insert(seeds.end(), more.begin(), more.end());
                }
            }
            ++cluster;
        }
        return labels;
    };

    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        std::vector<Box> boxes;
        const unsigned count = 64 + random() % 200;
        for (unsigned b = 0; b < count; ++b) {
            // Integer corners on a coarse lattice, so exact touching is common.
            const float x = float(random() % 60) * 5.0f - 100.0f, y = float(random() % 60) * 5.0f;
            boxes.push_back(box(x, y, float(random() % 4) * 5.0f, float(random() % 4) * 5.0f));
        }
        if (round % 5 == 0)
            boxes.push_back(box(-1000, 0, 3000, 1)); // one very wide box
        const float eps = float(random() % 4) * 5.0f + (round % 2 ? 0.5f : 0.0f);
        ASSERT_EQ(clusterBoxes(boxes, eps), plainLabels(boxes, eps)) << "round " << round;
    }
}
