// Centring on rendered strokes of known centre: the profile centre at sub-pixel offsets and
// several widths and angles, and whole polylines moved from the traced frame onto the stroke.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "drawing_support.hpp"
#include "tracing/centring.hpp"

namespace {

using PenvexTest::P2;

// A straight stroke through (cx, cy) at the given angle: dark ink on light paper with a
// one-pixel linear edge, so that each pixel's darkness is its coverage.
ZELK::Signal<2, unsigned char> stroke(double cx, double cy, double degrees, double width) {
    ZELK::Signal<2, unsigned char> image;
    image.resize({64, 64});
    const double a = degrees * std::numbers::pi / 180.0;
    for (unsigned y = 0; y < 64; ++y)
        for (unsigned x = 0; x < 64; ++x) {
            const double d = std::fabs(-(x - cx) * std::sin(a) + (y - cy) * std::cos(a));
            const double cover = std::clamp(width / 2 + 0.5 - d, 0.0, 1.0);
            image(x, y) = static_cast<unsigned char>(std::lround(230.0 - 190.0 * cover));
        }
    return image;
}

TEST(Centring, ProfileFindsTheStrokeCentreWithinATenthOfAPixel) {
    for (double width : {1.5, 2.0, 5.0, 12.0})
        for (double sub : {0.0, 0.25, 0.5, 0.75})
            for (double degrees : {0.0, 30.0, 90.0}) {
                const double cx = 31.0 + sub, cy = 32.0 - sub;
                const ZELK::Signal<2, unsigned char> image = stroke(cx, cy, degrees, width);
                const double a = degrees * std::numbers::pi / 180.0;
                const double nx = -std::sin(a), ny = std::cos(a);
                const double miss = 0.4 * width; // where the tracing put the point
                const double found = ZELK::strokeCentreOffset(image, cx + nx * miss, cy + ny * miss,
                                                              nx, ny, width + 1.0);
                EXPECT_NEAR(found, -miss, 0.1) << width << " " << sub << " " << degrees;
                // Chalk on a board: the same stroke lighter than its surround.
                ZELK::Signal<2, unsigned char> chalk = image;
                for (std::uint32_t i = 0; i < chalk.count(); ++i)
                    chalk.data()[i] = static_cast<unsigned char>(255 - chalk.data()[i]);
                EXPECT_NEAR(ZELK::strokeCentreOffset(chalk, cx + nx * miss, cy + ny * miss, nx, ny,
                                                     width + 1.0, true),
                            -miss, 0.1);
            }
    // Paper alone has no stroke to centre on.
    ZELK::Signal<2, unsigned char> blank;
    blank.resize({16, 16});
    blank.fill(200);
    EXPECT_TRUE(std::isnan(ZELK::strokeCentreOffset(blank, 8, 8, 0, 1, 4)));
}

TEST(Centring, PolylinesMoveOntoTheStrokeAndKeepTheirJunctions) {
    // A 4-pixel stroke at 30 degrees through (32.5, 30.5), dark on light and light on dark; the
    // lines were traced in a frame of half the picture's size (centre to centre), one pixel
    // beside the stroke.
    for (bool light : {false, true}) {
        const double a = 30.0 * std::numbers::pi / 180.0;
        ZELK::Signal<2, unsigned char> image = stroke(32.5, 30.5, 30.0, 4.0);
        if (light)
            for (std::uint32_t i = 0; i < image.count(); ++i)
                image.data()[i] = static_cast<unsigned char>(255 - image.data()[i]);
        const ZELK::PictureMapping half{0.5f, -0.25f};
        const auto traced = [&](double along) {
            const double x = 32.5 + along * std::cos(a) - std::sin(a) * -1.0;
            const double y = 30.5 + along * std::sin(a) + std::cos(a) * -1.0;
            return P2(float(x * half.scale + half.offset), float(y * half.scale + half.offset));
        };
        // Two polylines meeting at a shared vertex at along = 10: the junction stays put.
        ZELK::PolylineSet set = PenvexTest::makeSet(
            {traced(-20), traced(10), traced(-5), traced(22)}, {{0, 2, 1}, {1, 3}});
        const P2 junction = set.vertices()[1].position();
        ZELK::centrePolylines(set, image, half, 4.0f);

        bool junctionKept = false;
        for (const ZELK::Polyline& polyline : set.polylines())
            for (std::uint32_t v : polyline) {
                const P2 p = set.vertices()[v].position();
                if (p == junction) {
                    junctionKept = true;
                    continue;
                }
                const double x = (p.x() - half.offset) / half.scale - 32.5;
                const double y = (p.y() - half.offset) / half.scale - 30.5;
                EXPECT_NEAR(-x * std::sin(a) + y * std::cos(a), 0.0, 0.1) << x << " " << y;
            }
        EXPECT_TRUE(junctionKept);
        EXPECT_EQ(set.polylines().size(), 2u);
    }
}

} // namespace
