// Thinning: the word-level passes against a per-pixel reading of the peeling rule, the
// iteration limit, and the shape of the skeleton.
#include <gtest/gtest.h>

#include <random>

#include "strokes/thinning.hpp"

using namespace ZELK;
using Mask = BinarySignal<2, unsigned>;

namespace {

void fillRect(Mask& m, unsigned x0, unsigned y0, unsigned w, unsigned h) {
    for (unsigned y = y0; y < y0 + h; ++y)
        for (unsigned x = x0; x < x0 + w; ++x)
            m.set(x, y);
}

// The rule read pixel by pixel: pattern (a, b) sits at image offset (a, b), (b, -a), (-a, -b)
// or (-b, a) in passes 0 to 3.
bool plainPass(const Mask& in, Mask& out, unsigned pass) {
    out = Mask(in.sizes());
    bool deletedAny = false;
    for (int y = 0; y < int(in.height()); ++y)
        for (int x = 0; x < int(in.width()); ++x) {
            auto P = [&](int a, int b) {
                const int turns[4][2] = {{a, b}, {b, -a}, {-a, -b}, {-b, a}};
                return in.get(x + turns[pass][0], y + turns[pass][1]);
            };
            if (!in.get(x, y))
                continue;
            const bool remove = !P(0, 1) && P(0, -1) && !P(1, 1) &&
                                ((P(-1, -1) && P(1, -1)) || (P(-1, 0) && !P(1, 0)));
            deletedAny = deletedAny || remove;
            out.set(unsigned(x), unsigned(y), !remove);
        }
    return deletedAny;
}

bool sameImage(const Mask& a, const Mask& b) {
    for (unsigned y = 0; y < a.height(); ++y)
        for (unsigned x = 0; x < a.width(); ++x)
            if (a.get(x, y) != b.get(x, y))
                return false;
    return a.sizes() == b.sizes();
}

} // namespace

TEST(Thinning, PassesEqualThePerPixelRule) {
    std::mt19937 random(21);
    for (unsigned width : {1u, 2u, 31u, 32u, 33u, 63u, 64u, 65u, 100u})
        for (unsigned height : {1u, 2u, 7u})
            for (unsigned density : {10u, 50u, 85u})
                for (unsigned pass = 0; pass < 4; ++pass) {
                    SCOPED_TRACE(::testing::Message()
                                 << width << "x" << height << " pass " << pass);
                    Mask in(Tuple<2, unsigned>(width, height)), fast, plain;
                    for (unsigned y = 0; y < height; ++y) {
                        for (unsigned x = 0; x < width; ++x)
                            in.set(x, y, random() % 100 < density);
                        in.row(y)[in.wordsPerRow() - 1] |= ~in.lastWordMask(); // stray padding
                    }
                    ASSERT_EQ(thinningPass(in, fast, pass), plainPass(in, plain, pass));
                    ASSERT_TRUE(sameImage(fast, plain));
                    for (unsigned y = 0; y < height; ++y)
                        ASSERT_EQ(fast.row(y)[fast.wordsPerRow() - 1] & ~fast.lastWordMask(), 0u);
                }
}

TEST(Thinning, IterationLimitAndSkeletonShape) {
    // A filled 100-pixel square loses at most one layer per side and pass: exactly `needed`
    // changing iterations pass, one fewer fails, and the mask itself is left alone.
    Mask square(Tuple<2, unsigned>(110u, 110u)), work, skeleton;
    fillRect(square, 5, 5, 100, 100);
    unsigned needed = 20;
    while (!thin(square, work, skeleton, needed))
        ++needed;
    EXPECT_GT(needed, 20u);
    EXPECT_LT(needed, 60u);
    EXPECT_FALSE(thin(square, work, skeleton, needed - 1));
    EXPECT_TRUE(square.get(50, 50));

    // An L and a ring of several thicknesses: the skeleton stays inside the stroke, has no 2 x 2
    // block, and every stroke pixel has a skeleton pixel within about half the thickness.
    for (unsigned thickness = 1; thickness <= 7; ++thickness) {
        Mask shape(Tuple<2, unsigned>(80u, 70u));
        fillRect(shape, 5, 5, 60, thickness);
        fillRect(shape, 5, 5, thickness, 50);
        fillRect(shape, 30, 25, 40, thickness);
        fillRect(shape, 30, 60 - thickness, 40, thickness);
        fillRect(shape, 30, 25, thickness, 35);
        fillRect(shape, 70 - thickness, 25, thickness, 35);
        ASSERT_TRUE(thin(shape, work, skeleton, 20)) << thickness;
        const int reach = int(thickness / 2) + 1;
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 80; ++x) {
                ASSERT_FALSE(skeleton.get(x, y) && !shape.get(x, y)) << x << "," << y;
                ASSERT_FALSE(skeleton.get(x, y) && skeleton.get(x + 1, y) &&
                             skeleton.get(x, y + 1) && skeleton.get(x + 1, y + 1));
                bool covered = !shape.get(x, y);
                for (int dy = -reach; dy <= reach && !covered; ++dy)
                    for (int dx = -reach; dx <= reach && !covered; ++dx)
                        covered = skeleton.get(x + dx, y + dy);
                ASSERT_TRUE(covered) << "(" << x << ", " << y << ") thickness " << thickness;
            }
    }
}
