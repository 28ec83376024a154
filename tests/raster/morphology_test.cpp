// Bit-packed cross and square morphology against a plain per-pixel twin on random masks, plus
// the behaviour a caller relies on (border clearing, isolated pixels, padding, aliasing).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "raster/morphology.hpp"

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

// Plain twins: one pixel at a time through get(), which answers false outside the image.
enum class Kind { dilate, erode, square };
Mask reference(const Mask& s, Kind kind) {
    Mask d(s.sizes());
    for (int y = 0; y < int(s.height()); ++y)
        for (int x = 0; x < int(s.width()); ++x) {
            bool v;
            if (kind == Kind::dilate)
                v = s.get(x, y) || s.get(x - 1, y) || s.get(x + 1, y) || s.get(x, y - 1) ||
                    s.get(x, y + 1);
            else if (kind == Kind::erode)
                v = s.get(x, y) && s.get(x - 1, y) && s.get(x + 1, y) && s.get(x, y - 1) &&
                    s.get(x, y + 1);
            else {
                v = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        v = v || s.get(x + dx, y + dy);
            }
            d.set(unsigned(x), unsigned(y), v);
        }
    return d;
}

void apply(Kind kind, const Mask& s, Mask& d) {
    if (kind == Kind::dilate)
        dilate(s, d);
    else if (kind == Kind::erode)
        erode(s, d);
    else
        dilateSquare3(s, d);
}

// Every word, padding included, so that a stray padding bit counts as a difference.
::testing::AssertionResult sameWords(const Mask& a, const Mask& b) {
    if (a.sizes() != b.sizes())
        return ::testing::AssertionFailure() << "sizes differ";
    for (std::uint32_t i = 0; i < a.count(); ++i)
        if (a.data()[i] != b.data()[i])
            return ::testing::AssertionFailure()
                   << "word " << i << ": " << std::hex << a.data()[i] << " vs " << b.data()[i];
    return ::testing::AssertionSuccess();
}

Mask fromRows(const std::vector<const char*>& rows) {
    Mask m(Tuple<2, unsigned>(unsigned(std::strlen(rows[0])), unsigned(rows.size())));
    for (unsigned y = 0; y < rows.size(); ++y)
        for (unsigned x = 0; rows[y][x]; ++x)
            m.set(x, y, rows[y][x] == '#');
    return m;
}

} // namespace

TEST(Morphology, WordParallelEqualsPerPixelOnRandomMasks) {
    std::mt19937 rng(1234);
    const unsigned widths[] = {0, 1, 2, 3, 31, 32, 33, 63, 64, 65, 95, 96, 97, 130};
    const unsigned heights[] = {0, 1, 2, 3, 7, 33};
    const double densities[] = {0.05, 0.5, 0.95};
    int compared = 0;
    for (Kind kind : {Kind::dilate, Kind::erode, Kind::square})
        for (unsigned w : widths)
            for (unsigned h : heights)
                for (double density : densities) {
                    Mask s = randomMask(w, h, density, rng);
                    // Garbage in the source padding must not leak in as neighbours.
                    Mask padded = s;
                    for (unsigned y = 0; y < h && w % 32 != 0; ++y)
                        padded.row(y)[padded.wordsPerRow() - 1] |= ~padded.lastWordMask();
                    // A destination of another size with every bit set must be fully
                    // rewritten.
                    Mask d(Tuple<2, unsigned>(5u, 5u));
                    d.invert();
                    apply(kind, padded, d);
                    ASSERT_TRUE(sameWords(d, reference(s, kind)))
                        << "kind " << int(kind) << " size " << w << "x" << h << " density "
                        << density;
                    ++compared;
                }
    EXPECT_EQ(compared, 3 * 14 * 6 * 3);
}

TEST(Morphology, CrossAndSquareShapes) {
    const Mask dot = fromRows({".....", ".....", "..#..", ".....", "....."});
    Mask d;
    dilate(dot, d);
    EXPECT_TRUE(sameWords(d, fromRows({".....", "..#..", ".###.", "..#..", "....."})));
    // Closing keeps an isolated pixel, opening removes it.
    Mask back;
    erode(d, back);
    EXPECT_TRUE(sameWords(back, dot));
    Mask gone;
    erode(dot, gone);
    EXPECT_EQ(gone.countSetBits(), 0u);

    dilateSquare3(dot, d);
    EXPECT_TRUE(sameWords(d, fromRows({".....", ".###.", ".###.", ".###.", "....."})));

    // A corner pixel dilates only into the image.
    const Mask corner = fromRows({"#..", "...", "..."});
    dilate(corner, d);
    EXPECT_TRUE(sameWords(d, fromRows({"##.", "#..", "..."})));
    dilateSquare3(corner, d);
    EXPECT_TRUE(sameWords(d, fromRows({"##.", "##.", "..."})));
}

TEST(Morphology, ErosionClearsTheBorderOfAFullMask) {
    for (unsigned w : {1u, 2u, 3u, 32u, 33u, 70u}) {
        Mask full(Tuple<2, unsigned>(w, 4u));
        full.invert();
        Mask e;
        erode(full, e);
        for (unsigned y = 0; y < 4; ++y)
            for (unsigned x = 0; x < w; ++x)
                EXPECT_EQ(e.get(x, y), x > 0 && x + 1 < w && y > 0 && y < 3)
                    << w << " " << x << "," << y;
        // Dilating a full mask keeps it full but leaves the padding clear.
        Mask g;
        dilate(full, g);
        EXPECT_EQ(g.countSetBits(), w * 4);
    }
}

TEST(Morphology, SourceAndDestinationMayBeTheSameMask) {
    std::mt19937 rng(99);
    for (Kind kind : {Kind::dilate, Kind::erode, Kind::square}) {
        Mask m = randomMask(45, 9, 0.6, rng);
        const Mask expected = reference(m, kind);
        apply(kind, m, m);
        EXPECT_TRUE(sameWords(m, expected)) << int(kind);
    }
}
