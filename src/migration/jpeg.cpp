// The JPEG marker loop: segments are read and checked here, scans handed to the mode that the
// frame header chose.
#include "migration/jpeg.hpp"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/checked.hpp"
#include "core/exceptions.hpp"
#include "migration/jpeg_entropy.hpp"
#include "migration/jpeg_modes.hpp"
#include "migration/orientation.hpp"

namespace ZELK::Migration {

namespace {

using namespace JPEG;

// Marker codes the decoder acts on.
constexpr std::uint8_t markerSOF0 = 0xC0;
constexpr std::uint8_t markerSOF2 = 0xC2;
constexpr std::uint8_t markerDHT = 0xC4;
constexpr std::uint8_t markerSOI = 0xD8;
constexpr std::uint8_t markerEOI = 0xD9;
constexpr std::uint8_t markerSOS = 0xDA;
constexpr std::uint8_t markerDQT = 0xDB;
constexpr std::uint8_t markerDRI = 0xDD;
constexpr std::uint8_t markerAPP0 = 0xE0;
constexpr std::uint8_t markerAPP1 = 0xE1;
constexpr std::uint8_t markerAPP15 = 0xEF;
constexpr std::uint8_t markerCOM = 0xFE;

// The format allows sampling factors 1 to 4.
constexpr unsigned maxSamplingFactor = 4;

[[noreturn]] void unexpectedEnd() {
    throw FormatException("jpeg", "Unexpected end of stream, no end of image segment detected. ");
}

// The payload of one marker segment, read as big-endian records.
class Segment {
public:
    explicit Segment(std::vector<std::uint8_t> bytes)
        : bytes_(std::move(bytes)),
          stream_(bytes_.data(), static_cast<std::uint32_t>(bytes_.size())), reader_(stream_),
          bigEndian_(reader_) {}
    // The reader refers into the object itself.
    Segment(const Segment&) = delete;
    Segment& operator=(const Segment&) = delete;

    // Reads one record; a segment too short for it is a format error.
    void read(Serializable& record) {
        try {
            record.serialize(bigEndian_);
        } catch (const ZELK::StreamException&) {
            throw FormatException("jpeg", "Marker segment shorter than its contents. ");
        }
    }
    bool atEnd() { return stream_.atEnd(); }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::uint64_t left() { return bytes_.size() - stream_.tell(); }
    // The byte at offset from the read position; the caller checks left().
    std::uint8_t peek(std::uint64_t offset) { return bytes_[stream_.tell() + offset]; }

private:
    std::vector<std::uint8_t> bytes_;
    ConstBufferStream stream_;
    Deserializer reader_;
    SwapEndianess bigEndian_;
};

// Marker loop state: the tables, the frame's mode and where the file is read.
class Decoder {
public:
    Decoder(ReadStream& stream, std::uint64_t maxPixels) : in_(stream), maxPixels_(maxPixels) {}

    void run(IncrementalBuffer& data, ImageMetadata& meta);

private:
    std::uint8_t firstMarker();
    std::uint8_t nextMarker();
    Segment readSegment();
    void frame(std::uint8_t code, Segment& segment);
    void huffmanTables(Segment& segment);
    void quantizationTables(Segment& segment);
    void restartInterval(Segment& segment);
    void scan(Segment& segment);

    InputWindow in_;
    std::uint64_t maxPixels_;
    // From the first Exif segment; 0 until one is seen.
    unsigned orientation_ = 0;
    DecodingTables tables_;
    std::unique_ptr<Mode> mode_;
};

void Decoder::run(IncrementalBuffer& data, ImageMetadata& meta) {
    std::uint8_t code = firstMarker();
    for (;;) {
        if (code < 0xC0)
            throw SupportException("JPEG marker " + hex(code));
        if (code == markerEOI) {
            if (!mode_)
                throw FormatException("jpeg", "End of image before frame header. ");
            mode_->finish(data, meta);
            // Phones store portrait photos as landscape pixels with an orientation tag; the
            // program works on the picture as viewers show it.
            applyOrientation(data, meta, orientation_);
            return;
        }
        if (code != markerSOI) {
            // Only segments we understand are read: a standalone or unknown marker has no
            // length we could trust.
            const bool known = code == markerSOF0 || code == markerSOF2 || code == markerDHT ||
                               code == markerDQT || code == markerDRI || code == markerSOS ||
                               (code >= markerAPP0 && code <= markerAPP15) || code == markerCOM;
            if (!known)
                throw SupportException("JPEG marker " + hex(code));
            Segment segment = readSegment();
            if (code == markerSOF0 || code == markerSOF2)
                frame(code, segment);
            else if (code == markerDHT)
                huffmanTables(segment);
            else if (code == markerDQT)
                quantizationTables(segment);
            else if (code == markerDRI)
                restartInterval(segment);
            else if (code == markerSOS)
                scan(segment);
            else if (code == markerAPP1 && orientation_ == 0 && segment.bytes().size() >= 6 &&
                     std::equal(segment.bytes().begin(), segment.bytes().begin() + 6, "Exif\0"))
                orientation_ = exifOrientation(segment.bytes().data(), segment.bytes().size());
        }
        code = nextMarker();
    }
}

std::uint8_t Decoder::firstMarker() {
    // Anything before the first marker is skipped.
    std::uint8_t previous = 0;
    for (;;) {
        if (in_.atEnd())
            unexpectedEnd();
        const std::uint8_t byte = in_.byte();
        if (previous == 0xFF && byte != 0xFF && byte != 0x00)
            return byte;
        previous = byte;
    }
}

std::uint8_t Decoder::nextMarker() {
    if (in_.atEnd())
        unexpectedEnd();
    if (in_.byte() != 0xFF)
        throw FormatException("jpeg", "Expected start of marker segment. ");
    std::uint8_t code = 0xFF;
    while (code == 0xFF) { // fill bytes
        if (in_.atEnd())
            unexpectedEnd();
        code = in_.byte();
    }
    return code;
}

Segment Decoder::readSegment() {
    std::uint8_t lengthBytes[2];
    in_.read(lengthBytes, 2);
    const unsigned length = (unsigned(lengthBytes[0]) << 8) | lengthBytes[1];
    if (length < 2)
        throw FormatException("jpeg", "Marker segment length below 2. ");
    std::vector<std::uint8_t> payload(length - 2);
    in_.read(payload.data(), payload.size());
    return Segment(std::move(payload));
}

void Decoder::frame(std::uint8_t code, Segment& segment) {
    FrameHeader header;
    segment.read(header);
    if (!segment.atEnd())
        throw FormatException("jpeg", "Frame header larger than expected. ");
    if (header.precision != 8)
        throw SupportException("JPEG with other than 8-bit sample precision");
    const auto& components = header.components.items;
    if (components.size() != 1 && components.size() != 3)
        throw SupportException("JPEG with channels other than 1 or 3");
    if (header.width == 0 || header.height == 0)
        throw FormatException("jpeg", "Frame with zero width or height. ");
    unsigned maxHorizontal = 1;
    unsigned maxVertical = 1;
    for (const auto& component : components) {
        const unsigned h = component.horizontal();
        const unsigned v = component.vertical();
        if (h == 0 || h > maxSamplingFactor || v == 0 || v > maxSamplingFactor)
            throw FormatException("jpeg", "Sampling factor outside 1 to 4. ");
        maxHorizontal = h > maxHorizontal ? h : maxHorizontal;
        maxVertical = v > maxVertical ? v : maxVertical;
    }
    if (checkedMul(header.width, header.height) > maxPixels_)
        throw SupportException("JPEG frames above " + std::to_string(maxPixels_) + " pixels");
    if (code == markerSOF2)
        mode_ = std::make_unique<ProgressiveDCTMode>();
    else
        mode_ = std::make_unique<SequentialDCTMode>();
    mode_->setFrame(header.width, header.height, static_cast<unsigned>(components.size()));
    for (unsigned i = 0; i < components.size(); ++i)
        mode_->setComponent(i, components[i], maxHorizontal, maxVertical);
}

void Decoder::huffmanTables(Segment& segment) {
    while (!segment.atEnd()) {
        // Check the counts before the values they announce are read.
        if (segment.left() < 17)
            throw FormatException("jpeg", "Huffman table runs past its segment. ");
        unsigned total = 0;
        for (unsigned i = 1; i <= 16; ++i)
            total += segment.peek(i);
        if (total > 256)
            throw FormatException("jpeg", "Huffman table with more than 256 codes. ");
        if (segment.left() < 17 + std::uint64_t(total))
            throw FormatException("jpeg", "Huffman table runs past its segment. ");
        HuffmanTable table;
        segment.read(table);
        if (total == 0)
            throw FormatException("jpeg", "Empty huffman table. ");
        if (table.tableClass() >= 2)
            throw BoundException<unsigned char>(static_cast<unsigned char>(table.tableClass()), 2);
        if (table.index() >= 4)
            throw BoundException<unsigned char>(static_cast<unsigned char>(table.index()), 4);
        auto& slots = table.tableClass() == 0 ? tables_.dc : tables_.ac;
        slots[table.index()].build(table.counts, table.values);
    }
}

void Decoder::quantizationTables(Segment& segment) {
    while (!segment.atEnd()) {
        QuantizationTable table;
        segment.read(table);
        if (table.precision() != 0)
            throw SupportException("JPEG with other than 8-bit quantization table precision");
        if (table.index() >= 4)
            throw BoundException<unsigned char>(static_cast<unsigned char>(table.index()), 4);
        auto& slot = tables_.quantization[table.index()];
        for (unsigned i = 0; i < 64; ++i)
            slot[i] = table.entries[i];
        tables_.quantizationDefined[table.index()] = true;
    }
}

void Decoder::restartInterval(Segment& segment) {
    struct Interval : Serializable {
        std::uint16_t value = 0;
        void serialize(Serialization& visitor) override { visitor.visit(value); }
    } interval;
    segment.read(interval);
    if (!segment.atEnd())
        throw FormatException("jpeg", "Define restart interval segment larger than expected. ");
    tables_.restartInterval = interval.value;
}

void Decoder::scan(Segment& segment) {
    ScanHeader header;
    segment.read(header);
    if (!segment.atEnd())
        throw FormatException("jpeg", "Scan header larger than expected. ");
    if (!mode_)
        throw FormatException("jpeg", "Scan before frame header. ");
    // The mode starts every scan with fresh DC predictors and restart count.
    mode_->scan(header, tables_, in_);
}

} // namespace

void JPEGImporter::importData(IncrementalBuffer& data, ImageMetadata& meta) {
    Decoder decoder(stream(), maxPixels_);
    decoder.run(data, meta);
}

std::unique_ptr<DataImporter> makeJPEGImporter() {
    return std::make_unique<JPEGImporter>();
}

} // namespace ZELK::Migration
