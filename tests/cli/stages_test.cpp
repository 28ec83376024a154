// The stages between input and export through the real binary: background detection by each
// method, the steps of line extraction, and polygon XML input through refinement and clutter.
#include <gtest/gtest.h>

#include "cli_support.hpp"

using namespace PenvexTest;

TEST(Stages, BackgroundDetectionRunsTheChosenMethod) {
    ScratchDir dir;
    std::filesystem::create_directory_symlink(dataPath(""), dir / "data");
    // The lines method needs a sheet whose side edges lean left, the segmentation one that is
    // larger than its surround; the default (lines) failing does not stop the run.
    const char* const cases[][3] = {
        {"data/background/sheet-turned-128.ppm -b lines", "Detecting background outline", "OK"},
        {"data/background/sheet-128.ppm -b segment", "Detecting background segmentation", "OK"},
        {"data/background/sheet-128.ppm", "Detecting background outline", "FAIL"},
    };
    for (const auto& [args, step, verdict] : cases) {
        const RunResult r = runPenvex(words(args), dir.path());
        EXPECT_EQ(statusOf(r.out, step), verdict) << args;
        EXPECT_EQ(statusOf(r.out, "Segmenting lines"), "OK") << r.err;
    }
}

TEST(Stages, LineExtractionRunsItsStepsInOrder) {
    ScratchDir dir;
    std::filesystem::create_directory_symlink(dataPath(""), dir / "data");
    const RunResult r = runPenvex(words("data/tracing/cross.pgm -a 3 -b none"), dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(statusOf(r.out, "Detecting"), ""); // -b none
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
    const RunResult limited = runPenvex(words("square.pgm -b none -n 0 -a 3"), dir.path());
    EXPECT_EQ(limited.exitCode, 1);
    EXPECT_EQ(limited.err, "Thinning did not complete in limited number of iterations 20\n");
    const RunResult more = runPenvex(words("square.pgm -b none -n 0 -a 3 -mt 60"), dir.path());
    EXPECT_EQ(more.exitCode, 0) << more.err;
}

TEST(Stages, PolygonXMLIsRefinedAndClassifiedAsTheOptionsSay) {
    const std::vector<P2> skewed{P2(0, 0), P2(10, 0.5f), P2(10.5f, 10)};
    const Polylines lineAndSpeck{{P2(0, 0), P2(80, 0)}, {P2(40, 50), P2(43, 50)}};
    Polylines dashes;
    for (float x = 0; x < 120; x += 22)
        dashes.push_back({P2(x, 0), P2(x + 15, 0)});
    // -cl 5 keeps the short polylines of most cases among the lines.
    const struct {
        Polylines input;
        const char* options;
        Polylines lines;
        std::size_t clutter = 0;
    } cases[] = {
        // -tr L 0 merges short edges (never the first of an open polyline) without removing.
        {{{P2(0, 0), P2(10, 0), P2(12, 0), P2(30, 0)}},
         "-tr 5 0 -cl 5",
         {{P2(0, 0), P2(11, 0), P2(30, 0)}}},
        // -tr 0 D removes vertices close to the chord of their neighbours.
        {{{P2(0, 0), P2(10, 1), P2(20, 0)}}, "-tr 0 5 -cl 5", {{P2(0, 0), P2(20, 0)}}},
        {{skewed}, "-lx 0.9 -cl 5", {{P2(0, 0), P2(10.5f, 0), P2(10.5f, 10)}}},
        // A short stroke that no long segment reaches is clutter.
        {lineAndSpeck, "-cl 20", {lineAndSpeck[0]}, 1},
        // Without a picture -cl auto takes strokes as 5 units wide: the speck stays clutter,
        // and dashes lined up end to end are a line.
        {lineAndSpeck, "-cl auto", {lineAndSpeck[0]}, 1},
        {dashes, "-cl auto", dashes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        ScratchDir dir;
        writeFile(dir / "in.xml", polygonDocument(100, 100, c.input));
        const RunResult r = runPenvex(
            words(std::string("in.xml -ox out.xml -os out.svg ") + c.options), dir.path());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(readWritten(dir / "out.xml").lines, c.lines);
        // Without a picture the drawing is black on white.
        EXPECT_EQ(readSVG(dir / "out.svg").strokes.at(0), "#000000");
        EXPECT_EQ(readSVG(dir / "out.svg").background, "#ffffff");
        EXPECT_EQ(readWritten(dir / "out.xml").clutter.size(), c.clutter);
    }
}

TEST(Stages, AutomaticModeIsTheFourAutomaticChoicesAndSaysWhatItFound) {
    ScratchDir dir;
    std::filesystem::create_directory_symlink(dataPath(""), dir / "data");
    const struct {
        const char* input;
        const char* options;
        const char* same; // the options -auto stands for here
        const char* sheetLine;
    } cases[] = {
        {"desk-front-400.png", "-auto", "-a auto -b auto -cl auto -sc", "Sheet found:"},
        {"no-sheet-scan-400.png", "-auto", "-a auto -b auto -cl auto -sc",
         "No sheet found: the picture is the sheet"},
        // An option given on its own keeps its value.
        {"desk-front-400.png", "-auto -b none -cl 20", "-a auto -b none -cl 20 -sc", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string input = std::string("data/background/") + c.input;
        const RunResult automatic =
            runPenvex(words(input + " -ox a.xml -os a.svg " + c.options), dir.path());
        const RunResult spelled =
            runPenvex(words(input + " -q -ox b.xml -os b.svg " + c.same), dir.path());
        ASSERT_EQ(automatic.exitCode, 0) << automatic.err;
        ASSERT_EQ(spelled.exitCode, 0) << spelled.err;
        EXPECT_EQ(readFile(dir / "a.xml"), readFile(dir / "b.xml"));
        EXPECT_EQ(readFile(dir / "a.svg"), readFile(dir / "b.svg"));
        EXPECT_EQ(statusOf(automatic.out, "Measuring stroke width"), "OK");
        EXPECT_EQ(statusOf(automatic.out, "Centring polylines"), "OK");
        if (c.sheetLine) {
            EXPECT_EQ(statusOf(automatic.out, c.sheetLine), "OK") << automatic.out;
        }
    }
}
