// The three kinds of input through the real binary: image files (grey conversion, scaling of
// thick lines), demo figures (checked with pngcheck and ImageMagick), and polygon XML.
#include <gtest/gtest.h>

#include "cli_support.hpp"

using namespace PenvexTest;

TEST(Input, ColourImagesAreMadeGreyAndThickLinesAreScaledDown) {
    ScratchDir dir;
    const std::string scaling = "Scaling image to have nominal line thickness";
    const std::string sheet = dataPath("background/sheet-128.ppm").string();
    RunResult r = runPenvex({sheet, "-b", "none"}, dir.path());
    EXPECT_EQ(statusOf(r.out, "Loading image " + sheet), "OK");
    EXPECT_EQ(statusOf(r.out, "Converting to gray scale"), "OK");
    EXPECT_EQ(statusOf(r.out, scaling), "");
    // A 16-bit grey scan is grey already; lines of 12 pixels are shrunk.
    const std::string scan = dataPath("netpbm/grey16.pgm").string();
    r = runPenvex({scan, "-a", "12", "-b", "none"}, dir.path());
    EXPECT_EQ(statusOf(r.out, "Loading image " + scan), "OK");
    EXPECT_EQ(statusOf(r.out, "Converting to gray scale"), "");
    EXPECT_EQ(statusOf(r.out, scaling), "OK");
}

TEST(Input, DemoRendersThePictureAndItsReferenceDrawing) {
    ScratchDir dir;
    const RunResult r = runPenvex({"demo:plus"}, dir.path());
    EXPECT_EQ(statusOf(r.out, "Generate demo plus"), "OK");
    EXPECT_EQ(readFile(dir / "plus.svg"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
              "<svg version=\"1.1\" viewBox=\"0 0 256 256\" xmlns=\"http://www.w3.org/2000/svg\">"
              "<g stroke=\"black\" stroke-width=\"2\">"
              "<line x1=\"25.6\" x2=\"230.4\" y1=\"128\" y2=\"128\" />"
              "<line x1=\"128\" x2=\"128\" y1=\"25.6\" y2=\"230.4\" />"
              "</g></svg>");
    const std::string png = (dir / "plus.png").string();
    const std::string report = runTool({"/usr/bin/pngcheck", png}, dir.path());
    EXPECT_NE(report.find("OK: "), std::string::npos) << report;
    EXPECT_NE(report.find("(256x256, 24-bit RGB, non-interlaced"), std::string::npos) << report;

    // The file shows the picture upright: the horizontal stroke's left end is at x = 21.33 in
    // the rows 125.5 to 130.5 counted from the bottom, so top-down row 255 - 128 = 127 has the
    // partly covered pixel 21 (169) beside the full pixel 22.
    const std::string pixels =
        runTool({"/usr/bin/convert", png, "-depth", "8", "rgb:-"}, dir.path());
    ASSERT_EQ(pixels.size(), 256u * 256 * 3);
    auto at = [&](int x, int row) { return std::uint8_t(pixels[3 * (row * 256 + x)]); };
    EXPECT_EQ(at(20, 127), 0);
    EXPECT_EQ(at(21, 127), 169);
    EXPECT_EQ(at(22, 127), 255);
    EXPECT_EQ(at(100, 255 - 125), 127);
    EXPECT_EQ(at(100, 255 - 131), 0);
}

TEST(Input, PolygonXMLIsLoadedRefinedAndWrittenBack) {
    ScratchDir dir;
    // A square, an open polyline, and a short mark far away.
    writeFile(
        dir / "in.xml",
        polygonDocument(400, 300,
                        {{P2(250, 150), P2(350, 150), P2(350, 40)}, {P2(380, 280), P2(384, 283)}},
                        {{P2(50, 50), P2(250, 50), P2(250, 250), P2(50, 250)}}));
    const RunResult r = runPenvex({"in.xml", "-ox", "out.xml"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
    EXPECT_EQ(statusOf(r.out, "Loading XML"), "OK");
    EXPECT_EQ(statusOf(r.out, "Refining polylines"), "OK");
    const Written out = readWritten(dir / "out.xml");
    EXPECT_EQ(out.width, 400.0f);
    EXPECT_EQ(out.height, 300.0f);
    EXPECT_EQ(out.lines,
              (Polylines{{P2(250, 150), P2(350, 150), P2(350, 40)},
                         {P2(50, 50), P2(250, 50), P2(250, 250), P2(50, 250), P2(50, 50)}}));
    EXPECT_EQ(out.clutter, (Polylines{{P2(380, 280), P2(384, 283)}}));

    // -q silences the status lines, not the result.
    const RunResult quiet = runPenvex({"in.xml", "-q", "-ox", "quiet.xml"}, dir.path());
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(readFile(dir / "quiet.xml"), readFile(dir / "out.xml"));

    // A drawing without polylines skips refinement and is still written, in its own area.
    writeFile(dir / "empty.xml",
              "\n<?xml version=\"1.0\"?>\n<area width=\"50\" height=\"40\"></area>\n");
    const RunResult empty = runPenvex({"empty.xml", "-os", "e.svg", "-ox", "e.xml"}, dir.path());
    ASSERT_EQ(empty.exitCode, 0) << empty.err;
    EXPECT_EQ(statusOf(empty.out, "Refining polylines"), "");
    EXPECT_EQ(readFile(dir / "e.xml"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?><area height=\"40\" width=\"50\">"
              "<!--The following polylines are classified as clutter.--></area>");
    EXPECT_EQ(readSVG(dir / "e.svg").viewBox, (std::array<float, 4>{0, 0, 50, 40}));
}
