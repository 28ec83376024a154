// BMP headers, palettes, colour masks, row padding and run-length decoding.
#include "migration/bmp.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "core/checked.hpp"

namespace ZELK::Migration {

namespace {

[[noreturn]] void fail(const std::string& detail) {
    throw FormatException("bmp", detail);
}

// Little-endian fields of the file, each read checked against its end.
struct FileBytes {
    const std::vector<std::uint8_t>& b;
    std::uint32_t u16(std::uint64_t at) const {
        need(at, 2);
        return b[at] | b[at + 1] << 8;
    }
    std::uint32_t u32(std::uint64_t at) const {
        need(at, 4);
        return u16(at) | u16(at + 2) << 16;
    }
    void need(std::uint64_t at, std::uint64_t n) const {
        if (at > b.size() || n > b.size() - at)
            fail("file ends inside its headers or pixel data");
    }
};

// One colour channel of a 16- or 32-bit pixel: its bits under the mask, widened or narrowed to
// 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    unsigned shift = 0;
    unsigned bits = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m == 0)
            return;
        shift = static_cast<unsigned>(std::countr_zero(m));
        bits = static_cast<unsigned>(std::popcount(m));
        if ((m >> shift) != (1ull << bits) - 1)
            fail("colour mask with gaps");
    }
    std::uint8_t operator()(std::uint32_t pixel) const {
        if (bits == 0)
            return 0;
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8)
            return static_cast<std::uint8_t>(v >> (bits - 8));
        // The channel's bits repeated down to the lowest: 0 stays 0, all ones become 255.
        std::uint32_t out = 0;
        for (int s = 8 - int(bits); s > -int(bits); s -= int(bits))
            out |= s >= 0 ? v << s : v >> -s;
        return static_cast<std::uint8_t>(out);
    }
};

// Decodes run-length coded indices (RLE8 with 8 bits, RLE4 with 4) into a plane of
// width x height indices, line 0 at the bottom as in the file. Pixels a run or a move puts
// outside the picture are dropped; skipped pixels keep index 0.
void decodeRuns(const std::uint8_t* in, std::uint64_t size, unsigned bits, std::uint32_t width,
                std::uint32_t height, std::vector<std::uint8_t>& plane) {
    std::uint64_t x = 0, y = 0, at = 0;
    auto put = [&](std::uint8_t index) {
        if (x < width && y < height)
            plane[y * width + x] = index;
        ++x;
    };
    while (at + 2 <= size && y < height) {
        const std::uint8_t count = in[at], value = in[at + 1];
        at += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i)
                put(bits == 8 ? value : (i & 1 ? value & 15 : value >> 4));
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of picture
            return;
        } else if (value == 2) { // move right and up
            if (at + 2 > size)
                return;
            x += in[at];
            y += in[at + 1];
            at += 2;
        } else { // `value` pixels as they are, padded to a 16-bit boundary
            const std::uint64_t bytes = bits == 8 ? value : (value + 1u) / 2;
            if (at + bytes > size)
                fail("run-length data ends inside a literal run");
            for (unsigned i = 0; i < value; ++i)
                put(bits == 8 ? in[at + i] : (i & 1 ? in[at + i / 2] & 15 : in[at + i / 2] >> 4));
            at += (bytes + 1) & ~std::uint64_t(1);
        }
    }
}

} // namespace

void BMPImporter::importData(IncrementalBuffer& data, ImageMetadata& meta) {
    const std::vector<std::uint8_t> file = readToEnd(stream());
    const FileBytes f{file};
    if (file.size() < 2 || file[0] != 'B' || file[1] != 'M')
        fail("signature missmatch");
    const std::uint64_t dataOffset = f.u32(10);
    const std::uint32_t infoSize = f.u32(14);
    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = 0, colours = 0;
    std::uint32_t masks[3] = {0, 0, 0};
    unsigned paletteEntryBytes = 4;
    if (infoSize == 12) { // the oldest header: 16-bit sizes, 3-byte palette entries
        width = f.u16(18);
        height = f.u16(20);
        bits = f.u16(24);
        paletteEntryBytes = 3;
    } else if (infoSize >= 40 && infoSize <= 1024) {
        width = static_cast<std::int32_t>(f.u32(18));
        height = static_cast<std::int32_t>(f.u32(22));
        bits = f.u16(28);
        compression = f.u32(30);
        colours = f.u32(46);
        // Masks follow a 40-byte header, or are part of a longer one.
        if (compression == 3 || compression == 6)
            for (int c = 0; c < 3; ++c)
                masks[c] = f.u32(54 + 4 * c);
    } else {
        throw SupportException("BMP info header of " + std::to_string(infoSize) + " bytes");
    }
    if (width <= 0 || height == 0)
        fail("picture without pixels");
    const bool topDown = height < 0;
    const std::uint64_t rows = topDown ? -height : height;
    checkPixelLimit(width, rows, "BMP images");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        throw SupportException("BMP with " + std::to_string(bits) + " bits per pixel");
    const bool runs = compression == 1 || compression == 2;
    const bool masked = compression == 3 || compression == 6;
    if (compression > 3 && compression != 6)
        throw SupportException("BMP compression " + std::to_string(compression));
    if ((compression == 1 && bits != 8) || (compression == 2 && bits != 4) ||
        (masked && bits != 16 && bits != 32))
        fail("compression " + std::to_string(compression) + " with " + std::to_string(bits) +
             " bits per pixel");
    if (runs && topDown)
        fail("run-length coded picture stored top-down");

    // Palette: after the info header (and a 40-byte header's masks).
    std::array<std::uint8_t, 256 * 3> palette{};
    if (bits <= 8) {
        const std::uint64_t paletteAt =
            14 + std::uint64_t(infoSize) +
            (infoSize == 40 && masked ? (compression == 6 ? 16 : 12) : 0);
        const std::uint32_t entries =
            std::min<std::uint32_t>(colours == 0 ? 1u << bits : colours, 256);
        f.need(paletteAt, std::uint64_t(entries) * paletteEntryBytes);
        for (std::uint32_t i = 0; i < entries; ++i)
            for (int c = 0; c < 3; ++c) // stored blue, green, red
                palette[3 * i + c] = file[paletteAt + i * paletteEntryBytes + 2 - c];
    }

    const std::uint32_t w = static_cast<std::uint32_t>(width);
    const std::uint32_t h = static_cast<std::uint32_t>(rows);
    const std::uint64_t stride = (saturatingMul(w, bits) + 31) / 32 * 4;
    std::vector<std::uint8_t> indices;
    if (runs) {
        if (dataOffset > file.size())
            fail("pixel data offset beyond the end of the file");
        // A run covers at most 255 pixels with two bytes. Line ends and moves can skip more,
        // but encoders code every pixel; a picture its data cannot cover is refused before the
        // picture is allocated.
        if (std::uint64_t(w) * h > (file.size() - dataOffset) * 128)
            fail("run-length data too short for the picture");
        indices.assign(std::uint64_t(w) * h, 0);
        decodeRuns(file.data() + dataOffset, file.size() - dataOffset, bits, w, h, indices);
    } else {
        f.need(dataOffset, saturatingMul(stride, h));
    }

    const Channel red(masked ? masks[0] : bits == 16 ? 0x7C00 : 0xFF0000);
    const Channel green(masked ? masks[1] : bits == 16 ? 0x03E0 : 0x00FF00);
    const Channel blue(masked ? masks[2] : bits == 16 ? 0x001F : 0x0000FF);
    const std::uint64_t lineBytes = std::uint64_t(w) * 3;
    data.resize(checkedU32(lineBytes * h));
    for (std::uint32_t r = 0; r < h; ++r) {
        // Bottom-up files store the bottom line first, as our buffers do.
        std::uint8_t* out = data.data() + (topDown ? h - 1 - r : r) * lineBytes;
        const std::uint8_t* row =
            runs ? indices.data() + std::uint64_t(r) * w : file.data() + dataOffset + r * stride;
        for (std::uint32_t x = 0; x < w; ++x, out += 3) {
            if (runs || bits <= 8) {
                const unsigned index = runs        ? row[x]
                                       : bits == 8 ? row[x]
                                       : bits == 4 ? (row[x / 2] >> (x & 1 ? 0 : 4)) & 15
                                                   : (row[x / 8] >> (7 - (x & 7))) & 1;
                std::memcpy(out, palette.data() + 3 * index, 3);
            } else if (bits == 24) {
                out[0] = row[3 * x + 2];
                out[1] = row[3 * x + 1];
                out[2] = row[3 * x];
            } else {
                const std::uint8_t* p = row + x * (bits / 8);
                const std::uint32_t pixel =
                    bits == 16 ? p[0] | p[1] << 8
                               : p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
                out[0] = red(pixel);
                out[1] = green(pixel);
                out[2] = blue(pixel);
            }
        }
    }
    meta.width = w;
    meta.height = h;
    meta.channels = 3;
    meta.type = unsigned8();
    meta.pixelAlignment = 0;
    meta.lineAlignment = 0;
    meta.format = ImageMetadata::Format::RGBA;
}

std::unique_ptr<DataImporter> makeBMPImporter() {
    return std::make_unique<BMPImporter>();
}

} // namespace ZELK::Migration
