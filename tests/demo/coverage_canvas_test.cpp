// The renderer's coverage canvas against an area integral and the mosaic's grid search against
// every seed, on random inputs; then the canvas's full-coverage, union and painting rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "demo/coverage_canvas.hpp"
#include "demo/mosaic.hpp"

using ZELK::CoverageCanvas;
using ZELK::MosaicSeed;
using P = ZELK::Point<2, float>;

namespace {

// Area of pixel (x, y) inside a convex polygon: the covered length of each horizontal line,
// integrated over the pixel's height by the midpoint rule (exact enough: it is piecewise linear).
double referenceCoverage(const std::vector<P>& polygon, int x, int y) {
    constexpr int steps = 800;
    double sum = 0.0;
    for (int i = 0; i < steps; ++i) {
        const double yy = y + (i + 0.5) / steps;
        double left = std::numeric_limits<double>::infinity(), right = -left;
        for (std::size_t k = 0; k < polygon.size(); ++k) {
            const P& a = polygon[k];
            const P& b = polygon[(k + 1) % polygon.size()];
            if (yy < std::min(a.y(), b.y()) || yy > std::max(a.y(), b.y()) || a.y() == b.y())
                continue;
            const double cx = a.x() + (yy - a.y()) / (double(b.y()) - a.y()) * (b.x() - a.x());
            left = std::min(left, cx);
            right = std::max(right, cx);
        }
        if (left <= right)
            sum += std::max(0.0, std::min(right, x + 1.0) - std::max(left, double(x)));
    }
    return sum / steps;
}

// Every seed against the pixel: the smallest squared distance, the earlier seed on ties.
std::uint32_t bruteForceNearest(const std::vector<MosaicSeed>& seeds, std::uint32_t x,
                                std::uint32_t y) {
    std::uint64_t best = UINT64_MAX;
    std::uint32_t index = 0;
    for (std::uint32_t i = 0; i < seeds.size(); ++i) {
        const std::int64_t dx = std::int64_t(seeds[i].x) - x, dy = std::int64_t(seeds[i].y) - y;
        if (std::uint64_t(dx * dx + dy * dy) < best) {
            best = std::uint64_t(dx * dx + dy * dy);
            index = i;
        }
    }
    return index;
}

} // namespace

TEST(CoverageCanvas, CoverageIsTheAreaInsideTheConvexPolygon) {
    std::mt19937 random(20240917);
    std::uniform_real_distribution<float> position(-6.0f, 30.0f), angle(0.0f, 6.2831853f),
        extent(0.0f, 14.0f);
    for (int round = 0; round < 90; ++round) {
        std::vector<P> polygon;
        CoverageCanvas canvas(24, 20);
        if (round % 3 == 0) {
            for (int k = 0; k < 3; ++k)
                polygon.emplace_back(position(random), position(random));
            canvas.addConvexPolygon(polygon);
        } else {
            // Thick segments, with the corners the canvas should compute for them.
            const float a = angle(random), length = extent(random), half = extent(random) / 2;
            const P o(position(random), position(random));
            const ZELK::Vector<2, float> d(std::cos(a), std::sin(a)),
                h(-half * d.y(), half * d.x());
            polygon = {o - h, o + length * d - h, o + length * d + h, o + h};
            canvas.addThickSegment(o, d, length, 2 * half);
        }
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 24; ++x)
                ASSERT_NEAR(canvas.coverage(x, y), referenceCoverage(polygon, x, y), 2e-5)
                    << "round " << round << " pixel " << x << "," << y;
    }
}

TEST(DemoMosaic, GridSearchEqualsBruteForce) {
    std::mt19937 engine(424242);
    auto random = [&engine] { return static_cast<std::uint32_t>(engine()); };
    for (int round = 0; round < 300; ++round) {
        const std::uint32_t w = 1 + random() % 70, h = 1 + random() % 70;
        // Few seeds, the renderer's density, many seeds, and clusters full of ties.
        const std::uint32_t kind = round % 4;
        const std::uint32_t counts[4] = {1 + random() % 5, std::max(1u, (w * h) >> 8),
                                         1 + random() % (w * h), 2 + random() % 40};
        std::vector<MosaicSeed> seeds(counts[kind]);
        const std::uint32_t cx = random() % w, cy = random() % h;
        for (MosaicSeed& s : seeds) {
            s.x = kind == 3 ? std::min(w - 1, cx + random() % 3) : random() % w;
            s.y = kind == 3 ? std::min(h - 1, cy + random() % 3) : random() % h;
        }
        const ZELK::NearestSeedFinder finder(w, h, seeds);
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x)
                ASSERT_EQ(finder.nearest(x, y), bruteForceNearest(seeds, x, y))
                    << "round " << round << " size " << w << "x" << h << " pixel " << x << "," << y;
    }
}

TEST(CoverageCanvas, FullCoverageUnionAndPainting) {
    // Line 0: half of column 1, columns 2 and 3, a quarter of column 4. Line 1: a left edge a
    // hair right of a pixel boundary leaves column 2 partial however close to 1 its coverage
    // is; and the two halves of pixel (0, 1) combine as 1 - (1 - a)(1 - b) = 0.75, not full.
    CoverageCanvas canvas(6, 2);
    const P paint[4] = {P(1.5f, 0), P(4.25f, 0), P(4.25f, 1), P(1.5f, 1)};
    const P hair[4] = {P(2.00001f, 1), P(6, 1), P(6, 2), P(2.00001f, 2)};
    const P left[4] = {P(0, 1), P(0.5f, 1), P(0.5f, 2), P(0, 2)};
    const P right[4] = {P(0.5f, 1), P(1, 1), P(1, 2), P(0.5f, 2)};
    for (const P* polygon : {paint, hair, left, right})
        canvas.addConvexPolygon(std::span<const P>(polygon, 4));
    EXPECT_FALSE(canvas.fullyCovered(2, 1));
    EXPECT_TRUE(canvas.fullyCovered(3, 1));
    EXPECT_FLOAT_EQ(canvas.coverage(0, 1), 0.75f);
    // Painting blends partial pixels toward the colour: trunc(255 (c k + (1 - c) old / 255)).
    std::vector<std::uint8_t> pixels(6 * 2 * 3, 200);
    ZELK::RgbImage image{6, 2, pixels.data()}, narrow{5, 2, pixels.data()};
    canvas.paint(image, ZELK::Color{1.0f, 0.0f, 128 / 255.0f});
    const std::vector<std::uint8_t> firstLine(pixels.begin(), pixels.begin() + 18);
    EXPECT_EQ(firstLine, (std::vector<std::uint8_t>{200, 200, 200, 227, 100, 164, 255, 0, 128, 255,
                                                    0, 128, 213, 150, 182, 200, 200, 200}));
    EXPECT_THROW(canvas.paint(narrow, ZELK::Color{}), ZELK::SignalSizeException);

    // A huge shape is cut to the canvas and covers it all.
    canvas.reset();
    const P huge[3] = {P(-1e30f, -1e30f), P(1e30f, -1e30f), P(0, 1e30f)}, nine[9] = {};
    canvas.addConvexPolygon(huge);
    EXPECT_TRUE(canvas.fullyCovered(5, 1));
    EXPECT_THROW(canvas.addConvexPolygon(nine), ZELK::UnexpectedValueException);
}
