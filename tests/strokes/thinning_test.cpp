// Thinning: the word-level passes against a per-pixel reading of the peeling rule, the
// orientation of the first pass, the iteration limit, and the shape of the skeleton.
#include <gtest/gtest.h>

#include <queue>
#include <random>
#include <vector>

#include "strokes/thinning.hpp"

using namespace ZELK;
using Mask = BinarySignal<2, unsigned>;

namespace {

Mask blank(unsigned width, unsigned height) {
    return Mask(Tuple<2, unsigned>(width, height));
}

void fillRect(Mask& m, unsigned x0, unsigned y0, unsigned w, unsigned h) {
    for (unsigned y = y0; y < y0 + h; ++y)
        for (unsigned x = x0; x < x0 + w; ++x)
            m.set(x, y);
}

bool padded(const Mask& m, unsigned x, unsigned y) {
    return x < m.width() && y < m.height() && m.get(x, y);
}

// The rule read pixel by pixel: pattern (a, b) sits at image offset (a, b), (b, -a), (-a, -b)
// or (-b, a) in passes 0 to 3.
bool plainPass(const Mask& in, Mask& out, unsigned pass) {
    out = blank(in.width(), in.height());
    bool deletedAny = false;
    auto P = [&](int x, int y, int a, int b) {
        int dx = a, dy = b;
        if (pass == 1)
            dx = b, dy = -a;
        else if (pass == 2)
            dx = -a, dy = -b;
        else if (pass == 3)
            dx = -b, dy = a;
        const long px = long(x) + dx, py = long(y) + dy;
        return px >= 0 && py >= 0 && padded(in, unsigned(px), unsigned(py));
    };
    for (int y = 0; y < int(in.height()); ++y)
        for (int x = 0; x < int(in.width()); ++x) {
            if (!in.get(x, y))
                continue;
            const bool remove =
                !P(x, y, 0, 1) && P(x, y, 0, -1) && !P(x, y, 1, 1) &&
                ((P(x, y, -1, -1) && P(x, y, 1, -1)) || (P(x, y, -1, 0) && !P(x, y, 1, 0)));
            if (remove)
                deletedAny = true;
            else
                out.set(unsigned(x), unsigned(y));
        }
    return deletedAny;
}

bool sameImage(const Mask& a, const Mask& b) {
    if (a.sizes() != b.sizes())
        return false;
    for (unsigned y = 0; y < a.height(); ++y)
        for (unsigned x = 0; x < a.width(); ++x)
            if (a.get(x, y) != b.get(x, y))
                return false;
    return true;
}

Mask randomMask(std::mt19937& random, unsigned width, unsigned height, unsigned density) {
    Mask m = blank(width, height);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            if (random() % 100 < density)
                m.set(x, y);
    // Stray padding bits must not be read as pixels.
    for (unsigned y = 0; y < height; ++y)
        m.row(y)[m.wordsPerRow() - 1] |= ~m.lastWordMask();
    return m;
}

unsigned components8(const Mask& m) {
    std::vector<bool> seen(std::size_t(m.width()) * m.height(), false);
    unsigned count = 0;
    for (unsigned y = 0; y < m.height(); ++y)
        for (unsigned x = 0; x < m.width(); ++x) {
            if (!m.get(x, y) || seen[y * m.width() + x])
                continue;
            ++count;
            std::queue<std::pair<int, int>> open;
            open.push({int(x), int(y)});
            seen[y * m.width() + x] = true;
            while (!open.empty()) {
                auto [cx, cy] = open.front();
                open.pop();
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = cx + dx, ny = cy + dy;
                        if (nx < 0 || ny < 0 || !padded(m, nx, ny) || seen[ny * m.width() + nx])
                            continue;
                        seen[ny * m.width() + nx] = true;
                        open.push({nx, ny});
                    }
            }
        }
    return count;
}

} // namespace

TEST(Thinning, PassesEqualThePerPixelRule) {
    std::mt19937 random(21);
    for (unsigned width : {1u, 2u, 31u, 32u, 33u, 63u, 64u, 65u, 100u})
        for (unsigned height : {1u, 2u, 7u})
            for (unsigned density : {10u, 50u, 85u})
                for (unsigned pass = 0; pass < 4; ++pass) {
                    const Mask in = randomMask(random, width, height, density);
                    Mask fast, plain;
                    const bool fastDeleted = thinningPass(in, fast, pass);
                    const bool plainDeleted = plainPass(in, plain, pass);
                    ASSERT_EQ(fastDeleted, plainDeleted) << width << "x" << height;
                    ASSERT_TRUE(sameImage(fast, plain)) << width << "x" << height << " " << pass;
                    for (unsigned y = 0; y < height; ++y)
                        ASSERT_EQ(fast.row(y)[fast.wordsPerRow() - 1] & ~fast.lastWordMask(), 0u);
                }
    Mask empty, out;
    EXPECT_FALSE(thinningPass(empty, out, 0));
    EXPECT_EQ(out.width(), 0u);
}

TEST(Thinning, FirstPassPeelsTheSideWhoseLowerNeighbourIsClear) {
    // A bar of rows 1..3: the first pass removes row 3 (rows grow downward in the pattern)
    // except its leftmost pixel, which has neither the upper-left neighbour nor a left one.
    Mask bar = blank(9, 5);
    fillRect(bar, 2, 1, 5, 3);
    Mask out;
    EXPECT_TRUE(thinningPass(bar, out, 0));
    for (unsigned x = 2; x < 7; ++x) {
        EXPECT_TRUE(out.get(x, 1));
        EXPECT_TRUE(out.get(x, 2));
        EXPECT_EQ(out.get(x, 3), x == 2) << x;
    }
    // The opposite pass peels row 1 instead, keeping its rightmost pixel.
    EXPECT_TRUE(thinningPass(bar, out, 2));
    for (unsigned x = 2; x < 7; ++x) {
        EXPECT_EQ(out.get(x, 1), x == 6) << x;
        EXPECT_TRUE(out.get(x, 3));
    }
}

TEST(Thinning, IterationLimit) {
    // A one-pixel line is stable at once, even when no changing iteration is allowed.
    Mask line = blank(40, 9);
    fillRect(line, 3, 4, 30, 1);
    Mask work, skeleton;
    EXPECT_TRUE(thin(line, work, skeleton, 0));
    EXPECT_TRUE(sameImage(skeleton, line));

    // A filled 100-pixel square loses at most one layer per side and pass.
    Mask square = blank(110, 110);
    fillRect(square, 5, 5, 100, 100);
    EXPECT_FALSE(thin(square, work, skeleton, 20));
    unsigned needed = 20;
    while (!thin(square, work, skeleton, needed))
        ++needed;
    EXPECT_GT(needed, 20u);
    EXPECT_LT(needed, 60u);
    EXPECT_EQ(components8(skeleton), 1u);

    // Exactly at the limit: needed changing iterations pass, one fewer fails.
    EXPECT_FALSE(thin(square, work, skeleton, needed - 1));
    EXPECT_TRUE(thin(square, work, skeleton, needed));
    // The mask itself is left alone.
    EXPECT_TRUE(square.get(50, 50));
}

TEST(Thinning, ThickStrokesBecomeOnePixelLinesAlongTheirMiddle) {
    // Bars, an L and a ring of several thicknesses: the skeleton stays inside the stroke, has
    // no 2 x 2 block left, and every stroke pixel has a skeleton pixel within about half the
    // thickness. (The rule does not promise connectivity: at the corners of thicker strokes
    // it can leave a gap of a pixel or two, which tracing bridges later.)
    for (unsigned thickness = 1; thickness <= 7; ++thickness) {
        Mask shape = blank(80, 70);
        fillRect(shape, 5, 5, 60, thickness);   // horizontal bar
        fillRect(shape, 5, 5, thickness, 50);   // joined vertical bar: an L
        fillRect(shape, 30, 25, 40, thickness); // ring
        fillRect(shape, 30, 60 - thickness, 40, thickness);
        fillRect(shape, 30, 25, thickness, 35);
        fillRect(shape, 70 - thickness, 25, thickness, 35);
        Mask work, skeleton;
        ASSERT_TRUE(thin(shape, work, skeleton, 20)) << thickness;
        unsigned blocks = 0;
        const int reach = int(thickness / 2) + 1;
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 80; ++x) {
                if (skeleton.get(x, y)) {
                    EXPECT_TRUE(shape.get(x, y));
                }
                if (skeleton.get(x, y) && skeleton.get(x + 1, y) && skeleton.get(x, y + 1) &&
                    skeleton.get(x + 1, y + 1))
                    ++blocks;
                if (!shape.get(x, y))
                    continue;
                bool covered = false;
                for (int dy = -reach; dy <= reach && !covered; ++dy)
                    for (int dx = -reach; dx <= reach && !covered; ++dx)
                        covered = skeleton.get(x + dx, y + dy);
                EXPECT_TRUE(covered) << "(" << x << ", " << y << ") thickness " << thickness;
            }
        EXPECT_EQ(blocks, 0u) << thickness;
    }
}
