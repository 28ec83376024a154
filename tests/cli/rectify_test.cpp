// Rectification through the real binary: point pairs typed on standard input with a loading
// scale in between, and the sheet corners found by background detection.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli_support.hpp"

using namespace PenvexTest;

TEST(Rectify, TypedPairsMoveTheDrawingAndTheRefinedImageIntoTheRectangle) {
    // thick.pgm (480 x 360) is reduced by 5/12 before extraction with -a 12; the outputs still
    // name pixels of the file, and so do typed image points. The pairs mirror the file left to
    // right onto a 4 x 3 rectangle: x' = (480 - x) / 120, y' = y / 120.
    ScratchDir dir;
    const std::string scan = dataPath("export/thick.pgm").string();
    const RunResult plain = runPenvex({scan, "-a", "12", "-b", "none", "-q", "-ox", "plain.xml",
                                       "-om", "mask.pgm", "-oi", "plain.pgm"},
                                      dir.path());
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const RunResult r = runPenvex({scan, "-a", "12", "-b", "none", "-r", "-rs", "4", "3", "-ox",
                                   "rect.xml", "-os", "rect.svg", "-oi", "rect.pgm"},
                                  dir.path(), "0 0 480 0\n4 0 0 0\n4 3 0 360\n0 3 480 360\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The prompt comes on a line of its own between line extraction and refinement.
    const std::size_t prompt = r.out.find("\nEnter corresponding points on a line as: rectified "
                                          "x, rectified y, image x, image y. End with EOF.\n");
    ASSERT_NE(prompt, std::string::npos) << r.out;
    EXPECT_LT(r.out.find("* Connecting polylines"), prompt);
    EXPECT_GT(r.out.find("* Refining polylines"), prompt);

    // Unrectified, the results are on the strokes as drawn in the file, and of its size.
    std::ifstream strokesFile(dataPath("export/thick.lines"));
    Polylines strokes;
    for (std::string line; std::getline(strokesFile, line);) {
        std::istringstream values(line);
        strokes.emplace_back();
        for (float x, y; values >> x >> y;)
            strokes.back().emplace_back(x, y);
    }
    const Written before = readWritten(dir / "plain.xml");
    ASSERT_GE(before.vertices.size(), 8u);
    for (const P2& p : before.vertices)
        EXPECT_LE(distanceToPolylines(p, strokes), 8.0f) << p.x() << "," << p.y();
    const Raster mask = readNetpbm(dir / "mask.pgm");
    EXPECT_EQ(mask.width, 480u);
    EXPECT_EQ(mask.height, 360u);

    // Rectifying changes the frame of the vertices, never which there are. The drawing area is
    // the rectangle grown by 0.1 on each side, and the SVG's view box is that area.
    const Written after = readWritten(dir / "rect.xml");
    ASSERT_EQ(after.vertices.size(), before.vertices.size());
    for (std::size_t i = 0; i < before.vertices.size(); ++i) {
        EXPECT_NEAR(after.vertices[i].x(), (480.0f - before.vertices[i].x()) / 120.0f, 1e-4f) << i;
        EXPECT_NEAR(after.vertices[i].y(), before.vertices[i].y() / 120.0f, 1e-4f) << i;
    }
    EXPECT_EQ(after.width, 4.2f);
    EXPECT_EQ(after.height, 3.2f);
    const SVGDrawing svg = readSVG(dir / "rect.svg");
    EXPECT_EQ(svg.viewBox, (std::array<float, 4>{-0.1f, -0.1f, 4.2f, 3.2f}));

    // The refined image keeps the pixel count and is the plain one mirrored; samples sit at
    // whole pixel coordinates, so its column x shows column 480 - x of the file.
    const Raster unmoved = readNetpbm(dir / "plain.pgm");
    const Raster mirrored = readNetpbm(dir / "rect.pgm");
    ASSERT_EQ(mirrored.width, 480u);
    ASSERT_EQ(mirrored.height, 360u);
    int worst = 0;
    for (unsigned y = 0; y < 360; ++y)
        for (unsigned x = 1; x < 480; ++x)
            worst = std::max(worst, std::abs(*mirrored.at(x, y) - *unmoved.at(480 - x, y)));
    EXPECT_LE(worst, 1);
}

TEST(Rectify, SheetCornersFoundByTheLinesMethodTurnTheDrawingByHalfATurn) {
    // The demo sheet spans -0.25 .. 1.25 of the drawing, so on a 1.5 x 1.5 rectangle the unit
    // square lies at 0.25 .. 1.25. The corners found start at the smallest polar angle, the top
    // right of an upright sheet: an L of the drawing's left and bottom edges lands on the right
    // and top of the rectangle.
    ScratchDir dir;
    const RunResult r = runPenvex(
        {"demo:L,background,perspective", "-q", "-r", "-rs", "1.5", "1.5", "-ox", "out.xml"},
        dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Polylines turned{{P2(1.25f, 0.25f), P2(1.25f, 1.25f), P2(0.25f, 1.25f)}};
    Polylines inside; // away from the sheet's own edges
    for (const std::vector<P2>& polyline : readWritten(dir / "out.xml").lines)
        if (std::all_of(polyline.begin(), polyline.end(), [](const P2& p) {
                return std::min(p.x(), p.y()) > 0.1f && std::max(p.x(), p.y()) < 1.4f;
            }))
            inside.push_back(polyline);
    ASSERT_FALSE(inside.empty());
    for (const std::vector<P2>& polyline : inside)
        for (const P2& p : polyline)
            EXPECT_LE(distanceToPolylines(p, turned), 0.05f) << p.x() << "," << p.y();
    // Both arms are there (refinement cuts the corner).
    for (const P2& middle : {P2(1.25f, 0.75f), P2(0.75f, 1.25f)})
        EXPECT_LE(distanceToPolylines(middle, inside), 0.05f);
}
