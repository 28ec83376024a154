// Polyline sets: merging insertion (against a plain scan of every vertex), bounding boxes,
// clean-up renumbering, baking and ownership of the view transformation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tracing/polyline_set.hpp"

using namespace ZELK;
using P2 = Point<2, float>;
using T2 = Transformation<2, float>;

namespace {

// The insertion as first written: every vertex in index order, the first one close enough
// takes the point.
struct PlainSet {
    float merge;
    std::vector<PositionAccumulator> vertices;

    std::uint32_t insert(const P2& p) {
        for (std::uint32_t v = 0; v < vertices.size(); ++v)
            if (distance(vertices[v].position(), p) < merge) {
                vertices[v].add(p);
                return v;
            }
        vertices.push_back(PositionAccumulator{p, 1});
        return static_cast<std::uint32_t>(vertices.size() - 1);
    }
};

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void expectSameVertices(const std::vector<PositionAccumulator>& fast,
                        const std::vector<PositionAccumulator>& plain) {
    ASSERT_EQ(fast.size(), plain.size());
    for (std::size_t v = 0; v < fast.size(); ++v) {
        ASSERT_EQ(fast[v].count, plain[v].count) << "vertex " << v;
        ASSERT_TRUE(sameBits(fast[v].sum.x(), plain[v].sum.x())) << "vertex " << v;
        ASSERT_TRUE(sameBits(fast[v].sum.y(), plain[v].sum.y())) << "vertex " << v;
    }
}

// Counts how many of its kind were destroyed, to observe the set's ownership.
class CountedShift : public T2::Custom {
public:
    explicit CountedShift(int* destroyed) : destroyed_(destroyed) {}
    ~CountedShift() override { ++*destroyed_; }
    std::unique_ptr<T2::Base> clone() const override {
        return std::make_unique<CountedShift>(destroyed_);
    }
    void applyInPlace(PointBorrow<2, float> p) const override { p[0] += 100.0f; }

private:
    int* destroyed_;
};

} // namespace

TEST(PolylineSet, InsertionMergesCloseEndsIntoOneVertex) {
    PolylineSet set;
    EXPECT_EQ(set.mergeDistance(), 2.0f);
    EXPECT_EQ(set.insertVertex(P2(3, 4)), 0u);
    EXPECT_EQ(set.insertVertex(P2(3, 4)), 0u);
    ASSERT_EQ(set.vertexCount(), 1u);
    EXPECT_EQ(set.vertices()[0].count, 2u);
    EXPECT_EQ(set.position(0), P2(3, 4));

    // Just below the merge distance joins (and moves the average), exactly at it does not.
    EXPECT_EQ(set.insertVertex(P2(4.9f, 4)), 0u);
    EXPECT_EQ(set.vertices()[0].count, 3u);
    EXPECT_FLOAT_EQ(set.position(0).x(), (3 + 3 + 4.9f) / 3);
    const std::uint32_t far = set.insertVertex(P2(set.position(0).x() + 2.0f, 4));
    EXPECT_EQ(far, 1u);

    // With two candidates in reach, the lower index wins even when the other is closer.
    PolylineSet two;
    two.insertVertex(P2(0, 0));
    two.insertVertex(P2(3, 0));
    EXPECT_EQ(two.insertVertex(P2(1.8f, 0)), 0u);

    // Non-finite points stay apart, also from each other.
    const float inf = std::numeric_limits<float>::infinity();
    PolylineSet odd;
    EXPECT_EQ(odd.insertVertex(P2(inf, 0)), 0u);
    EXPECT_EQ(odd.insertVertex(P2(inf, 0)), 1u);
    EXPECT_EQ(odd.insertVertex(P2(std::nanf(""), 0)), 2u);
}

TEST(PolylineSet, SegmentWithMergedEndsIsRemovedByCleanUp) {
    PolylineSet set;
    set.addSegment(P2(0, 0), P2(10, 0));
    set.addSegment(P2(20, 0), P2(21, 0.5f)); // ends closer than 2: one vertex
    set.addSegment(P2(10.5f, 0), P2(10, 8)); // first end joins vertex 1
    ASSERT_EQ(set.polylines().size(), 3u);
    EXPECT_EQ(set.polylines()[1], (Polyline{2, 2}));
    EXPECT_EQ(set.polylines()[2], (Polyline{1, 3}));

    set.cleanUp();
    ASSERT_EQ(set.polylines().size(), 2u);
    ASSERT_EQ(set.vertexCount(), 3u);
    // The unused vertex 2 was replaced by the last one (10, 8), now number 2.
    EXPECT_EQ(set.polylines()[0], (Polyline{0, 1}));
    EXPECT_EQ(set.polylines()[1], (Polyline{1, 2}));
    EXPECT_EQ(set.position(2), P2(10, 8));
}

TEST(PolylineSet, CleanUpMovesLastVerticesIntoGapsAndRenumbers) {
    PolylineSet set(0.5f);
    for (int i = 0; i < 6; ++i)
        set.insertVertex(P2(float(i) * 10, 0));
    // Vertices 1 and 3 are used; 0, 2, 4, 5 are not.
    set.polylines() = {{1, 1, 3, 3, 3, 1}, {4}, {5, 5}};
    set.cleanUp();
    ASSERT_EQ(set.polylines().size(), 1u);
    // Slot 0 took vertex 5 (unused), then vertex 4 (unused), then vertex 3; slot 1 kept
    // vertex 1; vertex 2 was last by then and went.
    ASSERT_EQ(set.vertexCount(), 2u);
    EXPECT_EQ(set.position(0), P2(30, 0));
    EXPECT_EQ(set.position(1), P2(10, 0));
    EXPECT_EQ(set.polylines()[0], (Polyline{1, 0, 1}));

    // After a clean-up the merging search still sees the moved vertices.
    EXPECT_EQ(set.insertVertex(P2(30.2f, 0)), 0u);
    EXPECT_EQ(set.insertVertex(P2(10.2f, 0)), 1u);
}

TEST(PolylineSet, BoundingBoxFollowsThePlusOneRule) {
    PolylineSet set(0.5f);
    EXPECT_EQ(set.boundingBox(), (Hyperrectangle<2, float>(P2(0, 0), Tuple<2, float>(0, 0))));
    set.insertVertex(P2(5, 7));
    EXPECT_EQ(set.boundingBox(), (Hyperrectangle<2, float>(P2(5, 7), Tuple<2, float>(0, 0))));
    // One pixel to the right: size 2 on x, and the equal y still gives max(0, 0 + 1) = 1.
    set.insertVertex(P2(6, 7));
    EXPECT_EQ(set.boundingBox(), (Hyperrectangle<2, float>(P2(5, 7), Tuple<2, float>(2, 1))));
    // Below the origin: the origin moves and the size grows by the difference only.
    set.insertVertex(P2(1, 3));
    EXPECT_EQ(set.boundingBox(), (Hyperrectangle<2, float>(P2(1, 3), Tuple<2, float>(6, 5))));

    set.polylines() = {{2, 0}};
    EXPECT_EQ(set.boundingBox(set.polylines()[0]),
              (Hyperrectangle<2, float>(P2(1, 3), Tuple<2, float>(5, 5))));
    EXPECT_THROW(set.boundingBox(Polyline{0, 7}), BoundException<unsigned int>);

    // Through the view transformation.
    set.setTransformation(std::make_unique<T2::Scale>(2.0f));
    EXPECT_EQ(set.boundingBox(), (Hyperrectangle<2, float>(P2(2, 6), Tuple<2, float>(11, 9))));
}

TEST(PolylineSet, ViewTransformationIsOwnedReadThroughAndBaked) {
    int destroyed = 0;
    PolylineSet set;
    set.insertVertex(P2(1, 2));
    set.insertVertex(P2(1, 2.5f));
    set.setTransformation(std::make_unique<CountedShift>(&destroyed));
    EXPECT_EQ(set.position(0), P2(101, 2.25f));
    // Stored sums are untouched; insertion compares stored positions.
    EXPECT_EQ(set.vertices()[0].sum, P2(2, 4.5f));
    EXPECT_EQ(set.insertVertex(P2(1, 2)), 0u);

    {
        PolylineSet copy(set);
        EXPECT_NE(copy.transformation(), set.transformation());
        EXPECT_EQ(copy.position(0), set.position(0));
    }
    EXPECT_EQ(destroyed, 1); // the copy's clone

    set.setTransformation(std::make_unique<T2::Scale>(3.0f));
    EXPECT_EQ(destroyed, 2); // replaced one destroyed

    PolylineSet::TransformationPtr taken = set.takeTransformation();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(set.transformation(), nullptr);
    EXPECT_EQ(set.position(0), P2(1, 6.5f / 3));
    set.setTransformation(std::move(taken));

    set.bakeTransformation();
    EXPECT_EQ(set.transformation(), nullptr);
    EXPECT_EQ(set.vertices()[0].count, 1u);
    EXPECT_FLOAT_EQ(set.vertices()[0].sum.x(), 3.0f);
    EXPECT_FLOAT_EQ(set.vertices()[0].sum.y(), 6.5f);
    const std::vector<PositionAccumulator> before = set.vertices();
    set.bakeTransformation(); // nothing attached: nothing changes
    expectSameVertices(set.vertices(), before);
}

// The grid-backed insertion must give the same indices and the same sums as the plain scan,
// also where vertices drift across cells as they average, where direct edits and clean-ups
// move vertices around, and for merge distances that the grid does not serve.
TEST(PolylineSet, GridInsertionEqualsPlainScan) {
    const float inf = std::numeric_limits<float>::infinity();
    const float merges[] = {2.0f, 0.7f, 5.0f, 0.0f, -1.0f, std::nanf(""), inf, 3.0e6f};
    std::mt19937 random(1234);
    for (float merge : merges)
        for (int round = 0; round < 6; ++round) {
            PolylineSet set(merge);
            PlainSet plain{merge, {}};
            std::uniform_real_distribution<float> span(-30.0f, 30.0f + 40.0f * round);
            std::uniform_real_distribution<float> jitter(-3.0f, 3.0f);
            std::vector<P2> recent;
            for (int step = 0; step < 3000; ++step) {
                P2 p(span(random), span(random));
                const unsigned kind = random() % 20;
                if (kind < 8 && !recent.empty()) // near an earlier point: merges and drifts
                    p = recent[random() % recent.size()] +
                        Vector<2, float>(jitter(random), jitter(random));
                else if (kind == 8)
                    p = P2(float(int(random() % 9)), float(int(random() % 9))); // exact grid
                else if (kind == 9 && round == 5)
                    p = P2(random() % 2 ? inf : std::nanf(""), 1.0f);
                else if (kind == 10 && round == 4)
                    p = P2(1.0e30f, -1.0e30f); // far outside any image
                recent.push_back(p);
                if (recent.size() > 50)
                    recent.erase(recent.begin());
                ASSERT_EQ(set.insertVertex(p), plain.insert(p)) << "merge " << merge;

                if (step % 700 == 699) {
                    // A stage rewriting vertices directly.
                    auto& vertices = set.vertices();
                    for (std::size_t v = 0; v < vertices.size(); v += 7) {
                        vertices[v].sum += Vector<2, float>(5.0f, 0.0f);
                        plain.vertices[v].sum += Vector<2, float>(5.0f, 0.0f);
                    }
                }
            }
            expectSameVertices(set.vertices(), plain.vertices);
        }
}

TEST(PolylineSet, GridStaysCorrectAfterCleanUpAndBake) {
    std::mt19937 random(99);
    std::uniform_real_distribution<float> span(0.0f, 200.0f);
    PolylineSet set;
    for (int i = 0; i < 500; ++i)
        set.addSegment(P2(span(random), span(random)), P2(span(random), span(random)));
    // Drop every third polyline so that the clean-up has vertices to move.
    std::vector<Polyline>& polylines = set.polylines();
    for (std::size_t i = polylines.size(); i-- > 0;)
        if (i % 3 == 0)
            polylines.erase(polylines.begin() + i);
    set.cleanUp();
    set.setTransformation(std::make_unique<T2::Translation>(Vector<2, float>(-50, 7)));
    set.bakeTransformation();

    PlainSet plain{2.0f, set.vertices()};
    for (int i = 0; i < 2000; ++i) {
        const P2 p(span(random) - 50.0f, span(random) + 7.0f);
        ASSERT_EQ(set.insertVertex(p), plain.insert(p));
    }
    expectSameVertices(set.vertices(), plain.vertices);
}
