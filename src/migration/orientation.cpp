// Exif orientation reading and the eight upright transforms.
#include "migration/orientation.hpp"

#include <cstring>

#include "core/checked.hpp"

namespace ZELK::Migration {

namespace {

constexpr std::uint16_t orientationTag = 0x0112;
constexpr std::uint16_t typeShort = 3;

// Reads 16 and 32-bit numbers of the Exif block in its own byte order.
struct ExifReader {
    const std::uint8_t* p;
    std::size_t size;
    bool big;

    bool has(std::size_t offset, std::size_t n) const {
        return offset <= size && n <= size - offset;
    }
    std::uint32_t u16(std::size_t o) const {
        return big ? (p[o] << 8 | p[o + 1]) : (p[o] | p[o + 1] << 8);
    }
    std::uint32_t u32(std::size_t o) const {
        return big ? (std::uint32_t(u16(o)) << 16 | u16(o + 2))
                   : (u16(o) | std::uint32_t(u16(o + 2)) << 16);
    }
};

} // namespace

unsigned exifOrientation(const std::uint8_t* payload, std::size_t size) {
    static const char exifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (size < 6 + 8 || std::memcmp(payload, exifHeader, 6) != 0)
        return 1;
    // Offsets inside the block count from its byte-order mark.
    ExifReader in{payload + 6, size - 6, payload[6] == 'M'};
    if (!((payload[6] == 'I' && payload[7] == 'I') || (payload[6] == 'M' && payload[7] == 'M')) ||
        in.u16(2) != 42)
        return 1;
    const std::uint32_t directory = in.u32(4);
    if (!in.has(directory, 2))
        return 1;
    const std::uint32_t entries = in.u16(directory);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + std::size_t(12) * i;
        if (!in.has(entry, 12))
            return 1;
        if (in.u16(entry) != orientationTag)
            continue;
        // One SHORT, stored in the first two bytes of the value field.
        const std::uint32_t value = in.u16(entry + 8);
        if (in.u16(entry + 2) != typeShort || in.u32(entry + 4) != 1 || value < 1 || value > 8)
            return 1;
        return value;
    }
    return 1;
}

void applyOrientation(IncrementalBuffer& data, ImageMetadata& meta, unsigned orientation) {
    if (orientation < 2 || orientation > 8)
        return;
    const ImageLayout layout(meta);
    const std::int64_t w = meta.width, h = meta.height;
    const std::int64_t pixel = layout.bytesPerPixel, line = layout.bytesPerLine;
    if (checkedMul(line, meta.height) > data.size() || line != w * pixel)
        throw SupportException("orientation of padded images");
    const bool swap = orientation >= 5;
    const std::int64_t outWidth = swap ? h : w, outHeight = swap ? w : h;
    // Source column and row (rows counted from the top) of output pixel (x, y), top-down too:
    // sx = sx0 + sxx x + sxy y, sy = sy0 + syx x + syy y.
    std::int64_t sx0 = 0, sxx = 1, sxy = 0, sy0 = 0, syx = 0, syy = 1;
    switch (orientation) {
    case 2: // mirrored left to right
        sx0 = w - 1, sxx = -1;
        break;
    case 3: // turned by half a turn
        sx0 = w - 1, sxx = -1, sy0 = h - 1, syy = -1;
        break;
    case 4: // mirrored top to bottom
        sy0 = h - 1, syy = -1;
        break;
    case 5: // mirrored along the main diagonal
        sxx = 0, sxy = 1, syx = 1, syy = 0;
        break;
    case 6: // stored a quarter turn anticlockwise of upright
        sxx = 0, sxy = 1, sy0 = h - 1, syx = -1, syy = 0;
        break;
    case 7: // mirrored along the other diagonal
        sx0 = w - 1, sxx = 0, sxy = -1, sy0 = h - 1, syx = -1, syy = 0;
        break;
    case 8: // stored a quarter turn clockwise of upright
        sx0 = w - 1, sxx = 0, sxy = -1, syx = 1, syy = 0;
        break;
    }
    IncrementalBuffer out(data.size(), data.size());
    const std::uint8_t* source = data.data();
    // Byte offset of source pixel (sx, sy) in the bottom-up buffer, and its step per output x.
    auto offset = [&](std::int64_t sx, std::int64_t sy) {
        return (h - 1 - sy) * line + sx * pixel;
    };
    const std::int64_t step = sxx * pixel - syx * line;
    for (std::int64_t y = 0; y < outHeight; ++y) {
        std::uint8_t* dest = out.data() + (outHeight - 1 - y) * outWidth * pixel;
        std::int64_t from = offset(sx0 + sxy * y, sy0 + syy * y);
        for (std::int64_t x = 0; x < outWidth; ++x, from += step, dest += pixel)
            std::memcpy(dest, source + from, static_cast<std::size_t>(pixel));
    }
    data.swap(out);
    meta.width = static_cast<std::uint32_t>(outWidth);
    meta.height = static_cast<std::uint32_t>(outHeight);
}

} // namespace ZELK::Migration
