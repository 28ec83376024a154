// The photographic degradations on pixels whose results can be worked out by hand (single
// precision where it matters), including their clamping at both ends.
#include "demo/degradations.hpp"

#include <gtest/gtest.h>

#include <vector>

using ZELK::RgbImage;

namespace {

struct Picture {
    Picture(std::uint32_t w, std::uint32_t h, std::uint8_t value)
        : bytes(std::size_t(w) * h * 3, value), image{w, h, bytes.data()} {}
    std::uint8_t* at(std::uint32_t x, std::uint32_t y) { return image.line(y) + 3 * x; }
    std::vector<std::uint8_t> bytes;
    RgbImage image;
};

} // namespace

TEST(DemoDegradations, ContrastPullsTowardTheMiddle) {
    Picture p(5, 1, 0);
    const std::uint8_t values[5] = {0, 127, 128, 200, 255};
    for (std::uint32_t x = 0; x < 5; ++x)
        p.at(x, 0)[0] = p.at(x, 0)[1] = p.at(x, 0)[2] = values[x];
    const std::vector<std::uint8_t> original = p.bytes;

    ZELK::applyContrast(p.image, 1.0f);
    EXPECT_EQ(p.bytes, original) << "contrast 1 leaves the picture alone";
    ZELK::applyContrast(p.image, 1.5f);
    EXPECT_EQ(p.bytes, original) << "only a contrast below 1 changes anything";

    // k = 127: ((v - 127) * 127 >> 8) + 127 with an arithmetic shift.
    ZELK::applyContrast(p.image, 0.5f);
    const std::uint8_t halved[5] = {63, 127, 127, 163, 190};
    for (std::uint32_t x = 0; x < 5; ++x)
        EXPECT_EQ(p.at(x, 0)[1], halved[x]) << values[x];

    // A negative contrast inverts and overshoots; the result is clamped, not wrapped.
    Picture q(2, 1, 0);
    q.at(1, 0)[0] = q.at(1, 0)[1] = q.at(1, 0)[2] = 255;
    ZELK::applyContrast(q.image, -3.0f);
    EXPECT_EQ(q.at(0, 0)[2], 255);
    EXPECT_EQ(q.at(1, 0)[2], 0);
    ZELK::applyContrast(q.image, -1e30f);
    EXPECT_EQ(q.at(0, 0)[0], 0);
    EXPECT_EQ(q.at(1, 0)[0], 255);
}

TEST(DemoDegradations, GradientDarkensTowardTheBottomLeft) {
    Picture p(4, 4, 200);
    ZELK::applyGradient(p.image, 0.0f);
    EXPECT_EQ(p.bytes, std::vector<std::uint8_t>(48, 200));

    // factor = 0.5 + 0.5 max(x, y) / 4; line 0 is the bottom of the picture.
    ZELK::applyGradient(p.image, 0.5f);
    EXPECT_EQ(p.at(0, 0)[0], 100);
    EXPECT_EQ(p.at(1, 0)[1], 125);
    EXPECT_EQ(p.at(1, 2)[2], 150);
    EXPECT_EQ(p.at(3, 0)[0], 175);
    EXPECT_EQ(p.at(0, 3)[0], 175);
    EXPECT_EQ(p.at(3, 3)[0], 175);

    // A gradient above 1 makes the factor negative near the corner: clamped to 0.
    Picture q(4, 4, 200);
    ZELK::applyGradient(q.image, 2.0f);
    EXPECT_EQ(q.at(0, 0)[0], 0);
    EXPECT_EQ(q.at(1, 1)[0], 0);
    EXPECT_EQ(q.at(2, 1)[0], 0);
    EXPECT_EQ(q.at(3, 2)[0], 100);
}

TEST(DemoDegradations, NoiseFollowsTheSeededGenerator) {
    // The generator seeded with 1984 starts 1294516163, 3565247340, 3973008141. With noise 0.5
    // the range is 127 and the offsets are r mod 127 - 63: +20, +26, +22.
    Picture p(1, 1, 100);
    ZELK::addNoise(p.image, 0.5f);
    EXPECT_EQ(p.bytes, (std::vector<std::uint8_t>{120, 126, 122}));

    // With noise 1 the range is 255 and the offsets +121, -97, -106, clamped at both ends.
    Picture dark(1, 1, 0), bright(1, 1, 255);
    ZELK::addNoise(dark.image, 1.0f);
    ZELK::addNoise(bright.image, 1.0f);
    EXPECT_EQ(dark.bytes, (std::vector<std::uint8_t>{121, 0, 0}));
    EXPECT_EQ(bright.bytes, (std::vector<std::uint8_t>{255, 158, 149}));

    // A range of 0 (noise below 1/255) or a non-positive noise adds nothing.
    Picture quiet(8, 8, 77);
    ZELK::addNoise(quiet.image, 0.003f);
    ZELK::addNoise(quiet.image, 0.0f);
    ZELK::addNoise(quiet.image, -2.0f);
    EXPECT_EQ(quiet.bytes, std::vector<std::uint8_t>(8 * 8 * 3, 77));

    // Over a larger picture the offsets stay within the range and centre near zero.
    Picture big(64, 64, 128);
    ZELK::addNoise(big.image, 0.5f);
    long sum = 0;
    for (std::uint8_t v : big.bytes) {
        ASSERT_GE(v, 128 - 63);
        ASSERT_LE(v, 128 + 63);
        sum += v - 128;
    }
    EXPECT_LT(std::abs(double(sum) / big.bytes.size()), 2.0);
}

TEST(DemoDegradations, LensDistortionResamplesRadially) {
    // Channel 0 holds 10 x, channel 1 holds 10 y, channel 2 is constant. With size 16 the
    // centre is (8, 8) and R = 8; pixel p samples 8 + (p - 8)(1 + r2 (|p - 8| / 8 - 1)).
    auto pattern = [] {
        Picture p(16, 16, 0);
        for (std::uint32_t y = 0; y < 16; ++y)
            for (std::uint32_t x = 0; x < 16; ++x) {
                p.at(x, y)[0] = std::uint8_t(10 * x);
                p.at(x, y)[1] = std::uint8_t(10 * y);
                p.at(x, y)[2] = 77;
            }
        return p;
    };
    Picture untouched = pattern();
    const std::vector<std::uint8_t> original = untouched.bytes;
    ZELK::distortLens(untouched.image, 0.0f);
    ZELK::distortLens(untouched.image, -0.5f);
    EXPECT_EQ(untouched.bytes, original);

    Picture p = pattern();
    ZELK::distortLens(p.image, 0.5f);
    // The centre samples itself (factor 0.5 of a zero offset).
    EXPECT_EQ(p.at(8, 8)[0], 80);
    EXPECT_EQ(p.at(8, 8)[1], 80);
    // (12, 8): offset 4, factor 0.75, sample at x = 11.
    EXPECT_EQ(p.at(12, 8)[0], 110);
    // (13, 8): offset 5, factor 0.8125, sample at x = 12.0625: 120.625.
    EXPECT_EQ(p.at(13, 8)[0], 120);
    EXPECT_EQ(p.at(13, 8)[1], 80);
    // (15, 8): factor 0.9375, x = 14.5625.
    EXPECT_EQ(p.at(15, 8)[0], 145);
    // (8, 2): offset -6, factor 0.875, y = 2.75.
    EXPECT_EQ(p.at(8, 2)[1], 27);
    EXPECT_EQ(p.at(8, 2)[2], 77);
    // Three corners look beyond the picture and turn black.
    for (auto [x, y] : {std::pair{0u, 0u}, {15u, 0u}, {0u, 15u}})
        for (unsigned c = 0; c < 3; ++c)
            EXPECT_EQ(p.at(x, y)[c], 0) << x << "," << y;
    // (15, 15): factor 1 + 0.5 (sqrt(98) / 8 - 1) = 1.11872, sample at (15.831, 15.831), of
    // which only the neighbour (15, 15) lies inside, with weight 0.16897^2 = 0.028551.
    EXPECT_EQ(p.at(15, 15)[0], 4);
    EXPECT_EQ(p.at(15, 15)[1], 4);
    EXPECT_EQ(p.at(15, 15)[2], 2);

    // An absurd coefficient sends every sample far outside: black, without a crash.
    Picture wild = pattern();
    ZELK::distortLens(wild.image, 3e38f);
    EXPECT_EQ(wild.at(3, 5)[2], 0);
}
