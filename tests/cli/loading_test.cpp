// Input loading as a user meets it: the status lines of grey conversion and scaling, the
// filter sizes refused up front, and the errors of inputs that cannot be conditioned.
#include <gtest/gtest.h>

#include <cctype>

#include "support/run_binary.hpp"

using PenvexTest::dataPath;
using PenvexTest::runPenvex;
using PenvexTest::ScratchDir;
using PenvexTest::statusOf;

namespace {

// A grey P5 file of the given size, all mid grey.
std::string greyPgm(unsigned w, unsigned h) {
    return "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n" +
           std::string(std::size_t(w) * h, char(128));
}

} // namespace

TEST(LoadingCli, ColourImagesAreConvertedGreyOnesAreNot) {
    ScratchDir dir;
    auto colour =
        runPenvex({dataPath("background/sheet-128.ppm").string(), "-b", "none"}, dir.path());
    EXPECT_EQ(
        statusOf(colour.out, "Loading image " + dataPath("background/sheet-128.ppm").string()),
        "OK");
    EXPECT_EQ(statusOf(colour.out, "Converting to gray scale"), "OK");
    EXPECT_EQ(statusOf(colour.out, "Scaling image to have nominal line thickness"), "");

    PenvexTest::writeFile(dir / "grey.pgm", greyPgm(64, 48));
    auto grey = runPenvex({"grey.pgm", "-b", "none"}, dir.path());
    EXPECT_EQ(statusOf(grey.out, "Loading image grey.pgm"), "OK");
    EXPECT_EQ(statusOf(grey.out, "Converting to gray scale"), "");

    // A bitmap and a 16-bit grey scan are conditioned like any grey image: the run reaches
    // background detection.
    for (const char* fixture : {"netpbm/bits.pbm", "netpbm/grey16.pgm"}) {
        auto r = runPenvex({dataPath(fixture).string()}, dir.path());
        EXPECT_EQ(statusOf(r.out, "Loading image " + dataPath(fixture).string()), "OK");
        EXPECT_EQ(statusOf(r.out, "Converting to gray scale"), "") << fixture;
        EXPECT_NE(statusOf(r.out, "Detecting background outline"), "") << fixture << r.err;
    }
}

TEST(LoadingCli, ThickLinesAskForScaling) {
    ScratchDir dir;
    PenvexTest::writeFile(dir / "grey.pgm", greyPgm(64, 48));
    // -a 12: lines of 12 pixels are shrunk to 5.
    auto r = runPenvex({"grey.pgm", "-a", "12", "-b", "none"}, dir.path());
    EXPECT_EQ(statusOf(r.out, "Scaling image to have nominal line thickness"), "OK");
    // 6 pixels is the largest thickness left alone; the default 0.5 % of this small image too.
    r = runPenvex({"grey.pgm", "-a", "6", "-b", "none"}, dir.path());
    EXPECT_EQ(statusOf(r.out, "Scaling image to have nominal line thickness"), "");
    r = runPenvex({"grey.pgm", "-b", "none"}, dir.path());
    EXPECT_EQ(statusOf(r.out, "Scaling image to have nominal line thickness"), "");
    // 10 % of sqrt(64 * 48) = 5.5 pixels: not scaled; 20 % = 11.1: scaled.
    r = runPenvex({"grey.pgm", "-a", "10%", "-b", "none"}, dir.path());
    EXPECT_EQ(statusOf(r.out, "Scaling image to have nominal line thickness"), "");
    r = runPenvex({"grey.pgm", "-a", "20%", "-b", "none"}, dir.path());
    EXPECT_EQ(statusOf(r.out, "Scaling image to have nominal line thickness"), "OK");
    // A thickness that is not a number ends the run with the conversion error.
    r = runPenvex({"grey.pgm", "-a", "thick"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              "ZELK ZELK::Text::ConversionException: Failed to convert \"thick\" to float.\n");
}

TEST(LoadingCli, FilterSizesBeyondTheLimitsAreRefusedFirst) {
    ScratchDir dir;
    PenvexTest::writeFile(dir / "grey.pgm", greyPgm(8, 8));
    auto r = runPenvex({"grey.pgm", "-e", "256"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Median window 256 is larger than the supported maximum 255 (-e)\n");
    r = runPenvex({"grey.pgm", "-n", "16777217"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Local mean window 16777217 is larger than the supported maximum 16777216 (-n)\n");
    // 255 itself is accepted: loading goes ahead.
    r = runPenvex({"grey.pgm", "-e", "255", "-b", "none"}, dir.path());
    EXPECT_EQ(statusOf(r.out, "Loading image grey.pgm"), "OK");
}

TEST(LoadingCli, SixteenBitColourCannotBeConverted) {
    ScratchDir dir;
    auto r = runPenvex({dataPath("netpbm/rgb16.ppm").string()}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    // The error ends the run inside the step: its line is left open, without a verdict.
    const std::string open = "\n* Converting to gray scale";
    ASSERT_GE(r.out.size(), open.size()) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - open.size()), open) << r.out;
    EXPECT_EQ(r.err, "ZELK ZELK::UnexpectedValueException: 16-bit unsigned little endian is not "
                     "8-bit unsigned little endian. \n");
}
