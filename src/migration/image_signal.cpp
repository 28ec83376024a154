// Checks behind the 8-bit image views.
#include "migration/image_signal.hpp"

namespace ZELK::Migration {

Tuple<3, unsigned> imageSignalSizes(const ImageMetadata& meta) {
    if (!(meta.type == unsigned8()))
        throw UnexpectedValueException(meta.type.text(), unsigned8().text());
    const std::uint64_t pixelBits = 8ull * meta.channels;
    if (meta.pixelAlignment != 0 && pixelBits % meta.pixelAlignment != 0)
        throw SupportException("image signal alignment");
    if (meta.lineAlignment != 0) {
        std::uint64_t alignedPixel = pixelBits;
        if (meta.pixelAlignment != 0)
            alignedPixel =
                (pixelBits + meta.pixelAlignment - 1) / meta.pixelAlignment * meta.pixelAlignment;
        // Products of two 32-bit values (times 8) fit in 64 bits only when checked.
        const std::uint64_t lineBits = checkedMul(alignedPixel, meta.width);
        if (lineBits % meta.lineAlignment != 0)
            throw SupportException("image signal alignment");
    }
    return Tuple<3, unsigned>(meta.channels, meta.width, meta.height);
}

} // namespace ZELK::Migration
