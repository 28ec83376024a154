// Deflate benchmark: for each PNG file given, inflates its image data (with zlib) back to the
// raw filtered rows, then compresses those bytes with our encoder and with zlib at level 6,
// best of three runs each, and prints sizes and speeds. Inputs: the line masks and refined
// images penvex writes for sample photographs (bench/deflate_bench.sh). Last line: the largest
// ratio of our size to zlib's and our lowest speed in MB/s.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "migration/deflate.hpp"

namespace {

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::vector<std::uint8_t> imageData(const std::vector<std::uint8_t>& file) {
    std::vector<std::uint8_t> idat;
    for (std::size_t pos = 8; pos + 12 <= file.size();) {
        const std::uint32_t length = bigEndian32(&file[pos]);
        if (pos + 12 + std::uint64_t(length) > file.size())
            break;
        if (std::memcmp(&file[pos + 4], "IDAT", 4) == 0)
            idat.insert(idat.end(), file.begin() + pos + 8, file.begin() + pos + 8 + length);
        pos += 12 + std::uint64_t(length);
    }
    return idat;
}

template <typename F> double best(F&& run) {
    double fastest = 1e30;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        fastest = std::min(
            fastest,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return fastest;
}

} // namespace

int main(int argc, char** argv) {
    double worstRatio = 0.0, slowest = 1e30;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
        const std::vector<std::uint8_t> idat = imageData(file);
        // Raw size: inflate in a loop until the buffer is large enough.
        std::vector<std::uint8_t> raw(idat.size() * 4 + 1024);
        for (;;) {
            uLongf size = raw.size();
            const int status = uncompress(raw.data(), &size, idat.data(), idat.size());
            if (status == Z_OK) {
                raw.resize(size);
                break;
            }
            if (status != Z_BUF_ERROR) {
                std::fprintf(stderr, "%s: image data does not inflate\n", argv[i]);
                return 1;
            }
            raw.resize(raw.size() * 2);
        }
        std::vector<std::uint8_t> ours;
        const double ourTime = best([&] {
            ours.clear();
            ZELK::Migration::deflate(raw.data(), static_cast<std::uint32_t>(raw.size()), ours);
        });
        std::vector<std::uint8_t> theirs(compressBound(raw.size()));
        uLongf theirSize = 0;
        const double theirTime = best([&] {
            theirSize = theirs.size();
            compress2(theirs.data(), &theirSize, raw.data(), raw.size(), 6);
        });
        // zlib's output carries a 2-byte header and a 4-byte checksum that ours does not.
        const double ratio = double(ours.size()) / double(theirSize - 6);
        const double speed = raw.size() / ourTime / 1e6;
        worstRatio = std::max(worstRatio, ratio);
        slowest = std::min(slowest, speed);
        std::printf("%s: %zu raw bytes, ours %zu (%.1f MB/s), zlib -6 %lu (%.1f MB/s), "
                    "ratio %.3f\n",
                    argv[i], raw.size(), ours.size(), speed, theirSize - 6,
                    raw.size() / theirTime / 1e6, ratio);
    }
    std::printf("deflate: largest size ratio to zlib -6 %.3f, lowest speed %.1f MB/s\n", worstRatio,
                slowest);
    return 0;
}
