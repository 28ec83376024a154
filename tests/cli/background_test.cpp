// Background detection as a user meets it: the method's status line, the messages and exit
// codes of a picture without a sheet, an unknown method, and -b none.
#include <gtest/gtest.h>

#include "support/run_binary.hpp"

using PenvexTest::dataPath;
using PenvexTest::runPenvex;
using PenvexTest::ScratchDir;
using PenvexTest::statusOf;

namespace {

const std::string outline = "Detecting background outline";
const std::string segmentation = "Detecting background segmentation";
const std::string unable = "Unable to detect background.\n";

} // namespace

TEST(BackgroundCli, SheetIsFoundByBothMethods) {
    ScratchDir dir;
    // The lines method needs a sheet whose side edges lean left (see the detection tests),
    // the segmentation one that is larger than its surround.
    const std::string turned = dataPath("background/sheet-turned-128.ppm").string();
    const std::string sheet = dataPath("background/sheet-128.ppm").string();
    auto r = runPenvex({turned, "-b", "lines"}, dir.path());
    EXPECT_EQ(statusOf(r.out, outline), "OK");
    EXPECT_EQ(r.err.find(unable), std::string::npos);
    r = runPenvex({sheet, "-b", "segment"}, dir.path());
    EXPECT_EQ(statusOf(r.out, segmentation), "OK");
    // Without -b the lines method runs; on the upright sheet it finds nothing and the run
    // goes on.
    r = runPenvex({turned}, dir.path());
    EXPECT_EQ(statusOf(r.out, outline), "OK");
    r = runPenvex({sheet}, dir.path());
    EXPECT_EQ(statusOf(r.out, outline), "FAIL");
    EXPECT_EQ(r.err.find(unable), std::string::npos) << r.err;
}

TEST(BackgroundCli, NoSheetFailsTheRunOnlyWhenAMethodWasAskedFor) {
    ScratchDir dir;
    const std::string desk = dataPath("background/no-sheet-desk.ppm").string();
    auto r = runPenvex({desk, "-b", "lines"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(statusOf(r.out, outline), "FAIL");
    EXPECT_EQ(r.err, unable);

    // With the default the run goes on without a sheet.
    r = runPenvex({desk}, dir.path());
    EXPECT_EQ(statusOf(r.out, outline), "FAIL");
    EXPECT_EQ(r.err.find(unable), std::string::npos) << r.err;

    // A sliver of a picture has no four corners for the segmentation either.
    PenvexTest::writeFile(dir / "sliver.pgm", "P5\n100 4\n255\n" + std::string(400, char(90)));
    r = runPenvex({"sliver.pgm", "-b", "segment"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(statusOf(r.out, segmentation), "FAIL");
    EXPECT_EQ(r.err, unable);
}

TEST(BackgroundCli, MethodNamesAreExact) {
    ScratchDir dir;
    const std::string sheet = dataPath("background/sheet-128.ppm").string();
    for (const char* wrong : {"Lines", "segmentation", ""}) {
        auto r = runPenvex({sheet, "-b", wrong}, dir.path());
        EXPECT_EQ(r.exitCode, 1) << wrong;
        EXPECT_EQ(r.err, std::string("Invalid background detection method ") + wrong + "\n");
        EXPECT_EQ(r.out.find("* Detecting"), std::string::npos);
    }
    // none: no detection line and no error.
    auto r = runPenvex({sheet, "-b", "none"}, dir.path());
    EXPECT_EQ(r.out.find("* Detecting"), std::string::npos);
    EXPECT_EQ(r.err.find("background"), std::string::npos) << r.err;
}
