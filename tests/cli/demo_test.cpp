// Demo figures as input of the real binary, checked with pngcheck and ImageMagick.
#include <gtest/gtest.h>

#include "cli_support.hpp"

using namespace PenvexTest;

TEST(Input, DemoRendersThePictureAndItsReferenceDrawing) {
    ScratchDir dir;
    const RunResult r = runPenvex({"demo:plus"}, dir.path());
    EXPECT_EQ(statusOf(r.out, "Generate demo plus"), "OK");
    // The reference drawing beside the picture.
    EXPECT_NE(readFile(dir / "plus.svg").find("<line x1=\"25.6\" x2=\"230.4\" y1=\"128\""),
              std::string::npos);
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
    for (const auto [x, row, red] : {std::array{20, 127, 0},
                                     {21, 127, 169},
                                     {22, 127, 255},
                                     {100, 255 - 125, 127},
                                     {100, 255 - 131, 0}})
        EXPECT_EQ(std::uint8_t(pixels[3 * (row * 256 + x)]), red) << x << "," << row;
}

TEST(Input, DemoWithEveryDegradationIsTheSameOnEveryRun) {
    ScratchDir first, second;
    const std::string demo = "demo:wobbly,background,backgroundborder,perspective,clutter=0.6,"
                             "quality=poor,r2=0.2,coloring=whiteboard,noise=0.1,gradient=0.3";
    EXPECT_EQ(statusOf(runPenvex({demo}, first.path()).out, "Generate demo wobbly"), "OK");
    runPenvex({demo}, second.path());
    EXPECT_GT(readFile(first / "wobbly.png").size(), 1000u);
    EXPECT_EQ(readFile(first / "wobbly.png"), readFile(second / "wobbly.png"));
    EXPECT_EQ(readFile(first / "wobbly.svg"), readFile(second / "wobbly.svg"));
}
