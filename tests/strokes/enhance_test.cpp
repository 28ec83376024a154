// The conditioning steps: top-hat decision and result, the border-ring fill of the local-mean
// source, and the conditioning stage's choice of steps from the options.
#include <gtest/gtest.h>

#include <algorithm>

#include "raster/filters.hpp"
#include "strokes/enhance.hpp"

using namespace ZELK;

namespace {

using Image = Signal<2, unsigned char>;

// Paper of one value with a vertical line of another, 2 pixels wide.
Image paperWithLine(unsigned char paper, unsigned char line) {
    Image image(Tuple<2, unsigned>(40u, 30u));
    image.fill(paper);
    for (unsigned y = 0; y < 30; ++y)
        for (unsigned x = 19; x < 21; ++x)
            image(x, y) = line;
    return image;
}

} // namespace

TEST(TopHat, LinesComeOutBrightOnEitherPaper) {
    // Bright paper, dark line: maximum minus image.
    Image bright = paperWithLine(200, 50);
    EXPECT_FALSE(topHatTransform(bright));
    EXPECT_EQ(bright(20u, 10u), 150);
    EXPECT_EQ(bright(5u, 10u), 0);
    // Dark paper, bright line: image minus minimum.
    Image dark = paperWithLine(30, 220);
    EXPECT_TRUE(topHatTransform(dark));
    EXPECT_EQ(dark(20u, 10u), 190);
    EXPECT_EQ(dark(5u, 10u), 0);
    // A constant image has no split; nothing is left.
    Image flat(Tuple<2, unsigned>(12u, 9u));
    flat.fill(99);
    EXPECT_FALSE(topHatTransform(flat));
    EXPECT_TRUE(
        std::all_of(flat.data(), flat.data() + flat.count(), [](auto v) { return v == 0; }));
}

TEST(BorderRing, PixelsOutsideTheRegionTakeTheRingMean) {
    Image grey(Tuple<2, unsigned>(30u, 20u));
    grey.fill(10); // the "desk"
    BinarySignal<2, unsigned> mask(grey.sizes());
    mask.clear();
    for (unsigned y = 5; y < 15; ++y)
        for (unsigned x = 8; x < 22; ++x) {
            mask.set(x, y);
            // Ring pixels of 190 and 210 in equal numbers: mean 200.
            const bool ring = x == 8 || x == 21 || y == 5 || y == 14;
            grey(x, y) = ring ? ((x + y) % 2 ? 190 : 210) : 120;
        }
    Image work;
    ASSERT_TRUE(fillOutsideWithBorderMean(grey, mask, work));
    EXPECT_EQ(work(0u, 0u), 200);
    EXPECT_EQ(work(29u, 19u), 200);
    EXPECT_EQ(work(7u, 10u), 200);
    EXPECT_EQ(work(8u, 10u), grey(8u, 10u)); // the ring itself is kept
    EXPECT_EQ(work(12u, 10u), 120);

    // Truncating division: ring values 1 and 2 (three of them) give 1.
    BinarySignal<2, unsigned> small(Tuple<2, unsigned>(4u, 1u));
    small.clear();
    small.set(0, 0);
    small.set(1, 0);
    small.set(2, 0);
    Image values(Tuple<2, unsigned>(4u, 1u));
    values(0u, 0u) = 1;
    values(1u, 0u) = 2;
    values(2u, 0u) = 2;
    values(3u, 0u) = 250;
    ASSERT_TRUE(fillOutsideWithBorderMean(values, small, work));
    EXPECT_EQ(work(3u, 0u), 1); // 5 / 3

    // An empty mask has no ring.
    BinarySignal<2, unsigned> none(grey.sizes());
    none.clear();
    Image untouched;
    EXPECT_FALSE(fillOutsideWithBorderMean(grey, none, untouched));
    EXPECT_TRUE(untouched.empty());
    BinarySignal<2, unsigned> wrongSize(Tuple<2, unsigned>(3u, 3u));
    EXPECT_THROW(fillOutsideWithBorderMean(grey, wrongSize, work), SignalSizeException);
}
