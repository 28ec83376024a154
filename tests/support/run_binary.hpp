// Runs the real penvex binary in a scratch folder and captures its exit code and output.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace PenvexTest {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
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

// Runs the binary with the arguments in the given working folder; standard input comes from
// the given text (empty by default, so nothing ever waits on a terminal).
RunResult runPenvex(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                    const std::string& input = {});

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Path of a committed fixture under tests/data.
std::filesystem::path dataPath(const std::string& relative);

// "OK" or "FAIL" at the end of the status line that starts with "* " + message, or "" when
// no such line was printed ("?" for an unfinished one).
std::string statusOf(const std::string& out, const std::string& message);

} // namespace PenvexTest
