// Helpers of the codec tests: fixture bytes, exception messages, bottom-up buffers turned
// top-down, outside tools and a byte-at-a-time stream.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/buffers.hpp"
#include "core/exceptions.hpp"
#include "core/streams.hpp"
#include "migration/image.hpp"
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

// The message of the ZELK exception the action raises, empty when none.
template <typename F> std::string messageOf(F&& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.message();
    }
    return "";
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
    for (std::uint32_t y = height, stride = height ? data.size() / height : 0; y-- > 0;)
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

} // namespace ZELK::Migration::Testing
