// Every output is the same for every thread count: committed JPEG and PNG fixtures (refused ones
// included) and every demo picture, run with -j 1, -j 2 and -j 7; the demos also with -auto,
// whose measuring and centring run on the pool as well.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli_support.hpp"

using namespace PenvexTest;

namespace {

// Exit code, error text and the written SVG, polygon XML and mask of one run.
std::string outcome(const std::string& input, const std::string& threads, bool automatic) {
    ScratchDir dir;
    std::vector<std::string> arguments = {input,     "-q",  "-j",      threads, "-os",
                                          "out.svg", "-ox", "out.xml", "-om",   "mask.pgm"};
    if (automatic)
        arguments.push_back("-auto");
    const RunResult r = runPenvex(arguments, dir.path());
    std::string all = std::to_string(r.exitCode) + "\n" + r.err;
    for (const char* file : {"out.svg", "out.xml", "mask.pgm"})
        if (std::filesystem::exists(dir / file))
            all += std::string("\n") + file + "\n" + readFile(dir / file);
    return all;
}

} // namespace

TEST(Threads, OutputsAreTheSameForEveryThreadCount) {
    std::vector<std::string> inputs;
    for (const char* folder : {"jpeg", "jpeg/refused", "png"})
        for (const auto& entry : std::filesystem::directory_iterator(dataPath(folder))) {
            const std::string extension = entry.path().extension().string();
            if (extension == ".jpg" || extension == ".png")
                inputs.push_back(entry.path().string());
        }
    for (const char* demo : {"diagonal", "double", "L", "plus", "X", "asterisk", "T", "square",
                             "circle", "wave", "wobbly", "spiral", "gaps"})
        inputs.push_back(std::string("demo:") + demo);
    ASSERT_GT(inputs.size(), 40u);
    unsigned written = 0;
    for (const std::string& input : inputs)
        for (bool automatic : {false, true}) {
            if (automatic && input.rfind("demo:", 0) != 0)
                continue;
            SCOPED_TRACE(input + (automatic ? " -auto" : ""));
            const std::string one = outcome(input, "1", automatic);
            written += one.find("out.xml") != std::string::npos;
            EXPECT_EQ(outcome(input, "2", automatic), one);
            EXPECT_EQ(outcome(input, "7", automatic), one);
        }
    EXPECT_GT(written, 30u); // most inputs get as far as writing their results
}
