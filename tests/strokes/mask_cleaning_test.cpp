// Closing and opening of the line mask: small worked cases and equality with the plain
// sequence of dilations and erosions (which never stops early).
#include <gtest/gtest.h>

#include <random>

#include "raster/morphology.hpp"
#include "strokes/mask_cleaning.hpp"

using namespace ZELK;
using Mask = BinarySignal<2, unsigned>;

namespace {

bool sameImage(const Mask& a, const Mask& b) {
    if (a.sizes() != b.sizes())
        return false;
    for (unsigned y = 0; y < a.height(); ++y)
        for (unsigned x = 0; x < a.width(); ++x)
            if (a.get(x, y) != b.get(x, y))
                return false;
    return true;
}

Mask plainSequence(const Mask& in, unsigned count, bool closing) {
    Mask a = in, b;
    for (unsigned i = 0; i < count; ++i) {
        closing ? dilate(a, b) : erode(a, b);
        a = b;
    }
    for (unsigned i = 0; i < count; ++i) {
        closing ? erode(a, b) : dilate(a, b);
        a = b;
    }
    return a;
}

} // namespace

TEST(MaskCleaning, IsolatedAndBorderPixels) {
    Mask single(Tuple<2, unsigned>(9, 9));
    single.set(4, 4);
    Mask mask = single, work;
    closeMask(mask, work, 1);
    EXPECT_TRUE(sameImage(mask, single)); // the dilated cross erodes back to its centre
    openMask(mask, work, 1);
    EXPECT_EQ(mask.countSetBits(), 0u); // but does not survive an erosion

    // A 3 x 3 block in the corner: the erosion keeps only (1, 1), whose dilation brings back
    // the cross (0, 1), (1, 0), (1, 1), (2, 1), (1, 2) and not the corner pixels.
    Mask corner(Tuple<2, unsigned>(9, 9));
    for (unsigned y = 0; y < 3; ++y)
        for (unsigned x = 0; x < 3; ++x)
            corner.set(x, y);
    mask = corner;
    openMask(mask, work, 1);
    EXPECT_EQ(mask.countSetBits(), 5u);
    EXPECT_TRUE(mask.get(0, 1));
    EXPECT_TRUE(mask.get(1, 0));
    EXPECT_FALSE(mask.get(0, 0));
    EXPECT_FALSE(mask.get(2, 2));

    // Count 0 does nothing.
    mask = corner;
    closeMask(mask, work, 0);
    openMask(mask, work, 0);
    EXPECT_TRUE(sameImage(mask, corner));
}

TEST(MaskCleaning, EqualsThePlainSequence) {
    std::mt19937 random(5);
    for (unsigned width : {1u, 5u, 32u, 33u, 70u})
        for (unsigned height : {1u, 4u, 20u})
            for (unsigned count : {1u, 2u, 3u, 9u, 40u})
                for (unsigned density : {5u, 40u, 90u}) {
                    Mask in(Tuple<2, unsigned>(width, height));
                    for (unsigned y = 0; y < height; ++y)
                        for (unsigned x = 0; x < width; ++x)
                            if (random() % 100 < density)
                                in.set(x, y);
                    for (bool closing : {true, false}) {
                        Mask mask = in, work;
                        closing ? closeMask(mask, work, count) : openMask(mask, work, count);
                        ASSERT_TRUE(sameImage(mask, plainSequence(in, count, closing)))
                            << width << "x" << height << " count " << count;
                    }
                }
}
