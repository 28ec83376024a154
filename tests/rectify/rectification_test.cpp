// Rectification: the perspective fit against a closed-form double-precision mapping, the
// corner order, the reading of typed pairs, the rectified image size and the warp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "core/transformation.hpp"
#include "rectify/rectification.hpp"

using namespace ZELK;
using M3 = MatrixSquareLight<3, float>;

namespace {

struct P {
    double x, y;
};

// The perspective that maps the unit square's corners (0,0), (1,0), (1,1), (0,1) onto q[0..3],
// in the closed form for that special case (solved by hand, not by elimination), in double.
P squareToQuad(const P q[4], double u, double v) {
    const double sx = q[0].x - q[1].x + q[2].x - q[3].x, sy = q[0].y - q[1].y + q[2].y - q[3].y;
    const double dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x;
    const double dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y;
    const double det = dx1 * dy2 - dx2 * dy1;
    const double g = (sx * dy2 - dx2 * sy) / det, h = (dx1 * sy - sx * dy1) / det;
    const double w = g * u + h * v + 1.0;
    return P{((q[1].x - q[0].x + g * q[1].x) * u + (q[3].x - q[0].x + h * q[3].x) * v + q[0].x) / w,
             ((q[1].y - q[0].y + g * q[1].y) * u + (q[3].y - q[0].y + h * q[3].y) * v + q[0].y) /
                 w};
}

Point<2, float> apply(const M3& m, double x, double y) {
    return PerspectiveTransformation<2, float>(m).apply(Point<2, float>(float(x), float(y)));
}

// Sheet corners of photographs (counter-clockwise from the smallest x + y, y up, pixels): the
// true corners of the 1600 x 1200 and the 4000 x 3000 sample photos, and a steep view.
const P photoSheets[][4] = {
    {{183.48, 149.21}, {1464.86, 156.36}, {1375.3, 1071.34}, {284.89, 1027.73}},
    {{511.11, 316.91}, {3680.55, 281.57}, {3581.0, 2559.04}, {809.32, 2545.53}},
    {{40.0, 30.0}, {3900.0, 10.0}, {2600.0, 2100.0}, {1300.0, 2150.0}},
};

} // namespace

TEST(Rectification, FitsAgreeWithTheClosedFormAtEveryScale) {
    // Single-precision normal equations lose digits as the frames' scales drift apart: within a
    // tenth of a pixel for photos up to 12 megapixels and rectangles of 0.01 to thousands.
    const std::pair<double, double> rectangles[] = {
        {1, 1}, {297, 210}, {210, 297}, {2971, 2264}, {0.01, 0.01}};
    for (const auto& quad : photoSheets)
        for (const auto& [width, height] : rectangles) {
            SCOPED_TRACE(::testing::Message() << quad[0].x << ": " << width << " x " << height);
            CorrespondenceSystem system;
            const double rect[4][2] = {{0, 0}, {width, 0}, {width, height}, {0, height}};
            for (int k = 0; k < 4; ++k)
                system.add(Point<2, float>(float(rect[k][0]), float(rect[k][1])),
                           Point<2, float>(float(quad[k].x), float(quad[k].y)));
            ASSERT_TRUE(system.determined());
            const M3 h = system.fit(), inverse = h.inverse();
            const double size = std::hypot(quad[2].x - quad[0].x, quad[2].y - quad[0].y);
            for (int i = 0; i <= 10; ++i)
                for (int j = 0; j <= 10; ++j) {
                    const P expected = squareToQuad(quad, i / 10.0, j / 10.0);
                    const Point<2, float> image = apply(h, width * i / 10, height * j / 10);
                    EXPECT_NEAR(image[0], expected.x, 0.1);
                    EXPECT_NEAR(image[1], expected.y, 0.1);
                    const Point<2, float> back = apply(inverse, expected.x, expected.y);
                    EXPECT_NEAR(back[0], width * i / 10, width * 0.1 / size);
                    EXPECT_NEAR(back[1], height * j / 10, height * 0.1 / size);
                }
        }
}

TEST(Rectification, DegeneratePairsDoNotDetermineTheFit) {
    // Fewer than four pairs, a pair given twice, rectified points on one line, image points all
    // the same; a thin but proper quad and a long rectangle are fine.
    const std::vector<std::vector<float>> systems[] = {
        {{0, 0, 10, 10}, {1, 0, 110, 12}, {1, 1, 108, 95}},
        {{0, 0, 10, 10}, {1, 0, 110, 12}, {1, 1, 108, 95}, {1, 1, 108, 95}},
        {{0, 0, 10, 10}, {1, 0, 110, 12}, {2, 0, 108, 95}, {3, 0, 12, 90}},
        {{0, 0, 10, 10}, {1, 0, 10, 10}, {1, 1, 10, 10}, {0, 1, 10, 10}},
        {{0, 0, 10, 10}, {1, 0, 20, 10}, {1, 1, 20, 11}, {0, 1, 10, 11}},
        {{0, 0, 183.48f, 149.21f},
         {2971, 0, 1464.86f, 156.36f},
         {2971, 2, 1375.3f, 1071.34f},
         {0, 2, 284.89f, 1027.73f}}};
    for (std::size_t k = 0; k < std::size(systems); ++k) {
        CorrespondenceSystem system;
        for (const auto& p : systems[k])
            system.add(Point<2, float>(p[0], p[1]), Point<2, float>(p[2], p[3]));
        EXPECT_EQ(system.determined(), k >= 4) << k;
    }
    EXPECT_FALSE(isFinite(CorrespondenceSystem().fit())); // zero divided by zero
    M3 m = M3::identity();
    m(2, 1) = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(isFinite(m));
}

TEST(Rectification, CornersAndTypedPairsMapToTheRectangleInTheirOrder) {
    // A lopsided quad, so that any other assignment of corners would show.
    const Point<2, int> corners[4] = {Point<2, int>(20, 10), Point<2, int>(300, 30),
                                      Point<2, int>(280, 200), Point<2, int>(40, 170)};
    CorrespondenceSystem system;
    addCornerPairs(system, corners, 297.0f, 210.0f);
    const M3 toRectified = system.fit().inverse();
    const float expected[4][2] = {{0, 0}, {297, 0}, {297, 210}, {0, 210}};
    for (int k = 0; k < 4; ++k) {
        const Point<2, float> r = apply(toRectified, corners[k][0], corners[k][1]);
        EXPECT_NEAR(r[0], expected[k][0], 1e-3) << "corner " << k;
        EXPECT_NEAR(r[1], expected[k][1], 1e-3) << "corner " << k;
    }

    // Typed groups of four, separated by blanks or line ends, a group may span lines; the image
    // point is scaled into the processed frame, the rectified point is not.
    std::istringstream typed("0 0 10 10\n1 0\n110 12\t1 1 108 95   0 1 12 90\n");
    CorrespondenceSystem half;
    EXPECT_EQ(readPointPairs(typed, 0.5f, half).pairs, 4u);
    EXPECT_NEAR(apply(half.fit(), 1, 1)[0], 54.0f, 1e-3f);
    EXPECT_NEAR(apply(half.fit(), 1, 1)[1], 47.5f, 1e-3f);
    // An incomplete last group is dropped; so is the group that text interrupts, and nothing
    // after the text is read. Reaching the limit exactly is fine, one more group is not.
    for (auto [text, limit, pairs, tooMany] :
         {std::tuple{"0 0 10 10  1 0 110", 9u, 1u, false},
          {"0 0 10 10  1 0 110 x 12 1 1 108 95", 9u, 1u, false},
          {"", 9u, 0u, false},
          {"1 2 3 4 5 6 7 8 9 10 11 12", 3u, 3u, false},
          {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", 3u, 3u, true}}) {
        std::istringstream in(text);
        CorrespondenceSystem partial;
        const PointPairReading reading = readPointPairs(in, 1.0f, partial, limit);
        EXPECT_EQ(reading.pairs, pairs) << text;
        EXPECT_EQ(reading.tooMany, tooMany) << text;
        EXPECT_EQ(partial.pairs(), pairs) << text;
    }
}

TEST(Rectification, RectifiedImageKeepsAboutThePixelCount) {
    // s = sqrt(1600 x 1200 / (297 x 210)) = 5.54834: 1647.85 x 1165.15; 1 x 2^20 still fits.
    // Sizes that make no rectangle, or an image side below one pixel or beyond the limit, are
    // refused and leave the outputs alone.
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    const struct {
        float width, height;
        unsigned x, y; // 0: refused
    } cases[] = {
        {297, 210, 1647, 1165}, {0, 1, 0, 0},      {1, -2, 0, 0},      {nan, 1, 0, 0},
        {1, inf, 0, 0},         {1e-30f, 1, 0, 0}, {1, 4194304, 0, 0}, {1, 1048576, 1, 1048576}};
    Tuple<2, unsigned> size(7, 7);
    for (const auto& c : cases) {
        const Tuple<2, unsigned> before = size;
        float scale = -1.0f;
        const unsigned side = c.width == 297 ? 1600 : 1024, other = c.width == 297 ? 1200 : 1024;
        EXPECT_EQ(rectifiedImageSize(side, other, c.width, c.height, size, scale), c.x != 0);
        EXPECT_EQ(size, (c.x != 0 ? Tuple<2, unsigned>(c.x, c.y) : before)) << c.width;
        if (c.width == 297) {
            EXPECT_NEAR(scale, 5.548336, 1e-5);
        }
    }
}

TEST(Rectification, WarpSamplesTheSourceBilinearlyWithZeroOutside) {
    // A 2 x 2 source shifted by half a pixel into 3 x 4: each output mixes its four neighbours a
    // quarter each, missing ones as 0, truncated.
    Signal<3, std::uint8_t> source(Tuple<3, unsigned>(1, 2, 2));
    const std::uint8_t samples[] = {100, 201, 50, 150};
    std::copy(samples, samples + 4, source.data());
    Signal<3, std::uint8_t> out =
        warpPerspective(source, M3{1, 0, -0.5f, 0, 1, -0.5f, 0, 0, 1}, 3, 4);
    ASSERT_EQ(out.sizes(), (Tuple<3, unsigned>(1, 3, 4)));
    // (100) / 4, (100 + 201) / 4, 201 / 4; (100 + 50) / 4, (100 + 201 + 50 + 150) / 4, ...
    EXPECT_EQ(std::vector<std::uint8_t>(out.data(), out.data() + out.count()),
              (std::vector<std::uint8_t>{25, 75, 50, 37, 125, 87, 12, 50, 37, 0, 0, 0}));
    // A projection that sends points to infinity or NaN gives 0 there, not a crash.
    out = warpPerspective(source, M3{std::nanf(""), 0, 0, 0, 1, 0, 0, 0, 1}, 4, 3);
    EXPECT_EQ(*std::max_element(out.data(), out.data() + out.count()), 0);
}
