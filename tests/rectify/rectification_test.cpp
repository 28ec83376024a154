// Rectification: the perspective fit against a closed-form double-precision mapping, the
// corner order, the reading of typed pairs, the rectified image size and the warp.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "core/transformation.hpp"
#include "rectify/rectification.hpp"

using namespace ZELK;

namespace {

struct P {
    double x, y;
};

// The perspective that maps the unit square's corners (0,0), (1,0), (1,1), (0,1) onto q[0..3],
// in the closed form for that special case (solved by hand, not by elimination), in double.
struct SquareToQuad {
    double a, b, c, d, e, f, g, h;

    explicit SquareToQuad(const P q[4]) {
        const double sx = q[0].x - q[1].x + q[2].x - q[3].x;
        const double sy = q[0].y - q[1].y + q[2].y - q[3].y;
        const double dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x;
        const double dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y;
        const double det = dx1 * dy2 - dx2 * dy1;
        g = (sx * dy2 - dx2 * sy) / det;
        h = (dx1 * sy - sx * dy1) / det;
        a = q[1].x - q[0].x + g * q[1].x;
        b = q[3].x - q[0].x + h * q[3].x;
        c = q[0].x;
        d = q[1].y - q[0].y + g * q[1].y;
        e = q[3].y - q[0].y + h * q[3].y;
        f = q[0].y;
    }
    P operator()(double u, double v) const {
        const double w = g * u + h * v + 1.0;
        return P{(a * u + b * v + c) / w, (d * u + e * v + f) / w};
    }
};

Point<2, float> apply(const MatrixSquareLight<3, float>& m, float x, float y) {
    return PerspectiveTransformation<2, float>(m).apply(Point<2, float>(x, y));
}

// Sheet corners of photographs (counter-clockwise from the smallest x + y, y up, pixels): the
// true corners of the 1600 x 1200 and the 4000 x 3000 sample photos, and a steep view.
const P photoSheets[][4] = {
    {{183.48, 149.21}, {1464.86, 156.36}, {1375.3, 1071.34}, {284.89, 1027.73}},
    {{511.11, 316.91}, {3680.55, 281.57}, {3581.0, 2559.04}, {809.32, 2545.53}},
    {{40.0, 30.0}, {3900.0, 10.0}, {2600.0, 2100.0}, {1300.0, 2150.0}},
};

// Fits the rectangle width x height onto the quad and checks, over a grid across the
// rectangle, that the fit agrees with the closed form (toImage within a tolerance of a
// pixel fraction, its inverse back within the same share of the rectangle).
void expectRectangleFit(const P quad[4], float width, float height, double pixels) {
    CorrespondenceSystem system;
    const float rect[4][2] = {{0, 0}, {width, 0}, {width, height}, {0, height}};
    for (int k = 0; k < 4; ++k)
        system.add(Point<2, float>(rect[k][0], rect[k][1]),
                   Point<2, float>(float(quad[k].x), float(quad[k].y)));
    const MatrixSquareLight<3, float> h = system.fit();
    ASSERT_TRUE(isFinite(h));
    const MatrixSquareLight<3, float> inverse = h.inverse();
    const SquareToQuad exact(quad);
    const double quadSize = std::hypot(quad[2].x - quad[0].x, quad[2].y - quad[0].y);
    for (int i = 0; i <= 10; ++i)
        for (int j = 0; j <= 10; ++j) {
            const P expected = exact(i / 10.0, j / 10.0);
            const float X = width * float(i) / 10.0f, Y = height * float(j) / 10.0f;
            const Point<2, float> image = apply(h, X, Y);
            EXPECT_NEAR(image[0], expected.x, pixels) << width << " x " << height;
            EXPECT_NEAR(image[1], expected.y, pixels) << width << " x " << height;
            const Point<2, float> back = apply(inverse, float(expected.x), float(expected.y));
            EXPECT_NEAR(back[0], X, width * pixels / quadSize) << width << " x " << height;
            EXPECT_NEAR(back[1], Y, height * pixels / quadSize) << width << " x " << height;
        }
}

} // namespace

TEST(Rectification, FourPairsFitTheClosedFormAtEveryScale) {
    // The four example pairs: image points 100 pixels apart onto the unit square.
    const P example[4] = {{10, 10}, {110, 12}, {108, 95}, {12, 90}};
    expectRectangleFit(example, 1.0f, 1.0f, 1e-3);
    // Single-precision normal equations lose digits as the two frames' scales drift apart;
    // the fit must stay well inside a tenth of a pixel for photos up to 12 megapixels and
    // rectangles from 1 unit to thousands.
    for (const auto& sheet : photoSheets)
        for (const auto& [w, h] :
             {std::pair{1.0f, 1.0f}, std::pair{297.0f, 210.0f}, std::pair{210.0f, 297.0f},
              std::pair{2971.0f, 2264.0f}, std::pair{0.01f, 0.01f}})
            expectRectangleFit(sheet, w, h, 0.1);
}

TEST(Rectification, MorePairsThanNeededGiveTheLeastSquaresFit) {
    // Nine points of one perspective, exact: the fit reproduces it.
    const P quad[4] = {{183.48, 149.21}, {1464.86, 156.36}, {1375.3, 1071.34}, {284.89, 1027.73}};
    const SquareToQuad exact(quad);
    CorrespondenceSystem system;
    for (int i = 0; i <= 2; ++i)
        for (int j = 0; j <= 2; ++j) {
            const P p = exact(i / 2.0, j / 2.0);
            system.add(Point<2, float>(float(i) / 2.0f, float(j) / 2.0f),
                       Point<2, float>(float(p.x), float(p.y)));
        }
    EXPECT_EQ(system.pairs(), 9u);
    const MatrixSquareLight<3, float> h = system.fit();
    for (double u : {0.0, 0.3, 0.75, 1.0}) {
        const P expected = exact(u, 1.0 - u);
        const Point<2, float> image = apply(h, float(u), float(1.0 - u));
        EXPECT_NEAR(image[0], expected.x, 0.05);
        EXPECT_NEAR(image[1], expected.y, 0.05);
    }

    // Every image point moved by up to a pixel: the fit passes between them and lands within
    // about a pixel of the perspective the points came from.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    CorrespondenceSystem noisy;
    for (int i = 0; i <= 4; ++i)
        for (int j = 0; j <= 4; ++j) {
            const P p = exact(i / 4.0, j / 4.0);
            noisy.add(Point<2, float>(float(i) / 4.0f, float(j) / 4.0f),
                      Point<2, float>(float(p.x + jitter(random)), float(p.y + jitter(random))));
        }
    const MatrixSquareLight<3, float> fitted = noisy.fit();
    for (double u : {0.1, 0.5, 0.9}) {
        const P expected = exact(u, u);
        const Point<2, float> image = apply(fitted, float(u), float(u));
        EXPECT_NEAR(image[0], expected.x, 1.0);
        EXPECT_NEAR(image[1], expected.y, 1.0);
    }
}

TEST(Rectification, TooFewOrDegeneratePairsDoNotDetermineTheFit) {
    const float pairs[4][4] = {{0, 0, 10, 10}, {1, 0, 110, 12}, {1, 1, 108, 95}, {0, 1, 12, 90}};
    auto systemOf = [](std::initializer_list<std::array<float, 4>> list) {
        CorrespondenceSystem system;
        for (const auto& p : list)
            system.add(Point<2, float>(p[0], p[1]), Point<2, float>(p[2], p[3]));
        return system;
    };
    CorrespondenceSystem system;
    for (int n = 0; n < 4; ++n) {
        EXPECT_FALSE(system.determined()) << n << " pairs";
        system.add(Point<2, float>(pairs[n][0], pairs[n][1]),
                   Point<2, float>(pairs[n][2], pairs[n][3]));
    }
    EXPECT_TRUE(system.determined());
    // With no pair at all the solve divides zero by zero.
    EXPECT_FALSE(isFinite(CorrespondenceSystem().fit()));

    // Four pairs, but one of them twice: the solve still returns finite numbers, made of
    // rounding noise, which is why the system is checked before its fit is used.
    const CorrespondenceSystem repeated =
        systemOf({{0, 0, 10, 10}, {1, 0, 110, 12}, {1, 1, 108, 95}, {1, 1, 108, 95}});
    EXPECT_FALSE(repeated.determined());
    // All rectified points on one line; all image points the same.
    EXPECT_FALSE(
        systemOf({{0, 0, 10, 10}, {1, 0, 110, 12}, {2, 0, 108, 95}, {3, 0, 12, 90}}).determined());
    EXPECT_FALSE(
        systemOf({{0, 0, 10, 10}, {1, 0, 10, 10}, {1, 1, 10, 10}, {0, 1, 10, 10}}).determined());
    // A thin but proper quad, and a long rectangle, are fine.
    EXPECT_TRUE(
        systemOf({{0, 0, 10, 10}, {1, 0, 20, 10}, {1, 1, 20, 11}, {0, 1, 10, 11}}).determined());
    EXPECT_TRUE(systemOf({{0, 0, 183.48f, 149.21f},
                          {2971, 0, 1464.86f, 156.36f},
                          {2971, 2, 1375.3f, 1071.34f},
                          {0, 2, 284.89f, 1027.73f}})
                    .determined());

    MatrixSquareLight<3, float> m = MatrixSquareLight<3, float>::identity();
    EXPECT_TRUE(isFinite(m));
    m(2, 1) = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(isFinite(m));
    m(2, 1) = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(isFinite(m));
}

TEST(Rectification, CornersMapToTheRectangleInTheirOrder) {
    // A lopsided quad, so that any other assignment of corners would show.
    const Point<2, int> corners[4] = {Point<2, int>(20, 10), Point<2, int>(300, 30),
                                      Point<2, int>(280, 200), Point<2, int>(40, 170)};
    CorrespondenceSystem system;
    addCornerPairs(system, corners, 297.0f, 210.0f);
    ASSERT_EQ(system.pairs(), 4u);
    const MatrixSquareLight<3, float> toRectified = system.fit().inverse();
    const float expected[4][2] = {{0, 0}, {297, 0}, {297, 210}, {0, 210}};
    for (int k = 0; k < 4; ++k) {
        const Point<2, float> r = apply(toRectified, float(corners[k][0]), float(corners[k][1]));
        EXPECT_NEAR(r[0], expected[k][0], 1e-3) << "corner " << k;
        EXPECT_NEAR(r[1], expected[k][1], 1e-3) << "corner " << k;
    }
}

TEST(Rectification, TypedPairsAreReadInGroupsOfFourUntilTheFirstUnreadableNumber) {
    // Blanks and line ends both separate numbers; a group may span lines.
    std::istringstream typed("0 0 10 10\n1 0\n110 12\t1 1 108 95   0 1 12 90\n");
    CorrespondenceSystem system;
    PointPairReading reading = readPointPairs(typed, 1.0f, system);
    EXPECT_EQ(reading.pairs, 4u);
    EXPECT_FALSE(reading.tooMany);
    const MatrixSquareLight<3, float> h = system.fit();
    Point<2, float> image = apply(h, 1.0f, 1.0f);
    EXPECT_NEAR(image[0], 108.0f, 1e-3f);
    EXPECT_NEAR(image[1], 95.0f, 1e-3f);

    // The image point is scaled into the processed frame; the rectified point is not.
    std::istringstream scaled("0 0 10 10 1 0 110 12 1 1 108 95 0 1 12 90");
    CorrespondenceSystem half;
    EXPECT_EQ(readPointPairs(scaled, 0.5f, half).pairs, 4u);
    image = apply(half.fit(), 1.0f, 1.0f);
    EXPECT_NEAR(image[0], 54.0f, 1e-3f);
    EXPECT_NEAR(image[1], 47.5f, 1e-3f);

    // An incomplete last group is dropped; so is the group that text interrupts, and nothing
    // after the text is read.
    for (const char* text :
         {"0 0 10 10  1 0 110", "0 0 10 10  1 0 110 x 12 1 1 108 95", "0 0 10 10 - 1 1 1 1", ""}) {
        std::istringstream in(text);
        CorrespondenceSystem partial;
        EXPECT_EQ(readPointPairs(in, 1.0f, partial).pairs, std::string(text).empty() ? 0u : 1u)
            << text;
        EXPECT_EQ(partial.pairs(), std::string(text).empty() ? 0u : 1u) << text;
    }

    // A limit on the number of pairs: reaching it exactly is fine, one more group is not.
    std::istringstream three("1 2 3 4 5 6 7 8 9 10 11 12");
    CorrespondenceSystem capped;
    reading = readPointPairs(three, 1.0f, capped, 3);
    EXPECT_EQ(reading.pairs, 3u);
    EXPECT_FALSE(reading.tooMany);
    std::istringstream four("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16");
    CorrespondenceSystem over;
    reading = readPointPairs(four, 1.0f, over, 3);
    EXPECT_EQ(reading.pairs, 3u);
    EXPECT_TRUE(reading.tooMany);
    EXPECT_EQ(over.pairs(), 3u);
}

TEST(Rectification, RectifiedImageKeepsAboutThePixelCount) {
    Tuple<2, unsigned> size;
    float scale = 0.0f;
    // s = sqrt(1600 * 1200 / (297 * 210)) = 5.54834: 1647.85 x 1165.15.
    ASSERT_TRUE(rectifiedImageSize(1600, 1200, 297.0f, 210.0f, size, scale));
    EXPECT_EQ(size, (Tuple<2, unsigned>(1647, 1165)));
    EXPECT_NEAR(scale, 5.548336, 1e-5);
    // The unit default rectangle: a square of the same pixel count.
    ASSERT_TRUE(rectifiedImageSize(1600, 1200, 1.0f, 1.0f, size, scale));
    EXPECT_EQ(size, (Tuple<2, unsigned>(1385, 1385)));

    // Sizes that make no rectangle, or an image side below one pixel or beyond the limit,
    // are refused and leave the outputs alone.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (auto [w, h] : {std::pair{0.0f, 1.0f}, std::pair{1.0f, -2.0f}, std::pair{nan, 1.0f},
                        std::pair{1.0f, inf}, std::pair{1e-30f, 1.0f}, std::pair{1.0f, 1e-12f}}) {
        size = Tuple<2, unsigned>(7, 7);
        scale = 7.0f;
        EXPECT_FALSE(rectifiedImageSize(1600, 1200, w, h, size, scale)) << w << " x " << h;
        EXPECT_EQ(size, (Tuple<2, unsigned>(7, 7)));
        EXPECT_EQ(scale, 7.0f);
    }
    // Side 1 x 2^20 still fits; a rectangle four times as long would need a side of half a pixel.
    ASSERT_TRUE(rectifiedImageSize(1024, 1024, 1.0f, 1048576.0f, size, scale));
    EXPECT_EQ(size, (Tuple<2, unsigned>(1, 1048576)));
    EXPECT_FALSE(rectifiedImageSize(1024, 1024, 1.0f, 4194304.0f, size, scale));
    // The largest side: a 65536 x 65536 picture onto a 1 x 2^32 strip would be 2^32 long.
    EXPECT_FALSE(rectifiedImageSize(65536, 65536, 1.0f, 4294967296.0f, size, scale));
    ASSERT_TRUE(rectifiedImageSize(65536, 32768, 1.0f, 1073741824.0f * 2.0f, size, scale));
    EXPECT_EQ(size, (Tuple<2, unsigned>(1, 2147483648u)));
}

TEST(Rectification, ImageProjectionIsTheScaleThePerspectiveAndTheLoadingScale) {
    const MatrixSquareLight<3, float> h{812.0f, 101.6f,  183.5f, 7.15f, 925.0f,
                                        149.2f, -0.021f, 0.033f, 1.0f};
    for (float imageScale : {1.0f, 0.722f, 5.0f / 12.0f}) {
        const float scale = 1385.3f;
        Transformation<2, float>::Composite chain;
        chain.add(std::make_unique<Transformation<2, float>::Scale>(1.0f / scale));
        chain.add(std::make_unique<PerspectiveTransformation<2, float>>(h));
        chain.add(std::make_unique<Transformation<2, float>::Scale>(1.0f / imageScale));
        const MatrixSquareLight<3, float> folded = rectifiedImageProjection(h, scale, imageScale);
        for (float x : {0.0f, 17.0f, 700.0f, 1384.0f})
            for (float y : {0.0f, 333.0f, 1384.0f}) {
                const Point<2, float> expected = chain.apply(Point<2, float>(x, y));
                const Point<2, float> got = apply(folded, x, y);
                EXPECT_NEAR(got[0], expected[0], 1e-4f * std::fabs(expected[0]) + 1e-3f);
                EXPECT_NEAR(got[1], expected[1], 1e-4f * std::fabs(expected[1]) + 1e-3f);
            }
    }
}

namespace {

Signal<3, std::uint8_t> pattern(unsigned channels, unsigned width, unsigned height) {
    Signal<3, std::uint8_t> image(Tuple<3, unsigned>(channels, width, height));
    std::mt19937 random(3);
    for (std::uint32_t i = 0; i < image.count(); ++i)
        image.data()[i] = static_cast<std::uint8_t>(random() & 255);
    return image;
}

using M3 = MatrixSquareLight<3, float>;

} // namespace

TEST(Rectification, WarpSamplesTheSourceBilinearlyWithZeroOutside) {
    const Signal<3, std::uint8_t> source = pattern(3, 9, 7);
    // Identity: the same samples.
    Signal<3, std::uint8_t> out = warpPerspective(source, M3::identity(), 9, 7);
    EXPECT_EQ(std::vector<std::uint8_t>(out.data(), out.data() + out.count()),
              std::vector<std::uint8_t>(source.data(), source.data() + source.count()));

    // A whole-pixel shift, larger than the source in both directions: shifted samples where
    // the source reaches, 0 elsewhere.
    out = warpPerspective(source, M3{1, 0, -2, 0, 1, 3, 0, 0, 1}, 12, 5);
    ASSERT_EQ(out.sizes(), (Tuple<3, unsigned>(3, 12, 5)));
    for (unsigned y = 0; y < 5; ++y)
        for (unsigned x = 0; x < 12; ++x)
            for (unsigned c = 0; c < 3; ++c) {
                const int sx = int(x) - 2, sy = int(y) + 3;
                const bool inside = sx >= 0 && sx < 9 && sy < 7;
                EXPECT_EQ(out(c, x, y), inside ? source(c, unsigned(sx), unsigned(sy)) : 0)
                    << x << "," << y;
            }

    // A quarter turn about the origin followed by a shift is a permutation of pixels:
    // output (x, y) reads source (y, 6 - x).
    out = warpPerspective(source, M3{0, 1, 0, -1, 0, 6, 0, 0, 1}, 7, 9);
    for (unsigned y = 0; y < 9; ++y)
        for (unsigned x = 0; x < 7; ++x)
            EXPECT_EQ(out(1u, x, y), source(1u, y, 6 - x));

    // Half a pixel: the mean of two neighbours (truncated); half a pixel off the first
    // column: half of its sample, since the missing neighbour counts as 0.
    Signal<3, std::uint8_t> two(Tuple<3, unsigned>(1, 2, 1));
    two(0u, 0u, 0u) = 100;
    two(0u, 1u, 0u) = 201;
    out = warpPerspective(two, M3{1, 0, -0.5f, 0, 1, 0, 0, 0, 1}, 2, 1);
    EXPECT_EQ(out(0u, 0u, 0u), 50);
    EXPECT_EQ(out(0u, 1u, 0u), 150);

    // A projection that sends points to infinity or NaN gives 0 there, not a crash.
    out = warpPerspective(source, M3{1, 0, 0, 0, 1, 0, 1, 0, -2}, 4, 3);
    for (unsigned y = 0; y < 3; ++y)
        EXPECT_EQ(out(0u, 2u, y), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    out = warpPerspective(source, M3{nan, 0, 0, 0, 1, 0, 0, 0, 1}, 4, 3);
    for (std::uint32_t i = 0; i < out.count(); ++i)
        EXPECT_EQ(out.data()[i], 0);
}

TEST(Rectification, WarpThereAndBackRestoresTheInside) {
    // A smooth picture survives a perspective and its inverse up to interpolation error.
    Signal<3, std::uint8_t> source(Tuple<3, unsigned>(1, 64, 48));
    for (unsigned y = 0; y < 48; ++y)
        for (unsigned x = 0; x < 64; ++x)
            source(0u, x, y) =
                static_cast<std::uint8_t>(128 + 100 * std::sin(x * 0.2) * std::cos(y * 0.15));
    const M3 h{0.9f, 0.1f, 4.0f, -0.05f, 1.1f, 2.0f, 0.001f, -0.002f, 1.0f};
    const Signal<3, std::uint8_t> there = warpPerspective(source, h, 64, 48);
    const Signal<3, std::uint8_t> back = warpPerspective(there, h.inverse(), 64, 48);
    int worst = 0;
    for (unsigned y = 12; y < 36; ++y)
        for (unsigned x = 16; x < 48; ++x)
            worst = std::max(worst, std::abs(int(back(0u, x, y)) - int(source(0u, x, y))));
    EXPECT_LE(worst, 12);
}
