// Shrinking images: the worked sizes of the -a setting, the binomial halving arithmetic along
// both axes, the corner-aligned bilinear step and the safe handling of tiny targets.
#include <gtest/gtest.h>

#include <random>

#include "core/exceptions.hpp"
#include "raster/resize.hpp"
#include "strokes/line_thickness.hpp"

using namespace ZELK;

namespace {

using Image = Signal<2, unsigned char>;

Image randomImage(unsigned w, unsigned h, std::mt19937& rng) {
    Image image(Tuple<2, unsigned>(w, h));
    std::uniform_int_distribution<int> value(0, 255);
    for (std::uint32_t i = 0; i < image.count(); ++i)
        image.data()[i] = static_cast<unsigned char>(value(rng));
    return image;
}

Image transposed(const Image& image) {
    Image out(Tuple<2, unsigned>(image.height(), image.width()));
    for (unsigned y = 0; y < image.height(); ++y)
        for (unsigned x = 0; x < image.width(); ++x)
            out(y, x) = image(x, y);
    return out;
}

bool same(const Image& a, const Image& b) {
    return a.sizes() == b.sizes() && std::equal(a.data(), a.data() + a.count(), b.data());
}

} // namespace

TEST(LineThickness, WorkedSizes) {
    // -a 12 on 1200 x 900: s = 5 / 12, 500 x 375.
    float t = nominalLineThickness("12", 1200, 900);
    ASSERT_TRUE(needsScaling(t));
    EXPECT_EQ(scaledSize(Tuple<2, unsigned>(1200u, 900u), thicknessScale(t)),
              (Tuple<2, unsigned>(500u, 375u)));
    // The default 0.5 % on 4000 x 3000: T = 17.32, 1155 x 866.
    t = nominalLineThickness("0.5%", 4000, 3000);
    EXPECT_NEAR(t, 17.3205f, 1e-3f);
    EXPECT_EQ(scaledSize(Tuple<2, unsigned>(4000u, 3000u), thicknessScale(t)),
              (Tuple<2, unsigned>(1155u, 866u)));
    // 6 pixels is not scaled; stream extraction skips blanks and ignores trailing text.
    EXPECT_FALSE(needsScaling(nominalLineThickness("6", 4000, 3000)));
    EXPECT_FALSE(needsScaling(nominalLineThickness(" 6px", 4000, 3000)));
    EXPECT_TRUE(needsScaling(nominalLineThickness("6.01", 10, 10)));
    EXPECT_FLOAT_EQ(nominalLineThickness("1%", 100, 100), 1.0f);
    EXPECT_THROW(nominalLineThickness("abc", 10, 10), Text::ConversionException);
    EXPECT_THROW(nominalLineThickness("x%", 10, 10), Text::ConversionException);
}

TEST(Resize, BinomialHalvingArithmetic) {
    Image line(Tuple<2, unsigned>(8u, 1u));
    const unsigned char ramp[] = {0, 16, 32, 48, 64, 80, 96, 112};
    std::copy_n(ramp, 8, line.data());
    Image half;
    halveAlong(0, line, half);
    ASSERT_EQ(half.sizes(), (Tuple<2, unsigned>(4u, 1u)));
    // (6*0 + 4*16 + 32) / 11, two full taps, (6*96 + 4*80 + 64) / 11.
    const unsigned char expected[] = {8, 32, 64, 87};
    EXPECT_TRUE(std::equal(expected, expected + 4, half.data()));

    // An odd length drops its last sample: 9 -> 4 with the same values.
    Image odd(Tuple<2, unsigned>(9u, 1u));
    std::copy_n(ramp, 8, odd.data());
    odd(8u, 0u) = 255;
    halveAlong(0, odd, half);
    EXPECT_TRUE(std::equal(expected, expected + 4, half.data()));

    // Down the columns the same arithmetic as along the rows.
    std::mt19937 rng(5);
    for (unsigned h : {4u, 5u, 6u, 9u, 31u})
        for (unsigned w : {1u, 3u, 17u}) {
            const Image image = randomImage(w, h, rng);
            Image byColumns, byRows;
            halveAlong(1, image, byColumns);
            halveAlong(0, transposed(image), byRows);
            EXPECT_TRUE(same(byColumns, transposed(byRows))) << w << "x" << h;
        }
    // No halving below two outputs.
    EXPECT_THROW(halveAlong(0, Image(Tuple<2, unsigned>(3u, 5u)), half), BoundException<unsigned>);
    EXPECT_THROW(halveAlong(1, Image(Tuple<2, unsigned>(5u, 3u)), half), BoundException<unsigned>);
}

TEST(Resize, CornerAlignedBilinear) {
    Image row(Tuple<2, unsigned>(2u, 1u));
    row(0u, 0u) = 0;
    row(1u, 0u) = 100;
    Image out;
    resampleBilinear(row, Tuple<2, unsigned>(3u, 1u), out);
    EXPECT_EQ(out(0u, 0u), 0);
    EXPECT_EQ(out(1u, 0u), 50);
    EXPECT_EQ(out(2u, 0u), 100); // the last sample is hit exactly, not mixed with 0

    // 5 -> 3 samples the source at 0, 2, 4 in both axes.
    std::mt19937 rng(9);
    const Image image = randomImage(5, 5, rng);
    resampleBilinear(image, Tuple<2, unsigned>(3u, 3u), out);
    for (unsigned y = 0; y < 3; ++y)
        for (unsigned x = 0; x < 3; ++x)
            EXPECT_EQ(out(x, y), image(2 * x, 2 * y));
    // An extent of 1 samples coordinate 0; the same size is the identity.
    resampleBilinear(image, Tuple<2, unsigned>(1u, 1u), out);
    EXPECT_EQ(out(0u, 0u), image(0u, 0u));
    resampleBilinear(image, Tuple<2, unsigned>(4u, 1u), out);
    EXPECT_EQ(out(3u, 0u), image(4u, 0u));
    resampleBilinear(image, image.sizes(), out);
    EXPECT_TRUE(same(out, image));
    resampleBilinear(image, Tuple<2, unsigned>(0u, 3u), out);
    EXPECT_TRUE(out.empty());
}

TEST(Resize, PyramidThenOneBilinearStep) {
    std::mt19937 rng(13);
    // 1200 x 900 to 500 x 375: one halving (1200 >= 1000, 900 >= 750), then bilinear.
    const Image big = randomImage(1200, 900, rng);
    Image out, x, xy, expected;
    downscale(big, Tuple<2, unsigned>(500u, 375u), out);
    halveAlong(0, big, x);
    halveAlong(1, x, xy);
    resampleBilinear(xy, Tuple<2, unsigned>(500u, 375u), expected);
    EXPECT_TRUE(same(out, expected));
    // Below twice the target in either axis there is no halving.
    const Image small = randomImage(40, 30, rng);
    downscale(small, Tuple<2, unsigned>(21u, 10u), out);
    resampleBilinear(small, Tuple<2, unsigned>(21u, 10u), expected);
    EXPECT_TRUE(same(out, expected));
    // Tiny targets: at least 1 x 1, halving stops before an extent of 2 would halve to 1.
    EXPECT_EQ(scaledSize(Tuple<2, unsigned>(3u, 1000u), 0.1f), (Tuple<2, unsigned>(1u, 100u)));
    EXPECT_EQ(scaledSize(Tuple<2, unsigned>(10u, 10u), 0.0f), (Tuple<2, unsigned>(1u, 1u)));
    EXPECT_EQ(scaledSize(Tuple<2, unsigned>(10u, 10u), std::nanf("")),
              (Tuple<2, unsigned>(1u, 1u)));
    const Image five = randomImage(5, 5, rng);
    downscale(five, Tuple<2, unsigned>(1u, 1u), out);
    halveAlong(0, five, x);
    halveAlong(1, x, xy);
    EXPECT_EQ(out.sizes(), (Tuple<2, unsigned>(1u, 1u)));
    EXPECT_EQ(out(0u, 0u), xy(0u, 0u));
    const Image thin = randomImage(1000, 1, rng);
    downscale(thin, Tuple<2, unsigned>(10u, 1u), out);
    EXPECT_EQ(out.sizes(), (Tuple<2, unsigned>(10u, 1u)));
    EXPECT_EQ(out(0u, 0u), thin(0u, 0u));
}
