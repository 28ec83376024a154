// The command line as a user meets it: usage, help, version, argument errors and exit codes.
#include <gtest/gtest.h>

#include "support/run_binary.hpp"

using PenvexTest::runPenvex;
using PenvexTest::ScratchDir;

namespace {

const std::string usage =
    "Usage: penvex [-b method] [-a N/N%] [-n N] [-e N] [-h] [-mc N] [-mo N] [-mt N]\n"
    "        [-tn N] [-tc snap distance segment distance]\n"
    "        [-tr line length vertex distance] [-cl N] [-cg N] [-r]\n"
    "        [-rs width height] [-lx X] [-os filename] [-ox filename] [-om filename]\n"
    "        [-oi filename] [-q] [--help] [--version] image\n";

// Every line of a text must end at or before the given column.
void expectLinesWithin(const std::string& text, std::size_t width) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "text must end with a line end";
        EXPECT_LE(end - start, width) << text.substr(start, end - start);
        start = end + 1;
    }
}

} // namespace

TEST(CommandLine, NoArgumentsReportsTheMissingImageWithUsage) {
    ScratchDir dir;
    auto r = runPenvex({}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "The required value 'image' was not assigned. \n\n" + usage);
}

TEST(CommandLine, HelpPageIsPrintedOnStandardOutput) {
    ScratchDir dir;
    auto r = runPenvex({"--help"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    const std::string expected =
        usage + "\n"
                "Penvex -- Vectorization of line sketches. \n"
                "\n"
                "Positional arguments: \n"
                "  image         image file | polygon XML file | demo:name \n"
                "\n"
                "Named options: \n"
                "  -b method     background detection method: lines | segment | none \n"
                "  -a N/N%       thickness of lines in % of image size or pixels | auto \n"
                "  -n N          subtract NxN local mean \n"
                "  -e N          apply NxN median filter \n"
                "  -h            top-hat transform \n"
                "  -mc N         apply NxN morphological closing \n"
                "  -mo N         apply NxN morphological opening \n"
                "  -mt N         maximum number of iterations in thinning of segmented lines \n"
                "  -tn N         iterations to reassign points to lines after seed to balance \n"
                "                line segments along paths \n"
                "  -tc snap distance segment distance  attempt to connect lines to their \n"
                "                neighbors seeded from the same region \n"
                "  -tr line length vertex distance  remove redundant lines and vertices in \n"
                "                connected polylines \n"
                "  -cl N         lines not connected to lines longer than this is considered \n"
                "                clutter \n"
                "  -cg N         clutter lines within this distance is grouped together \n"
                "  -r            rectify drawing \n"
                "  -rs width height  rectify result to specified area \n"
                "  -lx X         align lines whose major normalized direction component \n"
                "                projected in each axis is greater than X \n"
                "  -os filename  SVG filename \n"
                "  -ox filename  polygon XML filename \n"
                "  -om filename  mask image filename \n"
                "  -oi filename  refined image filename \n"
                "  -q            no status messages, only errors \n"
                "  --help        print this help message \n"
                "  --version     print version \n"
                "\n";
    EXPECT_EQ(r.out, expected);
    expectLinesWithin(r.out, 79);
}

TEST(CommandLine, VersionAndHelpStopBeforeAnyStage) {
    ScratchDir dir;
    auto version = runPenvex({"--version"}, dir.path());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Penvex -- 20230422\n");
    // Help wins even after an image name and other options; no stage runs.
    auto help = runPenvex({"missing.png", "-q", "--help"}, dir.path());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: penvex", 0), 0u);
}

TEST(CommandLine, ArgumentErrorsEndWithUsageAndExitCode2) {
    ScratchDir dir;
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"-b", "lines", "-b", "none", "x.png"},
         "Parameter (background detection method: lines | segment | none) already assigned. "},
        {{"-q", "x.png", "-q"}, "Parameter (no status messages, only errors) already assigned. "},
        {{"x.png", "-tc", "3"},
         "Could only assign 1 of 2 values of option, end of argument list reached. "},
        {{"x.png", "-os"},
         "Could only assign 0 of 1 values of option, end of argument list reached. "},
        {{"a.png", "b.png"}, "No more unnamed arguments to be processed, 'b.png' ignored. "},
        {{"-z", "b.png"}, "No more unnamed arguments to be processed, 'b.png' ignored. "},
    };
    for (const Case& c : cases) {
        auto r = runPenvex(c.args, dir.path());
        EXPECT_EQ(r.exitCode, 2) << c.message;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.message + "\n\n" + usage);
    }
}

TEST(CommandLine, ValuesThatDoNotConvertEndTheRunWithOneZelkLine) {
    ScratchDir dir;
    auto unsignedValue = runPenvex({"-n", "abc", "x.png"}, dir.path());
    EXPECT_EQ(unsignedValue.exitCode, 1);
    EXPECT_EQ(unsignedValue.out, "");
    EXPECT_EQ(unsignedValue.err, "ZELK ZELK::Text::ConversionException: Failed to convert "
                                 "\"abc\" to unsigned int.\n");
    // Values are taken from the following arguments whatever they look like.
    auto floatValue = runPenvex({"x.png", "-tc", "3", "-q"}, dir.path());
    EXPECT_EQ(floatValue.exitCode, 1);
    EXPECT_EQ(floatValue.err,
              "ZELK ZELK::Text::ConversionException: Failed to convert \"-q\" to float.\n");
}

TEST(CommandLine, EmptyArgumentEscapesTheNextOne) {
    ScratchDir dir;
    // "--help" after the escape is the image name, not a request for help: the run starts
    // and fails on the missing file instead of printing help.
    auto r = runPenvex({"", "--help"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.rfind("* Loading image --help", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "ZELK ZELK::StreamException: Wrapping bad input stream. \n");
}

TEST(CommandLine, UnknownSwitchIsTakenAsTheImageName) {
    ScratchDir dir;
    auto r = runPenvex({"-z"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.rfind("* Loading image -z", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "ZELK ZELK::StreamException: Wrapping bad input stream. \n");
}

TEST(CommandLine, DashHIsTheTopHatSwitchNotHelp) {
    ScratchDir dir;
    auto r = runPenvex({"-h", "-q", "nothing-here.pgm"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.find("Usage"), std::string::npos);
    EXPECT_EQ(r.err.find("Usage"), std::string::npos);
}
