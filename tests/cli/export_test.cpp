// Every export through the real binary: the SVG as rsvg-convert draws it, and the polygon XML,
// line mask and refined image of a photographed sketch judged against how it was drawn.
#include <gtest/gtest.h>

#include <cmath>

#include "cli_support.hpp"

using namespace PenvexTest;

namespace {

// How far a pixel's colour is from "#rrggbb".
int colourDistance(const unsigned char* pixel, const std::string& colour) {
    const unsigned long value = std::stoul(colour.substr(1), nullptr, 16);
    return std::abs(pixel[0] - int(value >> 16)) + std::abs(pixel[1] - int((value >> 8) & 255)) +
           std::abs(pixel[2] - int(value & 255));
}

} // namespace

TEST(Export, SVGIsBlackOnWhiteWithGreyClutterWhereRsvgConvertDrawsIt) {
    ScratchDir dir;
    const std::vector<P2> square{P2(100, 100), P2(500, 100), P2(500, 300), P2(100, 300)};
    Polylines drawn{{P2(120, 120), P2(480, 280)}, {P2(300, 50), P2(300, 350)}, square};
    drawn.back().push_back(square.front());
    // A short mark off the lines is clutter; its hidden frame and label must not show.
    const std::vector<P2> mark{P2(540, 350), P2(560, 350), P2(560, 370)};
    writeFile(dir / "in.xml", polygonDocument(600, 400, {drawn[0], drawn[1], mark}, {square}));
    ASSERT_EQ(runPenvex({"in.xml", "-os", "out.svg"}, dir.path()).exitCode, 0);
    const SVGDrawing svg = readSVG(dir / "out.svg");
    EXPECT_EQ(svg.background, "#ffffff");
    // The lines, the mark in a group of its own (SVG's y runs down: y' = 400 - y) with its frame,
    // and the group of the rest.
    EXPECT_EQ(svg.strokes, (std::vector<std::string>{"#000000", "#4c4c4c", "#4c4c4c"}));
    const std::string text = readFile(dir / "out.svg");
    EXPECT_NE(text.find("<polyline fill=\"none\" points=\"540,50 560,50 560,30\" />"),
              std::string::npos);
    EXPECT_NE(text.find("<rect class=\"clutter\""), std::string::npos);

    const Raster picture = renderSVG(dir / "out.svg", dir.path());
    EXPECT_NEAR(picture.width, svg.viewBox[2], 1.0f);
    EXPECT_NEAR(picture.height, svg.viewBox[3], 1.0f);
    // The lines are drawn along their whole length, with a black pixel at or next to every
    // point on them (a stroke stops at its end point)...
    for (const P2& p : samples(drawn, 2.0f)) {
        int best = 3 * 255;
        for (float dy = -1; dy <= 1; ++dy)
            for (float dx = -1; dx <= 1; ++dx)
                best = std::min(
                    best, colourDistance(picture.at(unsigned(p.x() - svg.viewBox[0] + dx),
                                                    unsigned(400 - p.y() - svg.viewBox[1] + dy)),
                                         "#000000"));
        EXPECT_LT(best, 30) << p.x() << "," << p.y();
    }
    // ...and no pixel is drawn farther from the polylines than half the stroke width (1.5), times
    // the square root of 2 at a mitred corner, and a pixel of anti-aliasing.
    drawn.push_back(mark);
    for (unsigned y = 0; y < picture.height; ++y)
        for (unsigned x = 0; x < picture.width; ++x)
            if (colourDistance(picture.at(x, y), "#ffffff") > 30) {
                const P2 p(svg.viewBox[0] + x + 0.5f, 400.0f - (svg.viewBox[1] + y + 0.5f));
                ASSERT_LE(distanceToPolylines(p, drawn), 1.5f * 1.4143f + 1.0f) << x << "," << y;
            }
}

TEST(Export, APhotographedSketchBecomesADrawingAMaskAndARefinedImage) {
    ScratchDir dir;
    const std::string photo = dataPath("export/sketch.ppm").string();
    const RunResult r = runPenvex(
        {photo, "-os", "out.svg", "-ox", "out.xml", "-om", "mask.pgm", "-oi", "refined.ppm"},
        dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(statusOf(r.out, "Converting to gray scale"), "OK");
    EXPECT_EQ(statusOf(r.out, "Exporting line mask"), "OK");
    EXPECT_EQ(statusOf(r.out, "Exporting refined image"), "OK");
    const Polylines drawing = readStrokes("export/sketch.lines");
    Polylines strokes = readStrokes("export/sketch.clutter");
    strokes.insert(strokes.end(), drawing.begin(), drawing.end());

    // The lines lie on the pen strokes (3 pixels wide), never on the sheet's edge or the desk,
    // and together with the clutter they cover the drawing.
    const Written out = readWritten(dir / "out.xml");
    EXPECT_EQ(std::pair(out.width, out.height), std::pair(320.0f, 240.0f));
    double total = 0.0;
    const std::vector<P2> traced = samples(out.lines);
    for (const P2& p : traced) {
        total += distanceToPolylines(p, strokes);
        ASSERT_LE(distanceToPolylines(p, strokes), 5.0f) << p.x() << "," << p.y();
    }
    EXPECT_LE(total, 1.5 * double(traced.size()));
    Polylines everything = out.lines;
    everything.insert(everything.end(), out.clutter.begin(), out.clutter.end());
    const std::vector<P2> drawn = samples(drawing);
    const Raster mask = readNetpbm(dir / "mask.pgm");
    ASSERT_EQ(mask.width * mask.height, 320u * 240u);
    std::size_t found = 0, masked = 0;
    for (const P2& p : drawn) {
        found += distanceToPolylines(p, everything) <= 3.0f;
        masked += *mask.at(unsigned(std::lround(p.x())), unsigned(std::lround(239 - p.y()))) >= 128;
    }
    EXPECT_GE(double(found), 0.9 * double(drawn.size()));
    // The mask covers the strokes and little else of the sheet (rows from the top: y = 239 -
    // row), and the refined image keeps the masked pixels as they were.
    EXPECT_GE(double(masked), 0.9 * double(drawn.size()));
    const Raster original = readNetpbm(photo);
    const Raster refined = readNetpbm(dir / "refined.ppm");
    ASSERT_EQ(refined.width * refined.height, 320u * 240u);
    std::size_t lineSamples = 0, kept = 0, paper = 0, paperMasked = 0;
    for (unsigned y = 0; y < 240; ++y)
        for (unsigned x = 0; x < 320; ++x) {
            lineSamples += *mask.at(x, y) == 255;
            kept += *mask.at(x, y) == 255 &&
                    std::equal(original.at(x, y), original.at(x, y) + 3, refined.at(x, y));
            if (x >= 30 && y >= 30 && x < 290 && y < 210 &&
                distanceToPolylines(P2(float(x), 239.0f - float(y)), strokes) > 6.0f) {
                ++paper;
                paperMasked += *mask.at(x, y) >= 128;
            }
        }
    EXPECT_GT(lineSamples, 0u);
    EXPECT_EQ(kept, lineSamples);
    EXPECT_LE(double(paperMasked), 0.01 * double(paper));
    EXPECT_NE(original.samples, refined.samples); // the paper is evened out

    // The SVG takes its colours from the picture: a blue pen on light paper.
    const SVGDrawing svg = readSVG(dir / "out.svg");
    const unsigned long pen = std::stoul(svg.strokes.at(0).substr(1), nullptr, 16);
    const unsigned long sheet = std::stoul(svg.background.substr(1), nullptr, 16);
    EXPECT_GT(int(pen & 255), int(pen >> 16) + 40) << svg.strokes[0];
    EXPECT_GT(std::min(sheet >> 16, (sheet >> 8) & 255), 200u) << svg.background;
}
