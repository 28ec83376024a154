// JPEG decoding speed beside libjpeg-turbo's djpeg on the same files in the same run.
// Usage: jpeg_bench DJPEG BASELINE.jpg PROGRESSIVE.jpg [REPETITIONS]
// Prints, per file, the best of REPETITIONS (default 7) wall-clock and CPU times of our
// importImage (file read included) and of `djpeg -outfile /dev/null FILE` (process start and
// PPM formatting included); the last line is the baseline file's CPU time ratio, ours / djpeg.
// Our decoder runs on the calling thread alone (-j 1), as djpeg does.
// Our image buffer is reused from one repetition to the next: djpeg streams its output through
// a small buffer, and on these virtual machines the first touch of a fresh 36 MB buffer costs
// more than the decoding itself, which would measure the machine rather than the decoder. The
// baseline decoder writes the picture behind its entropy decoder into a buffer of its own and
// hands it over at the end, so its figure includes that first touch; the progressive one writes
// into the reused buffer.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "core/exceptions.hpp"
#include "core/thread_pool.hpp"
#include "migration/image.hpp"

extern char** environ;

namespace {

struct Timing {
    double wall = 1e30; // milliseconds, best of the runs
    double cpu = 1e30;
};

double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double msOf(const timeval& t) {
    return t.tv_sec * 1e3 + t.tv_usec / 1e3;
}

Timing timeOurs(const std::string& path, int repetitions, std::uint32_t& width,
                std::uint32_t& height) {
    Timing best;
    ZELK::IncrementalBuffer data;
    ZELK::Migration::ImageMetadata meta;
    for (int i = 0; i < repetitions; ++i) {
        const auto wall0 = std::chrono::steady_clock::now();
        const double cpu0 = processCpuMs();
        ZELK::Migration::importImage(data, meta, path);
        const double cpu = processCpuMs() - cpu0;
        const double wall =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0)
                .count();
        best.wall = std::min(best.wall, wall);
        best.cpu = std::min(best.cpu, cpu);
    }
    width = meta.width;
    height = meta.height;
    return best;
}

Timing timeDjpeg(const std::string& djpeg, const std::string& path, int repetitions) {
    Timing best;
    for (int i = 0; i < repetitions; ++i) {
        std::string outfile = "-outfile";
        std::string devnull = "/dev/null";
        std::string program = djpeg;
        std::string file = path;
        char* argv[] = {program.data(), outfile.data(), devnull.data(), file.data(), nullptr};
        const auto wall0 = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, djpeg.c_str(), nullptr, nullptr, argv, environ) != 0) {
            std::fprintf(stderr, "cannot start %s\n", djpeg.c_str());
            std::exit(1);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        const double wall =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0)
                .count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "djpeg failed on %s\n", path.c_str());
            std::exit(1);
        }
        best.wall = std::min(best.wall, wall);
        best.cpu = std::min(best.cpu, msOf(usage.ru_utime) + msOf(usage.ru_stime));
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DJPEG BASELINE.jpg PROGRESSIVE.jpg [REPETITIONS]\n",
                     argv[0]);
        return 2;
    }
    ZELK::setThreadCount(1);
    const std::string djpeg = argv[1];
    const int repetitions = argc > 4 ? std::max(1, std::atoi(argv[4])) : 7;
    double baselineRatio = 0;
    try {
        for (int f = 2; f <= 3; ++f) {
            const std::string path = argv[f];
            std::uint32_t width = 0, height = 0;
            const Timing ours = timeOurs(path, repetitions, width, height);
            const Timing theirs = timeDjpeg(djpeg, path, repetitions);
            const double ratio = ours.cpu / theirs.cpu;
            std::printf("%-12s %s (%ux%u): penvex %.1f ms cpu / %.1f ms wall, djpeg %.1f ms cpu "
                        "/ %.1f ms wall, ratio %.2f\n",
                        f == 2 ? "baseline" : "progressive", path.c_str(), width, height, ours.cpu,
                        ours.wall, theirs.cpu, theirs.wall, ratio);
            if (f == 2)
                baselineRatio = ratio;
        }
    } catch (const ZELK::Exception& e) {
        std::fprintf(stderr, "%s\n", e.message().c_str());
        return 1;
    }
    std::printf("JPEG baseline decode time ratio penvex/djpeg: %.2f\n", baselineRatio);
    return 0;
}
