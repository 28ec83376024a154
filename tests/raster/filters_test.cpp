// Window filters against a plain per-pixel twin on random images (odd and even windows, windows
// larger than the image, one-line images), the two-class split, and shrinking: binomial
// halving, the corner-aligned bilinear step in both its forms, and the pyramid chaining them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "core/thread_pool.hpp"
#include "raster/class_split.hpp"
#include "raster/filters.hpp"
#include "raster/resize.hpp"
#include "strokes/line_thickness.hpp"

using namespace ZELK;

namespace {

using Image = Signal<2, unsigned char>;
using Size = Tuple<2, unsigned>;

Image randomImage(unsigned w, unsigned h, std::mt19937& rng, int levels = 256) {
    Image image(Size(w, h));
    std::uniform_int_distribution<int> value(0, levels - 1);
    for (std::uint32_t i = 0; i < image.count(); ++i)
        image.data()[i] = static_cast<unsigned char>(value(rng) * (255 / std::max(levels - 1, 1)));
    return image;
}

// The clamped w x h window of pixel i (reaching w / 2 to the negative side), the slow way.
std::vector<int> plainWindow(const Image& image, std::uint32_t i, unsigned w, unsigned h) {
    std::vector<int> s;
    const int x = int(i % image.width()), y = int(i / image.width());
    const int right = int(image.width()) - 1, top = int(image.height()) - 1;
    for (int dy = -int(h / 2); dy <= int(h - 1 - h / 2); ++dy)
        for (int dx = -int(w / 2); dx <= int(w - 1 - w / 2); ++dx)
            s.push_back(image(unsigned(std::clamp(x + dx, 0, right)),
                              unsigned(std::clamp(y + dy, 0, top))));
    return s;
}

template <typename T> bool same(const Signal<2, T>& a, const Signal<2, T>& b) {
    return a.sizes() == b.sizes() && std::equal(a.data(), a.data() + a.count(), b.data());
}

Image transposed(const Image& image) {
    Image out(Size(image.height(), image.width()));
    for (unsigned y = 0; y < image.height(); ++y)
        for (unsigned x = 0; x < image.width(); ++x)
            out(y, x) = image(x, y);
    return out;
}

} // namespace

TEST(WindowFilters, EqualThePlainWindowOnRandomImages) {
    std::mt19937 rng(42);
    const std::pair<unsigned, unsigned> windows[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4},   {6, 6},
                                                     {7, 3}, {3, 7}, {2, 5}, {10, 10}, {4, 9}};
    for (auto [w, h] : {std::pair{1u, 1u}, {1u, 9u}, {9u, 1u}, {2u, 2u}, {5u, 4u}, {40u, 23u}}) {
        for (auto [ww, wh] : windows)
            for (int levels : {256, 3}) { // few levels: many equal samples
                SCOPED_TRACE(::testing::Message() << w << "x" << h << " window " << ww << "x" << wh
                                                  << " levels " << levels);
                const Image image = randomImage(w, h, rng, levels);
                Image out, lo, hi, inPlace = image;
                medianFilter(image, Size(ww, wh), out);
                medianFilter(inPlace, Size(ww, wh), inPlace);
                minimumFilter(image, Size(ww, wh), lo);
                maximumFilter(image, Size(ww, wh), hi);
                for (std::uint32_t i = 0; i < image.count(); ++i) {
                    std::vector<int> s = plainWindow(image, i, ww, wh);
                    std::sort(s.begin(), s.end());
                    ASSERT_EQ(out.data()[i], s[s.size() / 2]) << "median at " << i;
                    ASSERT_EQ(inPlace.data()[i], s[s.size() / 2]) << "in place at " << i;
                    ASSERT_EQ(lo.data()[i], s.front()) << "minimum at " << i;
                    ASSERT_EQ(hi.data()[i], s.back()) << "maximum at " << i;
                }
            }
        for (unsigned n : {1u, 2u, 3u, 8u, 16u, 50u, 301u}) {
            const Image image = randomImage(w, h, rng);
            Signal<2, short> out;
            subtractLocalMean(image, Size(n, n), out);
            for (std::uint32_t i = 0; i < image.count(); ++i) {
                const std::vector<int> s = plainWindow(image, i, n, n);
                const std::uint64_t sum = std::accumulate(s.begin(), s.end(), 0ull);
                ASSERT_EQ(out.data()[i], short(image.data()[i] - float(sum) / float(n * n)))
                    << "mean " << n << " at " << i;
            }
        }
    }
    // A tall image in several bands of rows, run on three threads.
    setThreadCount(3);
    const Image tall = randomImage(19, 150, rng);
    Image median;
    Signal<2, short> detail;
    medianFilter(tall, Size(3u, 3u), median);
    subtractLocalMean(tall, Size(50u, 50u), detail);
    for (std::uint32_t i = 0; i < tall.count(); ++i) {
        std::vector<int> s = plainWindow(tall, i, 3, 3);
        std::nth_element(s.begin(), s.begin() + 4, s.end());
        ASSERT_EQ(median.data()[i], s[4]) << "banded median at " << i;
        s = plainWindow(tall, i, 50, 50);
        const std::uint64_t sum = std::accumulate(s.begin(), s.end(), 0ull);
        ASSERT_EQ(detail.data()[i], short(tall.data()[i] - float(sum) / 2500.0f)) << i;
    }
    setThreadCount(0);
    Image one(Size(1u, 1u)), out;
    EXPECT_THROW(medianFilter(one, Size(0u, 0u), out), BoundException<unsigned>);
    EXPECT_THROW(medianFilter(one, Size(256u, 256u), out), BoundException<unsigned>);
    Signal<2, short> detailOut;
    EXPECT_THROW(subtractLocalMean(one, Size(0u, 0u), detailOut), BoundException<unsigned>);
}

TEST(ClassSplit, SplitsAtTheFirstBestPlace) {
    std::vector<std::uint32_t> h(256, 0);
    h[40] = 300;
    h[45] = 200;
    h[200] = 100;
    h[210] = 50;
    bool lowerIsLarger = false;
    EXPECT_EQ(findClassSplit(h.data(), 256, lowerIsLarger), 45u);
    EXPECT_TRUE(lowerIsLarger);
    // Three groups of 20 million at 0, 100 and 255: the weighted sum 7.1e9 wraps in 32 bits.
    // Exact sums would split at 100; with the wrapped ones the split at 0 wins.
    std::vector<std::uint32_t> big(256, 0);
    big[0] = big[100] = big[255] = 20000000;
    lowerIsLarger = true;
    EXPECT_EQ(findClassSplit(big.data(), 256, lowerIsLarger), 0u);
    EXPECT_FALSE(lowerIsLarger);
}

TEST(Resize, WorkedSizesOfTheThicknessSetting) {
    float t = nominalLineThickness("12", 1200, 900); // s = 5 / 12
    ASSERT_TRUE(needsScaling(t));
    EXPECT_EQ(scaledSize(Size(1200u, 900u), thicknessScale(t)), Size(500u, 375u));
    t = nominalLineThickness("0.5%", 4000, 3000); // the default: T = 17.32
    EXPECT_EQ(scaledSize(Size(4000u, 3000u), thicknessScale(t)), Size(1155u, 866u));
    EXPECT_FALSE(needsScaling(nominalLineThickness(" 6px", 4000, 3000)));
    EXPECT_THROW(nominalLineThickness("x%", 10, 10), Text::ConversionException);
    EXPECT_EQ(scaledSize(Size(10u, 10u), std::nanf("")), Size(1u, 1u));
}

TEST(Resize, BinomialHalvingArithmetic) {
    // 9 -> 4, the last sample dropped. The ends use the three taps that exist:
    // (6*0 + 4*16 + 32) / 11, two full taps, (6*96 + 4*80 + 64) / 11.
    Image line(Size(9u, 1u)), half;
    const unsigned char ramp[] = {0, 16, 32, 48, 64, 80, 96, 112, 255},
                        expected[] = {8, 32, 64, 87};
    std::copy_n(ramp, 9, line.data());
    halveAlong(0, line, half);
    ASSERT_EQ(half.sizes(), Size(4u, 1u));
    EXPECT_TRUE(std::equal(expected, expected + 4, half.data()));
    // Down the columns the same arithmetic as along the rows.
    std::mt19937 rng(5);
    for (unsigned h : {4u, 5u, 9u, 31u})
        for (unsigned w : {1u, 3u, 17u}) {
            const Image image = randomImage(w, h, rng);
            Image byColumns, byRows;
            halveAlong(1, image, byColumns);
            halveAlong(0, transposed(image), byRows);
            EXPECT_TRUE(same(byColumns, transposed(byRows))) << w << "x" << h;
        }
    EXPECT_THROW(halveAlong(1, Image(Size(5u, 3u)), half), BoundException<unsigned>);
}

TEST(Resize, CornerAlignedBilinearInBothFormsAndThePyramidBeforeIt) {
    std::mt19937 rng(9);
    const Image big = randomImage(1200, 900, rng);
    Image out, weighted, difference, rows, both, expected;
    // Between equal neighbours (1 - f) a + f b can round just below a and truncate to 254;
    // a + f (b - a) is exactly a, which keeps the line mask's 255 whole.
    Image flat(Size(2u, 1u));
    flat.fill(255);
    resampleBilinear(flat, Size(7u, 1u), weighted, BilinearForm::WeightedSum);
    resampleBilinear(flat, Size(7u, 1u), difference, BilinearForm::Difference);
    EXPECT_EQ(*std::min_element(difference.data(), difference.data() + difference.count()), 255);
    EXPECT_EQ(*std::min_element(weighted.data(), weighted.data() + weighted.count()), 254);

    // 1200 x 900 to 500 x 375: one halving (1200 >= 1000, 900 >= 750), then bilinear.
    downscale(big, Size(500u, 375u), out);
    halveAlong(0, big, rows);
    halveAlong(1, rows, both);
    resampleBilinear(both, Size(500u, 375u), expected);
    EXPECT_TRUE(same(out, expected));
}

// The plain forms the banded resamplers must equal: every target pixel on its own, straight
// from the taps, in the same float operations.
unsigned char plainBilinear(const Image& s, unsigned x, unsigned y, const Size& size,
                            BilinearForm form) {
    auto tap = [](unsigned i, unsigned from, unsigned to) {
        float p = to > 1 ? float(std::uint64_t(i) * (from - 1)) / float(to - 1) : 0.0f;
        p = std::min(p, float(from - 1));
        return std::pair{unsigned(p), p - float(unsigned(p))};
    };
    const auto [cx, fx] = tap(x, s.width(), size[0]);
    const auto [cy, fy] = tap(y, s.height(), size[1]);
    auto at = [&](unsigned u, unsigned v) {
        return u < s.width() && v < s.height() ? float(s(u, v)) : 0.0f;
    };
    auto blend = [form](float a, float b, float f) {
        return form == BilinearForm::WeightedSum ? (1.0f - f) * a + f * b : a + f * (b - a);
    };
    const float below = blend(at(cx, cy), at(cx + 1, cy), fx);
    const float above = blend(at(cx, cy + 1), at(cx + 1, cy + 1), fx);
    return static_cast<unsigned char>(std::clamp(blend(below, above, fy), 0.0f, 255.0f));
}

unsigned char plainCentred(const Image& s, unsigned x, unsigned y, float factor) {
    const double ratio = 1.0 / double(factor);
    auto taps = [&](unsigned i, unsigned from) {
        std::vector<std::pair<unsigned, float>> t;
        if (ratio <= 1.0) {
            const double p = std::clamp((i + 0.5) * ratio - 0.5, 0.0, double(from - 1));
            const float f = float(p - unsigned(p));
            t = {{unsigned(p), 1.0f - f}, {std::min(unsigned(p) + 1, from - 1), f}};
        } else {
            for (unsigned k = unsigned(i * ratio); k < from && k < (i + 1) * ratio; ++k) {
                const double overlap =
                    std::min((i + 1) * ratio, k + 1.0) - std::max(i * ratio, 1.0 * k);
                if (overlap > 0.0)
                    t.emplace_back(k, float(overlap / ratio));
            }
        }
        return t;
    };
    float sum = 0.0f;
    for (const auto& [v, wy] : taps(y, s.height())) {
        float across = 0.0f;
        for (const auto& [u, wx] : taps(x, s.width()))
            across += wx * float(s(u, v));
        sum += wy * across;
    }
    return static_cast<unsigned char>(std::clamp(sum + 0.5f, 0.0f, 255.0f));
}

TEST(Resize, BandedResamplingEqualsThePlainPerPixelForm) {
    // The centred twin itself on a worked row: doubling puts target x at source (x + 0.5) / 2 -
    // 0.5, the edge sample repeating beyond the edge.
    Image row(Size(2u, 1u));
    row(1u, 0u) = 200;
    const int doubled[4] = {0, 50, 150, 200};
    for (unsigned x = 0; x < 4; ++x)
        EXPECT_EQ(plainCentred(row, x, 0, 2.0f), doubled[x]) << x;
    std::mt19937 rng(21);
    for (int trial = 0; trial < 60; ++trial) {
        const Image image = randomImage(1 + rng() % 90, 1 + rng() % 150, rng);
        // Same size (a copy), and sizes and factors both ways across the band height.
        const Size size = trial % 4 == 0 ? image.sizes() : Size(1 + rng() % 120, 1 + rng() % 200);
        const float factor = std::uniform_real_distribution<float>(0.15f, 3.0f)(rng);
        const BilinearForm form = trial % 3 ? BilinearForm::WeightedSum : BilinearForm::Difference;
        Image bilinear, centred;
        resampleBilinear(image, size, bilinear, form);
        resampleCentred(image, factor, centred);
        for (unsigned y = 0; y < size[1]; ++y)
            for (unsigned x = 0; x < size[0]; ++x)
                ASSERT_EQ(bilinear(x, y), plainBilinear(image, x, y, size, form)) << trial;
        for (unsigned y = 0; y < centred.height(); ++y)
            for (unsigned x = 0; x < centred.width(); ++x)
                ASSERT_EQ(centred(x, y), plainCentred(image, x, y, factor)) << trial;
    }
}
