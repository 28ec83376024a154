// The stages of the lines method on worked cases: hysteresis along weak chains, and corners
// from two pairs of Hough lines.
#include <gtest/gtest.h>

#include "background/edges.hpp"
#include "background/hough.hpp"

using namespace ZELK;

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
