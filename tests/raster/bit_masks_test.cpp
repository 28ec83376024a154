// Bit-packed masks: cross and square morphology against a per-pixel twin, and region labelling
// against a union-find twin (scan-order numbering, background at the counter's old
// value, labels wrapping to 1).
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include "raster/labelling.hpp"
#include "raster/morphology.hpp"

using namespace ZELK;

namespace {

using Mask = BinarySignal<2, unsigned>;

// Random pixels, and every padding bit set: stray padding must never be read as a pixel.
Mask randomMask(unsigned w, unsigned h, double density, std::mt19937& rng) {
    Mask m(Tuple<2, unsigned>(w, h));
    std::bernoulli_distribution bit(density);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            m.set(x, y, bit(rng));
    for (unsigned y = 0; y < h && w % 32 != 0; ++y)
        m.row(y)[m.wordsPerRow() - 1] |= ~m.lastWordMask();
    return m;
}

// One pixel at a time through get(), which answers false outside the image: any pixel of the
// cross (of the 3 x 3 block for square) set for dilation, all of them for erosion.
enum class Kind { dilate, erode, square };
Mask reference(const Mask& s, Kind kind) {
    Mask d(s.sizes());
    for (int y = 0; y < int(s.height()); ++y)
        for (int x = 0; x < int(s.width()); ++x) {
            bool any = false, all = true;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (kind == Kind::square || dx * dy == 0)
                        any |= s.get(x + dx, y + dy), all &= s.get(x + dx, y + dy);
            d.set(unsigned(x), unsigned(y), kind == Kind::erode ? all : any);
        }
    return d;
}

void apply(Kind kind, const Mask& s, Mask& d) {
    kind == Kind::dilate ? dilate(s, d) : kind == Kind::erode ? erode(s, d) : dilateSquare3(s, d);
}

// Every word, padding included: a stray padding bit in the result counts too.
bool sameWords(const Mask& a, const Mask& b) {
    return a.sizes() == b.sizes() && std::equal(a.data(), a.data() + a.count(), b.data());
}

// Flood fill over 4-neighbours from every unlabelled pixel in scan order; each region takes
// the next label (after the largest comes 1: 0 is the background), the rest the old value.
template <typename Label> std::vector<Label> plainLabels(const Mask& m, Label& counter) {
    const int w = int(m.width()), n = w * int(m.height());
    std::vector<Label> out(std::size_t(n), counter);
    std::vector<bool> seen(std::size_t(n), false);
    for (int i = 0; i < n; ++i) {
        if (!m.get(i % w, i / w) || seen[i])
            continue;
        counter = counter == std::numeric_limits<Label>::max() ? 1 : Label(counter + 1);
        std::vector<int> open{i};
        seen[i] = true;
        while (!open.empty()) {
            const int p = open.back(), x = p % w, y = p / w;
            open.pop_back();
            out[p] = counter;
            for (auto [qx, qy] : {std::pair{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}})
                if (m.get(qx, qy) && !seen[qy * w + qx])
                    seen[qy * w + qx] = true, open.push_back(qy * w + qx);
        }
    }
    return out;
}

template <typename Label> void compareLabelling(unsigned seed, Label start) {
    std::mt19937 rng(seed);
    const std::pair<unsigned, unsigned> sizes[] = {{0, 5},  {5, 0},  {1, 1},   {1, 40},
                                                   {40, 1}, {32, 9}, {33, 33}, {77, 41}};
    for (auto [w, h] : sizes)
        for (double density : {0.1, 0.45, 0.6, 1.0}) {
            const Mask m = randomMask(w, h, density, rng);
            LabelCounter<Label> counter{start};
            Label expectedCounter = start;
            Signal<2, Label> labels(Tuple<2, unsigned>(3u, 3u));
            labelRegions(m, counter, labels);
            ASSERT_EQ(labels.sizes(), m.sizes());
            ASSERT_EQ(std::vector<Label>(labels.data(), labels.data() + labels.count()),
                      plainLabels(m, expectedCounter))
                << w << "x" << h << " density " << density;
            EXPECT_EQ(counter.value, expectedCounter);
        }
}

} // namespace

TEST(Morphology, WordParallelEqualsPerPixelOnRandomMasks) {
    std::mt19937 rng(1234);
    for (Kind kind : {Kind::dilate, Kind::erode, Kind::square})
        for (unsigned w : {0u, 1u, 2u, 3u, 31u, 32u, 33u, 63u, 64u, 65u, 97u, 130u})
            for (unsigned h : {0u, 1u, 2u, 3u, 7u, 33u})
                for (double density : {0.05, 0.5, 0.95, 1.0}) {
                    SCOPED_TRACE(::testing::Message() << "kind " << int(kind) << " size " << w
                                                      << "x" << h << " density " << density);
                    Mask s = randomMask(w, h, density, rng);
                    const Mask expected = reference(s, kind);
                    // A destination of another size with every bit set is fully rewritten.
                    Mask d(Tuple<2, unsigned>(5u, 5u));
                    d.invert();
                    apply(kind, s, d);
                    ASSERT_TRUE(sameWords(d, expected));
                    apply(kind, s, s); // source and destination may be the same mask
                    ASSERT_TRUE(sameWords(s, expected));
                }
}

TEST(Labelling, RegionsMatchUnionFindInScanOrder) {
    compareLabelling<unsigned char>(7, 0);
    compareLabelling<unsigned short>(8, 0);
    // Starting near the top makes the labels wrap to 1 within one labelling.
    compareLabelling<unsigned char>(9, 250);
    compareLabelling<unsigned short>(10, 65530);
}
