// Helpers of the JPEG tests: decoding bytes and files, reference images written by djpeg, and
// a small writer of marker segments for hand-made files.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/buffers.hpp"
#include "migration/image.hpp"

namespace JPEGTest {

struct Decoded {
    ZELK::IncrementalBuffer buffer;
    ZELK::Migration::ImageMetadata meta;
};

// Decodes bytes with the JPEG importer (maxPixels as given, the default limit otherwise).
Decoded decodeBytes(const std::string& bytes, std::uint64_t maxPixels = 0);
// The message of the ZELK exception that decoding raises, or "(no exception)".
std::string refusal(const std::string& bytes, std::uint64_t maxPixels = 0);

// Samples top row first, channels interleaved, as a PNM file or a reference stores them.
struct Samples {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t channels = 0;
    std::vector<std::uint8_t> bytes;
};
Samples topFirst(const Decoded& image);
// Reads a binary PGM (P5) or PPM (P6) file with 8-bit samples.
Samples readPNM(const std::string& path);

struct Difference {
    int max = 0;
    double mean = 0;
};
// Per-sample absolute differences; the images must agree in size and channels.
Difference compare(const Samples& a, const Samples& b);

// Writes marker segments into a file image.
class Writer {
public:
    Writer& soi() { return marker(0xD8); }
    Writer& eoi() { return marker(0xD9); }
    Writer& marker(std::uint8_t code);
    // A marker segment with the length field counting itself.
    Writer& segment(std::uint8_t code, const std::string& payload);
    // An 8-bit quantisation table with every entry equal to value.
    Writer& dqt(unsigned index, std::uint8_t value);
    struct Component {
        std::uint8_t id;
        std::uint8_t sampling;
        std::uint8_t quantizationTable;
    };
    Writer& sof(std::uint8_t code, std::uint16_t width, std::uint16_t height,
                std::initializer_list<Component> components, std::uint8_t precision = 8);
    Writer& dht(unsigned tableClass, unsigned index, const std::vector<std::uint8_t>& counts,
                const std::vector<std::uint8_t>& values);
    Writer& dri(std::uint16_t interval);
    struct ScanComponent {
        std::uint8_t id;
        std::uint8_t selectors; // DC table in the high nibble, AC table in the low
    };
    Writer& sos(std::initializer_list<ScanComponent> components, std::uint8_t ss = 0,
                std::uint8_t se = 63, std::uint8_t approximation = 0);
    Writer& raw(const std::string& bytes);
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// A grey 8 x 8 baseline file whose one block is coded by the given entropy bytes, with a DC
// table of one 2-bit code ("00": size sizeOfFirstCode) and an AC table of one 1-bit code
// ("0": end of block). The tables' extra codes are "01" (DC) and "1" (AC), both value 0.
std::string greyBlockFile(const std::string& entropy, std::uint8_t sizeOfFirstCode,
                          std::uint8_t quantization = 1);

// Offset of the first occurrence of the two bytes 0xFF, code at or after from; npos if none.
std::size_t findMarker(const std::string& bytes, std::uint8_t code, std::size_t from = 0);

} // namespace JPEGTest
