// The automatic sheet finder on reduced copies of sample photos and on made-up pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "background/outline.hpp"
#include "support/fixtures.hpp"

namespace ZELK {
namespace {

using Image = Signal<2, unsigned char>;

// Paper of the given brightness filling the quadrilateral (y up) on a desk of another, with a
// few strokes on the paper.
Image drawnSheet(const Point<2, float> (&q)[4], unsigned char paper, unsigned char desk) {
    Image image(Tuple<2, unsigned>(400u, 300u));
    for (unsigned y = 0; y < 300; ++y)
        for (unsigned x = 0; x < 400; ++x) {
            bool inside = true;
            for (unsigned k = 0; k < 4; ++k) {
                const auto& a = q[k];
                const auto& b = q[(k + 1) % 4];
                inside = inside && (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]) >= 0;
            }
            const bool stroke = inside && (x % 60 == 30 || y == 150);
            image(x, y) = stroke   ? 30
                          : inside ? paper
                                   : static_cast<unsigned char>(desk + (x * 7 + y * 3) % 9);
        }
    return image;
}

// Every corner within the tolerance of its true place, in order.
void expectCorners(const Point<2, int> (&found)[4], const Point<2, float> (&truth)[4], float d) {
    for (unsigned k = 0; k < 4; ++k)
        EXPECT_TRUE(std::fabs(found[k][0] - truth[k][0]) <= d &&
                    std::fabs(found[k][1] - truth[k][1]) <= d)
            << "corner " << k << " at " << found[k][0] << ", " << found[k][1];
}

TEST(AutoSheet, FindsSheetsOfSamplePhotosWithinOnePercentOfTheDiagonal) {
    // True corners of each photo carried into the 400 x 300 copy as (c + 0.5) s - 0.5, y up,
    // counter-clockwise from the bottom left (tests/data/README.md).
    struct Case {
        const char* fixture;
        Point<2, float> corners[4];
    };
    const Case cases[] = {
        {"background/sheet-400.ppm",
         {{45.5f, 36.9f}, {365.8f, 38.7f}, {343.4f, 267.5f}, {70.8f, 256.6f}}},
        {"background/desk-front-400.png",
         {{33.4f, 21.4f}, {382.7f, 41.3f}, {330.1f, 278.1f}, {57.5f, 272.2f}}},
        {"background/sticky-400.png",
         {{97.9f, 31.1f}, {301.5f, 49.8f}, {278.1f, 254.2f}, {91.4f, 235.1f}}},
        {"background/whiteboard-framed-400.png",
         {{29.0f, 25.2f}, {355.1f, 19.2f}, {359.4f, 278.7f}, {46.0f, 283.6f}}},
    };
    const float onePercent = 0.01f * std::hypot(400.0f, 300.0f);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        Point<2, int> found[4];
        ASSERT_TRUE(detectOutlineAuto(PenvexTest::greyFixture(c.fixture), VS::Context(), found));
        expectCorners(found, c.corners, onePercent);
    }
    // Pages that fill the picture are their own sheet, shadow, vignette and hatching included.
    for (const char* fixture :
         {"background/no-sheet-scan-400.png", "background/no-sheet-hatching-400.png",
          "background/no-sheet-desk.ppm", "background/no-sheet-gradient.ppm"}) {
        SCOPED_TRACE(fixture);
        Point<2, int> found[4];
        EXPECT_FALSE(detectOutlineAuto(PenvexTest::greyFixture(fixture), VS::Context(), found));
    }
}

TEST(AutoSheet, JudgesMadeUpQuadrilaterals) {
    // A bright sheet on a dark desk and a dark sheet on a bright one are found alike, corners
    // from the bottom left; a sheet cut by the picture's edge, one too small to be a sheet and
    // one without contrast to its surround are not.
    const Point<2, float> tilted[4] = {{60, 40}, {330, 20}, {370, 260}, {40, 280}};
    Point<2, int> found[4];
    ASSERT_TRUE(detectOutlineAuto(drawnSheet(tilted, 230, 60), VS::Context(), found));
    expectCorners(found, tilted, 2.0f);
    ASSERT_TRUE(detectOutlineAuto(drawnSheet(tilted, 70, 200), VS::Context(), found));
    expectCorners(found, tilted, 2.0f);

    const Point<2, float> cut[4] = {{-50, 40}, {330, 20}, {370, 260}, {-50, 280}};
    const Point<2, float> small[4] = {{190, 140}, {230, 140}, {230, 170}, {190, 170}};
    EXPECT_FALSE(detectOutlineAuto(drawnSheet(cut, 230, 60), VS::Context(), found));
    EXPECT_FALSE(detectOutlineAuto(drawnSheet(small, 230, 60), VS::Context(), found));
    EXPECT_FALSE(detectOutlineAuto(drawnSheet(tilted, 64, 60), VS::Context(), found));

    // The same quadrilateral drawn as a 6-pixel line on plain paper is a drawing, not a sheet.
    Image outline(Tuple<2, unsigned>(400u, 300u));
    for (unsigned y = 0; y < 300; ++y)
        for (unsigned x = 0; x < 400; ++x) {
            float nearest = 1e9f;
            for (unsigned k = 0; k < 4; ++k) {
                const auto &a = tilted[k], &b = tilted[(k + 1) % 4];
                const float dx = b[0] - a[0], dy = b[1] - a[1];
                const float t = std::clamp(
                    ((x - a[0]) * dx + (y - a[1]) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
                nearest = std::min(nearest, std::hypot(x - a[0] - t * dx, y - a[1] - t * dy));
            }
            outline(x, y) = nearest < 3.0f ? 30 : 230;
        }
    EXPECT_FALSE(detectOutlineAuto(outline, VS::Context(), found));
}

} // namespace
} // namespace ZELK
