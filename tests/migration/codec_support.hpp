// Helpers of the codec tests: fixture bytes, exception messages, bottom-up buffers turned
// top-down, outside tools, a byte-at-a-time stream, PNG chunk editing and a JPEG segment writer.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/buffers.hpp"
#include "core/exceptions.hpp"
#include "core/streams.hpp"
#include "migration/image.hpp"
#include "migration/png.hpp"
#include "support/run_binary.hpp"

namespace ZELK::Migration::Testing {

using Bytes = std::vector<std::uint8_t>;

// A file's bytes; a relative path names a fixture under tests/data.
inline Bytes fixtureBytes(const std::string& path) {
    const std::string text = PenvexTest::readFile(
        path.starts_with("/") ? std::filesystem::path(path) : PenvexTest::dataPath(path));
    return {text.begin(), text.end()};
}

inline Bytes bytesOf(const Buffer& b) {
    return {b.data(), b.data() + b.size()};
}

// The message of the ZELK exception the action raises, "(no exception)" when none.
template <typename F> std::string messageOf(F&& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.message();
    }
    return "(no exception)";
}

inline ImageMetadata imageMeta(std::uint32_t width, std::uint32_t height, std::uint32_t channels,
                               std::uint32_t bits = 8,
                               ImageMetadata::Format format = ImageMetadata::Format::INTENSITY) {
    ImageMetadata meta;
    meta.width = width;
    meta.height = height;
    meta.channels = channels;
    meta.type = {bits, TypeDescriptor::Unsigned, false};
    meta.format = format;
    return meta;
}

// Rows of a bottom-up buffer reordered top-down, as other programs' decoders deliver them.
inline Bytes topDown(const Buffer& data, std::uint32_t height) {
    Bytes rows;
    const std::uint32_t stride = height == 0 ? 0 : data.size() / height;
    for (std::uint32_t y = height; y-- > 0;)
        rows.insert(rows.end(), data.data() + std::size_t(y) * stride,
                    data.data() + std::size_t(y + 1) * stride);
    return rows;
}

// Runs a shell command; returns its exit status and fills its standard output.
inline int runCommand(const std::string& command, Bytes& output) {
    const PenvexTest::ScratchDir dir;
    const int status = std::system((command + " > '" + (dir / "out").string() + "'").c_str());
    output = fixtureBytes((dir / "out").string());
    return status;
}

// A stream that cannot tell its position or length, so that it must be read byte by byte;
// counts what was read.
class SequentialStream : public ReadStream {
public:
    explicit SequentialStream(const Bytes& data) : data_(data) {}
    void read(void* dest, std::uint64_t count) override {
        if (count > data_.size() - pos_)
            throw ZELK::StreamException("Attempted to read over end of buffer. ");
        std::memcpy(dest, data_.data() + pos_, count);
        pos_ += count;
    }
    bool atEnd() override { return pos_ >= data_.size(); }
    std::size_t position() const { return pos_; }

private:
    const Bytes& data_;
    std::size_t pos_ = 0;
};

// PNG chunks, with checksums of our own (a plain bitwise CRC-32, not the codec's table).
struct Chunk {
    std::string type;
    Bytes data;
};

inline void putBe32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

inline std::uint32_t bitwiseCrc(const std::string& type, const Bytes& data) {
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

// The chunks of a well-formed PNG file.
inline std::vector<Chunk> parseChunks(const Bytes& file) {
    std::vector<Chunk> chunks;
    for (std::size_t pos = 8; pos + 12 <= file.size();) {
        const std::uint32_t length = std::uint32_t(file[pos]) << 24 |
                                     std::uint32_t(file[pos + 1]) << 16 |
                                     std::uint32_t(file[pos + 2]) << 8 | file[pos + 3];
        chunks.push_back({std::string(file.begin() + pos + 4, file.begin() + pos + 8),
                          Bytes(file.begin() + pos + 8, file.begin() + pos + 8 + length)});
        pos += 12 + length;
    }
    return chunks;
}

// A PNG file of these chunks, each with its correct CRC.
inline Bytes assemble(const std::vector<Chunk>& chunks) {
    Bytes out = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Chunk& c : chunks) {
        putBe32(out, static_cast<std::uint32_t>(c.data.size()));
        out.insert(out.end(), c.type.begin(), c.type.end());
        out.insert(out.end(), c.data.begin(), c.data.end());
        putBe32(out, bitwiseCrc(c.type, c.data));
    }
    return out;
}

// Imports PNG bytes from memory; returns the error message, empty on success.
inline std::string importPNG(const Bytes& file, IncrementalBuffer& data, ImageMetadata& meta) {
    ConstBufferStream source(file.data(), static_cast<std::uint32_t>(file.size()));
    PNGImporter importer;
    importer.attach(source);
    const std::string message = messageOf([&] { importer.importData(data, meta); });
    return message == "(no exception)" ? "" : message;
}

inline std::string importError(const Bytes& file) {
    IncrementalBuffer data;
    ImageMetadata meta;
    return importPNG(file, data, meta);
}

// Writes JPEG marker segments into a file image.
class JPEGWriter {
public:
    JPEGWriter& soi() { return marker(0xD8); }
    JPEGWriter& eoi() { return marker(0xD9); }
    JPEGWriter& marker(std::uint8_t code) { return raw({'\xFF', static_cast<char>(code)}); }
    // A marker segment with the length field counting itself.
    JPEGWriter& segment(std::uint8_t code, const std::string& payload) {
        marker(code);
        return raw(be16(payload.size() + 2) + payload);
    }
    // An 8-bit quantisation table with every entry equal to value.
    JPEGWriter& dqt(unsigned index, std::uint8_t value) {
        return segment(0xDB, char(index) + std::string(64, static_cast<char>(value)));
    }
    // A frame of components given as id, sampling factors and quantisation table.
    JPEGWriter& sof(std::uint8_t code, std::uint16_t width, std::uint16_t height,
                    std::initializer_list<std::array<std::uint8_t, 3>> components) {
        std::string p = '\x08' + be16(height) + be16(width) + char(components.size());
        for (const auto& c : components)
            p += {char(c[0]), char(c[1]), char(c[2])};
        return segment(code, p);
    }
    // A table with `count` codes of the given length (1..16) and these values.
    JPEGWriter& dht(unsigned tableClass, unsigned index, unsigned length, unsigned count,
                    const std::string& values) {
        std::string counts(16, '\0');
        counts[length - 1] = static_cast<char>(count);
        return segment(0xC4, char(tableClass << 4 | index) + counts + values);
    }
    // A scan of components given as id and table selectors (DC in the high nibble, AC low).
    JPEGWriter& sos(std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> components,
                    std::uint8_t ss = 0, std::uint8_t se = 63, std::uint8_t approximation = 0) {
        std::string p(1, char(components.size()));
        for (auto [id, selectors] : components)
            p += {char(id), char(selectors)};
        return segment(0xDA, p + char(ss) + char(se) + char(approximation));
    }
    JPEGWriter& raw(const std::string& bytes) {
        bytes_ += bytes;
        return *this;
    }
    const std::string& bytes() const { return bytes_; }

private:
    static std::string be16(std::size_t v) { return {char(v >> 8), char(v & 0xFF)}; }
    std::string bytes_;
};

} // namespace ZELK::Migration::Testing
