// Entry of the JPEG fuzz target.
#include "fuzz/entries/jpeg.hpp"

#include <limits>

#include "core/exceptions.hpp"
#include "core/streams.hpp"
#include "migration/jpeg.hpp"

namespace ZELK::Fuzz {

void jpeg(const std::uint8_t* data, std::size_t size) {
    if (size > std::numeric_limits<std::uint32_t>::max())
        return;
    ConstBufferStream stream(data, static_cast<std::uint32_t>(size));
    Migration::JPEGImporter importer(jpegFuzzMaxPixels);
    importer.attach(stream);
    IncrementalBuffer buffer;
    Migration::ImageMetadata meta;
    try {
        importer.importData(buffer, meta);
    } catch (const Exception&) {
        // Refusing malformed or unsupported data is the expected outcome.
    }
}

} // namespace ZELK::Fuzz
