// The clutter mosaic: the grid search equals the brute-force nearest-seed search, and the
// painted mosaic follows the seeded draws.
#include "demo/mosaic.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/random.hpp"

using ZELK::MosaicSeed;
using ZELK::NearestSeedFinder;
using ZELK::RgbImage;

namespace {

// Every seed against every pixel: the smallest squared distance, the earlier seed on ties.
std::uint32_t bruteForceNearest(const std::vector<MosaicSeed>& seeds, std::uint32_t x,
                                std::uint32_t y) {
    std::uint64_t best = UINT64_MAX;
    std::uint32_t index = 0;
    for (std::uint32_t i = 0; i < seeds.size(); ++i) {
        const std::int64_t dx = std::int64_t(seeds[i].x) - x, dy = std::int64_t(seeds[i].y) - y;
        const auto d = std::uint64_t(dx * dx + dy * dy);
        if (d < best) {
            best = d;
            index = i;
        }
    }
    return index;
}

} // namespace

TEST(DemoMosaic, GridSearchEqualsBruteForce) {
    std::mt19937 engine(424242);
    auto random = [&engine] { return static_cast<std::uint32_t>(engine()); };
    int configurations = 0;
    for (int round = 0; round < 300; ++round) {
        const std::uint32_t w = 1 + random() % 70, h = 1 + random() % 70;
        // Few seeds (large cells), the renderer's density, many seeds, and clusters with
        // repeated positions so that ties between seeds are frequent.
        const std::uint32_t kind = round % 4;
        std::uint32_t n = 1 + random() % 5;
        if (kind == 1)
            n = std::max(1u, (w * h) >> 8);
        if (kind == 2)
            n = 1 + random() % (w * h);
        if (kind == 3)
            n = 2 + random() % 40;
        std::vector<MosaicSeed> seeds(n);
        const std::uint32_t cx = random() % w, cy = random() % h;
        for (MosaicSeed& s : seeds) {
            if (kind == 3) {
                s.x = std::min(w - 1, cx + random() % 3);
                s.y = std::min(h - 1, cy + random() % 3);
            } else {
                s.x = random() % w;
                s.y = random() % h;
            }
        }
        const NearestSeedFinder finder(w, h, seeds);
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x)
                ASSERT_EQ(finder.nearest(x, y), bruteForceNearest(seeds, x, y))
                    << "round " << round << " size " << w << "x" << h << " seeds " << n << " pixel "
                    << x << "," << y;
        ++configurations;
    }
    EXPECT_EQ(configurations, 300);
}

TEST(DemoMosaic, SixteenPixelsSquareHasOneSeedAndOneColour) {
    constexpr std::uint32_t size = 16;
    std::vector<std::uint8_t> pixels(size * size * 3, 7);
    RgbImage image{size, size, pixels.data()};
    ZELK::paintMosaic(image, 1.0f);

    // One seed: its column and row are drawn first, then its colour with limit 256.
    ZELK::MersenneTwister random;
    random.seedWord(1337);
    random.next();
    random.next();
    const std::uint8_t expected[3] = {std::uint8_t(random.next() % 256),
                                      std::uint8_t(random.next() % 256),
                                      std::uint8_t(random.next() % 256)};
    for (std::uint32_t i = 0; i < size * size; ++i)
        for (unsigned c = 0; c < 3; ++c)
            ASSERT_EQ(pixels[3 * i + c], expected[c]) << i;
}

TEST(DemoMosaic, PixelsTakeTheColourOfTheNearestDrawnSeed) {
    constexpr std::uint32_t w = 48, h = 40;
    std::vector<std::uint8_t> pixels(w * h * 3, 0);
    RgbImage image{w, h, pixels.data()};
    ZELK::paintMosaic(image, 0.5f);

    ZELK::MersenneTwister random;
    random.seedWord(1337);
    std::vector<MosaicSeed> seeds((w * h) >> 8);
    for (MosaicSeed& s : seeds) {
        s.x = random.next() % w;
        s.y = random.next() % h;
    }
    std::vector<std::uint8_t> colors;
    for (std::size_t i = 0; i < 3 * seeds.size(); ++i)
        colors.push_back(std::uint8_t(random.next() % 128)); // limit trunc(0.5 * 256)
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint32_t s = bruteForceNearest(seeds, x, y);
            for (unsigned c = 0; c < 3; ++c)
                ASSERT_EQ(pixels[3 * (y * w + x) + c], colors[3 * s + c]) << x << "," << y;
        }
}

TEST(DemoMosaic, EdgeCases) {
    // Too small for any seed: the picture stays as it was.
    std::vector<std::uint8_t> small(15 * 17 * 3, 99);
    RgbImage smallImage{15, 17, small.data()};
    ZELK::paintMosaic(smallImage, 1.0f);
    EXPECT_EQ(small, std::vector<std::uint8_t>(15 * 17 * 3, 99));

    // A colour limit of 0 (clutter below 1/256) paints the mosaic black.
    std::vector<std::uint8_t> dark(32 * 32 * 3, 99);
    RgbImage darkImage{32, 32, dark.data()};
    ZELK::paintMosaic(darkImage, 0.003f);
    EXPECT_EQ(dark, std::vector<std::uint8_t>(32 * 32 * 3, 0));

    // A single seed serves a whole strip.
    const std::vector<MosaicSeed> one = {{0, 0}};
    const NearestSeedFinder finder(4096, 1, one);
    EXPECT_EQ(finder.nearest(4095, 0), 0u);
}
