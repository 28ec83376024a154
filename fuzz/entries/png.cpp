// Fuzz entry functions for PNG import, the inflater and the deflate encoder.
#include "fuzz/entries/png.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/limits.hpp"
#include "core/streams.hpp"
#include "migration/deflate.hpp"
#include "migration/image.hpp"
#include "migration/inflate.hpp"
#include "migration/png.hpp"

namespace ZELK::Fuzz {

namespace {

void fixChunkCrcs(std::vector<std::uint8_t>& file) {
    std::size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const std::uint64_t length = std::uint64_t(file[pos]) << 24 | file[pos + 1] << 16 |
                                     file[pos + 2] << 8 | file[pos + 3];
        if (pos + 12 + length > file.size())
            return;
        const std::uint32_t crc =
            ~Migration::PNG::crcUpdate(0xFFFFFFFFu, &file[pos + 4], length + 4);
        std::uint8_t* out = &file[pos + 8 + length];
        out[0] = static_cast<std::uint8_t>(crc >> 24);
        out[1] = static_cast<std::uint8_t>(crc >> 16);
        out[2] = static_cast<std::uint8_t>(crc >> 8);
        out[3] = static_cast<std::uint8_t>(crc);
        pos += 12 + length;
    }
}

// A stream without positions, which the inflater must read one byte at a time.
class SequentialStream : public ReadStream {
public:
    SequentialStream(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    void read(void* dest, std::uint64_t count) override {
        if (count > size_ - pos_)
            throw StreamException("Attempted to read over end of buffer. ");
        if (count > 0)
            std::memcpy(dest, data_ + pos_, count);
        pos_ += count;
    }
    bool atEnd() override { return pos_ >= size_; }
    std::size_t position() const { return pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

struct Run {
    std::vector<std::uint8_t> output;
    std::string error;
    std::uint64_t end = 0;
};

} // namespace

void png(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> file(data, data + size);
    if (size % 7 != 0)
        fixChunkCrcs(file);
    ConstBufferStream source(file.data(), static_cast<std::uint32_t>(file.size()));
    Migration::PNGImporter importer;
    importer.attach(source);
    IncrementalBuffer image;
    Migration::ImageMetadata meta;
    try {
        importer.importData(image, meta);
    } catch (const Exception&) {
        return;
    }
    if (image.size() != Migration::ImageLayout(meta).dataSize())
        throw std::logic_error("decoded image size differs from its metadata");
}

void inflate(const std::uint8_t* data, std::size_t size) {
    static Migration::Inflater inflater;
    Run chunked, bytewise;
    ConstBufferStream buffered(data, static_cast<std::uint32_t>(size));
    IncrementalBuffer out;
    try {
        inflater.inflate(buffered, out);
        chunked.end = buffered.tell();
    } catch (const Exception& e) {
        chunked.error = e.message();
    }
    chunked.output.assign(out.data(), out.data() + out.size());

    SequentialStream sequential(data, size);
    IncrementalBuffer again;
    try {
        inflater.inflate(sequential, again);
        bytewise.end = sequential.position();
    } catch (const Exception& e) {
        bytewise.error = e.message();
    }
    bytewise.output.assign(again.data(), again.data() + again.size());

    if (chunked.error != bytewise.error || chunked.output != bytewise.output ||
        chunked.end != bytewise.end)
        throw std::logic_error("chunked and byte-wise reading disagree");
    if (chunked.end > size)
        throw std::logic_error("stream left beyond its end");
    if (chunked.output.size() > Limits::maxDeflateExpansion * size + 258)
        throw std::logic_error("output beyond what DEFLATE can expand to");
}

void deflateRoundTrip(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu)
        return;
    static Migration::Inflater inflater;
    std::vector<std::uint8_t> packed;
    Migration::deflate(data, static_cast<std::uint32_t>(size), packed);
    ConstBufferStream source(packed.data(), static_cast<std::uint32_t>(packed.size()));
    IncrementalBuffer back;
    inflater.inflate(source, back);
    if (back.size() != size || (size > 0 && std::memcmp(back.data(), data, size) != 0) ||
        source.tell() != packed.size())
        throw std::logic_error("deflate round trip changed the bytes");
}

} // namespace ZELK::Fuzz
