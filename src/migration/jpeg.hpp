// JPEG import: baseline sequential and progressive Huffman-coded files with 8-bit samples and
// one (grey) or three (YCbCr) components, read into a bottom-up grey or RGB buffer.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/limits.hpp"
#include "core/streams.hpp"
#include "migration/image.hpp"

namespace ZELK::Migration {

namespace JPEG {

// A u8 count followed by that many records.
template <typename T> struct JPEGVector : Serializable {
    std::vector<T> items;

    void serialize(Serialization& visitor) override {
        std::uint8_t count = static_cast<std::uint8_t>(items.size());
        visitor.visit(count);
        items.resize(count);
        for (T& item : items)
            item.serialize(visitor);
    }
};

// SOF0 / SOF2 segment.
struct FrameHeader : Serializable {
    struct ImageComponent : Serializable {
        std::uint8_t id = 0;
        std::uint8_t sampling = 0x11; // horizontal in the high nibble, vertical in the low
        std::uint8_t quantizationTable = 0;

        unsigned horizontal() const { return sampling >> 4; }
        unsigned vertical() const { return sampling & 15u; }
        void serialize(Serialization& visitor) override {
            visitor.visit(id);
            visitor.visit(sampling);
            visitor.visit(quantizationTable);
        }
    };

    std::uint8_t precision = 8;
    std::uint16_t height = 0;
    std::uint16_t width = 0;
    JPEGVector<ImageComponent> components;

    void serialize(Serialization& visitor) override {
        visitor.visit(precision);
        visitor.visit(height);
        visitor.visit(width);
        components.serialize(visitor);
    }
};

// SOS segment.
struct ScanHeader : Serializable {
    struct ScanComponent : Serializable {
        std::uint8_t id = 0;
        std::uint8_t tables = 0; // DC table in the high nibble, AC table in the low

        unsigned dcTable() const { return tables >> 4; }
        unsigned acTable() const { return tables & 15u; }
        void serialize(Serialization& visitor) override {
            visitor.visit(id);
            visitor.visit(tables);
        }
    };

    JPEGVector<ScanComponent> components;
    std::uint8_t spectralStart = 0;
    std::uint8_t spectralEnd = 63;
    std::uint8_t approximation = 0; // Ah in the high nibble, Al in the low

    unsigned approximationHigh() const { return approximation >> 4; }
    unsigned approximationLow() const { return approximation & 15u; }
    void serialize(Serialization& visitor) override {
        components.serialize(visitor);
        visitor.visit(spectralStart);
        visitor.visit(spectralEnd);
        visitor.visit(approximation);
    }
};

// One table of a DQT segment; the entries (in zig-zag order) are only read for 8-bit tables,
// the only ones the decoder accepts.
struct QuantizationTable : Serializable {
    std::uint8_t precisionAndIndex = 0;
    std::array<std::uint8_t, 64> entries{};

    unsigned precision() const { return precisionAndIndex >> 4; }
    unsigned index() const { return precisionAndIndex & 15u; }
    void serialize(Serialization& visitor) override {
        visitor.visit(precisionAndIndex);
        if (precision() == 0)
            for (std::uint8_t& entry : entries)
                visitor.visit(entry);
    }
};

// One table of a DHT segment: counts[i] codes of length i + 1, then the values in code order.
struct HuffmanTable : Serializable {
    std::uint8_t classAndIndex = 0;
    std::array<std::uint8_t, 16> counts{};
    std::vector<std::uint8_t> values;

    unsigned tableClass() const { return classAndIndex >> 4; }
    unsigned index() const { return classAndIndex & 15u; }
    unsigned total() const {
        unsigned sum = 0;
        for (std::uint8_t count : counts)
            sum += count;
        return sum;
    }
    void serialize(Serialization& visitor) override {
        visitor.visit(classAndIndex);
        for (std::uint8_t& count : counts)
            visitor.visit(count);
        values.resize(total());
        for (std::uint8_t& value : values)
            visitor.visit(value);
    }
};

} // namespace JPEG

class JPEGImporter : public DataImporter {
public:
    // Frames with more pixels than maxPixels are refused before anything is allocated.
    explicit JPEGImporter(std::uint64_t maxPixels = Limits::maxImagePixels)
        : maxPixels_(maxPixels) {}

    // Decodes the attached stream from its current position up to EOI, then turns the picture
    // upright by the first Exif segment's orientation tag. data and meta are only written once
    // the whole file has been decoded.
    void importData(IncrementalBuffer& data, ImageMetadata& meta) override;

private:
    std::uint64_t maxPixels_;
};

} // namespace ZELK::Migration
