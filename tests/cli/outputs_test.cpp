// Outputs appear whole or not at all: a write cut short by a file-size limit (with SIGXFSZ
// ignored, so the write fails instead of killing) leaves an earlier file of that name as it was
// and no temporary file, and the run ends naming the file. A device is written in place.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "cli_support.hpp"

using namespace PenvexTest;

TEST(Outputs, AWriteCutShortKeepsTheEarlierFileAndNamesIt) {
    const char* const outputs[][2] = {{"-os", "out.svg"},
                                      {"-ox", "out.xml"},
                                      {"-om", "mask.pgm"},
                                      {"-oi", "image.pgm"},
                                      {"-os", "/dev/full"}};
    for (const auto& [option, name] : outputs) {
        SCOPED_TRACE(name);
        ScratchDir dir;
        const bool device = name[0] == '/';
        if (!device)
            writeFile(dir / name, "earlier");
        const std::vector<std::string> run{
            dataPath("tracing/curves.pgm").string(), "-a", "3", "-b", "none", "-q", option, name};
        std::vector<std::string> limited{
            "/bin/bash", "-c", "trap '' XFSZ; ulimit -f 1; exec \"$@\"", "-", PENVEX_BINARY};
        limited.insert(limited.end(), run.begin(), run.end());
        // Every output of this drawing is larger than the 1 KiB limit.
        const RunResult r = runProgram(limited, dir.path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err,
                  "ZELK ZELK::PathException: Failed to write.  (" + std::string(name) + ")\n");
        EXPECT_TRUE(device ? std::filesystem::is_character_file(name)
                           : readFile(dir / name) == "earlier");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}),
                  device ? 0 : 1);
    }
}
