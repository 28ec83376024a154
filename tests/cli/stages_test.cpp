// The stages between input and export through the real binary: background detection by each
// method, the steps of line extraction, and the options of refinement and clutter.
#include <gtest/gtest.h>

#include "cli_support.hpp"

using namespace PenvexTest;

TEST(Stages, BackgroundDetectionRunsTheChosenMethod) {
    ScratchDir dir;
    const std::string outline = "Detecting background outline";
    // The lines method needs a sheet whose side edges lean left, the segmentation one that is
    // larger than its surround. The default method failing does not stop the stage.
    const struct {
        const char* fixture;
        std::vector<std::string> options;
        std::string step, verdict;
    } cases[] = {
        {"background/sheet-turned-128.ppm", {"-b", "lines"}, outline, "OK"},
        {"background/sheet-128.ppm", {"-b", "segment"}, "Detecting background segmentation", "OK"},
        {"background/sheet-128.ppm", {}, outline, "FAIL"},
        {"background/sheet-128.ppm", {"-b", "none"}, "Detecting", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture + (" " + c.step));
        std::vector<std::string> args{dataPath(c.fixture).string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult r = runPenvex(args, dir.path());
        EXPECT_EQ(statusOf(r.out, c.step), c.verdict);
        EXPECT_EQ(statusOf(r.out, "Segmenting lines"), "OK");
        EXPECT_EQ(r.err.find("background"), std::string::npos) << r.err;
    }
}

TEST(Stages, LineExtractionRunsItsStepsInOrder) {
    ScratchDir dir;
    const RunResult r =
        runPenvex({dataPath("tracing/cross.pgm").string(), "-a", "3", "-b", "none"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::size_t previous = 0;
    for (const std::string step :
         {"Segmenting lines", "Morphological closing", "Morphological opening",
          "Thinning to skeleton", "Extracting lines", "Refining lines", "Connecting polylines"}) {
        EXPECT_EQ(statusOf(r.out, step), "OK") << step;
        EXPECT_GT(r.out.find("* " + step), previous) << step;
        previous = r.out.find("* " + step);
    }
    // A filled square needs more thinning passes than the default limit of 20 allows.
    std::string square(200 * 200, char(255));
    for (int y = 50; y < 150; ++y)
        square.replace(std::size_t(y) * 200 + 50, 100, 100, char(0));
    writeFile(dir / "square.pgm", "P5\n200 200\n255\n" + square);
    const std::vector<std::string> args{"square.pgm", "-b", "none", "-n", "0", "-a", "3"};
    const RunResult limited = runPenvex(args, dir.path());
    EXPECT_EQ(limited.exitCode, 1);
    EXPECT_EQ(statusOf(limited.out, "Thinning to skeleton"), "FAIL");
    EXPECT_EQ(limited.err, "Thinning did not complete in limited number of iterations 20\n");
    std::vector<std::string> more = args;
    more.insert(more.end(), {"-mt", "60"});
    const RunResult r60 = runPenvex(more, dir.path());
    EXPECT_EQ(statusOf(r60.out, "Thinning to skeleton"), "OK") << r60.err;
    EXPECT_EQ(r60.exitCode, 0) << r60.err;
}

TEST(Stages, RefinementAndClutterFollowTheirOptions) {
    const std::vector<P2> skewed{P2(0, 0), P2(10, 0.5f), P2(10.5f, 10)};
    const struct {
        Polylines input;
        std::vector<std::string> options;
        Polylines lines;
        std::size_t clutter;
    } cases[] = {
        // -tr L 0 merges short edges (never the first of an open polyline) without removing.
        {{{P2(0, 0), P2(10, 0), P2(12, 0), P2(30, 0)}},
         {"-tr", "5", "0", "-cl", "5"},
         {{P2(0, 0), P2(11, 0), P2(30, 0)}},
         0},
        // -tr 0 D removes vertices close to the chord of their neighbours.
        {{{P2(0, 0), P2(10, 1), P2(20, 0)}},
         {"-tr", "0", "5", "-cl", "5"},
         {{P2(0, 0), P2(20, 0)}},
         0},
        {{skewed}, {"-lx", "0.9", "-cl", "5"}, {{P2(0, 0), P2(10.5f, 0), P2(10.5f, 10)}}, 0},
        {{skewed}, {"-lx", "1", "-cl", "5"}, {skewed}, 0},
        // A short stroke that no long segment reaches is clutter; with -cl 100 every one is.
        {{{P2(0, 0), P2(80, 0)}, {P2(40, 50), P2(43, 50)}}, {}, {{P2(0, 0), P2(80, 0)}}, 1},
        {{{P2(0, 0), P2(80, 0)}, {P2(40, 50), P2(43, 50)}}, {"-cl", "100"}, {}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        ScratchDir dir;
        writeFile(dir / "in.xml", polygonDocument(100, 100, c.input));
        std::vector<std::string> args{"in.xml", "-ox", "out.xml"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(runPenvex(args, dir.path()).exitCode, 0);
        const Written out = readWritten(dir / "out.xml");
        EXPECT_EQ(out.lines, c.lines);
        EXPECT_EQ(out.clutter.size(), c.clutter);
    }
}
