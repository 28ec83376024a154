// Rendering demos: the perspective corners against tests/data/demo/tilted_sheet_corners.py,
// exact stroke edges, the reference SVG, and the photographic degradations on
// pixels whose results can be worked out by hand.
#include "demo/render.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "demo/degradations.hpp"

using ZELK::DemoDrawing;
using ZELK::IncrementalBuffer;
using ZELK::Point;

namespace {

// Renders a demo request as the command line gives it: figure name, then overrides.
IncrementalBuffer render(const std::string& request) {
    ZELK::Parameters p = ZELK::defaultDemoParameters();
    const ZELK::DemoRequest r = ZELK::DemoRequest::parse(request);
    std::string unknown;
    EXPECT_TRUE(ZELK::applyDemoOverrides(p, r, unknown)) << unknown;
    ZELK::applyDemoPresets(p);
    DemoDrawing drawing;
    EXPECT_TRUE(ZELK::findDemoFigure(r.name, drawing));
    IncrementalBuffer buffer;
    ZELK::Migration::ImageMetadata meta;
    ZELK::renderDemo(drawing, ZELK::DemoSettings::from(p), buffer, meta);
    return buffer;
}

} // namespace

TEST(DemoRender, PerspectiveCornersStrokeEdgesAndTheReferenceSVG) {
    // From tests/data/demo/tilted_sheet_corners.py (numpy, double precision).
    const double corners[4][2] = {{23.523324, 64.269220},
                                  {225.265019, 26.872526},
                                  {194.394019, 229.908049},
                                  {41.328450, 216.441024}};
    const auto t = ZELK::drawingToPixel(true, true, 256);
    for (unsigned i = 0; i < 4; ++i) {
        // The sheet reaches a quarter of the figure's size beyond it, corners counter-clockwise.
        const Point<2, float> p =
            t->apply(Point<2, float>(i == 1 || i == 2 ? 1.25f : -0.25f, i < 2 ? -0.25f : 1.25f));
        EXPECT_NEAR(p.x(), corners[i][0], 2e-3) << "corner " << i;
        EXPECT_NEAR(p.y(), corners[i][1], 2e-3) << "corner " << i;
    }

    const IncrementalBuffer plus = render("plus");
    auto at = [&](std::uint32_t x, std::uint32_t y) { return plus.data()[3 * (y * 256 + x)]; };
    // The horizontal stroke starts at x = 21.333336 and spans y = 125.5 to 130.5. Pixel 21 is
    // covered 0.666664 (169.9993), its corner pixel 0.333332 (84.99966); where the strokes
    // cross, two half-covered pixels combine to 0.75 (191.25).
    const std::uint8_t expected[][3] = {{20, 128, 0},  {21, 128, 169},  {22, 128, 255},
                                        {100, 124, 0}, {100, 125, 127}, {100, 127, 255},
                                        {100, 131, 0}, {21, 125, 84},   {125, 125, 191}};
    for (const auto& e : expected)
        EXPECT_EQ(at(e[0], e[1]), e[2]) << int(e[0]) << "," << int(e[1]);
    for (std::uint32_t i = 0; i < 256 * 256; ++i)
        ASSERT_EQ(at(i % 256, i / 256), at(i / 256, i % 256)) << "symmetric about the diagonal";

    DemoDrawing drawing;
    ZELK::findDemoFigure("L", drawing);
    IncrementalBuffer bytes;
    ZELK::BufferStream out(bytes);
    ZELK::writeDemoSVG(drawing, 100, out);
    // The L starts at its top (y = 1), which the SVG puts at the bottom of its y-down frame.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
              "<svg version=\"1.1\" viewBox=\"0 0 100 100\" xmlns=\"http://www.w3.org/2000/svg\">"
              "<g stroke=\"black\" stroke-width=\"2\">"
              "<line x1=\"10\" x2=\"10\" y1=\"90\" y2=\"10\" />"
              "<line x1=\"10\" x2=\"90\" y1=\"10\" y2=\"10\" />"
              "</g></svg>");
}

TEST(DemoDegradations, ResultsWorkedOutByHand) {
    std::vector<std::uint8_t> bytes = {0, 127, 128, 200, 255, 100};
    ZELK::RgbImage row{2, 1, bytes.data()}, pixel{1, 1, bytes.data()};
    // Contrast k = 127: ((v - 127) * 127 >> 8) + 127 with an arithmetic shift; a negative
    // contrast overshoots and is clamped, not wrapped.
    ZELK::applyContrast(row, 0.5f);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{63, 127, 127, 163, 190, 113}));
    ZELK::applyContrast(row, -3.0f);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{255, 127, 127, 19, 0, 168}));

    // The generator seeded with 1984 starts 1294516163, 3565247340, 3973008141: with noise 0.5
    // (range 127) the offsets are r mod 127 - 63 = +20, +26, +22, clamped at 255.
    ZELK::addNoise(pixel, 0.5f);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{255, 153, 149, 19, 0, 168}));

    // Gradient 0.5: factor 0.5 + 0.5 max(x, y) / 2 on this 2 x 1 picture.
    ZELK::applyGradient(row, 0.5f);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{127, 76, 74, 14, 0, 126}));

    // Lens on a 16 x 16 ramp of 10 x: centre (8, 8), R = 8; pixel (13, 8) samples x = 8 + 5 (1 +
    // 0.5 (5 / 8 - 1)) = 12.0625 (120.625), corner (15, 0) samples outside the picture.
    std::vector<std::uint8_t> ramp(16 * 16 * 3);
    for (std::uint32_t i = 0; i < ramp.size(); ++i)
        ramp[i] = std::uint8_t(10 * (i / 3 % 16));
    ZELK::RgbImage lens{16, 16, ramp.data()};
    ZELK::distortLens(lens, 0.5f);
    EXPECT_EQ(ramp[3 * (8 * 16 + 13)], 120);
    EXPECT_EQ(ramp[3 * 15], 0);
}
