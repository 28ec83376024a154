// Region labelling against a union-find twin on random masks: same regions, numbered in scan
// order of their first pixel, background at the counter's old value; counter wrap-around.
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "raster/labelling.hpp"

using namespace ZELK;

namespace {

using Mask = BinarySignal<2, unsigned>;

Mask randomMask(unsigned w, unsigned h, double density, std::mt19937& rng) {
    Mask m(Tuple<2, unsigned>(w, h));
    std::bernoulli_distribution bit(density);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            m.set(x, y, bit(rng));
    return m;
}

// Union-find over 4-neighbour links, then component ids in scan order of first appearance
// (-1 outside the set).
std::vector<int> referenceComponents(const Mask& m) {
    const unsigned w = m.width(), h = m.height();
    std::vector<unsigned> parent(std::size_t(w) * h);
    std::iota(parent.begin(), parent.end(), 0u);
    auto find = [&](unsigned a) {
        while (parent[a] != a)
            a = parent[a] = parent[parent[a]];
        return a;
    };
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            if (!m.get(x, y))
                continue;
            if (m.get(int(x) - 1, y))
                parent[find(y * w + x)] = find(y * w + x - 1);
            if (m.get(x, int(y) - 1))
                parent[find(y * w + x)] = find((y - 1) * w + x);
        }
    std::vector<int> id(parent.size(), -1);
    std::map<unsigned, int> order;
    for (unsigned i = 0; i < parent.size(); ++i)
        if (m.get(i % w, i / w)) {
            auto [it, fresh] = order.emplace(find(i), int(order.size()));
            id[i] = it->second;
        }
    return id;
}

template <typename Label> Label advance(Label start, int steps) {
    LabelCounter<Label> c{start};
    Label v = start;
    for (int i = 0; i < steps; ++i)
        v = c.next();
    return v;
}

template <typename Label> void compareWithReference(unsigned seed, Label start) {
    std::mt19937 rng(seed);
    const std::pair<unsigned, unsigned> sizes[] = {{0, 0},   {0, 5},   {5, 0},  {1, 1},
                                                   {1, 40},  {40, 1},  {31, 7}, {32, 9},
                                                   {33, 33}, {64, 20}, {77, 41}};
    for (auto [w, h] : sizes)
        for (double density : {0.1, 0.45, 0.6, 1.0}) {
            Mask m = randomMask(w, h, density, rng);
            // Set padding bits must not become pixels.
            if (w % 32 != 0)
                for (unsigned y = 0; y < h; ++y)
                    m.row(y)[m.wordsPerRow() - 1] |= ~m.lastWordMask();
            LabelCounter<Label> counter{start};
            Signal<2, Label> labels(Tuple<2, unsigned>(3u, 3u));
            labelRegions(m, counter, labels);
            ASSERT_EQ(labels.width(), w);
            ASSERT_EQ(labels.height(), h);
            const std::vector<int> id = referenceComponents(m);
            int regions = 0;
            for (int v : id)
                regions = std::max(regions, v + 1);
            for (std::uint32_t i = 0; i < id.size(); ++i) {
                const Label expected = id[i] < 0 ? start : advance(start, id[i] + 1);
                ASSERT_EQ(labels.data()[i], expected)
                    << w << "x" << h << " density " << density << " pixel " << i;
            }
            EXPECT_EQ(counter.value, advance(start, regions));
        }
}

} // namespace

TEST(Labelling, RegionsMatchUnionFindInScanOrder) {
    compareWithReference<unsigned char>(7, 0);
    compareWithReference<unsigned short>(8, 0);
    // Starting near the top makes the labels wrap within one labelling.
    compareWithReference<unsigned char>(9, 250);
    compareWithReference<unsigned short>(10, 65530);
}

TEST(Labelling, CounterWrapsToOne) {
    LabelCounter<unsigned char> small{254};
    EXPECT_EQ(small.next(), 255);
    EXPECT_EQ(small.next(), 1);
    EXPECT_EQ(small.next(), 2);
    LabelCounter<unsigned short> wide{65534};
    EXPECT_EQ(wide.next(), 65535);
    EXPECT_EQ(wide.next(), 1);
    LabelCounter<unsigned char> fresh;
    EXPECT_EQ(fresh.next(), 1);
}

TEST(Labelling, SharedCounterContinuesAcrossLabellings) {
    // Two regions in the mask, three in its inverse (which the background method labels
    // right after the mask): the second labelling goes on from 2 and fills with 2.
    Mask m(Tuple<2, unsigned>(5u, 3u));
    const char* rows[] = {"#.#.#", "#.#.#", "###.#"};
    for (unsigned y = 0; y < 3; ++y)
        for (unsigned x = 0; x < 5; ++x)
            m.set(x, y, rows[y][x] == '#');
    LabelCounter<unsigned char> counter;
    Signal<2, unsigned char> a, b;
    labelRegions(m, counter, a);
    EXPECT_EQ(counter.value, 2);
    const unsigned char expectedA[] = {1, 0, 1, 0, 2, 1, 0, 1, 0, 2, 1, 1, 1, 0, 2};
    EXPECT_TRUE(std::equal(a.data(), a.data() + 15, expectedA));
    m.invert();
    labelRegions(m, counter, b);
    const unsigned char expectedB[] = {2, 3, 2, 4, 2, 2, 3, 2, 4, 2, 2, 2, 2, 4, 2};
    EXPECT_TRUE(std::equal(b.data(), b.data() + 15, expectedB));
    EXPECT_EQ(counter.value, 4);
}

TEST(Labelling, LargeSnakeNeedsNoRecursion) {
    // One region that winds through every row of a big image: a recursive fill would need a
    // call depth of about a quarter million here.
    const unsigned w = 700, h = 700;
    Mask m(Tuple<2, unsigned>(w, h));
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            if (y % 2 == 0 || (y % 4 == 1 ? x == w - 1 : x == 0))
                m.set(x, y);
    LabelCounter<unsigned short> counter;
    Signal<2, unsigned short> labels;
    labelRegions(m, counter, labels);
    EXPECT_EQ(counter.value, 1);
    EXPECT_EQ(labels(0u, 0u), 1);
    EXPECT_EQ(labels(0u, h - 1), 1);
    EXPECT_EQ(labels(w / 2, 1u), 0);
}
