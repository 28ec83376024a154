// A program ended by a signal while an output is being written leaves neither the cut file nor
// its hidden temporary file behind: the earlier file of that name stays as it was.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iterator>
#include <ostream>

#include "core/atomic_file.hpp"
#include "support/run_binary.hpp"

using namespace PenvexTest;

TEST(AtomicFile, ASignalDuringTheWriteRemovesTheTemporaryFile) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        ScratchDir dir;
        const std::string target = (dir / "out.svg").string();
        writeFile(dir / "out.svg", "earlier");
        std::cout.flush();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ZELK::writeFileAtomically(target, [&](std::ostream& out) {
                out << "half of it";
                out.flush();
                std::raise(signal);
            });
            std::_Exit(0); // not reached: the signal ends the child
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        EXPECT_EQ(readFile(dir / "out.svg"), "earlier");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}
