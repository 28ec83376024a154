// Thinning: the word-level passes and whole runs against a per-pixel reading of the peeling
// rule, the iteration limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "strokes/thinning.hpp"

using namespace ZELK;
using Mask = BinarySignal<2, unsigned>;

namespace {

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

// Whole runs against the per-pixel passes repeated over the whole image: random blobs of
// different thickness, so that rows settle after different numbers of iterations, on images of
// several bands, with limits that stop some runs early.
TEST(Thinning, RunsEqualThePerPixelPasses) {
    std::mt19937 random(5);
    for (int repeat = 0; repeat < 12; ++repeat) {
        const unsigned width = 40 + random() % 90, height = 130 + random() % 300;
        Mask in(Tuple<2, unsigned>(width, height)), work, skeleton, plain[2];
        for (unsigned k = 0; k < 30; ++k) {
            const unsigned x0 = random() % width, y0 = random() % height;
            const unsigned w = 1 + random() % 12, h = 1 + random() % (k % 3 ? 6 : 40);
            for (unsigned y = y0; y < std::min(height, y0 + h); ++y)
                for (unsigned x = x0; x < std::min(width, x0 + w); ++x)
                    in.set(x, y);
        }
        const unsigned limit = random() % 8;
        bool settled = false;
        unsigned changing = 0;
        for (const Mask* from = &in; !settled && changing <= limit; from = &plain[1]) {
            bool changed = false;
            for (unsigned pass = 0; pass < 4; ++pass)
                changed |=
                    plainPass(pass == 0 ? *from : plain[(pass + 1) % 2], plain[pass % 2], pass);
            settled = !changed;
            changing += changed;
        }
        ASSERT_EQ(thin(in, work, skeleton, limit), settled) << repeat;
        ASSERT_TRUE(sameImage(skeleton, plain[1])) << repeat;
    }
}

TEST(Thinning, IterationLimit) {
    // A filled 100-pixel square loses at most one layer per side and pass: exactly `needed`
    // changing iterations pass, one fewer fails, and the mask itself is left alone.
    Mask square(Tuple<2, unsigned>(110u, 110u)), work, skeleton;
    for (unsigned i = 0; i < 100 * 100; ++i)
        square.set(5 + i % 100, 5 + i / 100);
    unsigned needed = 20;
    while (needed < 200 && !thin(square, work, skeleton, needed))
        ++needed;
    EXPECT_GT(needed, 20u);
    EXPECT_LT(needed, 60u);
    // What is left lies inside the square and is no more than its two diagonals (199 pixels).
    EXPECT_GT(skeleton.countSetBits(), 0u);
    EXPECT_LE(skeleton.countSetBits(), 199u);
    EXPECT_FALSE(skeleton.get(4, 4) || skeleton.get(105, 105));
    EXPECT_FALSE(thin(square, work, skeleton, needed - 1));
    EXPECT_TRUE(square.get(50, 50));
}
