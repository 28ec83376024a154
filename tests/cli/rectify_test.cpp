// Rectification through the real binary: point pairs typed on standard input, with a loading
// scale in between, move the drawing and the refined image.
#include <gtest/gtest.h>

#include "cli_support.hpp"

using namespace PenvexTest;

TEST(Rectify, TypedPairsMoveTheDrawingAndTheRefinedImageIntoTheRectangle) {
    // thick.pgm (480 x 360) is reduced by 5/12 before extraction with -a 12; the outputs still
    // name pixels of the file, and so do typed image points. The pairs mirror the file left to
    // right onto a 4 x 3 rectangle: x' = (480 - x) / 120, y' = y / 120.
    ScratchDir dir;
    std::filesystem::create_directory_symlink(dataPath(""), dir / "data");
    const std::string scan = "data/export/thick.pgm -a 12 -b none ";
    const RunResult plain = runPenvex(words(scan + "-q -ox plain.xml -oi plain.pgm"), dir.path());
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.out, ""); // -q
    const RunResult r = runPenvex(words(scan + "-r -rs 4 3 -ox rect.xml -os rect.svg -oi rect.pgm"),
                                  dir.path(), "0 0 480 0\n4 0 0 0\n4 3 0 360\n0 3 480 360\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The prompt comes on a line of its own between line extraction and refinement.
    const std::size_t prompt = r.out.find("\nEnter corresponding points on a line as: rectified "
                                          "x, rectified y, image x, image y. End with EOF.\n");
    ASSERT_NE(prompt, std::string::npos) << r.out;
    EXPECT_LT(r.out.find("* Connecting polylines"), prompt);
    EXPECT_GT(r.out.find("* Refining polylines"), prompt);
    EXPECT_EQ(statusOf(r.out, "Scaling image to have nominal line thickness"), "OK");

    // Unrectified, the vertices are on the strokes as drawn in the file.
    const Polylines strokes = readStrokes("export/thick.lines");
    const Written before = readWritten(dir / "plain.xml");
    ASSERT_GE(before.vertices.size(), 8u);
    for (const P2& p : before.vertices)
        EXPECT_LE(distanceToPolylines(p, strokes), 8.0f) << p.x() << "," << p.y();

    // Rectifying changes the frame of the vertices, never which there are. The drawing area is
    // the rectangle grown by 0.1 on each side, and the SVG's view box is that area.
    const Written after = readWritten(dir / "rect.xml");
    ASSERT_EQ(after.vertices.size(), before.vertices.size());
    for (std::size_t i = 0; i < before.vertices.size(); ++i) {
        EXPECT_NEAR(after.vertices[i].x(), (480.0f - before.vertices[i].x()) / 120.0f, 1e-4f) << i;
        EXPECT_NEAR(after.vertices[i].y(), before.vertices[i].y() / 120.0f, 1e-4f) << i;
    }
    EXPECT_NE(readFile(dir / "rect.xml").find("<area height=\"3.2\" width=\"4.2\">"),
              std::string::npos);
    EXPECT_EQ(readSVG(dir / "rect.svg").viewBox, (std::array<float, 4>{-0.1f, -0.1f, 4.2f, 3.2f}));

    // The refined image keeps the pixel count and is the plain one mirrored; samples sit at
    // whole pixel coordinates, so its column x shows column 480 - x of the file.
    const Raster unmoved = readNetpbm(dir / "plain.pgm");
    const Raster mirrored = readNetpbm(dir / "rect.pgm");
    ASSERT_EQ(std::pair(mirrored.width, mirrored.height), std::pair(480u, 360u));
    int worst = 0;
    for (unsigned y = 0; y < 360; ++y)
        for (unsigned x = 1; x < 480; ++x)
            worst = std::max(worst, std::abs(*mirrored.at(x, y) - *unmoved.at(480 - x, y)));
    EXPECT_LE(worst, 1);
}
