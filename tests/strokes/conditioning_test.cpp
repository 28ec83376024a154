// Conditioning and cleaning of the line image: the top-hat decision and result, the border-ring
// fill of the local-mean source, and closing and opening against the plain sequence of
// dilations and erosions (which never stops early).
#include <gtest/gtest.h>

#include <random>

#include "raster/morphology.hpp"
#include "strokes/enhance.hpp"
#include "strokes/mask_cleaning.hpp"

using namespace ZELK;
using Mask = BinarySignal<2, unsigned>;
using Image = Signal<2, unsigned char>;

TEST(TopHat, LinesComeOutBrightOnEitherPaper) {
    // Bright paper, dark line: maximum minus image; dark paper, bright line: image minus
    // minimum; a constant image has no split and nothing is left.
    for (auto [paper, line, darkPaper, value] :
         {std::tuple{200, 50, false, 150}, {30, 220, true, 190}, {99, 99, false, 0}}) {
        Image image(Tuple<2, unsigned>(40u, 30u));
        image.fill(static_cast<unsigned char>(paper));
        for (unsigned y = 0; y < 30; ++y)
            image(19u, y) = image(20u, y) = static_cast<unsigned char>(line);
        EXPECT_EQ(topHatTransform(image), darkPaper) << paper;
        EXPECT_EQ(image(20u, 10u), value) << paper;
        EXPECT_EQ(image(5u, 10u), 0) << paper;
    }
}

TEST(BorderRing, PixelsOutsideTheRegionTakeTheRingMean) {
    Image grey(Tuple<2, unsigned>(30u, 20u)), work;
    grey.fill(10); // the "desk"
    Mask mask(grey.sizes());
    for (unsigned y = 5; y < 15; ++y)
        for (unsigned x = 8; x < 22; ++x) {
            mask.set(x, y);
            // Ring pixels of 190 and 210 in equal numbers: mean 200.
            const bool ring = x == 8 || x == 21 || y == 5 || y == 14;
            grey(x, y) = ring ? ((x + y) % 2 ? 190 : 210) : 120;
        }
    ASSERT_TRUE(fillOutsideWithBorderMean(grey, mask, work));
    EXPECT_EQ(work(0u, 0u), 200);
    EXPECT_EQ(work(7u, 10u), 200);
    EXPECT_EQ(work(8u, 10u), grey(8u, 10u)); // the ring itself is kept
    EXPECT_EQ(work(12u, 10u), 120);

    Image untouched;
    EXPECT_FALSE(fillOutsideWithBorderMean(grey, Mask(grey.sizes()), untouched)); // no ring
    EXPECT_TRUE(untouched.empty());
    EXPECT_THROW(fillOutsideWithBorderMean(grey, Mask(Tuple<2, unsigned>(3u, 3u)), work),
                 SignalSizeException);
}

TEST(MaskCleaning, EqualsThePlainSequence) {
    std::mt19937 random(5);
    for (unsigned width : {1u, 5u, 32u, 33u, 70u})
        for (unsigned height : {1u, 4u, 20u})
            for (unsigned count : {0u, 1u, 2u, 3u, 9u, 40u})
                for (unsigned density : {5u, 40u, 90u})
                    for (bool closing : {true, false}) {
                        Mask in(Tuple<2, unsigned>(width, height));
                        for (unsigned y = 0; y < height; ++y)
                            for (unsigned x = 0; x < width; ++x)
                                in.set(x, y, random() % 100 < density);
                        Mask mask = in, work, plain = in, next;
                        closing ? closeMask(mask, work, count) : openMask(mask, work, count);
                        for (unsigned i = 0; i < 2 * count; ++i) {
                            (closing == (i < count)) ? dilate(plain, next) : erode(plain, next);
                            plain = next;
                        }
                        ASSERT_EQ(mask.sizes(), plain.sizes());
                        for (unsigned y = 0; y < height; ++y)
                            for (unsigned x = 0; x < width; ++x)
                                ASSERT_EQ(mask.get(x, y), plain.get(x, y))
                                    << width << "x" << height << " count " << count;
                    }
}
