// Process runner for the end-to-end tests.
#include "support/run_binary.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace PenvexTest {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "penvex-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path dataPath(const std::string& relative) {
    return std::filesystem::path(PENVEX_TEST_DATA) / relative;
}

RunResult runPenvex(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                    const std::string& input) {
    const std::filesystem::path inPath = workDir / ".stdin";
    const std::filesystem::path outPath = workDir / ".stdout";
    const std::filesystem::path errPath = workDir / ".stderr";
    writeFile(inPath, input);

    std::vector<std::string> argv_storage{PENVEX_BINARY};
    argv_storage.insert(argv_storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (chdir(workDir.c_str()) != 0)
            _exit(127);
        int in = open(inPath.c_str(), O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    std::error_code ignored;
    std::filesystem::remove(inPath, ignored);
    std::filesystem::remove(outPath, ignored);
    std::filesystem::remove(errPath, ignored);
    return result;
}

// A message that reaches the result's column is followed directly by the time, and one
// beyond it has its result on the next line (file names of fixtures are long).
std::string statusOf(const std::string& out, const std::string& message) {
    const std::string head = "* " + message;
    std::size_t at = out.find(head);
    auto endsHere = [&](std::size_t after) {
        return after < out.size() &&
               (out[after] == ' ' || out[after] == '\n' || std::isdigit(out[after]) != 0);
    };
    while (at != std::string::npos && !endsHere(at + head.size()))
        at = out.find(head, at + 1);
    if (at == std::string::npos)
        return "";
    std::size_t from = at + head.size();
    if (out[from] == '\n')
        ++from;
    const std::size_t end = out.find('\n', from);
    const std::string line = out.substr(from, end == std::string::npos ? end : end - from);
    if (line.size() >= 4 && line.compare(line.size() - 4, 4, "FAIL") == 0)
        return "FAIL";
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "OK") == 0)
        return "OK";
    return "?";
}

} // namespace PenvexTest
