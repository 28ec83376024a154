// Line extraction as a user meets it: the status steps from segmentation to connected
// polylines, the steps that -mc 0 and -mo 0 leave out, and the messages that stop the run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_binary.hpp"

using PenvexTest::dataPath;
using PenvexTest::runPenvex;
using PenvexTest::ScratchDir;

namespace {

// "OK" or "FAIL" at the end of the status line that starts with "* " + message, "" when no
// such line was printed.
std::string statusOf(const std::string& out, const std::string& message) {
    const std::size_t at = out.find("* " + message + " ");
    if (at == std::string::npos)
        return "";
    const std::size_t end = out.find('\n', at);
    const std::string line = out.substr(at, end == std::string::npos ? end : end - at);
    if (line.size() >= 4 && line.compare(line.size() - 4, 4, "FAIL") == 0)
        return "FAIL";
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "OK") == 0)
        return "OK";
    return "?";
}

// Position of a status line, to check the order of the steps.
std::size_t positionOf(const std::string& out, const std::string& message) {
    return out.find("* " + message + " ");
}

// A P5 image: white, with a black square of side `square` at (x0, y0) (side 0: none) or all
// of the given grey.
std::string pgm(unsigned w, unsigned h, unsigned char background, unsigned x0 = 0, unsigned y0 = 0,
                unsigned square = 0) {
    std::string pixels(std::size_t(w) * h, char(background));
    for (unsigned y = y0; y < y0 + square; ++y)
        for (unsigned x = x0; x < x0 + square; ++x)
            pixels[std::size_t(y) * w + x] = 0;
    return "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n" + pixels;
}

const std::vector<std::string> extractionSteps = {
    "Segmenting lines", "Morphological closing", "Morphological opening", "Thinning to skeleton",
    "Extracting lines", "Refining lines",        "Connecting polylines"};

} // namespace

TEST(TracingCli, DrawingRunsThroughEveryExtractionStep) {
    ScratchDir dir;
    for (const char* name : {"rectangle", "cross", "curves"}) {
        const auto r = runPenvex(
            {dataPath(std::string("tracing/") + name + ".pgm").string(), "-a", "3", "-b", "none"},
            dir.path());
        std::size_t previous = 0;
        for (const std::string& step : extractionSteps) {
            EXPECT_EQ(statusOf(r.out, step), "OK") << name << ": " << step << "\n" << r.err;
            const std::size_t at = positionOf(r.out, step);
            EXPECT_GT(at, previous) << step;
            previous = at;
        }
        EXPECT_EQ(r.err.find("segmented as lines"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Thinning did not complete"), std::string::npos) << r.err;
    }
}

TEST(TracingCli, ZeroClosingAndOpeningAreLeftOut) {
    ScratchDir dir;
    const auto r = runPenvex(
        {dataPath("tracing/cross.pgm").string(), "-a", "3", "-b", "none", "-mc", "0", "-mo", "0"},
        dir.path());
    EXPECT_EQ(statusOf(r.out, "Segmenting lines"), "OK") << r.err;
    EXPECT_EQ(statusOf(r.out, "Morphological closing"), "");
    EXPECT_EQ(statusOf(r.out, "Morphological opening"), "");
    EXPECT_EQ(statusOf(r.out, "Thinning to skeleton"), "OK");
    EXPECT_EQ(statusOf(r.out, "Connecting polylines"), "OK");
}

TEST(TracingCli, WholeImageSegmentedStopsTheRun) {
    // A constant image: one value, all of it taken as lines, a share printed as "1".
    ScratchDir dir;
    PenvexTest::writeFile(dir / "flat.pgm", pgm(64, 48, 200));
    const auto r = runPenvex({"flat.pgm", "-b", "none"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(statusOf(r.out, "Segmenting lines"), "OK");
    EXPECT_NE(r.err.find("1 of image was segmented as lines.\n"), std::string::npos) << r.err;
    EXPECT_EQ(statusOf(r.out, "Thinning to skeleton"), "");
}

TEST(TracingCli, FilledSquareExceedsTheThinningLimit) {
    // Without the local mean the filled square stays filled: 100 pixels wide, it needs more
    // than 20 changing iterations; a higher limit lets it through.
    ScratchDir dir;
    PenvexTest::writeFile(dir / "square.pgm", pgm(200, 200, 255, 50, 50, 100));
    const auto r = runPenvex({"square.pgm", "-b", "none", "-n", "0", "-a", "3"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(statusOf(r.out, "Thinning to skeleton"), "FAIL");
    EXPECT_NE(r.err.find("Thinning did not complete in limited number of iterations 20\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(statusOf(r.out, "Extracting lines"), "");

    const auto more =
        runPenvex({"square.pgm", "-b", "none", "-n", "0", "-a", "3", "-mt", "60"}, dir.path());
    EXPECT_EQ(statusOf(more.out, "Thinning to skeleton"), "OK") << more.err;
    EXPECT_EQ(statusOf(more.out, "Connecting polylines"), "OK");
}
