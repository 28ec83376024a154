// Demo input as a user meets it: "demo:name[,key=value...]" renders the figure, writes
// name.svg and name.png into the working folder, and reports bad names and values. Each test
// runs in a scratch folder of its own, since demos write into the working directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <regex>

#include "support/run_binary.hpp"

using PenvexTest::readFile;
using PenvexTest::runPenvex;
using PenvexTest::ScratchDir;

namespace {

const std::string parameterList =
    "background, backgroundborder, clutter, colorbackground, colorclear, coloring, colorstroke, "
    "contrast, gradient, noise, perspective, quality, r2, size, thickness";
const std::string catalogue =
    "diagonal double L plus X asterisk T square circle wave wobbly spiral gaps \n";

// Runs a command of a real tool; returns its exit status and its standard output.
int runTool(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::array<char, 65536> chunk;
    std::size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        output.append(chunk.data(), n);
    return pclose(pipe);
}

void requireTool(const char* path) {
    ASSERT_EQ(access(path, X_OK), 0) << path << " is missing: run tools/ensure-deps.sh";
}

// The picture as ImageMagick decodes it: RGB bytes, top row first.
std::string decodedPixels(const std::filesystem::path& png) {
    std::string pixels;
    EXPECT_EQ(runTool("/usr/bin/convert '" + png.string() + "' -depth 8 rgb:-", pixels), 0);
    return pixels;
}

// "* message", padding, "<seconds>s OK|FAIL" at column 79.
void expectStatusLine(const std::string& line, const std::string& message, const char* result) {
    EXPECT_EQ(line.size(), 79u) << line;
    EXPECT_TRUE(std::regex_match(line, std::regex("\\* " + message + " +[0-9.]+s " + result)))
        << line;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

} // namespace

TEST(DemoInput, RendersThePictureAndItsReferenceDrawing) {
    requireTool("/usr/bin/pngcheck");
    requireTool("/usr/bin/convert");
    ScratchDir dir;
    auto r = runPenvex({"demo:plus"}, dir.path());
    expectStatusLine(firstLine(r.out), "Generate demo plus", "OK");
    // What follows belongs to the stages after loading; the demo's own files are complete.
    EXPECT_EQ(readFile(dir / "plus.svg"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
              "<svg version=\"1.1\" viewBox=\"0 0 256 256\" xmlns=\"http://www.w3.org/2000/svg\">"
              "<g stroke=\"black\" stroke-width=\"2\">"
              "<line x1=\"25.6\" x2=\"230.4\" y1=\"128\" y2=\"128\" />"
              "<line x1=\"128\" x2=\"128\" y1=\"25.6\" y2=\"230.4\" />"
              "</g></svg>");

    std::string report;
    EXPECT_EQ(runTool("/usr/bin/pngcheck '" + (dir / "plus.png").string() + "'", report), 0)
        << report;
    EXPECT_NE(report.find("OK: "), std::string::npos) << report;
    EXPECT_NE(report.find("(256x256, 24-bit RGB, non-interlaced"), std::string::npos) << report;

    // The file shows the picture upright: the horizontal stroke's left end is at x = 21.33 in
    // the rows 125.5 to 130.5 counted from the bottom, so top-down row 255 - 128 = 127 has the
    // partly covered pixel 21 (169) beside the full pixel 22.
    const std::string pixels = decodedPixels(dir / "plus.png");
    ASSERT_EQ(pixels.size(), 256u * 256 * 3);
    auto at = [&](int x, int row) { return std::uint8_t(pixels[3 * (row * 256 + x)]); };
    EXPECT_EQ(at(20, 127), 0);
    EXPECT_EQ(at(21, 127), 169);
    EXPECT_EQ(at(22, 127), 255);
    EXPECT_EQ(at(100, 255 - 125), 127);
    EXPECT_EQ(at(100, 255 - 131), 0);
}

TEST(DemoInput, DefaultsPresetsAndBareKeys) {
    requireTool("/usr/bin/pngcheck");
    requireTool("/usr/bin/convert");
    ScratchDir dir;
    std::string report;
    runPenvex({"demo:diagonal"}, dir.path());
    EXPECT_EQ(runTool("/usr/bin/pngcheck '" + (dir / "diagonal.png").string() + "'", report), 0);
    EXPECT_NE(report.find("(256x256, 24-bit RGB"), std::string::npos) << report;

    runPenvex({"demo:square,size=512,quality=poor"}, dir.path());
    EXPECT_EQ(runTool("/usr/bin/pngcheck '" + (dir / "square.png").string() + "'", report), 0);
    EXPECT_NE(report.find("(512x512, 24-bit RGB"), std::string::npos) << report;

    // The preset wins over the user's contrast: both give the same picture.
    runPenvex({"demo:plus,contrast=0.9,quality=acceptable"}, dir.path());
    const std::string withOverride = readFile(dir / "plus.png");
    runPenvex({"demo:plus,quality=acceptable"}, dir.path());
    EXPECT_EQ(readFile(dir / "plus.png"), withOverride);

    // A bare key and a key with an empty value both mean "true": the sheet appears (grey at
    // (40, 40) from the bottom, black without it).
    runPenvex({"demo:plus,background"}, dir.path());
    const std::string bare = readFile(dir / "plus.png");
    EXPECT_EQ(std::uint8_t(decodedPixels(dir / "plus.png")[3 * ((255 - 40) * 256 + 40)]), 128);
    runPenvex({"demo:plus,background="}, dir.path());
    EXPECT_EQ(readFile(dir / "plus.png"), bare);
    runPenvex({"demo:plus"}, dir.path());
    EXPECT_EQ(std::uint8_t(decodedPixels(dir / "plus.png")[3 * ((255 - 40) * 256 + 40)]), 0);
}

TEST(DemoInput, RenderingTwiceGivesTheSameFiles) {
    ScratchDir first, second;
    const std::string demo = "demo:wobbly,background,backgroundborder,perspective,clutter=0.6,"
                             "quality=poor,r2=0.2,coloring=whiteboard";
    runPenvex({demo}, first.path());
    runPenvex({demo}, second.path());
    const std::string png = readFile(first / "wobbly.png");
    EXPECT_GT(png.size(), 1000u);
    EXPECT_EQ(png, readFile(second / "wobbly.png"));
    EXPECT_EQ(readFile(first / "wobbly.svg"), readFile(second / "wobbly.svg"));
}

TEST(DemoInput, UnknownFigureListsTheCatalogue) {
    for (const char* name : {"Plus", "", "nothing"}) {
        ScratchDir dir;
        auto r = runPenvex({std::string("demo:") + name}, dir.path());
        EXPECT_EQ(r.exitCode, 1) << name;
        ASSERT_EQ(r.out.back(), '\n');
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one status line";
        expectStatusLine(firstLine(r.out), std::string("Generate demo ") + name, "FAIL");
        EXPECT_EQ(r.err, std::string("Demo ") + name + ", must be one of: " + catalogue);
        EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << name << " wrote files";
    }
}

TEST(DemoInput, UnknownParameterIsReportedBeforeAnyStatusLine) {
    for (const char* input :
         {"demo:plus,foo=1", "demo:plus,size=64,Size=64", "demo:plus,=3", "demo:nothing,foo"}) {
        ScratchDir dir;
        auto r = runPenvex({input}, dir.path());
        EXPECT_EQ(r.exitCode, 1) << input;
        EXPECT_EQ(r.out, "") << input;
        const std::string text = input;
        const std::size_t comma = text.rfind(',');
        const std::string key = text.substr(comma + 1, text.find('=', comma) - comma - 1);
        EXPECT_EQ(r.err, "Parameter " + key +
                             " is not available to be overridden, available parameters are: " +
                             parameterList + "\n")
            << input;
        EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << input;
    }
}

TEST(DemoInput, ValuesTheRendererCannotDrawEndTheRunInTheGenerationStep) {
    struct Case {
        const char* input;
        const char* message;
    };
    for (const Case& c : {
             Case{"demo:plus,size=0",
                  "ZELK ZELK::UnexpectedValueException: size=0 is not a size from 1 to 8192 "
                  "pixels. \n"},
             Case{"demo:plus,size=9000",
                  "ZELK ZELK::UnexpectedValueException: size=9000 is not a size from 1 to 8192 "
                  "pixels. \n"},
             Case{"demo:plus,thickness=-2",
                  "ZELK ZELK::UnexpectedValueException: thickness=-2 is not a thickness of 0 or "
                  "more pixels. \n"},
             Case{"demo:plus,clutter=2",
                  "ZELK ZELK::UnexpectedValueException: clutter=2 is not a clutter amount of at "
                  "most 1. \n"},
             Case{"demo:plus,quality=best",
                  "ZELK ZELK::UnexpectedValueException: best is not <empty>, poor or "
                  "acceptable. \n"},
             Case{"demo:plus,coloring=sepia",
                  "ZELK ZELK::UnexpectedValueException: sepia is not <empty>, whiteboard, postit "
                  "or rgb. \n"},
             Case{"demo:plus,size=huge",
                  "ZELK ZELK::Text::ConversionException: Failed to convert \"huge\" to int.\n"},
         }) {
        ScratchDir dir;
        auto r = runPenvex({c.input}, dir.path());
        EXPECT_EQ(r.exitCode, 1) << c.input;
        // The value is read while the figure is generated: the error goes through to the
        // entry point and leaves that status line open, without a verdict or line end.
        EXPECT_EQ(r.out, "* Generate demo plus") << c.input;
        EXPECT_EQ(r.err, c.message) << c.input;
        EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << c.input;
    }

    // A figure that does not exist is reported as such before any value is looked at.
    for (const char* input : {"demo:nothing,quality=best", "demo:Plus,size=huge,clutter=2"}) {
        ScratchDir dir;
        const std::string text = input;
        const std::string name = text.substr(5, text.find(',') - 5);
        auto r = runPenvex({input}, dir.path());
        EXPECT_EQ(r.exitCode, 1) << input;
        expectStatusLine(firstLine(r.out), "Generate demo " + name, "FAIL");
        EXPECT_EQ(r.err, "Demo " + name + ", must be one of: " + catalogue) << input;
        EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << input;
    }
}
