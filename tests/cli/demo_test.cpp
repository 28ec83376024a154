// Demo figures as input of the real binary, read back with ImageMagick.
#include <gtest/gtest.h>

#include "cli_support.hpp"

using namespace PenvexTest;

TEST(Input, DemoRendersThePictureAndItsReferenceDrawingAlikeOnEveryRun) {
    ScratchDir dir;
    const RunResult r = runPenvex({"demo:plus"}, dir.path());
    EXPECT_EQ(statusOf(r.out, "Generate demo plus"), "OK");
    // The reference drawing beside the picture.
    EXPECT_NE(readFile(dir / "plus.svg").find("<line x1=\"25.6\" x2=\"230.4\" y1=\"128\""),
              std::string::npos);

    // The file holds the rendered figure: the horizontal stroke spans the rows 125.5 to 130.5,
    // so at x = 100 row 130 is half covered and row 124 blank.
    const std::string pixels =
        runTool({"/usr/bin/convert", "plus.png", "-depth", "8", "rgb:-"}, dir.path());
    ASSERT_EQ(pixels.size(), 256u * 256 * 3);
    EXPECT_EQ(std::uint8_t(pixels[3 * (130 * 256 + 100)]), 127);
    EXPECT_EQ(std::uint8_t(pixels[3 * (124 * 256 + 100)]), 0);

    // With every degradation the picture is still the same on every run.
    ScratchDir first, second;
    const std::string demo = "demo:wobbly,background,backgroundborder,perspective,clutter=0.6,"
                             "quality=poor,r2=0.2,coloring=whiteboard,noise=0.1,gradient=0.3";
    EXPECT_EQ(statusOf(runPenvex({demo}, first.path()).out, "Generate demo wobbly"), "OK");
    runPenvex({demo}, second.path());
    EXPECT_GT(readFile(first / "wobbly.png").size(), 1000u);
    EXPECT_EQ(readFile(first / "wobbly.png"), readFile(second / "wobbly.png"));
    EXPECT_EQ(readFile(first / "wobbly.svg"), readFile(second / "wobbly.svg"));
}
