// Fuzz entry function for the NetPBM and Native importers.
#include "fuzz/entries/netpbm.hpp"

#include <cstring>
#include <stdexcept>

#include "core/checked.hpp"
#include "migration/native.hpp"
#include "migration/netpbm.hpp"

namespace ZELK::Fuzz {

namespace {

// Imports with the given importer; false when the codec refused the data.
bool importWith(Migration::DataImporter& importer, const std::uint8_t* data, std::uint32_t size,
                IncrementalBuffer& buffer, Migration::ImageMetadata& meta) {
    ConstBufferStream stream(data, size);
    importer.attach(stream);
    try {
        importer.importData(buffer, meta);
    } catch (const Exception&) {
        return false;
    }
    return true;
}

} // namespace

void netpbm(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu)
        return;
    const auto n = static_cast<std::uint32_t>(size);

    Migration::NetPBMImporter pbm;
    IncrementalBuffer image;
    Migration::ImageMetadata meta;
    if (importWith(pbm, data, n, image, meta)) {
        // P4 keeps one byte a pixel; the other kinds follow their layout.
        const bool bitmap = meta.type.bits == 1;
        const std::uint64_t need =
            bitmap ? checkedMul(meta.width, meta.height) : Migration::ImageLayout(meta).dataSize();
        if (image.size() < need)
            throw std::logic_error("NetPBM image smaller than its layout");
        // What we read must write and read back to the same samples.
        IncrementalBuffer file;
        BufferStream out(file);
        Migration::NetPBMExporter exporter;
        exporter.attach(out);
        exporter.exportData(image, meta);
        Migration::NetPBMImporter again;
        IncrementalBuffer back;
        Migration::ImageMetadata backMeta;
        if (!importWith(again, file.data(), file.size(), back, backMeta) ||
            back.size() != image.size() ||
            (image.size() > 0 && std::memcmp(back.data(), image.data(), image.size()) != 0))
            throw std::logic_error("NetPBM image does not survive a round trip");
    }

    Migration::NativeImporter native;
    IncrementalBuffer nativeImage;
    Migration::ImageMetadata nativeMeta;
    importWith(native, data, n, nativeImage, nativeMeta);
}

} // namespace ZELK::Fuzz
