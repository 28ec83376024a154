// Export through the real binary: SVG colours, view box and clutter groups for polygon XML
// input, unwritable outputs, image outputs without an image, rendering our SVG with
// rsvg-convert, and the full run on photographed-sketch fixtures.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "export_helpers.hpp"
#include "support/run_binary.hpp"

using namespace PenvexTest;

namespace {

// A stroke of the fixture file: one polyline a line as "x y x y ...".
std::vector<std::vector<P2>> readStrokes(const std::string& name) {
    std::ifstream in(dataPath("export/" + name));
    std::vector<std::vector<P2>> strokes;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream values(line);
        std::vector<P2> points;
        float x, y;
        while (values >> x >> y)
            points.emplace_back(x, y);
        strokes.push_back(points);
    }
    EXPECT_FALSE(strokes.empty()) << name;
    return strokes;
}

// Points every step along the polylines.
std::vector<P2> samples(const std::vector<std::vector<P2>>& polylines, float step = 0.5f) {
    std::vector<P2> points;
    for (const std::vector<P2>& polyline : polylines) {
        if (polyline.size() == 1)
            points.push_back(polyline[0]);
        for (std::size_t k = 1; k < polyline.size(); ++k) {
            const P2 a = polyline[k - 1], b = polyline[k];
            const float length = std::hypot(b.x() - a.x(), b.y() - a.y());
            const int n = std::max(1, int(std::ceil(length / step)));
            for (int i = 0; i <= n; ++i) {
                const float t = float(i) / float(n);
                points.emplace_back(a.x() + t * (b.x() - a.x()), a.y() + t * (b.y() - a.y()));
            }
        }
    }
    return points;
}

std::vector<std::vector<P2>> joined(std::vector<std::vector<P2>> a,
                                    const std::vector<std::vector<P2>>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

int colourDistance(const unsigned char* pixel, const std::string& colour) {
    const unsigned long value = std::stoul(colour.substr(1), nullptr, 16);
    const int rgb[3] = {int(value >> 16), int((value >> 8) & 255), int(value & 255)};
    int d = 0;
    for (int c = 0; c < 3; ++c)
        d += std::abs(int(pixel[c]) - rgb[c]);
    return d;
}

// Pixels of a rendered SVG that show a stroke (closer to the stroke colour than to the
// background), mapped to SVG user coordinates at the pixel centres.
std::vector<P2> renderedStrokePixels(const ColourRaster& picture, const SVGDrawing& svg,
                                     const std::string& strokeColour) {
    std::vector<P2> points;
    for (unsigned y = 0; y < picture.height; ++y)
        for (unsigned x = 0; x < picture.width; ++x) {
            const unsigned char* pixel = picture.at(x, y);
            if (colourDistance(pixel, strokeColour) < colourDistance(pixel, svg.background))
                points.emplace_back(svg.viewBox[0] + x + 0.5f, svg.viewBox[1] + y + 0.5f);
        }
    return points;
}

} // namespace

TEST(ExportResults, PolygonXMLInputDrawsInBlackOnWhiteWithGreyClutter) {
    ScratchDir dir;
    // A long line, three isolated specks, and an isolated three-vertex mark (short, but its
    // corner is too far off its chord to be removed as redundant).
    writeFile(dir / "in.xml",
              polygonDocument(1000, 800,
                              {P2(100, 100), P2(900, 100), P2(200, 500), P2(203, 500), P2(600, 500),
                               P2(600, 503), P2(400, 700), P2(402, 702), P2(800, 600), P2(820, 600),
                               P2(820, 620)},
                              {{{1, 2}}, {{3, 4}}, {{5, 6}}, {{7, 8}}, {{9, 10, 11}}}));
    const RunResult r = runPenvex({"in.xml", "-os", "out.svg"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string text = readFile(dir / "out.svg");
    const SVGDrawing svg = readSVG(text);
    EXPECT_EQ(svg.background, "#ffffff");
    ASSERT_EQ(svg.groups.size(), 3u);
    EXPECT_EQ(svg.groups[0].stroke, "#000000");
    EXPECT_EQ(svg.groups[1].stroke, "#4c4c4c");
    // The three-vertex mark alone, then the specks together; one frame and label, for the
    // mark only.
    ASSERT_EQ(svg.groups[1].shapes.size(), 1u);
    EXPECT_EQ(svg.groups[1].shapes[0].size(), 3u);
    EXPECT_EQ(svg.groups[2].shapes.size(), 3u);
    EXPECT_EQ(svg.clutterFrames, 1u);
    // Area 1000 x 800: stroke width 5, label font 25.
    EXPECT_EQ(svg.strokeWidth, 5.0f);
    EXPECT_NE(text.find("text.clutter{ font-size: 25px;"), std::string::npos);
    // The line at y 100 is drawn at 800 - 100 = 700.
    EXPECT_EQ(svg.groups[0].shapes[0], (std::vector<P2>{P2(100, 700), P2(900, 700)}));
}

TEST(ExportResults, TouchingClutterBoxesAreNeighboursForAnyPositiveDistance) {
    // Three short strokes whose boxes touch (a two-vertex stroke of length 4 has a box 5 wide
    // by the +1 rule). Listed left, right, middle: the clutter set holds them reversed, so
    // the middle one, which has two neighbours, is examined first and seeds a cluster.
    ScratchDir dir;
    writeFile(dir / "in.xml", polygonDocument(500, 500,
                                              {P2(100, 100), P2(104, 100), P2(110, 100),
                                               P2(114, 100), P2(105, 100), P2(109, 100)},
                                              {{{1, 2}}, {{3, 4}}, {{5, 6}}}));
    ASSERT_EQ(runPenvex({"in.xml", "-cg", "0.001", "-os", "near.svg"}, dir.path()).exitCode, 0);
    const SVGDrawing near = readSVG(readFile(dir / "near.svg"));
    ASSERT_EQ(near.groups.size(), 3u); // lines (empty), the cluster, the empty catch-all
    EXPECT_EQ(near.groups[1].shapes.size(), 3u);
    EXPECT_TRUE(near.groups[2].shapes.empty());
    EXPECT_EQ(near.clutterFrames, 1u);

    ASSERT_EQ(runPenvex({"in.xml", "-cg", "0", "-os", "apart.svg"}, dir.path()).exitCode, 0);
    const SVGDrawing apart = readSVG(readFile(dir / "apart.svg"));
    ASSERT_EQ(apart.groups.size(), 2u);
    EXPECT_EQ(apart.groups[1].shapes.size(), 3u);
    EXPECT_EQ(apart.clutterFrames, 0u);
}

TEST(ExportResults, RectifySwitchMakesTheAreaTheViewBoxForPolygonXML) {
    ScratchDir dir;
    writeFile(dir / "in.xml", polylinesDocument(200, 100, {{P2(50, 20), P2(150, 80)}}));
    const RunResult r = runPenvex({"in.xml", "-r", "-os", "out.svg"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const SVGDrawing svg = readSVG(readFile(dir / "out.svg"));
    EXPECT_EQ(std::vector<float>(svg.viewBox, svg.viewBox + 4),
              (std::vector<float>{0, 0, 200, 100}));
    EXPECT_EQ(svg.groups[0].shapes[0], (std::vector<P2>{P2(50, 80), P2(150, 20)}));

    // Without -r: the box of the flipped drawing, (50, 20) to (150, 80): 101 wide by the +1
    // rule, 60 high (the lower point comes second), with a margin of 10.1.
    ASSERT_EQ(runPenvex({"in.xml", "-os", "plain.svg"}, dir.path()).exitCode, 0);
    const SVGDrawing plain = readSVG(readFile(dir / "plain.svg"));
    EXPECT_NEAR(plain.viewBox[0], 39.9f, 1e-4f);
    EXPECT_NEAR(plain.viewBox[1], 9.9f, 1e-4f);
    EXPECT_NEAR(plain.viewBox[2], 121.2f, 1e-4f);
    EXPECT_NEAR(plain.viewBox[3], 80.2f, 1e-4f);
}

TEST(ExportResults, UnwritableOutputsAndImageOutputsWithoutAnImageFail) {
    ScratchDir dir;
    writeFile(dir / "in.xml", polylinesDocument(200, 100, {{P2(50, 20), P2(150, 80)}}));
    for (const char* option : {"-os", "-ox"}) {
        SCOPED_TRACE(option);
        const RunResult r = runPenvex({"in.xml", option, "no/such/folder/out"}, dir.path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "ZELK ZELK::StreamException: Wrapping bad output stream. \n");
    }

    for (const char* option : {"-om", "-oi"}) {
        SCOPED_TRACE(option);
        std::filesystem::remove(dir / "out.svg");
        std::filesystem::remove(dir / "out.xml");
        const RunResult r = runPenvex(
            {"in.xml", "-os", "out.svg", "-ox", "out.xml", option, "image.pgm"}, dir.path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "No image provided.\n");
        EXPECT_EQ(r.out.find("Exporting"), std::string::npos) << r.out;
        // The drawing outputs come first and are complete.
        EXPECT_NE(readFile(dir / "out.svg").find("</svg>"), std::string::npos);
        EXPECT_NE(readFile(dir / "out.xml").find("</area>"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(dir / "image.pgm"));
    }
}

TEST(ExportResults, RsvgConvertDrawsTheStrokesWhereThePolylinesAreAndNothingElse) {
    ScratchDir dir;
    const std::vector<std::vector<P2>> lines{
        {P2(100, 100), P2(500, 100), P2(500, 300), P2(100, 300), P2(100, 100)},
        {P2(120, 120), P2(480, 280)},
        {P2(300, 50), P2(300, 350)}};
    // A clutter mark whose hidden frame and label must not show.
    std::vector<std::vector<P2>> all = lines;
    all.push_back({P2(540, 350), P2(560, 350), P2(560, 370)});
    writeFile(dir / "in.xml", polylinesDocument(600, 400, all));
    ASSERT_EQ(runPenvex({"in.xml", "-os", "out.svg"}, dir.path()).exitCode, 0);
    const SVGDrawing svg = readSVG(readFile(dir / "out.svg"));
    ASSERT_EQ(svg.clutterFrames, 1u);
    const ColourRaster picture = renderSVG(dir / "out.svg", dir.path());
    EXPECT_NEAR(picture.width, svg.viewBox[2], 1.0f);
    EXPECT_NEAR(picture.height, svg.viewBox[3], 1.0f);

    // Every stroke pixel lies within reach of a polyline (back in the drawing's y-up frame:
    // y = 400 - y'): half the stroke width (1.5), times the square root of 2 at a mitred
    // corner, and one pixel of anti-aliasing.
    const std::vector<std::vector<P2>> drawn = all;
    std::size_t strokePixels = 0;
    for (const std::string& colour : {std::string("#000000"), std::string("#4c4c4c")}) {
        for (const P2& p : renderedStrokePixels(picture, svg, colour)) {
            ++strokePixels;
            const P2 back(p.x(), 400.0f - p.y());
            ASSERT_LE(distanceToPolylines(back, drawn), 1.5f * 1.4143f + 1.0f)
                << p.x() << "," << p.y();
        }
    }
    // And the polylines are drawn along their whole length: next to every point along them
    // is a fully black pixel.
    std::size_t covered = 0;
    const std::vector<P2> along = samples(lines, 2.0f);
    for (const P2& p : along) {
        const int cx = int(std::floor(p.x() - svg.viewBox[0]));
        const int cy = int(std::floor(400.0f - p.y() - svg.viewBox[1]));
        bool black = false;
        for (int y = cy - 1; y <= cy + 1; ++y)
            for (int x = cx - 1; x <= cx + 1; ++x)
                if (x >= 0 && y >= 0 && x < int(picture.width) && y < int(picture.height))
                    black = black || colourDistance(picture.at(x, y), "#000000") < 30;
        covered += black;
    }
    EXPECT_EQ(covered, along.size());
    EXPECT_GT(strokePixels, along.size());
}

TEST(ExportResults, APhotographedSketchBecomesADrawingOnItsStrokes) {
    ScratchDir dir;
    const RunResult r = runPenvex({dataPath("export/sketch.ppm").string(), "-os", "out.svg", "-ox",
                                   "out.xml", "-om", "mask.pgm", "-oi", "refined.ppm"},
                                  dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("* Loading image "), std::string::npos);
    EXPECT_NE(r.out.find("* Refining polylines "), std::string::npos);
    EXPECT_NE(r.out.find("* Exporting line mask "), std::string::npos);
    EXPECT_NE(r.out.find("* Exporting refined image "), std::string::npos);

    const std::vector<std::vector<P2>> drawing = readStrokes("sketch.lines");
    const std::vector<std::vector<P2>> marks = readStrokes("sketch.clutter");
    const std::vector<std::vector<P2>> strokes = joined(drawing, marks);
    const WrittenDrawing out = readWrittenDrawing(readFile(dir / "out.xml"));
    EXPECT_EQ(out.width, 320.0f);
    EXPECT_EQ(out.height, 240.0f);
    const std::vector<std::vector<P2>> everything = joined(out.lines, out.clutter);

    // Precision: the lines lie on the pen strokes (3 pixels wide), never on the sheet's edge
    // or the desk.
    float total = 0.0f;
    const std::vector<P2> traced = samples(out.lines);
    ASSERT_FALSE(traced.empty());
    for (const P2& p : traced) {
        const float d = distanceToPolylines(p, strokes);
        ASSERT_LE(d, 5.0f) << "traced point " << p.x() << "," << p.y() << " is off the strokes";
        total += d;
    }
    EXPECT_LE(total / float(traced.size()), 1.5f);
    // Recall: the drawing's strokes are covered by the output.
    std::size_t found = 0;
    const std::vector<P2> drawn = samples(drawing);
    for (const P2& p : drawn)
        if (distanceToPolylines(p, everything) <= 3.0f)
            ++found;
    EXPECT_GE(double(found) / double(drawn.size()), 0.9);

    // The mask covers the strokes and little else of the sheet.
    const GreyRaster mask = readPGM(dir / "mask.pgm");
    ASSERT_EQ(mask.width, 320u);
    ASSERT_EQ(mask.height, 240u);
    auto maskNear = [&](const P2& p, int reach) {
        const int cx = int(std::lround(p.x())), cy = int(std::lround(239.0f - p.y()));
        for (int y = cy - reach; y <= cy + reach; ++y)
            for (int x = cx - reach; x <= cx + reach; ++x)
                if (x >= 0 && y >= 0 && x < 320 && y < 240 && mask.at(x, y) >= 128)
                    return true;
        return false;
    };
    std::size_t masked = 0;
    for (const P2& p : drawn)
        if (maskNear(p, 1))
            ++masked;
    EXPECT_GE(double(masked) / double(drawn.size()), 0.95);
    std::size_t paper = 0, paperMasked = 0;
    for (unsigned y = 30; y < 210; ++y)
        for (unsigned x = 30; x < 290; ++x)
            if (distanceToPolylines(P2(float(x), 239.0f - float(y)), strokes) > 6.0f) {
                ++paper;
                paperMasked += mask.at(x, y) >= 128;
            }
    EXPECT_LE(double(paperMasked) / double(paper), 0.01);

    // The refined image keeps the stroke pixels and pulls the paper toward its mean colour.
    const ColourRaster original = readPPM(dataPath("export/sketch.ppm"));
    const ColourRaster refined = readPPM(dir / "refined.ppm");
    ASSERT_EQ(refined.width, 320u);
    ASSERT_EQ(refined.height, 240u);
    std::size_t kept = 0, lineSamples = 0;
    for (unsigned y = 0; y < 240; ++y)
        for (unsigned x = 0; x < 320; ++x)
            if (mask.at(x, y) == 255) {
                ++lineSamples;
                kept += std::equal(original.at(x, y), original.at(x, y) + 3, refined.at(x, y));
            }
    ASSERT_GT(lineSamples, 0u);
    EXPECT_EQ(kept, lineSamples);
    double before = 0, after = 0, meanBefore = 0, meanAfter = 0;
    std::vector<std::pair<unsigned, unsigned>> paperPixels;
    for (unsigned y = 30; y < 210; y += 3)
        for (unsigned x = 30; x < 290; x += 3)
            if (mask.at(x, y) == 0 &&
                distanceToPolylines(P2(float(x), 239.0f - float(y)), strokes) > 6.0f)
                paperPixels.emplace_back(x, y);
    for (auto [x, y] : paperPixels) {
        meanBefore += original.at(x, y)[1];
        meanAfter += refined.at(x, y)[1];
    }
    meanBefore /= double(paperPixels.size());
    meanAfter /= double(paperPixels.size());
    for (auto [x, y] : paperPixels) {
        before += std::pow(original.at(x, y)[1] - meanBefore, 2);
        after += std::pow(refined.at(x, y)[1] - meanAfter, 2);
    }
    EXPECT_NEAR(meanAfter, meanBefore, 4.0);
    EXPECT_LE(std::sqrt(after), 0.35 * std::sqrt(before) + 1.0);

    // The SVG takes its colours from the picture: a blue pen on light paper.
    const SVGDrawing svg = readSVG(readFile(dir / "out.svg"));
    const unsigned long pen = std::stoul(svg.groups.at(0).stroke.substr(1), nullptr, 16);
    const unsigned long sheet = std::stoul(svg.background.substr(1), nullptr, 16);
    EXPECT_GT(int(pen & 255), int(pen >> 16) + 40) << svg.groups[0].stroke;
    EXPECT_GT(int(sheet >> 16), 200) << svg.background;
    EXPECT_GT(int((sheet >> 8) & 255), 200) << svg.background;

    // Rendered by a real renderer, the strokes lie on the line mask.
    const ColourRaster picture = renderSVG(dir / "out.svg", dir.path());
    std::size_t onMask = 0;
    const std::vector<P2> rendered = renderedStrokePixels(picture, svg, svg.groups[0].stroke);
    ASSERT_FALSE(rendered.empty());
    for (const P2& p : rendered) {
        // SVG y is mirrored about the middle of the 240-pixel-high area: y = 240 - y'.
        if (maskNear(P2(p.x(), 240.0f - p.y()), 2))
            ++onMask;
    }
    EXPECT_GE(double(onMask) / double(rendered.size()), 0.95);
}

TEST(ExportResults, AScaledScanIsReportedInThePixelsOfTheLoadedImage) {
    // With -a 12 the grey image is reduced by 5/12 before extraction; the output must still
    // lie on the strokes as drawn in the 480 x 360 file.
    ScratchDir dir;
    const RunResult r = runPenvex(
        {dataPath("export/thick.pgm").string(), "-a", "12", "-ox", "out.xml", "-om", "mask.pgm"},
        dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("* Scaling image to have nominal line thickness"), std::string::npos);
    const std::vector<std::vector<P2>> strokes = readStrokes("thick.lines");
    const WrittenDrawing out = readWrittenDrawing(readFile(dir / "out.xml"));
    const std::vector<P2> traced = samples(out.lines);
    ASSERT_FALSE(traced.empty());
    for (const P2& p : traced)
        ASSERT_LE(distanceToPolylines(p, strokes), 8.0f) << p.x() << "," << p.y();
    std::size_t found = 0;
    const std::vector<P2> drawn = samples(strokes);
    for (const P2& p : drawn)
        if (distanceToPolylines(p, joined(out.lines, out.clutter)) <= 6.0f)
            ++found;
    EXPECT_GE(double(found) / double(drawn.size()), 0.9);
    // The mask is brought back to the size of the file.
    const GreyRaster mask = readPGM(dir / "mask.pgm");
    EXPECT_EQ(mask.width, 480u);
    EXPECT_EQ(mask.height, 360u);
}
