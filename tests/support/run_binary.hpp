// Runs the real penvex binary (or a tool) in a scratch folder, bounded in time, and captures its
// exit code and output.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace PenvexTest {

struct RunResult {
    int exitCode = -1; // 128 + signal when the process was killed
    std::string out;
    std::string err;
    bool timedOut = false;
    int pid = -1; // already reaped when the result is returned
};

// A fresh temporary folder, removed when the object goes away. Demos and outputs are
// written there, so tests can run in parallel.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Runs argv (argv[0] is a path) in workDir. Standard input is a pipe holding the given text
// (64 KiB at most) and already closed, so nothing ever waits on a terminal. A process still
// running after the limit is killed with its process group and reaped; timedOut tells.
RunResult runProgram(const std::vector<std::string>& argv, const std::filesystem::path& workDir,
                     const std::string& input = {},
                     std::chrono::milliseconds limit = std::chrono::seconds(60));

// runProgram for the penvex binary; a run past the limit also fails the current test.
RunResult runPenvex(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                    const std::string& input = {},
                    std::chrono::milliseconds limit = std::chrono::seconds(60));

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Path of a committed fixture under tests/data.
std::filesystem::path dataPath(const std::string& relative);

} // namespace PenvexTest
