// Fuzz entry functions for the BMP and TIFF importers and the Exif orientation.
#include "fuzz/entries/scanner_formats.hpp"

#include <stdexcept>
#include <vector>

#include "migration/bmp.hpp"
#include "migration/orientation.hpp"
#include "migration/tiff.hpp"

namespace ZELK::Fuzz {

namespace {

void importChecked(Migration::DataImporter& importer, const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu)
        return;
    ConstBufferStream stream(data, static_cast<std::uint32_t>(size));
    importer.attach(stream);
    IncrementalBuffer image;
    Migration::ImageMetadata meta;
    try {
        importer.importData(image, meta);
    } catch (const Exception&) {
        return;
    }
    if (meta.type.bits != 8 || image.size() != Migration::ImageLayout(meta).dataSize())
        throw std::logic_error("decoded image differs from its 8-bit layout");
}

} // namespace

void bmp(const std::uint8_t* data, std::size_t size) {
    Migration::BMPImporter importer;
    importChecked(importer, data, size);
}

void tiff(const std::uint8_t* data, std::size_t size) {
    static Migration::TIFFImporter importer; // holds the inflater's tables
    importChecked(importer, data, size);
}

void exif(const std::uint8_t* data, std::size_t size) {
    const unsigned orientation = Migration::exifOrientation(data, size);
    if (orientation < 1 || orientation > 8)
        throw std::logic_error("orientation outside 1 to 8");
    // A picture of up to 9 x 7 pixels of 1 to 4 channels, its samples counting up.
    Migration::ImageMetadata meta;
    meta.width = 1 + (size > 0 ? data[0] % 9 : 0);
    meta.height = 1 + (size > 1 ? data[1] % 7 : 0);
    meta.channels = 1 + (size > 2 ? data[2] % 4 : 0);
    meta.type = Migration::unsigned8();
    const std::uint32_t bytes = meta.width * meta.height * meta.channels;
    IncrementalBuffer image(bytes, bytes);
    for (std::uint32_t i = 0; i < bytes; ++i)
        image.data()[i] = static_cast<std::uint8_t>(i);
    const std::vector<std::uint8_t> before(image.data(), image.data() + bytes);
    Migration::applyOrientation(image, meta, orientation);
    // Turning a quarter one way is undone by a quarter the other way; the rest undo themselves.
    const unsigned inverse = orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
    Migration::applyOrientation(image, meta, inverse);
    if (std::vector<std::uint8_t>(image.data(), image.data() + image.size()) != before)
        throw std::logic_error("orientation and its inverse do not give the picture back");
}

} // namespace ZELK::Fuzz
