// Background detection on photographed sheets made small by ImageMagick: both methods find the
// four true corners; pictures without a sheet are refused; the lines method's hysteresis and
// corners from Hough peaks on worked cases; the mask from corners.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "background/edges.hpp"
#include "background/hough.hpp"
#include "background/mask.hpp"
#include "background/outline.hpp"
#include "support/fixtures.hpp"

using namespace ZELK;

namespace {

struct Truth {
    double x, y;
};

// Sheet corners of a sample photo (x = column, y up, pixel centres at integers) carried into
// an image resized by the factor s by ImageMagick, whose pixel centres map as (c + 0.5) s - 0.5.
std::vector<Truth> scaledTruth(const std::vector<Truth>& corners, double s) {
    std::vector<Truth> out;
    for (const Truth& c : corners)
        out.push_back({(c.x + 0.5) * s - 0.5, (c.y + 0.5) * s - 0.5});
    return out;
}

// ImageMagick's `-distort SRT "X,Y SCALE ANGLE NEWX,NEWY"`: in the continuous frame (y down,
// pixel centres at c + 0.5) a point p goes to NEW + SCALE R (p - XY), R turning by -ANGLE
// degrees counter-clockwise as seen. Corners of a photo h pixels high, which keeps its size.
struct Distortion {
    double x, y, scale, angle, newX, newY;
};
std::vector<Truth> distortedTruth(const std::vector<Truth>& corners, double h, Distortion d) {
    const double a = -d.angle * std::numbers::pi / 180.0;
    std::vector<Truth> out;
    for (const Truth& c : corners) {
        const double dx = c.x + 0.5 - d.x, dy = (h - 0.5 - c.y) - d.y;
        const double x = d.newX + d.scale * (dx * std::cos(a) + dy * std::sin(a));
        const double yDown = d.newY + d.scale * (-dx * std::sin(a) + dy * std::cos(a));
        out.push_back({x - 0.5, h - 0.5 - yDown});
    }
    return out;
}

// True corners from the samples' JSON files ("sheet_corners").
const std::vector<Truth> sheetOnDesk = {
    {183.48, 149.21}, {1464.86, 156.36}, {1375.3, 1071.34}, {284.89, 1027.73}};
const std::vector<Truth> largeSheetOnDesk = {
    {511.11, 316.91}, {3680.55, 281.57}, {3581.0, 2559.04}, {809.32, 2545.53}};

struct Case {
    const char* fixture;
    std::vector<Truth> truth; // in the fixture's pixels
    bool lines;               // which method is tried
    double tolerance;         // pixels of the fixture
};

} // namespace

TEST(BackgroundDetection, BothMethodsFindTheSheetCorners) {
    // The lines method misses edges whose outward normal points down (the sample sheets' left
    // edges), so it gets the copies turned 12 degrees; the segmentation the untouched photos.
    const std::vector<Truth> turnedSheet =
        distortedTruth(sheetOnDesk, 1200, {826, 598, 0.7, -12, 560, 500});
    const std::vector<Truth> turnedLargeSheet =
        distortedTruth(largeSheetOnDesk, 3000, {2145, 1574, 0.7, -12, 1350, 1250});
    const Case cases[] = {
        {"background/sheet-128.ppm", scaledTruth(sheetOnDesk, 128.0 / 1600.0), false, 4.0},
        {"background/large-sheet-128.ppm", scaledTruth(largeSheetOnDesk, 0.032), false, 2.0},
        {"background/sheet-400.ppm", scaledTruth(sheetOnDesk, 400.0 / 1600.0), false, 8.0},
        {"background/sheet-turned-128.ppm", scaledTruth(turnedSheet, 128.0 / 1600.0), true, 3.0},
        {"background/large-sheet-turned-128.ppm", scaledTruth(turnedLargeSheet, 0.032), true, 3.0},
        {"background/sheet-turned-400.ppm", scaledTruth(turnedSheet, 400.0 / 1600.0), true, 8.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lines ? "lines " : "segment ") + c.fixture);
        const Signal<2, unsigned char> grey = PenvexTest::greyFixture(c.fixture);
        Point<2, int> k[4];
        ASSERT_TRUE(c.lines ? detectOutlineByLines(grey, VS::Context(), k)
                            : detectOutlineBySegmentation(grey, VS::Context(), k));
        // Counter-clockwise: lines from the top-right corner, segmentation from smallest x + y.
        const unsigned first = c.lines ? 2 : 0;
        double error = 0.0;
        for (unsigned i = 0; i < 4; ++i) {
            const Truth& t = c.truth[(i + first) % 4];
            error = std::max(error, std::hypot(k[i][0] - t.x, k[i][1] - t.y));
        }
        EXPECT_LE(error, c.tolerance);
    }
}

TEST(BackgroundDetection, PicturesWithoutASheetAreRefused) {
    const VS::Context view;
    const Point<2, int> untouched(-7, -7);
    Point<2, int> corners[4] = {untouched, untouched, untouched, untouched};
    for (const char* fixture : {"background/no-sheet-desk.ppm", "background/no-sheet-gradient.ppm"})
        EXPECT_FALSE(detectOutlineByLines(PenvexTest::greyFixture(fixture), view, corners))
            << fixture;
    // A thin sliver has no four corners (its short ends merge away); an empty image nothing.
    Signal<2, unsigned char> sliver(Tuple<2, unsigned>(100u, 4u));
    sliver.fill(40);
    EXPECT_FALSE(detectOutlineBySegmentation(sliver, view, corners));
    EXPECT_FALSE(detectOutlineBySegmentation(Signal<2, unsigned char>(), view, corners));
    EXPECT_FALSE(detectOutlineByLines(Signal<2, unsigned char>(), view, corners));
    // A picture 50 times taller than wide would need a Hough accumulator of 5000 x 5000 cells:
    // it is taken as showing no sheet.
    Signal<2, unsigned char> tall(Tuple<2, unsigned>(100u, 5000u));
    for (unsigned y = 1000; y < 4000; ++y)
        for (unsigned x = 20; x < 80; ++x)
            tall(x, y) = 220;
    EXPECT_FALSE(detectOutlineByLines(tall, view, corners));
    for (const auto& c : corners)
        EXPECT_EQ(c, untouched) << "a failing method leaves the corners alone";
}

TEST(BackgroundMask, BandInsideEveryEdge) {
    // An axis-aligned square: the mask starts 10 pixels inside each edge, and the two erosions
    // take two more pixels off every side.
    const Point<2, int> corners[4] = {Point<2, int>(10, 10), Point<2, int>(90, 10),
                                      Point<2, int>(90, 70), Point<2, int>(10, 70)};
    BinarySignal<2, unsigned> mask;
    buildBackgroundMask(corners, 100, 80, mask);
    ASSERT_EQ(mask.sizes(), (Tuple<2, unsigned>(100u, 80u)));
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(mask.get(x, y), x >= 22 && x <= 78 && y >= 22 && y <= 58) << x << "," << y;
    // Clockwise corners put the inside on the wrong side of every edge: nothing is set.
    const Point<2, int> clockwise[4] = {corners[0], corners[3], corners[2], corners[1]};
    buildBackgroundMask(clockwise, 100, 80, mask);
    EXPECT_EQ(mask.countSetBits(), 0u);
}

TEST(Edges, HysteresisFollowsEightConnectedChains) {
    // A weak diagonal zig-zag (8-connected only) joins its strong seed; an isolated one does not.
    BinarySignal<2, unsigned> strong(Tuple<2, unsigned>(40u, 5u)), weak(strong.sizes());
    strong.set(0, 2);
    for (unsigned x = 1; x < 30; ++x)
        weak.set(x, x % 2 == 0 ? 2 : 3);
    weak.set(35, 2);
    hysteresis(strong, weak);
    EXPECT_EQ(strong.countSetBits(), 30u);
    EXPECT_FALSE(strong.get(35, 2));
}

TEST(Hough, CornersFromTwoPairsOfLines) {
    // Lines x = 10, x = 90 (angle 0) and y = 20, y = 70 (angle pi / 2, index 64 of 129) on a
    // 100 x 80 picture: counter-clockwise from the positive x axis around the centre.
    const std::uint32_t side = 129;
    auto peak = [](int u, int r) { return HoughPeak{Point<2, int>(u, r), 50.0f}; };
    Point<2, int> corners[4];
    ASSERT_TRUE(cornersFromPeaks({peak(0, 10), peak(64, 20), peak(0, 90), peak(64, 70)}, side, 100,
                                 80, corners));
    const int expected[4][2] = {{90, 70}, {10, 70}, {10, 20}, {90, 20}};
    for (unsigned k = 0; k < 4; ++k) {
        EXPECT_NEAR(corners[k][0], expected[k][0], 1) << k;
        EXPECT_NEAR(corners[k][1], expected[k][1], 1) << k;
    }
    // A corner outside the picture, or parallel lines that were paired, fail.
    EXPECT_FALSE(cornersFromPeaks({peak(0, 10), peak(64, 20), peak(0, 120), peak(64, 70)}, side,
                                  100, 80, corners));
    EXPECT_FALSE(cornersFromPeaks({peak(0, 10), peak(0, 40), peak(0, 70), peak(0, 90)}, side, 100,
                                  80, corners));
}
