// Inflate benchmark: decodes the image data of a PNG file with our inflater and with zlib,
// each on the same raw DEFLATE stream in the same run, and prints both times. Input: a PNG
// made by a real encoder from a large photograph (bench/run.sh converts the sample photo with
// ImageMagick at its default level). Last line: the ratio of our time to zlib's.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/streams.hpp"
#include "migration/inflate.hpp"

namespace {

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// The concatenated IDAT data of a PNG file (its zlib stream).
std::vector<std::uint8_t> imageData(const std::vector<std::uint8_t>& file) {
    std::vector<std::uint8_t> idat;
    std::size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const std::uint32_t length = bigEndian32(&file[pos]);
        if (pos + 12 + std::uint64_t(length) > file.size())
            break;
        if (std::memcmp(&file[pos + 4], "IDAT", 4) == 0)
            idat.insert(idat.end(), file.begin() + pos + 8, file.begin() + pos + 8 + length);
        pos += 12 + std::uint64_t(length);
    }
    return idat;
}

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.png\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
    const std::vector<std::uint8_t> zlibStream = imageData(file);
    if (zlibStream.size() < 6) {
        std::fprintf(stderr, "%s: no image data\n", argv[1]);
        return 1;
    }
    // Both decoders get the raw DEFLATE stream, without the zlib header and trailer, so that
    // zlib's Adler-32 check (which we do not do) is not timed.
    const std::uint8_t* raw = zlibStream.data() + 2;
    const std::uint32_t rawSize = static_cast<std::uint32_t>(zlibStream.size() - 6);

    // Output size, from a first zlib run; both then decode into buffers of that size.
    std::vector<std::uint8_t> expected(std::size_t(1) << 20);
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<std::uint8_t*>(raw);
    z.avail_in = rawSize;
    std::size_t total = 0;
    for (;;) {
        if (total == expected.size())
            expected.resize(expected.size() * 2);
        z.next_out = expected.data() + total;
        z.avail_out = static_cast<uInt>(expected.size() - total);
        const int rc = inflate(&z, Z_NO_FLUSH);
        total = expected.size() - z.avail_out;
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK) {
            std::fprintf(stderr, "zlib failed: %d\n", rc);
            return 1;
        }
    }
    inflateEnd(&z);
    expected.resize(total);

    const int rounds = 7;
    double ours = 1e9, theirs = 1e9;
    std::vector<std::uint8_t> zlibOut(total);
    ZELK::Migration::Inflater inflater;
    // Both decode into output memory that is already mapped, so that neither run pays for
    // first-touch page faults.
    ZELK::IncrementalBuffer out(static_cast<std::uint32_t>(total),
                                static_cast<std::uint32_t>(total));
    std::memset(out.data(), 0, total);
    std::memset(zlibOut.data(), 0, total);
    for (int round = 0; round < rounds; ++round) {
        out.resize(0);
        ZELK::ConstBufferStream source(raw, rawSize);
        auto t0 = std::chrono::steady_clock::now();
        inflater.inflate(source, out);
        auto t1 = std::chrono::steady_clock::now();
        ours = std::min(ours, seconds(t1 - t0));
        if (out.size() != total || std::memcmp(out.data(), expected.data(), total) != 0) {
            std::fprintf(stderr, "our output differs from zlib's\n");
            return 1;
        }

        z_stream s{};
        t0 = std::chrono::steady_clock::now();
        inflateInit2(&s, -15);
        s.next_in = const_cast<std::uint8_t*>(raw);
        s.avail_in = rawSize;
        s.next_out = zlibOut.data();
        s.avail_out = static_cast<uInt>(total);
        const int rc = inflate(&s, Z_FINISH);
        inflateEnd(&s);
        t1 = std::chrono::steady_clock::now();
        theirs = std::min(theirs, seconds(t1 - t0));
        if (rc != Z_STREAM_END) {
            std::fprintf(stderr, "zlib failed: %d\n", rc);
            return 1;
        }
    }

    std::printf("inflate: %s, %u compressed bytes -> %zu bytes, best of %d runs\n", argv[1],
                rawSize, total, rounds);
    std::printf("inflate: ours %.1f ms (%.0f MB/s), zlib %s %.1f ms (%.0f MB/s)\n", ours * 1e3,
                total / ours / 1e6, zlibVersion(), theirs * 1e3, total / theirs / 1e6);
    std::printf("inflate ratio ours/zlib: %.2f\n", ours / theirs);
    return 0;
}
