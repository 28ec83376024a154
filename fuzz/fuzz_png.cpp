// Fuzz target: PNG import of arbitrary bytes. The checksums of complete chunks are recomputed
// for most inputs, so that mutations reach the header rules, the inflater and the row filters
// instead of stopping at the first chunk CRC; inputs whose size is a multiple of 7 keep
// theirs, so the CRC check is fuzzed too.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/streams.hpp"
#include "migration/png.hpp"

namespace {

void fixChunkCrcs(std::vector<std::uint8_t>& file) {
    std::size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const std::uint64_t length = std::uint64_t(file[pos]) << 24 | file[pos + 1] << 16 |
                                     file[pos + 2] << 8 | file[pos + 3];
        if (pos + 12 + length > file.size())
            return;
        const std::uint32_t crc =
            ~ZELK::Migration::PNG::crcUpdate(0xFFFFFFFFu, &file[pos + 4], length + 4);
        std::uint8_t* out = &file[pos + 8 + length];
        out[0] = static_cast<std::uint8_t>(crc >> 24);
        out[1] = static_cast<std::uint8_t>(crc >> 16);
        out[2] = static_cast<std::uint8_t>(crc >> 8);
        out[3] = static_cast<std::uint8_t>(crc);
        pos += 12 + length;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> file(data, data + size);
    if (size % 7 != 0)
        fixChunkCrcs(file);
    ZELK::ConstBufferStream source(file.data(), static_cast<std::uint32_t>(file.size()));
    ZELK::Migration::PNGImporter importer;
    importer.attach(source);
    ZELK::IncrementalBuffer image;
    ZELK::Migration::ImageMetadata meta;
    try {
        importer.importData(image, meta);
    } catch (const ZELK::Exception&) {
        // Refusing malformed data is the expected outcome; crashes and leaks are the findings.
    }
    return 0;
}
