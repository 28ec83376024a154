// Raster export helpers: mean colours under masks of equal and of
// other sizes, unpacking and resampling of masks, and the refined-image blend.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "export/image_export.hpp"
#include "raster/resize.hpp"

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

TEST(MaskResampling, UnpacksAndInterpolatesInTheDifferenceForm) {
    const Signal<2, std::uint8_t> unpacked = unpackMask(maskOf(3, 2, {{0, 0}, {2, 1}}));
    EXPECT_EQ(std::vector<std::uint8_t>(unpacked.data(), unpacked.data() + 6),
              (std::vector<std::uint8_t>{255, 0, 0, 0, 0, 255}));
    // Against a plain double-precision reference on random masks: single against double
    // precision may differ by one step of truncation, but equal neighbours give their value
    // exactly.
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        const unsigned sw = 2 + random() % 9, sh = 2 + random() % 9;
        const unsigned tw = 1 + random() % 20, th = 1 + random() % 20;
        Signal<2, std::uint8_t> source(Tuple<2, unsigned>(sw, sh)), out;
        for (unsigned i = 0; i < source.count(); ++i)
            source.data()[i] = (random() & 1) ? 255 : 0;
        resampleBilinear(source, Tuple<2, unsigned>(tw, th), out, BilinearForm::Difference);
        for (unsigned y = 0; y < th; ++y)
            for (unsigned x = 0; x < tw; ++x) {
                const double sx = tw > 1 ? double(x) * (sw - 1) / (tw - 1) : 0.0;
                const double sy = th > 1 ? double(y) * (sh - 1) / (th - 1) : 0.0;
                const int x0 = int(sx), y0 = int(sy);
                auto at = [&](int u, int v) -> double {
                    return u < int(sw) && v < int(sh) ? source(unsigned(u), unsigned(v)) : 0.0;
                };
                const double fx = sx - x0, fy = sy - y0;
                const double value = (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0)) +
                                     fy * ((1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1));
                EXPECT_NEAR(out(x, y), std::floor(value), 1.0) << x << "," << y;
                if (at(x0, y0) == at(x0 + 1, y0) && at(x0, y0 + 1) == at(x0 + 1, y0 + 1) &&
                    at(x0, y0) == at(x0, y0 + 1)) {
                    EXPECT_EQ(out(x, y), at(x0, y0)) << x << "," << y;
                }
            }
    }
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
