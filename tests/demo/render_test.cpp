// Rendering whole demos: the drawing-to-pixel mapping (perspective corners checked against
// tests/data/demo/tilted_sheet_corners.py), exact stroke edges, what a picture may contain,
// reproducibility, and the reference SVG.
#include "demo/render.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "core/exceptions.hpp"

using ZELK::DemoDrawing;
using ZELK::DemoSettings;
using ZELK::IncrementalBuffer;
using ZELK::Parameters;
using ZELK::Point;
using ZELK::Migration::ImageMetadata;

namespace {

struct Rendered {
    IncrementalBuffer buffer;
    ImageMetadata meta;
    DemoSettings settings;
    const std::uint8_t* at(std::uint32_t x, std::uint32_t y) const {
        return buffer.data() + 3 * (std::size_t(y) * meta.width + x);
    }
};

Rendered render(const std::string& name,
                std::initializer_list<std::pair<const char*, const char*>> overrides = {}) {
    Parameters p = ZELK::defaultDemoParameters();
    for (const auto& [key, value] : overrides)
        p.set(key, value);
    ZELK::applyDemoPresets(p);
    Rendered r;
    r.settings = DemoSettings::from(p);
    DemoDrawing drawing;
    EXPECT_TRUE(ZELK::findDemoFigure(name, drawing));
    ZELK::renderDemo(drawing, r.settings, r.buffer, r.meta);
    return r;
}

std::string svgOf(const std::string& name, std::uint32_t size) {
    DemoDrawing drawing;
    EXPECT_TRUE(ZELK::findDemoFigure(name, drawing));
    IncrementalBuffer bytes;
    ZELK::BufferStream out(bytes);
    ZELK::writeDemoSVG(drawing, size, out);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::size_t count(const std::string& text, const std::string& piece) {
    std::size_t n = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(DemoRender, PerspectiveMatchesTheIndependentComputation) {
    // From tests/data/demo/tilted_sheet_corners.py (numpy, double precision).
    const double matrix[3][3] = {{0.984807753, 0.030153690, 0.171010072},
                                 {0.000000000, 0.984807753, -0.173648178},
                                 {-0.173648178, 0.171010072, 0.969846310}};
    const auto m = ZELK::demoPerspectiveMatrix();
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned c = 0; c < 3; ++c)
            EXPECT_NEAR(m(r, c), matrix[r][c], 1e-6) << r << "," << c;

    const double corners[4][2] = {{23.523324, 64.269220},
                                  {225.265019, 26.872526},
                                  {194.394019, 229.908049},
                                  {41.328450, 216.441024}};
    const auto t = ZELK::drawingToPixel(true, true, 256);
    const Point<2, float> sheet[4] = {Point<2, float>(-0.25f, -0.25f),
                                      Point<2, float>(1.25f, -0.25f), Point<2, float>(1.25f, 1.25f),
                                      Point<2, float>(-0.25f, 1.25f)};
    for (unsigned i = 0; i < 4; ++i) {
        const Point<2, float> p = t->apply(sheet[i]);
        EXPECT_NEAR(p.x(), corners[i][0], 2e-3) << "corner " << i;
        EXPECT_NEAR(p.y(), corners[i][1], 2e-3) << "corner " << i;
    }

    // The rendered sheet: grey inside, the clear colour well outside its corners.
    const Rendered r = render("diagonal", {{"background", "true"}, {"perspective", "true"}});
    EXPECT_EQ(r.at(60, 180)[0], 128);
    EXPECT_EQ(r.at(200, 60)[1], 128);
    EXPECT_EQ(r.at(10, 10)[2], 0);
    EXPECT_EQ(r.at(240, 20)[0], 0);
    EXPECT_EQ(r.at(20, 240)[0], 0);
    EXPECT_EQ(r.at(210, 240)[0], 0);
}

TEST(DemoRender, FigureSpansTheMiddleOfThePicture) {
    const auto plain = ZELK::drawingToPixel(false, false, 240);
    const Point<2, float> low = plain->apply(Point<2, float>(0, 0));
    const Point<2, float> high = plain->apply(Point<2, float>(1, 1));
    EXPECT_NEAR(low.x(), 240.0 / 12, 1e-4);
    EXPECT_NEAR(low.y(), 240.0 / 12, 1e-4);
    EXPECT_NEAR(high.x(), 11 * 240.0 / 12, 1e-4);
    EXPECT_NEAR(high.y(), 11 * 240.0 / 12, 1e-4);

    const auto sheet = ZELK::drawingToPixel(true, false, 256);
    EXPECT_EQ(sheet->apply(Point<2, float>(0, 0)), (Point<2, float>(64, 64)));
    EXPECT_EQ(sheet->apply(Point<2, float>(1, 1)), (Point<2, float>(192, 192)));
    // The sheet reaches a quarter of the figure's size beyond it.
    EXPECT_EQ(sheet->apply(Point<2, float>(-0.25f, 1.25f)), (Point<2, float>(32, 224)));
}

TEST(DemoRender, PlusHasExactEdgeCoverages) {
    const Rendered r = render("plus");
    EXPECT_EQ(r.meta.width, 256u);
    // The horizontal stroke starts at x = 21.333336 and spans y = 125.5 to 130.5 (buffer
    // lines, y up). Pixel 21 is covered 22 - 21.333336 = 0.666664: 255 * 0.666664 = 169.9993.
    EXPECT_EQ(r.at(20, 128)[0], 0);
    EXPECT_EQ(r.at(21, 128)[0], 169);
    EXPECT_EQ(r.at(22, 128)[0], 255);
    EXPECT_EQ(r.at(100, 124)[0], 0);
    EXPECT_EQ(r.at(100, 125)[0], 127);
    for (std::uint32_t y = 126; y < 130; ++y)
        EXPECT_EQ(r.at(100, y)[1], 255) << y;
    EXPECT_EQ(r.at(100, 130)[2], 127);
    EXPECT_EQ(r.at(100, 131)[2], 0);
    // The stroke's corner: 0.666664 * 0.5 = 0.333332, 84.99966.
    EXPECT_EQ(r.at(21, 125)[0], 84);
    // Where the strokes cross, two half-covered pixels combine to 0.75 (191.25) and a pixel
    // inside either stroke is full.
    EXPECT_EQ(r.at(125, 125)[0], 191);
    EXPECT_EQ(r.at(126, 125)[0], 255);
    EXPECT_EQ(r.at(125, 126)[0], 255);
    // The picture is symmetric about the diagonal: the vertical stroke has the same edges.
    for (std::uint32_t y = 0; y < 256; ++y)
        for (std::uint32_t x = 0; x < 256; ++x)
            ASSERT_EQ(r.at(x, y)[0], r.at(y, x)[0]) << x << "," << y;
}

TEST(DemoRender, EveryFigureRendersWithItsReferenceDrawing) {
    for (const std::string& name : ZELK::demoFigureNames()) {
        const Rendered r = render(name, {{"size", "64"}});
        EXPECT_EQ(r.meta.width, 64u);
        EXPECT_EQ(r.meta.height, 64u);
        EXPECT_EQ(r.buffer.size(), 64u * 64 * 3);
        std::size_t white = 0;
        for (std::uint32_t i = 0; i < r.buffer.size(); ++i)
            white += r.buffer.data()[i] == 255;
        EXPECT_GT(white, 3 * 64u) << name << " draws strokes";

        DemoDrawing drawing;
        ZELK::findDemoFigure(name, drawing);
        const std::string svg = svgOf(name, 64);
        EXPECT_EQ(count(svg, "<line "), drawing.segments().size()) << name;
        EXPECT_EQ(count(svg, "<svg "), 1u);
        EXPECT_EQ(svg.substr(svg.size() - 10), "</g></svg>") << name;
    }
}

TEST(DemoRender, DefaultDiagonalImage) {
    const Rendered r = render("diagonal");
    EXPECT_EQ(r.meta.width, 256u);
    EXPECT_EQ(r.meta.height, 256u);
    EXPECT_EQ(r.meta.channels, 3u);
    EXPECT_EQ(r.meta.type, ZELK::Migration::unsigned8());
    EXPECT_EQ(r.meta.format, ImageMetadata::Format::RGBA);
    EXPECT_EQ(r.meta.pixelAlignment, 0u);
    EXPECT_EQ(r.meta.lineAlignment, 0u);
    EXPECT_EQ(r.buffer.size(), 256u * 256 * 3);
    // From bottom left to top right of the picture (line 0 is the bottom).
    EXPECT_EQ(r.at(40, 40)[0], 255);
    EXPECT_EQ(r.at(215, 215)[0], 255);
    EXPECT_EQ(r.at(40, 215)[0], 0);
    EXPECT_EQ(r.at(3, 3)[0], 0);
}

TEST(DemoRender, WithoutDegradationsOnlyTheThreeColoursAndTheirBlendsAppear) {
    // Clear red, sheet green, strokes blue; the figure lies inside the sheet, so red and blue
    // never meet in one pixel, and a pixel is never all three.
    const Rendered r = render("asterisk", {{"coloring", "rgb"},
                                           {"background", "true"},
                                           {"backgroundborder", "false"},
                                           {"perspective", "true"}});
    std::set<std::uint32_t> kinds;
    for (std::uint32_t y = 0; y < 256; ++y)
        for (std::uint32_t x = 0; x < 256; ++x) {
            const std::uint8_t* p = r.at(x, y);
            ASSERT_FALSE(p[0] > 0 && p[2] > 0) << x << "," << y;
            kinds.insert((p[0] << 16) | (p[1] << 8) | p[2]);
        }
    EXPECT_TRUE(kinds.count(0xFF0000));
    EXPECT_TRUE(kinds.count(0x00FF00));
    EXPECT_TRUE(kinds.count(0x0000FF));
    EXPECT_GT(kinds.size(), 20u) << "anti-aliased edges blend the colours";

    // The border is black where it is fully covered.
    const Rendered bordered = render(
        "asterisk", {{"coloring", "rgb"}, {"background", "true"}, {"backgroundborder", "true"}});
    // Without perspective the sheet's bottom edge is the line y = 32; the 10-pixel border
    // covers lines 27 to 36 fully, below it is the clear colour, above it the sheet.
    const std::uint8_t red[3] = {255, 0, 0}, green[3] = {0, 255, 0}, none[3] = {0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bordered.at(128, 26), red, 3));
    for (std::uint32_t y = 27; y < 37; ++y)
        EXPECT_EQ(0, std::memcmp(bordered.at(128, y), none, 3)) << y;
    EXPECT_EQ(0, std::memcmp(bordered.at(128, 37), green, 3));
}

TEST(DemoRender, DegradationsThroughTheParameters) {
    // A white picture without strokes shows each degradation alone.
    const Rendered contrast =
        render("plus", {{"colorclear", "ffffff"}, {"thickness", "0"}, {"contrast", "0.5"}});
    const Rendered black = render("plus", {{"thickness", "0"}, {"contrast", "0.5"}});
    for (std::uint32_t i = 0; i < contrast.buffer.size(); ++i) {
        ASSERT_EQ(contrast.buffer.data()[i], 190);
        ASSERT_EQ(black.buffer.data()[i], 63);
    }

    // Gradient 0.5: trunc(255 (0.5 + 0.5 max(x, y) / 256)); darkest at the bottom left.
    const Rendered light =
        render("plus", {{"colorclear", "ffffff"}, {"thickness", "0"}, {"gradient", "0.5"}});
    EXPECT_EQ(light.at(0, 0)[0], 127);
    EXPECT_EQ(light.at(128, 0)[0], 191);
    EXPECT_EQ(light.at(0, 128)[1], 191);
    EXPECT_EQ(light.at(255, 255)[2], 254);
    EXPECT_LT(light.at(10, 10)[0], light.at(200, 10)[0]);
    EXPECT_LT(light.at(10, 10)[0], light.at(10, 200)[0]);

    // Size 16 has exactly one clutter seed: the mosaic is one colour.
    const Rendered one = render("plus", {{"size", "16"}, {"clutter", "1"}, {"thickness", "0"}});
    for (std::uint32_t i = 3; i < one.buffer.size(); ++i)
        ASSERT_EQ(one.buffer.data()[i], one.buffer.data()[i % 3]);
    const Rendered none = render(
        "plus", {{"size", "15"}, {"clutter", "1"}, {"colorclear", "102030"}, {"thickness", "0"}});
    EXPECT_EQ(none.at(7, 7)[0], 0x10);
    EXPECT_EQ(none.at(14, 2)[2], 0x30);

    // Every preset keeps the image the requested size.
    const Rendered poor = render("square", {{"size", "512"}, {"quality", "poor"}});
    EXPECT_EQ(poor.meta.width, 512u);
    EXPECT_EQ(poor.settings.contrast, 0.5f);
    EXPECT_EQ(poor.settings.noise, 0.5f);
    EXPECT_EQ(poor.settings.gradient, 1.0f);
}

TEST(DemoRender, RenderingIsReproducible) {
    const auto everything = {std::pair{"background", "true"},
                             {"backgroundborder", "true"},
                             {"perspective", "true"},
                             {"clutter", "0.7"},
                             {"quality", "poor"},
                             {"r2", "0.3"},
                             {"coloring", "postit"}};
    const Rendered a = render("wobbly", everything);
    const Rendered b = render("wobbly", everything);
    ASSERT_EQ(a.buffer.size(), b.buffer.size());
    EXPECT_EQ(0, std::memcmp(a.buffer.data(), b.buffer.data(), a.buffer.size()));
    const Rendered c = render("wobbly", {{"clutter", "0.7"}, {"quality", "poor"}});
    EXPECT_NE(0, std::memcmp(a.buffer.data(), c.buffer.data(), a.buffer.size()));
}

TEST(DemoRender, ReferenceSVGIsNotMirrored) {
    EXPECT_EQ(svgOf("plus", 256),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
              "<svg version=\"1.1\" viewBox=\"0 0 256 256\" xmlns=\"http://www.w3.org/2000/svg\">"
              "<g stroke=\"black\" stroke-width=\"2\">"
              "<line x1=\"25.6\" x2=\"230.4\" y1=\"128\" y2=\"128\" />"
              "<line x1=\"128\" x2=\"128\" y1=\"25.6\" y2=\"230.4\" />"
              "</g></svg>");
    // The L starts at its top (y = 1), which the SVG puts at the bottom of its y-down frame.
    const std::string ell = svgOf("L", 100);
    EXPECT_NE(ell.find("viewBox=\"0 0 100 100\""), std::string::npos);
    EXPECT_NE(ell.find("<line x1=\"10\" x2=\"10\" y1=\"90\" y2=\"10\" />"), std::string::npos)
        << ell;
    EXPECT_NE(ell.find("<line x1=\"10\" x2=\"90\" y1=\"10\" y2=\"10\" />"), std::string::npos)
        << ell;
}

TEST(DemoRender, RendererRefusesSizesItCannotHold) {
    DemoSettings settings;
    DemoDrawing drawing;
    IncrementalBuffer buffer;
    ImageMetadata meta;
    settings.size = 0;
    EXPECT_THROW(ZELK::renderDemo(drawing, settings, buffer, meta),
                 ZELK::BoundException<unsigned int>);
    settings.size = 8193;
    EXPECT_THROW(ZELK::renderDemo(drawing, settings, buffer, meta),
                 ZELK::BoundException<unsigned int>);
}
