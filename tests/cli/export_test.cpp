// Every export through the real binary: the SVG as rsvg-convert draws it, and the polygon XML,
// line mask and refined image of a photographed sketch judged against how it was drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "cli_support.hpp"

using namespace PenvexTest;

namespace {

// The strokes of a fixture picture, one polyline a line as "x y x y ...".
Polylines readStrokes(const std::string& name) {
    std::ifstream in(dataPath("export/" + name));
    Polylines strokes;
    for (std::string line; std::getline(in, line);) {
        std::istringstream values(line);
        strokes.emplace_back();
        for (float x, y; values >> x >> y;)
            strokes.back().emplace_back(x, y);
    }
    EXPECT_FALSE(strokes.empty()) << name;
    return strokes;
}

// How far a pixel's colour is from "#rrggbb".
int colourDistance(const unsigned char* pixel, const std::string& colour) {
    const unsigned long value = std::stoul(colour.substr(1), nullptr, 16);
    return std::abs(pixel[0] - int(value >> 16)) + std::abs(pixel[1] - int((value >> 8) & 255)) +
           std::abs(pixel[2] - int(value & 255));
}

} // namespace

TEST(Export, SVGIsBlackOnWhiteWithGreyClutterWhereRsvgConvertDrawsIt) {
    ScratchDir dir;
    const Polylines lines{{P2(120, 120), P2(480, 280)}, {P2(300, 50), P2(300, 350)}};
    const std::vector<P2> square{P2(100, 100), P2(500, 100), P2(500, 300), P2(100, 300)};
    // A short mark off the lines, clutter, whose hidden frame and label must not show.
    const std::vector<P2> mark{P2(540, 350), P2(560, 350), P2(560, 370)};
    writeFile(dir / "in.xml", polygonDocument(600, 400, {lines[0], lines[1], mark}, {square}));
    ASSERT_EQ(runPenvex({"in.xml", "-os", "out.svg"}, dir.path()).exitCode, 0);
    const SVGDrawing svg = readSVG(dir / "out.svg");
    EXPECT_EQ(svg.background, "#ffffff");
    // The lines, the mark in a group of its own, and the empty group of the rest.
    ASSERT_EQ(svg.groups.size(), 3u);
    EXPECT_EQ(svg.groups[0].first, "#000000");
    EXPECT_EQ(svg.groups[1].first, "#4c4c4c");
    EXPECT_TRUE(svg.groups[2].second.empty());
    EXPECT_EQ(svg.clutterFrames, 1u);
    // SVG's y runs down: y' = 400 - y.
    EXPECT_EQ(svg.groups[1].second, (Polylines{{P2(540, 50), P2(560, 50), P2(560, 30)}}));

    const Raster picture = renderSVG(dir / "out.svg", dir.path());
    EXPECT_NEAR(picture.width, svg.viewBox[2], 1.0f);
    EXPECT_NEAR(picture.height, svg.viewBox[3], 1.0f);
    Polylines drawn = lines;
    drawn.push_back(mark);
    drawn.push_back(square);
    drawn.back().push_back(square.front());
    // Every stroke pixel is within reach of a polyline: half the stroke width (1.5), times the
    // square root of 2 at a mitred corner, and a pixel of anti-aliasing.
    std::size_t strokePixels = 0;
    for (unsigned y = 0; y < picture.height; ++y)
        for (unsigned x = 0; x < picture.width; ++x)
            if (colourDistance(picture.at(x, y), "#ffffff") > 30) {
                ++strokePixels;
                const P2 p(svg.viewBox[0] + x + 0.5f, 400.0f - (svg.viewBox[1] + y + 0.5f));
                ASSERT_LE(distanceToPolylines(p, drawn), 1.5f * 1.4143f + 1.0f) << x << "," << y;
            }
    // And the lines are drawn along their whole length: next to every point is a black pixel.
    drawn.erase(drawn.begin() + 2);
    const std::vector<P2> along = samples(drawn, 2.0f);
    for (const P2& p : along) {
        const int cx = int(std::floor(p.x() - svg.viewBox[0]));
        const int cy = int(std::floor(400.0f - p.y() - svg.viewBox[1]));
        bool black = false;
        for (int y = std::max(cy - 1, 0); y <= cy + 1 && y < int(picture.height); ++y)
            for (int x = std::max(cx - 1, 0); x <= cx + 1 && x < int(picture.width); ++x)
                black = black || colourDistance(picture.at(x, y), "#000000") < 30;
        EXPECT_TRUE(black) << p.x() << "," << p.y();
    }
    EXPECT_GT(strokePixels, along.size());
}

TEST(Export, APhotographedSketchBecomesADrawingAMaskAndARefinedImage) {
    ScratchDir dir;
    const std::string photo = dataPath("export/sketch.ppm").string();
    const RunResult r = runPenvex(
        {photo, "-os", "out.svg", "-ox", "out.xml", "-om", "mask.pgm", "-oi", "refined.ppm"},
        dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(statusOf(r.out, "Exporting line mask"), "OK");
    EXPECT_EQ(statusOf(r.out, "Exporting refined image"), "OK");
    const Polylines drawing = readStrokes("sketch.lines");
    Polylines strokes = readStrokes("sketch.clutter");
    strokes.insert(strokes.end(), drawing.begin(), drawing.end());

    // The lines lie on the pen strokes (3 pixels wide), never on the sheet's edge or the desk,
    // and cover the drawing.
    const Written out = readWritten(dir / "out.xml");
    EXPECT_EQ(out.width, 320.0f);
    EXPECT_EQ(out.height, 240.0f);
    double total = 0.0;
    const std::vector<P2> traced = samples(out.lines);
    ASSERT_FALSE(traced.empty());
    for (const P2& p : traced) {
        total += distanceToPolylines(p, strokes);
        ASSERT_LE(distanceToPolylines(p, strokes), 5.0f) << p.x() << "," << p.y();
    }
    EXPECT_LE(total / double(traced.size()), 1.5);
    Polylines everything = out.lines;
    everything.insert(everything.end(), out.clutter.begin(), out.clutter.end());
    const std::vector<P2> drawn = samples(drawing);
    EXPECT_GE(std::count_if(drawn.begin(), drawn.end(),
                            [&](const P2& p) { return distanceToPolylines(p, everything) <= 3; }),
              0.9 * double(drawn.size()));

    // The mask covers the strokes and little else; the refined image keeps the masked pixels
    // and evens out the paper (rows from the top: y = 239 - row).
    const Raster mask = readNetpbm(dir / "mask.pgm");
    const Raster photoPixels = readNetpbm(photo);
    const Raster refined = readNetpbm(dir / "refined.ppm");
    ASSERT_EQ(mask.width * mask.height, 320u * 240u);
    ASSERT_EQ(refined.width * refined.height, 320u * 240u);
    std::size_t masked = 0;
    for (const P2& p : drawn) {
        const int cx = int(std::lround(p.x())), cy = int(std::lround(239.0f - p.y()));
        bool near = false;
        for (int y = std::max(cy - 1, 0); y <= std::min(cy + 1, 239); ++y)
            for (int x = std::max(cx - 1, 0); x <= std::min(cx + 1, 319); ++x)
                near = near || *mask.at(x, y) >= 128;
        masked += near;
    }
    EXPECT_GE(double(masked), 0.95 * double(drawn.size()));
    std::size_t lineSamples = 0, kept = 0, paper = 0, paperMasked = 0;
    double sum[2] = {0, 0}, squares[2] = {0, 0};
    for (unsigned y = 0; y < 240; ++y)
        for (unsigned x = 0; x < 320; ++x) {
            if (*mask.at(x, y) == 255) {
                ++lineSamples;
                kept +=
                    std::equal(photoPixels.at(x, y), photoPixels.at(x, y) + 3, refined.at(x, y));
            }
            if (x < 30 || y < 30 || x >= 290 || y >= 210 ||
                distanceToPolylines(P2(float(x), 239.0f - float(y)), strokes) <= 6.0f)
                continue;
            ++paper;
            paperMasked += *mask.at(x, y) >= 128;
            for (int k = 0; k < 2; ++k) {
                const double green = (k == 0 ? photoPixels : refined).at(x, y)[1];
                sum[k] += green;
                squares[k] += green * green;
            }
        }
    EXPECT_GT(lineSamples, 0u);
    EXPECT_EQ(kept, lineSamples);
    EXPECT_LE(double(paperMasked), 0.01 * double(paper));
    EXPECT_NEAR(sum[1] / double(paper), sum[0] / double(paper), 4.0);
    const double spread[2] = {std::sqrt(squares[0] / paper - std::pow(sum[0] / paper, 2)),
                              std::sqrt(squares[1] / paper - std::pow(sum[1] / paper, 2))};
    EXPECT_LE(spread[1], 0.35 * spread[0] + 0.1);

    // The SVG takes its colours from the picture: a blue pen on light paper.
    const SVGDrawing svg = readSVG(dir / "out.svg");
    const unsigned long pen = std::stoul(svg.groups.at(0).first.substr(1), nullptr, 16);
    const unsigned long sheet = std::stoul(svg.background.substr(1), nullptr, 16);
    EXPECT_GT(int(pen & 255), int(pen >> 16) + 40) << svg.groups[0].first;
    EXPECT_GT(int(sheet >> 16), 200) << svg.background;
    EXPECT_GT(int((sheet >> 8) & 255), 200) << svg.background;
}
