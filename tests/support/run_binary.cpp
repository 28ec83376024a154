// Process runner for the end-to-end tests.
#include "support/run_binary.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
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

RunResult runProgram(const std::vector<std::string>& argv, const std::filesystem::path& workDir,
                     const std::string& input, std::chrono::milliseconds limit) {
    // All of the input is in the pipe (grown to hold it) and the pipe is closed at once.
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
        (input.size() > 65536 && fcntl(in[1], F_SETPIPE_SZ, int(input.size())) < 0) ||
        write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        throw std::runtime_error("cannot set up the pipes of a child process");
    close(in[1]);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        // A group of its own, so that a kill on timeout reaches whatever it started too.
        setpgid(0, 0);
        if (chdir(workDir.c_str()) != 0 || dup2(in[0], 0) < 0 || dup2(out[1], 1) < 0 ||
            dup2(err[1], 2) < 0)
            _exit(127);
        execv(args[0], args.data());
        _exit(127);
    }
    setpgid(pid, pid); // here too: the kill below may come before the child's own call
    close(in[0]);
    close(out[1]);
    close(err[1]);

    RunResult result;
    result.pid = pid;
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + limit;
    auto left = [&] {
        return int(std::max(
            0L, long(duration_cast<milliseconds>(deadline - steady_clock::now()).count())));
    };
    pollfd polls[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}}; // fd -1 once at its end
    while ((polls[0].fd >= 0 || polls[1].fd >= 0) && left() > 0) {
        const int ready = poll(polls, 2, left());
        if (ready < 0 && errno != EINTR)
            throw std::runtime_error("poll failed");
        for (pollfd& p : polls) {
            if (ready <= 0 || p.fd < 0 || p.revents == 0)
                continue;
            char chunk[65536];
            const ssize_t n = read(p.fd, chunk, sizeof chunk);
            if (n > 0)
                (&p == polls ? result.out : result.err).append(chunk, std::size_t(n));
            else if (n == 0 || errno != EINTR) {
                close(p.fd);
                p.fd = -1;
            }
        }
    }
    int status = 0;
    pid_t reaped = 0;
    while ((reaped = waitpid(pid, &status, WNOHANG)) == 0 && left() > 0)
        poll(nullptr, 0, 10);
    if (reaped != pid) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        result.timedOut = true;
    }
    for (const pollfd& p : polls)
        close(p.fd); // harmless on -1
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

RunResult runPenvex(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                    const std::string& input, std::chrono::milliseconds limit) {
    std::vector<std::string> argv{PENVEX_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    RunResult result = runProgram(argv, workDir, input, limit);
    if (result.timedOut)
        ADD_FAILURE() << "penvex did not finish within " << double(limit.count()) / 1000.0
                      << " s (killed)";
    return result;
}

} // namespace PenvexTest
