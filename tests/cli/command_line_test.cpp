// The command line as a user meets it: help, version, argument errors with exit code 2, and
// the bounds every test run of the binary has.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>
#include <csignal>

#include "cli_support.hpp"

using namespace PenvexTest;

const std::string usage =
    "Usage: penvex [-auto] [-b method] [-a N/N%] [-n N] [-e N] [-h] [-mc N] [-mo N]\n"
    "        [-mt N] [-tn N] [-tc snap distance segment distance]\n"
    "        [-tr line length vertex distance] [-cl N] [-cg N] [-r]\n"
    "        [-rs width height] [-ru unit] [-lx X] [-sc] [-os filename]\n"
    "        [-ox filename] [-se filename] [-od filename] [-op filename]\n"
    "        [-om filename] [-oi filename] [-q] [-j N] [--help] [--version] image\n";

TEST(CommandLine, HelpAndVersionArePrintedOnStandardOutputBeforeAnyStage) {
    ScratchDir dir;
    const RunResult version = runPenvex({"--version"}, dir.path());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Penvex -- 20230422\n");
    // Help wins even after an image name and other options.
    const RunResult r = runPenvex({"missing.png", "-q", "--help"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    // Every line but the blank ones ends in a blank.
    std::string help = usage;
    for (const char* line :
         {"",
          "Penvex -- Vectorization of line sketches.",
          "",
          "Positional arguments:",
          "  image         image file | polygon XML file | demo:name",
          "",
          "Named options:",
          "  -auto         automatic mode: -a auto -b auto -cl auto -sc",
          "  -b method     background detection method: lines | segment | auto | none",
          "  -a N/N%       thickness of lines in % of image size or pixels | auto",
          "  -n N          subtract NxN local mean",
          "  -e N          apply NxN median filter",
          "  -h            top-hat transform",
          "  -mc N         apply NxN morphological closing",
          "  -mo N         apply NxN morphological opening",
          "  -mt N         maximum number of iterations in thinning of segmented lines",
          "  -tn N         iterations to reassign points to lines after seed to balance",
          "                line segments along paths",
          "  -tc snap distance segment distance  attempt to connect lines to their",
          "                neighbors seeded from the same region",
          "  -tr line length vertex distance  remove redundant lines and vertices in",
          "                connected polylines",
          "  -cl N         lines not connected to lines longer than this is considered",
          "                clutter | auto",
          "  -cg N         clutter lines within this distance is grouped together",
          "  -r            rectify drawing",
          "  -rs width height  rectify result to specified area",
          "  -ru unit      unit of the -rs size: px | mm | cm | in",
          "  -lx X         align lines whose major normalized direction component",
          "                projected in each axis is greater than X",
          "  -sc           centre polylines on the strokes of the full-resolution image",
          "  -os filename  SVG filename",
          "  -ox filename  polygon XML filename",
          "  -se filename  SVG filename, laid out for editing in an SVG editor",
          "  -od filename  DXF filename",
          "  -op filename  preview image filename: the picture with the result drawn on",
          "                it",
          "  -om filename  mask image filename",
          "  -oi filename  refined image filename",
          "  -q            no status messages, only errors",
          "  -j N          number of threads; default one per core, 0 likewise",
          "  --help        print this help message",
          "  --version     print version",
          ""})
        help += *line == 0 ? "\n" : std::string(line) + " \n";
    EXPECT_EQ(r.out, help);
}

TEST(CommandLine, ArgumentErrorsEndWithUsageAndExitCode2) {
    ScratchDir dir;
    const char* const cases[][2] = {
        {"", "The required value 'image' was not assigned. "},
        {"-b lines -b none x.png", "Parameter (background detection method: lines | segment | auto "
                                   "| none) already assigned. "},
        {"x.png -tc 3",
         "Could only assign 1 of 2 values of option, end of argument list reached. "},
        {"a.png b.png -os out.svg", "Several inputs need {name} in the output file name "
                                    "'out.svg'. "},
    };
    for (const auto& [args, message] : cases) {
        const RunResult r = runPenvex(words(args), dir.path());
        EXPECT_EQ(r.exitCode, 2) << message;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, message + ("\n\n" + usage));
    }
}

TEST(TestRunner, AProgramPastItsTimeLimitIsKilledAndReaped) {
    ScratchDir dir;
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = runProgram({"/bin/sleep", "30"}, dir.path(), "", std::chrono::seconds(1));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitCode, 128 + SIGKILL);
    // Reaped: no child of ours by that id, and no process either.
    EXPECT_TRUE(waitpid(r.pid, nullptr, WNOHANG) == -1 && errno == ECHILD);
    EXPECT_TRUE(kill(r.pid, 0) == -1 && errno == ESRCH);

    // The binary is reported by name when it runs out of time.
    EXPECT_NONFATAL_FAILURE(runPenvex({"--version"}, dir.path(), "", std::chrono::seconds(0)),
                            "penvex did not finish within 0 s");
}

TEST(CommandLine, ManyInputsPipesAndTheReminderThatNothingWasWritten) {
    ScratchDir dir;
    const std::string photo = readFile(dataPath("background/sticky-400.png"));
    writeFile(dir / "a.png", photo);
    writeFile(dir / "b.png", photo);
    writeFile(dir / "broken.png", "not a picture");
    // Each input runs on its own, one after the other or side by side; the broken one fails
    // alone, its error line names it, and the last line counts.
    for (const char* jobs : {"-j 1", "-j 3"}) {
        std::filesystem::remove(dir / "out-a.svg");
        std::filesystem::remove(dir / "out-b.svg");
        const RunResult batch = runPenvex(
            words(std::string("a.png broken.png b.png -q -os out-{name}.svg ") + jobs), dir.path());
        EXPECT_EQ(batch.exitCode, 1) << jobs;
        EXPECT_EQ(batch.err,
                  "broken.png: ZELK ZELK::Migration::FormatException: png : signature missmatch\n"
                  "3 inputs: 2 done, 1 failed\n")
            << jobs;
        EXPECT_TRUE(std::filesystem::exists(dir / "out-a.svg"));
        EXPECT_TRUE(std::filesystem::exists(dir / "out-b.svg"));
        EXPECT_FALSE(std::filesystem::exists(dir / "out-broken.svg"));
    }
    // A picture on standard input, the SVG on standard output and the status on standard error.
    const RunResult piped = runPenvex(words("- -os -"), dir.path(), photo);
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out, readFile(dir / "out-a.svg"));
    EXPECT_NE(piped.err.find("* Loading image -"), std::string::npos);
    // A picture traced without any output option says so.
    const RunResult nothing = runPenvex(words("a.png -q"), dir.path());
    EXPECT_EQ(nothing.exitCode, 0);
    EXPECT_EQ(nothing.err, "Nothing was written: -os, -ox, -se, -od, -op, -om or -oi write the "
                           "results to files.\n");
}
