// Outputs appear whole or not at all: a write cut short by a file-size limit leaves an earlier
// file of that name as it was and no temporary file, and the run ends naming the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "cli_support.hpp"

using namespace PenvexTest;

TEST(Outputs, AWriteCutShortKeepsTheEarlierFileAndNamesIt) {
    const char* const outputs[][2] = {
        {"-os", "out.svg"}, {"-ox", "out.xml"}, {"-om", "mask.pgm"}, {"-oi", "image.pgm"}};
    // Every output of this drawing is larger than 1 KiB; with SIGXFSZ ignored the write past the
    // limit fails instead of killing the program.
    const std::string limited = "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"";
    for (const auto& [option, name] : outputs) {
        SCOPED_TRACE(option);
        ScratchDir dir;
        writeFile(dir / name, "earlier");
        const std::vector<std::string> run{
            dataPath("tracing/curves.pgm").string(), "-a", "3", "-b", "none", "-q", option, name};
        std::vector<std::string> argv{"/bin/bash", "-c", limited, PENVEX_BINARY};
        argv.insert(argv.end(), run.begin(), run.end());
        const RunResult cut = runProgram(argv, dir.path());
        EXPECT_EQ(cut.exitCode, 1);
        EXPECT_EQ(cut.err,
                  "ZELK ZELK::PathException: Failed to write.  (" + std::string(name) + ")\n");
        EXPECT_EQ(readFile(dir / name), "earlier");
        const auto files = [&] {
            return std::distance(std::filesystem::directory_iterator(dir.path()), {});
        };
        EXPECT_EQ(files(), 1);

        // Without the limit the file is replaced, again without a file left beside it.
        EXPECT_EQ(runPenvex(run, dir.path()).exitCode, 0);
        EXPECT_GT(readFile(dir / name).size(), 1024u);
        EXPECT_EQ(files(), 1);
    }
    // A device is written in place, never replaced.
    ScratchDir dir;
    const RunResult full = runPenvex(
        {dataPath("tracing/curves.pgm").string(), "-a", "3", "-b", "none", "-os", "/dev/full"},
        dir.path());
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(full.err, "ZELK ZELK::PathException: Failed to write.  (/dev/full)\n");
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}
