// PNG import (every standard colour type and bit depth, interlaced or not: grey below 8 bits is
// stretched to 8, palette images become 8-bit RGB, 16-bit samples stay 16-bit) and PNG export
// (compressed by our own deflate encoder, one IDAT chunk).
#pragma once

#include <cstdint>

#include "core/streams.hpp"
#include "migration/image.hpp"
#include "migration/inflate.hpp"

namespace ZELK::Migration {

namespace PNG {

// The image header chunk's 13 bytes, big-endian on disk.
struct IHDR : Serializable {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t bitDepth = 0;
    std::uint8_t colorType = 0;
    std::uint8_t compressionMethod = 0;
    std::uint8_t filterMethod = 0;
    std::uint8_t interlaceMethod = 0;

    void serialize(Serialization& visitor) override;
};

// The two bytes that open the zlib stream of the image data.
struct ZlibHeader : Serializable {
    std::uint8_t cmf = 0;
    std::uint8_t flg = 0;

    void serialize(Serialization& visitor) override;
};

// CRC-32 as PNG chunks use it (polynomial 0xEDB88320, initial value and final complement
// 0xFFFFFFFF): update() continues a running value that starts at 0xFFFFFFFF and is
// complemented at the end.
std::uint32_t crcUpdate(std::uint32_t crc, const std::uint8_t* data, std::uint64_t size);

// Adler-32 of the zlib trailer.
std::uint32_t adler32(const std::uint8_t* data, std::uint64_t size);

} // namespace PNG

class PNGImporter : public DataImporter {
public:
    // Reads one PNG file from the attached stream. Fills meta when the IEND chunk is reached,
    // then decodes the image into data, its first file row at the last buffer line. Raises
    // FormatException("png", ...) for malformed files, SupportException for features that
    // are not supported, and the stream's read error for truncated files.
    void importData(IncrementalBuffer& data, ImageMetadata& meta) override;

private:
    void decodeImage(const PNG::IHDR& header, const IncrementalBuffer& idat,
                     const IncrementalBuffer& palette, IncrementalBuffer& data);

    Inflater inflater_;
};

class PNGExporter : public DataExporter {
public:
    // Writes the image as signature, IHDR, one IDAT and IEND, the last buffer line first.
    // Raises SupportException for layouts and sample types PNG cannot carry as they are.
    void exportData(const Buffer& data, const ImageMetadata& meta) override;
};

} // namespace ZELK::Migration
