// Every export of a photographed sketch through the real binary, judged against how it was
// drawn: the polygon XML, the line mask, the refined image, and the SVG as rsvg-convert draws it.
#include <gtest/gtest.h>

#include <cmath>

#include "cli_support.hpp"

using namespace PenvexTest;

TEST(Export, APhotographedSketchBecomesADrawingAMaskARefinedImageAndAnSVG) {
    ScratchDir dir;
    const std::string photo = dataPath("export/sketch.ppm").string();
    const RunResult r = runPenvex(
        {photo, "-os", "out.svg", "-ox", "out.xml", "-om", "mask.pgm", "-oi", "refined.ppm"},
        dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Polylines drawing = readStrokes("export/sketch.lines");
    Polylines strokes = readStrokes("export/sketch.clutter");
    strokes.insert(strokes.end(), drawing.begin(), drawing.end());

    // The lines lie on the pen strokes (3 pixels wide), never on the sheet's edge or the desk,
    // and together with the clutter they cover the drawing.
    const Written out = readWritten(dir / "out.xml");
    EXPECT_NE(readFile(dir / "out.xml").find("<area height=\"240\" width=\"320\">"),
              std::string::npos);
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

    // The SVG takes its colours from the picture, a blue pen on light paper, and has the frame
    // of a clutter group, hidden.
    const SVGDrawing svg = readSVG(dir / "out.svg");
    auto rgb = [](const std::string& colour) {
        const unsigned long value = std::stoul(colour.substr(1), nullptr, 16);
        return std::array{int(value >> 16), int((value >> 8) & 255), int(value & 255)};
    };
    const std::array pen = rgb(svg.strokes.at(0)), sheet = rgb(svg.background);
    EXPECT_GT(pen[2], pen[0] + 40) << svg.strokes.at(0);
    EXPECT_GT(std::min(sheet[0], sheet[1]), 200) << svg.background;
    EXPECT_NE(readFile(dir / "out.svg").find("<rect class=\"clutter\""), std::string::npos);
    // As rsvg-convert draws it (its y runs down: y = 240 - y'), the pen's colour is next to every
    // point of the lines, and nowhere farther from a polyline than half a stroke width, times
    // the square root of 2 at a mitred corner, and a pixel of anti-aliasing.
    runTool({"/usr/bin/rsvg-convert", (dir / "out.svg").string(), "-o", "out.png"}, dir.path());
    runTool({"/usr/bin/convert", "out.png", "-background", "white", "-flatten", "-depth", "8",
             "ppm:out.ppm"},
            dir.path());
    const Raster picture = readNetpbm(dir / "out.ppm");
    auto isPen = [&](unsigned x, unsigned y) {
        int closer = 0; // to the pen's colour than to the sheet's, in sum over the channels
        for (int c = 0; c < 3; ++c)
            closer +=
                std::abs(picture.at(x, y)[c] - sheet[c]) - std::abs(picture.at(x, y)[c] - pen[c]);
        return closer > 0;
    };
    for (const P2& p : samples(out.lines, 2.0f)) {
        const float x = p.x() - svg.viewBox[0], y = 240 - p.y() - svg.viewBox[1];
        bool near = false;
        for (float dy = -1; dy <= 1; ++dy)
            for (float dx = -1; dx <= 1; ++dx)
                near = near || isPen(unsigned(x + dx), unsigned(y + dy));
        EXPECT_TRUE(near) << p.x() << "," << p.y();
    }
    const float reach = svg.strokeWidth / 2 * 1.4143f + 1.0f;
    for (unsigned y = 0; y < picture.height; ++y)
        for (unsigned x = 0; x < picture.width; ++x) {
            const P2 p(svg.viewBox[0] + x + 0.5f, 240 - (svg.viewBox[1] + y + 0.5f));
            ASSERT_TRUE(!isPen(x, y) || distanceToPolylines(p, everything) <= reach)
                << x << "," << y;
        }
}

TEST(Export, EditorSVGAndDXFHoldThePolygonXMLDrawingForTheirOwnReaders) {
    ScratchDir dir;
    const std::string photo = dataPath("background/desk-front-400.png").string(); // 400 x 300
    const std::string reader =
        (std::filesystem::path(PENVEX_SOURCE_DIR) / "tests/cli/read_back.py");
    const struct {
        const char* options;
        const char* left;
        const char* top;
        const char* dxfUnits;
        const char* page;
    } cases[] = {
        {"-auto", "-0.5", "299.5", "0", "width=\"400px\" height=\"300px\""},
        {"-auto -r -rs 297 210 -ru mm", "0", "210", "4", "width=\"297mm\" height=\"210mm\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const RunResult r = runPenvex(
            words(photo + " -q -ox out.xml -se out.svg -od out.dxf " + c.options), dir.path());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(readFile(dir / "out.svg").find(c.page), std::string::npos);
        const RunResult svg = runProgram(
            {"/usr/bin/python3", reader, "out.xml", "svg", "out.svg", c.left, c.top}, dir.path());
        EXPECT_EQ(svg.out, "OK\n") << svg.err;
        const RunResult dxf = runProgram(
            {"/usr/bin/python3", reader, "out.xml", "dxf", "out.dxf", c.dxfUnits}, dir.path());
        EXPECT_EQ(dxf.out, "OK\n") << dxf.err;
    }
    const RunResult wrong = runPenvex(words(photo + " -ru ft -od out.dxf"), dir.path());
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.err, "Invalid unit ft, must be one of: px mm cm in\n");
}

TEST(Export, PreviewDrawsTheLinesOverTheLightenedPicture) {
    ScratchDir dir;
    const RunResult r =
        runPenvex(words("demo:L -b none -q -ox out.xml -op preview.ppm"), dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(runProgram({"/usr/bin/convert", "L.png", "L.ppm"}, dir.path()).exitCode, 0);
    const Raster photo = readNetpbm(dir / "L.ppm"), preview = readNetpbm(dir / "preview.ppm");
    ASSERT_EQ(std::pair(preview.width, preview.height), std::pair(photo.width, photo.height));
    const Written drawing = readWritten(dir / "out.xml");
    ASSERT_FALSE(drawing.lines.empty());
    const auto pixel = [&](const Raster& image, const P2& p) {
        return image.at(unsigned(std::lround(p.x())),
                        image.height - 1 - unsigned(std::lround(p.y())));
    };
    // The middle of each long edge is drawn in the line colour (a fully covered pixel).
    for (const auto& line : drawing.lines)
        for (std::size_t k = 1; k < line.size(); ++k)
            if (distance(line[k - 1], line[k]) > 20.0f) {
                const unsigned char* c =
                    pixel(preview, line[k - 1] + (line[k] - line[k - 1]) * 0.5f);
                EXPECT_EQ(std::vector<int>(c, c + 3), (std::vector<int>{216, 12, 12}));
            }
    // Away from the drawing the picture shows through, lightened: 153 + 2 v / 5.
    for (unsigned y = 0; y < photo.height; y += 7)
        for (unsigned x = 0; x < photo.width; x += 7) {
            const P2 p(float(x), float(photo.height - 1 - y));
            if (distanceToPolylines(p, drawing.lines) < 8.0f)
                continue;
            for (unsigned c = 0; c < 3; ++c)
                ASSERT_EQ(preview.at(x, y)[c], 153 + photo.at(x, y)[c] * 2 / 5) << x << "," << y;
        }
}

TEST(Export, EditorSVGRendersAlikeInABrowserAnEditorAndALibrary) {
    ScratchDir dir;
    const std::string photo = dataPath("background/desk-front-400.png").string(); // 400 x 300
    ASSERT_EQ(runPenvex(words(photo + " -auto -q -se out.svg"), dir.path()).exitCode, 0);
    const std::string svg = (dir / "out.svg").string();
    const std::vector<std::vector<std::string>> renderers = {
        {"/usr/bin/rsvg-convert", "-b", "white", svg, "-o", "0.png"},
        {"/usr/bin/inkscape", svg, "--export-type=png", "--export-filename=1.png",
         "--export-background=white", "--export-background-opacity=1"},
        {"/usr/bin/chromium", "--headless", "--disable-gpu", "--no-sandbox", "--hide-scrollbars",
         "--screenshot=" + (dir / "2.png").string(), "--window-size=400,300", "file://" + svg}};
    std::vector<Raster> strokes;
    for (std::size_t k = 0; k < renderers.size(); ++k) {
        const std::string n = std::to_string(k);
        ASSERT_EQ(runProgram(renderers[k], dir.path()).exitCode, 0) << renderers[k][0];
        ASSERT_EQ(runProgram({"/usr/bin/convert", n + ".png", "-colorspace", "Gray", "-threshold",
                              "80%", n + ".pgm"},
                             dir.path())
                      .exitCode,
                  0);
        strokes.push_back(readNetpbm(dir / (n + ".pgm")));
        ASSERT_EQ(std::pair(strokes[k].width, strokes[k].height), std::pair(400u, 300u));
    }
    // Every stroke pixel of one render has a stroke pixel of the other within a pixel.
    const auto covered = [](const Raster& a, const Raster& b) {
        std::size_t dark = 0, near = 0;
        for (unsigned y = 1; y + 1 < a.height; ++y)
            for (unsigned x = 1; x + 1 < a.width; ++x) {
                if (*a.at(x, y) != 0)
                    continue;
                ++dark;
                bool found = false;
                for (unsigned v = y - 1; v <= y + 1 && !found; ++v)
                    for (unsigned u = x - 1; u <= x + 1 && !found; ++u)
                        found = *b.at(u, v) == 0;
                near += found;
            }
        return std::pair(dark, double(near) / double(std::max<std::size_t>(dark, 1)));
    };
    for (std::size_t k = 1; k < strokes.size(); ++k) {
        const auto [dark, share] = covered(strokes[0], strokes[k]);
        EXPECT_GT(dark, 2000u);
        EXPECT_LT(dark, 20000u); // strokes, not the page
        EXPECT_GT(share, 0.98) << renderers[k][0];
        EXPECT_GT(covered(strokes[k], strokes[0]).second, 0.98) << renderers[k][0];
    }
}
