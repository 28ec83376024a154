// Raster export helpers: colour texts and mixing, mean colours under masks of equal and of
// other sizes, unpacking and bilinear resampling of masks, and the refined-image blend.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "export/image_export.hpp"
#include "raster/resize.hpp"

using namespace ZELK;

namespace {

using Mask = BinarySignal<2, unsigned>;

Mask maskOf(unsigned width, unsigned height,
            const std::vector<std::pair<unsigned, unsigned>>& set) {
    Mask mask(Tuple<2, unsigned>(width, height));
    for (auto [x, y] : set)
        mask.set(x, y);
    return mask;
}

// An RGB image whose pixel (x, y) is (x, y, 7) scaled to be distinct.
Signal<3, std::uint8_t> rampImage(unsigned width, unsigned height) {
    Signal<3, std::uint8_t> image(Tuple<3, unsigned>(3, width, height));
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            image(0u, x, y) = static_cast<std::uint8_t>(10 * x);
            image(1u, x, y) = static_cast<std::uint8_t>(10 * y);
            image(2u, x, y) = 7;
        }
    return image;
}

} // namespace

TEST(Color, TextIsClampedTruncatedLowerCaseHex) {
    EXPECT_EQ(colorText(Color{1.0f, 1.0f, 1.0f}), "#ffffff");
    EXPECT_EQ(colorText(Color{0.0f, 0.0f, 0.0f}), "#000000");
    // 0.3 x 255 = 76.5 truncates to 76 (4c); out-of-range channels are clamped.
    EXPECT_EQ(colorText(mixColor(Color{1, 1, 1}, Color{0, 0, 0}, 0.7f)), "#4c4c4c");
    EXPECT_EQ(colorText(Color{1.5f, -0.2f, 0.5f}), "#ff007f");
    EXPECT_EQ(colorText(Color{10.0f / 255.0f, 171.0f / 255.0f, 1.0f / 255.0f}), "#0aab01");
}

TEST(MeanColorUnderMask, AveragesTheMaskedPixelsMappedToTheImage) {
    const Signal<3, std::uint8_t> image = rampImage(4, 2);
    const ImageView view(image);

    // Same size: the identity mapping.
    Color color{0.5f, 0.5f, 0.5f};
    meanColorUnderMask(view, maskOf(4, 2, {{1, 0}, {3, 1}}), color);
    EXPECT_FLOAT_EQ(color.red, 20.0f / 255.0f);  // (10 + 30) / 2
    EXPECT_FLOAT_EQ(color.green, 5.0f / 255.0f); // (0 + 10) / 2
    EXPECT_FLOAT_EQ(color.blue, 7.0f / 255.0f);

    // A mask of half the size: mask (x, y) stands for image (trunc((x + 0.5) 2), ...), that is
    // (1, 1) for mask (0, 0) and (3, 1) for (1, 0).
    Color half;
    meanColorUnderMask(view, maskOf(2, 1, {{0, 0}, {1, 0}}), half);
    EXPECT_FLOAT_EQ(half.red, 20.0f / 255.0f);
    EXPECT_FLOAT_EQ(half.green, 10.0f / 255.0f);

    // No set bit keeps the colour; padding bits beyond the width never count.
    Mask padded = maskOf(4, 2, {});
    padded.invert();
    for (unsigned x = 0; x < 4; ++x)
        for (unsigned y = 0; y < 2; ++y)
            padded.set(x, y, false);
    Color kept{0.25f, 0.5f, 0.75f};
    meanColorUnderMask(view, padded, kept);
    EXPECT_EQ(kept.red, 0.25f);
    EXPECT_EQ(kept.blue, 0.75f);

    // A one-channel image gives a grey colour; means of every channel are available too.
    Signal<3, std::uint8_t> grey(Tuple<3, unsigned>(1, 2, 1));
    grey(0u, 0u, 0u) = 51;
    grey(0u, 1u, 0u) = 153;
    Color g;
    meanColorUnderMask(ImageView(grey), maskOf(2, 1, {{0, 0}, {1, 0}}), g);
    EXPECT_EQ(colorText(g), "#666666");
    std::vector<float> means;
    EXPECT_TRUE(meanUnderMask(ImageView(grey), maskOf(2, 1, {{1, 0}}), means));
    EXPECT_EQ(means, std::vector<float>{153.0f / 255.0f});
}

// The mask's way of resampling: the difference form, which keeps flat areas exact.
Signal<2, std::uint8_t> resampleMask(const Signal<2, std::uint8_t>& source, unsigned width,
                                     unsigned height) {
    Signal<2, std::uint8_t> out;
    resampleBilinear(source, Tuple<2, unsigned>(width, height), out, BilinearForm::Difference);
    return out;
}

TEST(ResampleBilinear, KeepsSizeExactlyAndInterpolatesBetweenSamples) {
    const Mask mask = maskOf(3, 2, {{0, 0}, {2, 1}});
    const Signal<2, std::uint8_t> unpacked = unpackMask(mask);
    ASSERT_EQ(unpacked.width(), 3u);
    EXPECT_EQ(unpacked(0u, 0u), 255);
    EXPECT_EQ(unpacked(1u, 0u), 0);
    EXPECT_EQ(unpacked(2u, 1u), 255);

    // Equal sizes: the samples come back unchanged.
    const Signal<2, std::uint8_t> same = resampleMask(unpacked, 3, 2);
    for (unsigned y = 0; y < 2; ++y)
        for (unsigned x = 0; x < 3; ++x)
            EXPECT_EQ(same(x, y), unpacked(x, y));

    // Doubling 0, 255 to five samples: positions 0, 0.25, 0.5, 0.75, 1.
    Signal<2, std::uint8_t> edge(Tuple<2, unsigned>(2, 1));
    edge(1u, 0u) = 255;
    const Signal<2, std::uint8_t> wide = resampleMask(edge, 5, 1);
    EXPECT_EQ(wide(0u, 0u), 0);
    EXPECT_EQ(wide(1u, 0u), 63); // 63.75 truncated
    EXPECT_EQ(wide(2u, 0u), 127);
    EXPECT_EQ(wide(3u, 0u), 191);
    EXPECT_EQ(wide(4u, 0u), 255);

    // A target extent of 1 samples coordinate 0; an empty source gives zeros.
    EXPECT_EQ(resampleMask(edge, 1, 1)(0u, 0u), 0);
    const Signal<2, std::uint8_t> blank = resampleMask(Signal<2, std::uint8_t>(), 4, 3);
    EXPECT_EQ(blank.width(), 4u);
    EXPECT_EQ(blank(3u, 2u), 0);
}

TEST(ResampleBilinear, MatchesAPlainDoublePrecisionReferenceOnRandomMasks) {
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        const unsigned sw = 2 + random() % 9, sh = 2 + random() % 9;
        const unsigned tw = 1 + random() % 20, th = 1 + random() % 20;
        Signal<2, std::uint8_t> source(Tuple<2, unsigned>(sw, sh));
        for (unsigned i = 0; i < source.count(); ++i)
            source.data()[i] = (random() & 1) ? 255 : 0;
        const Signal<2, std::uint8_t> out = resampleMask(source, tw, th);
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
                // Single against double precision may differ by one step of truncation, but
                // equal neighbours give their value exactly.
                EXPECT_NEAR(out(x, y), std::floor(value), 1.0) << x << "," << y;
                if (at(x0, y0) == at(x0 + 1, y0) && at(x0, y0 + 1) == at(x0 + 1, y0 + 1) &&
                    at(x0, y0) == at(x0, y0 + 1)) {
                    EXPECT_EQ(out(x, y), at(x0, y0)) << x << "," << y;
                }
            }
    }
}

TEST(PullTowardBackground, KeepsLinesAndMovesPaperThreeQuartersTowardTheBackground) {
    Signal<3, std::uint8_t> image(Tuple<3, unsigned>(2, 3, 1));
    // Pixel 0: on a line (m = 255); pixel 1: paper (m = 0); pixel 2: an edge (m = 128).
    const std::uint8_t samples[] = {10, 250, 1, 100, 60, 220};
    std::copy(samples, samples + 6, image.data());
    Signal<2, std::uint8_t> mask(Tuple<2, unsigned>(3, 1));
    mask(0u, 0u) = 255;
    mask(1u, 0u) = 0;
    mask(2u, 0u) = 128;
    pullTowardBackground(image, mask, {200, 240});

    EXPECT_EQ(image(0u, 0u, 0u), 10);
    EXPECT_EQ(image(1u, 0u, 0u), 250);
    // t = b + (c - b) / 4 with the division truncating toward zero: 200 + (-199 / 4) = 151.
    EXPECT_EQ(image(0u, 1u, 0u), 151);
    EXPECT_EQ(image(1u, 1u, 0u), 205); // 240 + (100 - 240) / 4 = 240 - 35
    // t = 200 + (60 - 200) / 4 = 165; (127 * 165 + 128 * 60) / 255 = 112.
    EXPECT_EQ(image(0u, 2u, 0u), 112);
    // t = 240 + (220 - 240) / 4 = 235; (127 * 235 + 128 * 220) / 255 = 227.
    EXPECT_EQ(image(1u, 2u, 0u), 227);

    EXPECT_THROW(
        pullTowardBackground(image, Signal<2, std::uint8_t>(Tuple<2, unsigned>(2, 1)), {0, 0}),
        SignalSizeException);
}
