// Test helpers for the PNG codec: fixture files, chunk editing with checksums of our own (a
// plain bitwise CRC-32, independent of the codec's table), and running external tools.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/buffers.hpp"
#include "core/streams.hpp"
#include "migration/image.hpp"
#include "migration/png.hpp"

namespace ZELK::Migration::Testing {

inline std::string pngFixture(const std::string& name) {
    return std::string(PENVEX_TEST_DATA) + "/png/" + name;
}

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t bitwiseCrc(const std::string& type, const std::vector<std::uint8_t>& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    auto feed = [&](std::uint8_t byte) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    };
    for (char c : type)
        feed(static_cast<std::uint8_t>(c));
    for (std::uint8_t b : data)
        feed(b);
    return ~crc;
}

struct Chunk {
    std::string type;
    std::vector<std::uint8_t> data;
};

inline std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

inline void putBe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// The chunks of a well-formed PNG file.
inline std::vector<Chunk> parseChunks(const std::vector<std::uint8_t>& file) {
    std::vector<Chunk> chunks;
    std::size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const std::uint32_t length = be32(&file[pos]);
        Chunk c;
        c.type.assign(file.begin() + pos + 4, file.begin() + pos + 8);
        c.data.assign(file.begin() + pos + 8, file.begin() + pos + 8 + length);
        chunks.push_back(c);
        pos += 12 + length;
    }
    return chunks;
}

// A PNG file of these chunks, each with its correct CRC.
inline std::vector<std::uint8_t> assemble(const std::vector<Chunk>& chunks) {
    std::vector<std::uint8_t> out = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Chunk& c : chunks) {
        putBe32(out, static_cast<std::uint32_t>(c.data.size()));
        out.insert(out.end(), c.type.begin(), c.type.end());
        out.insert(out.end(), c.data.begin(), c.data.end());
        putBe32(out, bitwiseCrc(c.type, c.data));
    }
    return out;
}

// Imports PNG bytes from memory; returns the error message, empty on success.
inline std::string importPNG(const std::vector<std::uint8_t>& file, IncrementalBuffer& data,
                             ImageMetadata& meta) {
    ConstBufferStream source(file.data(), static_cast<std::uint32_t>(file.size()));
    PNGImporter importer;
    importer.attach(source);
    try {
        importer.importData(data, meta);
    } catch (const Exception& e) {
        return e.message();
    }
    return {};
}

inline std::string importError(const std::vector<std::uint8_t>& file) {
    IncrementalBuffer data;
    ImageMetadata meta;
    return importPNG(file, data, meta);
}

// Rows of a bottom-up buffer reordered top-down, as decoders of other programs deliver them.
inline std::vector<std::uint8_t> topDown(const Buffer& data, std::uint32_t height) {
    std::vector<std::uint8_t> rows;
    if (height == 0)
        return rows;
    const std::uint32_t stride = data.size() / height;
    for (std::uint32_t y = height; y-- > 0;)
        rows.insert(rows.end(), data.data() + std::size_t(y) * stride,
                    data.data() + std::size_t(y + 1) * stride);
    return rows;
}

// Runs a shell command; returns its exit status and fills its standard output.
inline int runCommand(const std::string& command, std::vector<std::uint8_t>& output) {
    output.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::array<char, 65536> chunk;
    std::size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        output.insert(output.end(), chunk.data(), chunk.data() + n);
    return pclose(pipe);
}

// A tool the test depends on; its absence fails the test rather than skipping it.
inline void requireTool(const char* path) {
    ASSERT_EQ(access(path, X_OK), 0) << path << " is missing: run tools/ensure-deps.sh";
}

} // namespace ZELK::Migration::Testing
