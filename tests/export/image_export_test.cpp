// Raster export helpers: mean colours under masks of equal and of other sizes, unpacking of
// masks, and the refined-image blend.
#include <gtest/gtest.h>

#include "export/image_export.hpp"

using namespace ZELK;

namespace {

BinarySignal<2, unsigned> maskOf(unsigned width, unsigned height,
                                 const std::vector<std::pair<unsigned, unsigned>>& set) {
    BinarySignal<2, unsigned> mask(Tuple<2, unsigned>(width, height));
    for (auto [x, y] : set)
        mask.set(x, y);
    return mask;
}

} // namespace

TEST(MeanColorUnderMask, AveragesTheMaskedPixelsMappedToTheImage) {
    // A 4 x 2 RGB image whose pixel (x, y) is (10 x, 10 y, 7).
    Signal<3, std::uint8_t> image(Tuple<3, unsigned>(3, 4, 2));
    for (unsigned y = 0; y < 2; ++y)
        for (unsigned x = 0; x < 4; ++x)
            image(0u, x, y) = std::uint8_t(10 * x), image(1u, x, y) = std::uint8_t(10 * y),
                         image(2u, x, y) = 7;
    // Same size: the identity mapping; (10 + 30) / 2 and (0 + 10) / 2.
    Color color;
    meanColorUnderMask(ImageView(image), maskOf(4, 2, {{1, 0}, {3, 1}}), color);
    EXPECT_EQ(colorText(color), "#140507");
    // A mask of half the size: mask (x, y) stands for image (trunc((x + 0.5) 2), ...), that is
    // (1, 1) for mask (0, 0) and (3, 1) for (1, 0).
    meanColorUnderMask(ImageView(image), maskOf(2, 1, {{0, 0}, {1, 0}}), color);
    EXPECT_EQ(colorText(color), "#140a07");
    // No set pixel keeps the colour, padding bits beyond the width never count.
    BinarySignal<2, unsigned> padded = maskOf(4, 2, {});
    padded.invert();
    for (unsigned i = 0; i < 8; ++i)
        padded.set(i % 4, i / 4, false);
    meanColorUnderMask(ImageView(image), padded, color);
    EXPECT_EQ(colorText(color), "#140a07");
}

TEST(MaskResampling, UnpacksToFullAndEmptyBytes) {
    // The line mask is resampled as bytes in the difference form, whose exactness on equal
    // neighbours the resize tests check.
    const Signal<2, std::uint8_t> unpacked = unpackMask(maskOf(3, 2, {{0, 0}, {2, 1}}));
    EXPECT_EQ(std::vector<std::uint8_t>(unpacked.data(), unpacked.data() + 6),
              (std::vector<std::uint8_t>{255, 0, 0, 0, 0, 255}));
}

TEST(PullTowardBackground, KeepsLinesAndMovesPaperThreeQuartersTowardTheBackground) {
    // Pixel 0 on a line (m = 255), pixel 1 paper (m = 0), pixel 2 an edge (m = 128); background
    // (200, 240).
    Signal<3, std::uint8_t> image(Tuple<3, unsigned>(2, 3, 1));
    const std::uint8_t samples[] = {10, 250, 1, 100, 60, 220};
    std::copy(samples, samples + 6, image.data());
    Signal<2, std::uint8_t> mask(Tuple<2, unsigned>(3, 1));
    mask(0u, 0u) = 255;
    mask(2u, 0u) = 128;
    pullTowardBackground(image, mask, {200, 240});
    // t = b + (c - b) / 4, the division truncating toward zero: 200 + (-199 / 4) = 151 and
    // 240 + (100 - 240) / 4 = 205; the edge mixes t with c: (127 * 165 + 128 * 60) / 255 = 112
    // and (127 * 235 + 128 * 220) / 255 = 227.
    EXPECT_EQ(std::vector<std::uint8_t>(image.data(), image.data() + 6),
              (std::vector<std::uint8_t>{10, 250, 151, 205, 112, 227}));
    EXPECT_THROW(
        pullTowardBackground(image, Signal<2, std::uint8_t>(Tuple<2, unsigned>(2, 1)), {0, 0}),
        SignalSizeException);
}
