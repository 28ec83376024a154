// Edge maps and the Hough stages of the lines method: clamped Sobel filtering, thresholds,
// voting, peak rules (vote minimum, merging of near peaks, angle wrap) and corner ordering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "background/edges.hpp"
#include "background/hough.hpp"

using namespace ZELK;

TEST(Edges, SobelIsClampedAtTheBorder) {
    // A vertical step from 0 to 100 between columns 2 and 3 of a 6 x 4 image.
    Signal<2, unsigned char> image(Tuple<2, unsigned>(6u, 4u));
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 3; x < 6; ++x)
            image(x, y) = 100;
    Signal<2, short> gx, gy;
    applyKernel(image, SobelX, gx);
    applyKernel(image, SobelY, gy);
    for (unsigned y = 0; y < 4; ++y) {
        // Rows repeat at the top and bottom, so every row sees the full step.
        EXPECT_EQ(gx(2u, y), 400) << y;
        EXPECT_EQ(gx(3u, y), 400) << y;
        EXPECT_EQ(gx(0u, y), 0) << y; // column -1 is column 0
        EXPECT_EQ(gx(5u, y), 0) << y; // column 6 is column 5
        for (unsigned x = 0; x < 6; ++x)
            EXPECT_EQ(gy(x, y), 0);
    }
    Signal<2, short> squared, thinned;
    gradientSquared(gx, gy, squared);
    EXPECT_EQ(squared(2u, 1u), 625); // (400 >> 4)^2
    suppressNonMaxima(squared, gx, gy, thinned);
    // Equal neighbours along the gradient do not suppress each other.
    EXPECT_EQ(thinned(2u, 1u), 625);
    EXPECT_EQ(thinned(3u, 1u), 625);
    // Only one non-zero value: no split, and the threshold is raised to 256.
    EXPECT_EQ(edgeThreshold(thinned), 256);
    Signal<2, short> faint(Tuple<2, unsigned>(4u, 4u));
    faint(1u, 1u) = 10;
    faint(2u, 2u) = 20;
    EXPECT_EQ(edgeThreshold(faint), 256);
    BinarySignal<2, unsigned> strong, weak;
    faint(0u, 0u) = 128;
    faint(3u, 3u) = 256;
    thresholdEdges(faint, 256, strong, weak);
    EXPECT_TRUE(strong.get(3, 3));
    EXPECT_FALSE(strong.get(0, 0));
    EXPECT_TRUE(weak.get(0, 0));
    EXPECT_TRUE(weak.get(3, 3));
    EXPECT_FALSE(weak.get(2, 2));
}

TEST(Edges, HysteresisFollowsWeakChainsFromStrongSeeds) {
    BinarySignal<2, unsigned> strong(Tuple<2, unsigned>(40u, 5u)), weak(strong.sizes());
    strong.clear();
    weak.clear();
    strong.set(0, 2);
    for (unsigned x = 1; x < 30; ++x)
        weak.set(x, x % 2 == 0 ? 2 : 3); // a diagonal zig-zag: 8-connected only
    weak.set(35, 2);                     // isolated weak pixel
    hysteresis(strong, weak);
    EXPECT_EQ(strong.countSetBits(), 30u);
    EXPECT_TRUE(strong.get(29, 3));
    EXPECT_FALSE(strong.get(35, 2));
}

TEST(Hough, VotesFindALine) {
    // A horizontal edge y = 10 on a 60 x 11 picture (D = 61, so pi / 2 is index 30): its
    // normal points up.
    BinarySignal<2, unsigned> edges(Tuple<2, unsigned>(60u, 11u));
    edges.clear();
    for (unsigned x = 5; x < 35; ++x)
        edges.set(x, 10);
    const std::uint32_t side = houghSide(60, 11);
    EXPECT_EQ(side, 61u);
    Signal<2, float> accumulator;
    houghVote(edges, side, accumulator);
    // The 30 votes land at the angle of index 30, at r = 10 or, where x cos(theta) pulls
    // rho just below 10 (cos(pi / 2) is not exactly 0 in single precision), at r = 9.
    EXPECT_EQ(accumulator(30u, 10u) + accumulator(30u, 9u), 30.0f);
    for (unsigned u = 0; u < side; ++u)
        for (unsigned r = 0; r < side; ++r)
            if (u != 30) {
                EXPECT_LT(accumulator(u, r), 30.0f) << u << "," << r;
            }
    // Angles cover half a circle; the last index is brought to -pi.
    EXPECT_FLOAT_EQ(houghAngle(0, side), 0.0f);
    EXPECT_FLOAT_EQ(houghAngle(side - 1, side), -std::numbers::pi_v<float>);
    EXPECT_NEAR(houghAngle(side - 2, side), std::numbers::pi_v<float> * 59.0f / 60.0f, 1e-5f);
    // A line whose normal points below the x axis (x - y = 20, leaning right) gets no votes
    // anywhere near its length.
    BinarySignal<2, unsigned> leaning(Tuple<2, unsigned>(60u, 40u));
    leaning.clear();
    for (unsigned y = 0; y < 30; ++y)
        leaning.set(y + 20, y);
    houghVote(leaning, houghSide(60, 40), accumulator);
    for (unsigned i = 0; i < accumulator.width() * accumulator.height(); ++i)
        EXPECT_LT(accumulator.data()[i], 10.0f) << i;
}

TEST(Hough, PeakRules) {
    const std::uint32_t side = 100;
    Signal<2, float> maxima(Tuple<2, unsigned>(side, side));
    // 15.9 votes is never a peak.
    maxima(50u, 50u) = 15.9f;
    EXPECT_TRUE(selectPeaks(maxima).empty());
    // Two cells 14 apart are one peak, at the stronger position.
    maxima(50u, 50u) = 20.0f;
    maxima(50u, 64u) = 30.0f;
    std::vector<HoughPeak> peaks = selectPeaks(maxima);
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_EQ(peaks[0].cell, (Point<2, int>(50, 64)));
    EXPECT_EQ(peaks[0].value, 30.0f);
    // 15 apart are two.
    maxima(50u, 64u) = 0.0f;
    maxima(50u, 65u) = 30.0f;
    EXPECT_EQ(selectPeaks(maxima).size(), 2u);
    // Angle indices 1 and 98 are 3 apart through the wrap.
    maxima.clear();
    maxima(1u, 40u) = 20.0f;
    maxima(98u, 41u) = 25.0f;
    peaks = selectPeaks(maxima);
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_EQ(peaks[0].cell, (Point<2, int>(98, 41)));
    EXPECT_EQ(wrappedAngleDistance(1, 98, side), 3);
    // A later cell must beat the weakest kept peak even while fewer than four are kept: in
    // scan order (r outer) 40 enters, 90, 70 and 60 beat it, 20 and 30 do not.
    maxima.clear();
    const float votes[6] = {40, 90, 20, 70, 60, 30};
    for (unsigned i = 0; i < 6; ++i)
        maxima(10u + 16u * i, 5u + 16u * i) = votes[i];
    peaks = selectPeaks(maxima);
    ASSERT_EQ(peaks.size(), 4u);
    std::vector<float> kept;
    for (const auto& p : peaks)
        kept.push_back(p.value);
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<float>{40, 60, 70, 90}));
    maxima.clear();
    maxima(10u, 5u) = 50.0f;
    maxima(60u, 40u) = 20.0f;
    peaks = selectPeaks(maxima);
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_EQ(peaks[0].value, 50.0f);
}

TEST(Hough, CornersFromTwoPairsOfLines) {
    // Lines x = 10, x = 90 (angle 0) and y = 20, y = 70 (angle pi / 2) on a 100 x 80 picture.
    const std::uint32_t side = 129; // pi / 128 per index: pi / 2 is index 64
    auto peak = [](int u, int r) { return HoughPeak{Point<2, int>(u, r), 50.0f}; };
    const std::vector<HoughPeak> peaks = {peak(0, 10), peak(64, 20), peak(0, 90), peak(64, 70)};
    Point<2, int> corners[4];
    ASSERT_TRUE(cornersFromPeaks(peaks, side, 100, 80, corners));
    // Counter-clockwise from the positive x axis around the centre (50, 45), truncated.
    const Point<2, int> expected[4] = {Point<2, int>(90, 70), Point<2, int>(10, 70),
                                       Point<2, int>(10, 20), Point<2, int>(90, 20)};
    for (unsigned k = 0; k < 4; ++k) {
        EXPECT_NEAR(corners[k][0], expected[k][0], 1) << k;
        EXPECT_NEAR(corners[k][1], expected[k][1], 1) << k;
    }
    // A corner outside the picture, or parallel lines that were paired, fail.
    const std::vector<HoughPeak> outside = {peak(0, 10), peak(64, 20), peak(0, 120), peak(64, 70)};
    EXPECT_FALSE(cornersFromPeaks(outside, side, 100, 80, corners));
    const std::vector<HoughPeak> parallel = {peak(0, 10), peak(0, 40), peak(0, 70), peak(0, 90)};
    EXPECT_FALSE(cornersFromPeaks(parallel, side, 100, 80, corners));
    EXPECT_FALSE(cornersFromPeaks({peak(0, 10)}, side, 100, 80, corners));
}
