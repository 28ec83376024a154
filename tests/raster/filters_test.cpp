// Window filters against plain per-pixel twins on random images (window sizes odd and even,
// larger than the image, images of one line), and the worked examples of the window rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "raster/class_split.hpp"
#include "raster/filters.hpp"

using namespace ZELK;

namespace {

using Image = Signal<2, unsigned char>;

Image randomImage(unsigned w, unsigned h, std::mt19937& rng, int levels = 256) {
    Image image(Tuple<2, unsigned>(w, h));
    std::uniform_int_distribution<int> value(0, levels - 1);
    const int step = 255 / std::max(levels - 1, 1);
    for (std::uint32_t i = 0; i < image.count(); ++i)
        image.data()[i] = static_cast<unsigned char>(value(rng) * step);
    return image;
}

// The clamped window samples of pixel (x, y), gathered the slow way.
std::vector<int> windowSamples(const Image& image, unsigned x, unsigned y, unsigned w, unsigned h) {
    std::vector<int> samples;
    for (int dy = -int(h / 2); dy <= int(h - 1 - h / 2); ++dy)
        for (int dx = -int(w / 2); dx <= int(w - 1 - w / 2); ++dx) {
            const int sx = std::clamp(int(x) + dx, 0, int(image.width()) - 1);
            const int sy = std::clamp(int(y) + dy, 0, int(image.height()) - 1);
            samples.push_back(image(unsigned(sx), unsigned(sy)));
        }
    return samples;
}

Image plainMedian(const Image& image, unsigned w, unsigned h) {
    Image out(image.sizes());
    for (unsigned y = 0; y < image.height(); ++y)
        for (unsigned x = 0; x < image.width(); ++x) {
            std::vector<int> s = windowSamples(image, x, y, w, h);
            std::sort(s.begin(), s.end());
            out(x, y) = static_cast<unsigned char>(s[s.size() / 2]);
        }
    return out;
}

Image plainExtreme(const Image& image, unsigned w, unsigned h, bool maximum) {
    Image out(image.sizes());
    for (unsigned y = 0; y < image.height(); ++y)
        for (unsigned x = 0; x < image.width(); ++x) {
            std::vector<int> s = windowSamples(image, x, y, w, h);
            out(x, y) = static_cast<unsigned char>(maximum ? *std::max_element(s.begin(), s.end())
                                                           : *std::min_element(s.begin(), s.end()));
        }
    return out;
}

Signal<2, short> plainLocalMean(const Image& image, unsigned n) {
    Signal<2, short> out(image.sizes());
    for (unsigned y = 0; y < image.height(); ++y)
        for (unsigned x = 0; x < image.width(); ++x) {
            std::uint64_t sum = 0;
            for (int dy = -int(n / 2); dy <= int(n - 1 - n / 2); ++dy)
                for (int dx = -int(n / 2); dx <= int(n - 1 - n / 2); ++dx)
                    sum += image(unsigned(std::clamp(int(x) + dx, 0, int(image.width()) - 1)),
                                 unsigned(std::clamp(int(y) + dy, 0, int(image.height()) - 1)));
            const float mean = float(sum) / float(std::uint64_t(n) * n);
            out(x, y) = static_cast<short>(float(image(x, y)) - mean);
        }
    return out;
}

template <typename T> bool sameSamples(const Signal<2, T>& a, const Signal<2, T>& b) {
    return a.sizes() == b.sizes() && std::equal(a.data(), a.data() + a.count(), b.data());
}

const std::pair<unsigned, unsigned> imageSizes[] = {{1, 1}, {1, 9},   {9, 1},  {2, 2},
                                                    {5, 4}, {17, 11}, {40, 23}};

} // namespace

TEST(MedianFilter, EqualsSortingTheWindowOnRandomImages) {
    std::mt19937 rng(42);
    const std::pair<unsigned, unsigned> windows[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5},
                                                     {6, 6}, {7, 3}, {3, 7}, {2, 5}, {15, 15}};
    for (auto [w, h] : imageSizes)
        for (auto [ww, wh] : windows)
            for (int levels : {256, 3}) { // few levels: many equal samples
                const Image image = randomImage(w, h, rng, levels);
                Image out;
                medianFilter(image, Tuple<2, unsigned>(ww, wh), out);
                ASSERT_TRUE(sameSamples(out, plainMedian(image, ww, wh)))
                    << w << "x" << h << " window " << ww << "x" << wh << " levels " << levels;
                // In place gives the same.
                Image inPlace = image;
                medianFilter(inPlace, Tuple<2, unsigned>(ww, wh), inPlace);
                ASSERT_TRUE(sameSamples(inPlace, out));
            }
}

TEST(MedianFilter, WindowRules) {
    // 2 x 2 takes the samples at x-1..x, y-1..y and the larger middle one.
    Image image(Tuple<2, unsigned>(3u, 2u));
    const unsigned char values[] = {10, 40, 20, 30, 90, 50}; // rows y = 0 and y = 1
    std::copy_n(values, 6, image.data());
    Image out;
    medianFilter(image, Tuple<2, unsigned>(2u, 2u), out);
    // (1, 1): samples 10, 40, 30, 90 -> sorted 10 30 40 90 -> rank 2 = 40.
    EXPECT_EQ(out(1u, 1u), 40);
    // (0, 0): the clamped window repeats (0, 0) four times.
    EXPECT_EQ(out(0u, 0u), 10);
    // (2, 1): 40, 20, 90, 50 -> 20 40 50 90 -> 50.
    EXPECT_EQ(out(2u, 1u), 50);

    // 1 x 1 leaves the image unchanged.
    std::mt19937 rng(3);
    const Image random = randomImage(13, 7, rng);
    medianFilter(random, Tuple<2, unsigned>(1u, 1u), out);
    EXPECT_TRUE(sameSamples(out, random));

    // Windows of 0 or above 255 are refused before anything is written.
    EXPECT_THROW(medianFilter(random, Tuple<2, unsigned>(0u, 0u), out), BoundException<unsigned>);
    EXPECT_THROW(medianFilter(random, Tuple<2, unsigned>(256u, 256u), out),
                 BoundException<unsigned>);
    Image empty;
    medianFilter(empty, Tuple<2, unsigned>(3u, 3u), out);
    EXPECT_TRUE(out.empty());
}

TEST(ExtremeFilters, EqualPlainMinimumAndMaximum) {
    std::mt19937 rng(7);
    const std::pair<unsigned, unsigned> windows[] = {{1, 1}, {2, 2}, {3, 1}, {10, 10}, {4, 9}};
    for (auto [w, h] : imageSizes)
        for (auto [ww, wh] : windows) {
            const Image image = randomImage(w, h, rng);
            Image lo, hi;
            minimumFilter(image, Tuple<2, unsigned>(ww, wh), lo);
            maximumFilter(image, Tuple<2, unsigned>(ww, wh), hi);
            ASSERT_TRUE(sameSamples(lo, plainExtreme(image, ww, wh, false))) << w << "x" << h;
            ASSERT_TRUE(sameSamples(hi, plainExtreme(image, ww, wh, true))) << w << "x" << h;
        }
    // The 10 x 10 window reaches 5 to the negative side and 4 to the positive side.
    Image dot(Tuple<2, unsigned>(20u, 20u));
    dot(10u, 10u) = 255;
    Image hi;
    maximumFilter(dot, Tuple<2, unsigned>(10u, 10u), hi);
    EXPECT_EQ(hi(6u, 6u), 255);   // 10 = 6 + 4
    EXPECT_EQ(hi(5u, 10u), 0);    // 10 > 5 + 4
    EXPECT_EQ(hi(15u, 15u), 255); // 10 = 15 - 5
    EXPECT_EQ(hi(16u, 10u), 0);   // 10 < 16 - 5
}

TEST(LocalMean, EqualsThePlainWindowSumForAnyWindow) {
    std::mt19937 rng(11);
    // Even sizes, sizes larger than the image, and a window far larger than any side.
    const unsigned windows[] = {1, 2, 3, 4, 7, 8, 16, 50, 301};
    for (auto [w, h] : imageSizes)
        for (unsigned n : windows) {
            const Image image = randomImage(w, h, rng);
            Signal<2, short> out;
            subtractLocalMean(image, Tuple<2, unsigned>(n, n), out);
            ASSERT_TRUE(sameSamples(out, plainLocalMean(image, n)))
                << w << "x" << h << " window " << n;
        }
    // A bigger image with the default window.
    const Image image = randomImage(120, 90, rng);
    Signal<2, short> out;
    subtractLocalMean(image, Tuple<2, unsigned>(50u, 50u), out);
    EXPECT_TRUE(sameSamples(out, plainLocalMean(image, 50)));
}

TEST(LocalMean, TruncatesTowardZero) {
    // A 10 x 10 image: the window of pixel (5, 5) is exactly the image.
    auto meanCase = [](unsigned char centre, unsigned char many, unsigned char few,
                       unsigned manyCount) {
        Image image(Tuple<2, unsigned>(10u, 10u));
        image.fill(few);
        for (unsigned i = 0, placed = 0; i < 100 && placed < manyCount; ++i)
            if (i != 55) {
                image.data()[i] = many;
                ++placed;
            }
        image(5u, 5u) = centre;
        Signal<2, short> out;
        subtractLocalMean(image, Tuple<2, unsigned>(10u, 10u), out);
        return out(5u, 5u);
    };
    EXPECT_EQ(meanCase(10, 11, 10, 90), 0); // m = 1090 / 100 = 10.9: -0.9 -> 0
    EXPECT_EQ(meanCase(10, 9, 10, 90), 0);  // m = 910 / 100 = 9.1: 0.9 -> 0
    EXPECT_EQ(meanCase(0, 2, 1, 51), -1);   // m = 150 / 100 = 1.5: -1.5 -> -1

    // A corner pixel with a 3 x 3 window sees itself four times, its edge neighbours twice
    // and its diagonal neighbour once.
    Image corner(Tuple<2, unsigned>(3u, 3u));
    corner(0u, 0u) = 90;
    corner(1u, 0u) = 9;
    corner(0u, 1u) = 18;
    corner(1u, 1u) = 45;
    Signal<2, short> out;
    subtractLocalMean(corner, Tuple<2, unsigned>(3u, 3u), out);
    EXPECT_EQ(out(0u, 0u), short(90 - (4 * 90 + 2 * 9 + 2 * 18 + 45) / 9)); // 90 - 51 = 39

    // A constant image has no detail left.
    Image flat(Tuple<2, unsigned>(30u, 20u));
    flat.fill(173);
    subtractLocalMean(flat, Tuple<2, unsigned>(50u, 50u), out);
    EXPECT_TRUE(std::all_of(out.data(), out.data() + out.count(), [](short v) { return v == 0; }));
    EXPECT_THROW(subtractLocalMean(flat, Tuple<2, unsigned>(0u, 0u), out),
                 BoundException<unsigned>);
}

TEST(ClassSplit, SplitsBetweenTheModes) {
    std::vector<std::uint32_t> h(256, 0);
    h[40] = 300;
    h[45] = 200;
    h[200] = 100;
    h[210] = 50;
    bool lowerIsLarger = false;
    const std::uint32_t t = findClassSplit(h.data(), 256, lowerIsLarger);
    EXPECT_GE(t, 45u);
    EXPECT_LT(t, 200u);
    // The first maximum wins: every split between the modes is equally good.
    EXPECT_EQ(t, 45u);
    EXPECT_TRUE(lowerIsLarger);

    // Mirror: the bright class is larger.
    std::reverse(h.begin(), h.end());
    bool flag = true;
    EXPECT_EQ(findClassSplit(h.data(), 256, flag), 55u);
    EXPECT_FALSE(flag);

    // One value only: no split, 0, and the flag is not written.
    std::vector<std::uint32_t> single(256, 0);
    single[77] = 1000;
    bool untouched = true;
    EXPECT_EQ(findClassSplit(single.data(), 256, untouched), 0u);
    EXPECT_TRUE(untouched);
    untouched = false;
    std::vector<std::uint32_t> none(256, 0);
    EXPECT_EQ(findClassSplit(none.data(), 256, untouched), 0u);
    EXPECT_FALSE(untouched);
}

TEST(ClassSplit, SumsAreThirtyTwoBitAndWrap) {
    // 65536 bins with weighted sums just inside 32 bits still split between the groups.
    std::vector<std::uint32_t> h(65536, 0);
    h[1000] = 30000;
    h[60000] = 20000;
    h[61000] = 20000; // S = 2.45e9 < 2^32
    bool lowerIsLarger = true;
    const std::uint32_t t = findClassSplit(h.data(), 65536, lowerIsLarger);
    EXPECT_GE(t, 1000u);
    EXPECT_LT(t, 60000u);
    EXPECT_FALSE(lowerIsLarger);

    // Three equal groups of 20 million at 0, 100 and 255: S = 7.1e9 wraps to 2805032704.
    // Exact sums would split at 100 (class means 50 and 255 beat 0 and 177.5); with the
    // wrapped sums the upper class of the split at 0 has the mean 70.1 and the split at 100
    // compares 50 with 40.25, so the split at 0 wins and the upper class is the larger one.
    std::vector<std::uint32_t> big(256, 0);
    big[0] = big[100] = big[255] = 20000000;
    bool flag = true;
    EXPECT_EQ(findClassSplit(big.data(), 256, flag), 0u);
    EXPECT_FALSE(flag);
}
