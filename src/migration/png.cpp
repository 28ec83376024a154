// PNG reading (chunks, checksums, zlib wrapper, row filters, palette expansion) and writing.
#include "migration/png.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "core/checked.hpp"
#include "core/limits.hpp"
#include "core/thread_pool.hpp"
#include "migration/deflate.hpp"

namespace ZELK::Migration {

namespace {

constexpr std::uint8_t signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Rows per band of the expansion of palette indices and narrow samples: a 4000-pixel palette
// band writes 750 KB, enough to outweigh handing it to a thread.
constexpr std::uint64_t expandBandRows = 64;

// Chunk types compared as 4-byte big-endian values.
constexpr std::uint32_t chunkType(const char (&name)[5]) {
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}
constexpr std::uint32_t typeIHDR = chunkType("IHDR");
constexpr std::uint32_t typePLTE = chunkType("PLTE");
constexpr std::uint32_t typeIDAT = chunkType("IDAT");
constexpr std::uint32_t typeIEND = chunkType("IEND");

// A chunk longer than this is read in pieces from streams that cannot tell their length, so
// that a lying length allocates no more than the bytes that really arrive.
constexpr std::uint32_t chunkPiece = 1u << 20;

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> crcTable = makeCrcTable();

[[noreturn]] void fail(const char* detail) {
    throw FormatException("png", detail);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

std::uint32_t readU32(ReadStream& in) {
    std::uint32_t v = 0;
    Deserializer plain(in);
    SwapEndianess big(plain);
    big.visit(v);
    return v;
}

// Reads chunk data. A stream that can tell its length is measured once, and a chunk longer
// than what is left raises the stream's own read error before anything is allocated; other
// streams are read in pieces, so that a lying length allocates no more than what arrives.
class ChunkReader {
public:
    explicit ChunkReader(ReadStream& in) : in_(in), random_(dynamic_cast<RandomStream*>(&in)) {
        if (random_ == nullptr)
            return;
        try {
            total_ = random_->length();
        } catch (const ZELK::StreamException&) {
            random_ = nullptr; // a pipe: no length to compare with
        }
    }

    // Reads count bytes to dest + offset, growing dest.
    void read(IncrementalBuffer& dest, std::uint32_t offset, std::uint32_t count) {
        if (random_ != nullptr) {
            const std::uint64_t here = random_->tell();
            if (here > total_ || count > total_ - here) {
                random_->setPosition(total_);
                std::uint8_t byte;
                in_.read(&byte, 1);
            }
            dest.resizeKeep(checkedU32(checkedAdd(offset, count)));
            in_.read(dest.dataAt(offset), count);
            return;
        }
        dest.resizeKeep(offset);
        while (count > 0) {
            const std::uint32_t piece = std::min(count, chunkPiece);
            in_.read(dest.appendSpace(piece), piece);
            count -= piece;
        }
    }

private:
    ReadStream& in_;
    RandomStream* random_;
    std::uint64_t total_ = 0;
};

// Undoes the row filters of `rows` filtered rows of rowBytes bytes (each after its filter type
// byte) from src, writing the first row to the last of `rows` lines of dest (line stride
// rowBytes) and going upwards; bytesPerPixel is the filters' left distance.
void unfilterRows(const std::uint8_t* src, std::uint8_t* dest, std::uint32_t rows,
                  std::uint64_t rowBytes, std::uint32_t bytesPerPixel) {
    if (rowBytes == 0) {
        // Rows without pixels still carry a filter type byte, which must be valid.
        for (std::uint32_t r = 0; r < rows; ++r)
            if (src[r] > 4)
                throw BoundException<unsigned char>(src[r], 5);
        return;
    }
    // The row above the first row is zero.
    const std::vector<std::uint8_t> zeros(rowBytes, 0);
    const std::uint8_t* above = zeros.data();
    const std::uint64_t bpp = std::min<std::uint64_t>(bytesPerPixel, rowBytes);
    for (std::uint32_t r = 0; r < rows; ++r) {
        const std::uint8_t filter = *src++;
        std::uint8_t* d = dest + (rows - 1 - r) * rowBytes;
        const std::uint8_t* s = src;
        const std::uint8_t* p = above;
        switch (filter) {
        case 0:
            std::memcpy(d, s, rowBytes);
            break;
        case 1:
            std::memcpy(d, s, bpp);
            for (std::uint64_t i = bpp; i < rowBytes; ++i)
                d[i] = static_cast<std::uint8_t>(s[i] + d[i - bpp]);
            break;
        case 2:
            for (std::uint64_t i = 0; i < rowBytes; ++i)
                d[i] = static_cast<std::uint8_t>(s[i] + p[i]);
            break;
        case 3:
            for (std::uint64_t i = 0; i < bpp; ++i)
                d[i] = static_cast<std::uint8_t>(s[i] + (p[i] >> 1));
            for (std::uint64_t i = bpp; i < rowBytes; ++i)
                d[i] = static_cast<std::uint8_t>(s[i] + ((d[i - bpp] + p[i]) >> 1));
            break;
        case 4:
            // With nothing to the left, the predictor is the byte above.
            for (std::uint64_t i = 0; i < bpp; ++i)
                d[i] = static_cast<std::uint8_t>(s[i] + p[i]);
            for (std::uint64_t i = bpp; i < rowBytes; ++i) {
                const int a = d[i - bpp], b = p[i], c = p[i - bpp];
                const int estimate = a + b - c;
                const int pa = estimate > a ? estimate - a : a - estimate;
                const int pb = estimate > b ? estimate - b : b - estimate;
                const int pc = estimate > c ? estimate - c : c - estimate;
                const int predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                d[i] = static_cast<std::uint8_t>(s[i] + predictor);
            }
            break;
        default:
            throw BoundException<unsigned char>(filter, 5);
        }
        src += rowBytes;
        above = d;
    }
}

// Passes writes through and keeps the running CRC of what passed.
class CrcWriteStream : public WriteStream {
public:
    explicit CrcWriteStream(WriteStream& inner) : inner_(inner) {}
    void write(const void* src, std::uint64_t count) override {
        crc_ = PNG::crcUpdate(crc_, static_cast<const std::uint8_t*>(src), count);
        inner_.write(src, count);
    }
    std::uint32_t crc() const { return ~crc_; }

private:
    WriteStream& inner_;
    std::uint32_t crc_ = 0xFFFFFFFFu;
};

// Writes one chunk: length, then type and data through the CRC, then the CRC.
template <typename WriteData>
void writeChunk(WriteStream& out, std::uint32_t type, std::uint32_t length, WriteData writeData) {
    std::uint8_t word[4];
    put32(word, length);
    out.write(word, 4);
    CrcWriteStream checked(out);
    put32(word, type);
    checked.write(word, 4);
    writeData(checked);
    put32(word, checked.crc());
    out.write(word, 4);
}

} // namespace

namespace PNG {

void IHDR::serialize(Serialization& visitor) {
    visitor.visit(width);
    visitor.visit(height);
    visitor.visit(bitDepth);
    visitor.visit(colorType);
    visitor.visit(compressionMethod);
    visitor.visit(filterMethod);
    visitor.visit(interlaceMethod);
}

void ZlibHeader::serialize(Serialization& visitor) {
    visitor.visit(cmf);
    visitor.visit(flg);
}

std::uint32_t crcUpdate(std::uint32_t crc, const std::uint8_t* data, std::uint64_t size) {
    for (std::uint64_t i = 0; i < size; ++i)
        crc = crcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::uint32_t adler32(const std::uint8_t* data, std::uint64_t size) {
    // 5552 bytes is the longest run whose sums cannot overflow 32 bits before reduction.
    constexpr std::uint32_t modulus = 65521;
    std::uint32_t a = 1, b = 0;
    while (size > 0) {
        const std::uint64_t run = std::min<std::uint64_t>(size, 5552);
        for (std::uint64_t i = 0; i < run; ++i) {
            a += data[i];
            b += a;
        }
        a %= modulus;
        b %= modulus;
        data += run;
        size -= run;
    }
    return (b << 16) | a;
}

} // namespace PNG

void PNGImporter::importData(IncrementalBuffer& data, ImageMetadata& meta) {
    ReadStream& in = stream();
    std::uint8_t head[8];
    in.read(head, 8);
    if (std::memcmp(head, signature, 8) != 0)
        fail("signature missmatch");

    PNG::IHDR header;
    IncrementalBuffer idat;
    IncrementalBuffer palette;
    IncrementalBuffer chunk;
    bool havePalette = false;
    ChunkReader chunks(in);
    for (;;) {
        if (in.atEnd())
            fail("unexpected end of file");
        const std::uint32_t length = readU32(in);
        std::uint8_t typeBytes[4];
        in.read(typeBytes, 4);
        const std::uint32_t type = std::uint32_t(typeBytes[0]) << 24 |
                                   std::uint32_t(typeBytes[1]) << 16 |
                                   std::uint32_t(typeBytes[2]) << 8 | typeBytes[3];
        // Image data goes straight to the end of the accumulated data; the rest to the chunk
        // buffer.
        IncrementalBuffer& target = type == typeIDAT ? idat : chunk;
        const std::uint32_t offset = type == typeIDAT ? idat.size() : 0;
        chunks.read(target, offset, length);
        const std::uint32_t stored = readU32(in);
        std::uint32_t crc = PNG::crcUpdate(0xFFFFFFFFu, typeBytes, 4);
        crc = ~PNG::crcUpdate(crc, target.dataAt(offset), length);
        if (crc != stored)
            fail("chunk crc missmatch");

        if (type == typeIHDR) {
            ConstBufferStream fields(chunk);
            Deserializer plain(fields);
            SwapEndianess big(plain);
            header.serialize(big);
            if (header.compressionMethod != 0)
                throw SupportException("PNG compression method " +
                                       std::to_string(header.compressionMethod));
            if (header.filterMethod != 0)
                throw SupportException("PNG filter method " + std::to_string(header.filterMethod));
            if (header.interlaceMethod > 1)
                throw SupportException("PNG interlace method " +
                                       std::to_string(header.interlaceMethod));
            // Checked here, since the palette size rule shifts by it.
            const unsigned depth = header.bitDepth;
            if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)
                fail("invalid bit depth");
            // Depths below 8 exist only for grey and palette images, 16 for all but palette.
            const unsigned colorType = header.colorType;
            if ((depth < 8 && (colorType == 2 || colorType == 4 || colorType == 6)) ||
                (depth == 16 && colorType == 3))
                fail("invalid bit depth");
            checkPixelLimit(header.width, header.height, "PNG images");
        } else if (type == typePLTE) {
            if (havePalette)
                fail("palette chunk has already appeared");
            if (length % 3 != 0)
                fail("palette size not a multiple of 3");
            if (length > (3u << header.bitDepth))
                fail("palette size larger than bit depth support");
            if (length == 0)
                fail("empty palette");
            palette.assign(chunk);
            havePalette = true;
        } else if (type == typeIEND) {
            if (length != 0)
                fail("end chunk is not empty");
            if (header.colorType == 3 && !havePalette)
                fail("missing palette indicated by header");
            break;
        } else if (type != typeIDAT && !(typeBytes[0] & 0x20)) {
            fail("unsuppored critical chunk");
        }
    }

    ImageMetadata result;
    result.width = header.width;
    result.height = header.height;
    // Grey below 8 bits is stretched to 8, palette indices become 8-bit RGB.
    const std::uint32_t depth = std::max<std::uint32_t>(header.bitDepth, 8);
    result.type = {depth, TypeDescriptor::Unsigned, false};
    switch (header.colorType) {
    case 0:
        result.channels = 1;
        result.format = ImageMetadata::Format::INTENSITY;
        break;
    case 2:
        result.channels = 3;
        result.format = ImageMetadata::Format::RGBA;
        break;
    case 3:
        result.channels = 3;
        result.format = ImageMetadata::Format::RGBA;
        result.type.bits = 8;
        break;
    case 4:
        result.channels = 2;
        result.format = ImageMetadata::Format::INTENSITY;
        break;
    case 6:
        result.channels = 4;
        result.format = ImageMetadata::Format::RGBA;
        break;
    default:
        throw SupportException("PNG color type " + std::to_string(header.colorType));
    }
    meta.width = result.width;
    meta.height = result.height;
    meta.channels = result.channels;
    meta.type = result.type;
    meta.pixelAlignment = 0;
    meta.lineAlignment = 0;
    meta.format = result.format;
    decodeImage(header, idat, havePalette && header.colorType == 3 ? palette : IncrementalBuffer(),
                data);
}

// Adam7 passes: first column, first row, column step, row step.
constexpr std::uint32_t adam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                       {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

// Inflates the gathered image data and undoes filters, interlacing, sub-byte packing and the
// palette into data. The header has passed the pixel limit, so every size here is far inside
// 64 bits, and the inflater stops as soon as its output passes what the image needs, so a small
// file cannot make it allocate much.
void PNGImporter::decodeImage(const PNG::IHDR& header, const IncrementalBuffer& idat,
                              const IncrementalBuffer& palette, IncrementalBuffer& data) {
    const bool indexed = header.colorType == 3;
    const bool interlaced = header.interlaceMethod == 1;
    const std::uint32_t depth = header.bitDepth;
    const std::uint64_t fileChannels = header.colorType == 0 || indexed ? 1
                                       : header.colorType == 4          ? 2
                                       : header.colorType == 6          ? 4
                                                                        : 3;
    const std::uint64_t pixelBits = fileChannels * depth;
    // The filters' left distance: one byte for pixels narrower than a byte.
    const std::uint32_t filterDistance =
        static_cast<std::uint32_t>(std::max<std::uint64_t>(pixelBits / 8, 1));
    const std::uint64_t outPixel = indexed ? 3 : fileChannels * (depth == 16 ? 2 : 1);
    const std::uint64_t bytesPerLine = saturatingMul(header.width, outPixel);
    const std::uint64_t expected = saturatingMul(header.height, bytesPerLine);
    auto rowBytes = [&](std::uint64_t pixels) {
        return (saturatingMul(pixels, pixelBits) + 7) / 8;
    };

    struct Pass {
        std::uint32_t x0, y0, dx, dy;
        std::uint64_t width, height;
    };
    std::vector<Pass> passes;
    std::uint64_t inflatedSize = 0;
    for (std::uint32_t p = 0; p < (interlaced ? 7u : 1u); ++p) {
        const std::uint32_t* a = interlaced ? adam7[p] : nullptr;
        Pass pass = a ? Pass{a[0], a[1], a[2], a[3], 0, 0} : Pass{0, 0, 1, 1, 0, 0};
        pass.width = header.width > pass.x0 ? (header.width - pass.x0 + pass.dx - 1) / pass.dx : 0;
        pass.height =
            header.height > pass.y0 ? (header.height - pass.y0 + pass.dy - 1) / pass.dy : 0;
        // An interlaced pass without pixels has no rows at all, not even filter type bytes.
        if (interlaced && (pass.width == 0 || pass.height == 0))
            continue;
        passes.push_back(pass);
        inflatedSize = checkedAdd(inflatedSize,
                                  saturatingMul(pass.height, checkedAdd(rowBytes(pass.width), 1)));
    }
    const char* mismatch =
        indexed ? "palette image data size missmatch" : "image data size missmatch";

    ConstBufferStream source(idat);
    PNG::ZlibHeader zlib;
    {
        Deserializer plain(source);
        SwapEndianess big(plain);
        zlib.serialize(big);
    }
    if ((zlib.cmf * 256u + zlib.flg) % 31 != 0)
        fail("invalid zlib header");
    if ((zlib.cmf & 0x0F) != 8)
        fail("unexpected zlib header compression method");
    if ((zlib.cmf >> 4) > 7)
        fail("unexpected zlib header compression info");
    if (zlib.flg & 0x20)
        fail("zlib header indicates preset dictionary");

    const std::uint64_t expandable =
        checkedAdd(checkedMul(idat.size(), Limits::maxDeflateExpansion), 1024);
    const std::uint32_t reserve =
        static_cast<std::uint32_t>(std::min({inflatedSize, expandable, Limits::maxBufferBytes}));
    IncrementalBuffer inflated(0, reserve);
    if (inflater_.inflate(source, inflated, inflatedSize) != Inflater::Result::Complete ||
        inflated.size() != inflatedSize)
        fail(mismatch);

    data.resize(checkedU32(expected));
    if (!interlaced && !indexed && depth >= 8) {
        // Rows already hold the output's bytes: unfiltered straight into place.
        unfilterRows(inflated.data(), data.data(), header.height, bytesPerLine, filterDistance);
        return;
    }
    // Every value a sample narrower than a byte can take, looked up instead of computed:
    // indices become palette colours (those beyond the palette black), grey is stretched to
    // the full range.
    std::uint8_t colors[256 * 3] = {};
    const std::uint32_t maxValue = (1u << std::min<std::uint32_t>(depth, 8)) - 1;
    if (indexed) {
        if (palette.size() > 0)
            std::memcpy(colors, palette.data(),
                        std::min<std::uint32_t>(palette.size(), sizeof colors));
    } else if (depth < 8 && maxValue > 0) {
        // (A file without IHDR keeps the empty header's depth 0 and has no pixels.)
        for (std::uint32_t value = 0; value <= maxValue; ++value)
            colors[value] = static_cast<std::uint8_t>(value * 255 / maxValue);
    }
    const std::uint64_t filePixel = pixelBits / 8;
    const std::uint8_t* src = inflated.data();
    std::vector<std::uint8_t> rows;
    for (const Pass& pass : passes) {
        const std::uint64_t packed = rowBytes(pass.width);
        rows.resize(checkedMul(packed, pass.height));
        // unfilterRows stores the pass's first row last.
        unfilterRows(src, rows.data(), static_cast<std::uint32_t>(pass.height), packed,
                     filterDistance);
        src += pass.height * (packed + 1);
        // Every row is expanded on its own into an image row of its own, so bands of rows run
        // on the pool.
        auto expand = [&](std::uint64_t r) {
            const std::uint8_t* in = rows.data() + (pass.height - 1 - r) * packed;
            const std::uint64_t y = pass.y0 + r * pass.dy;
            std::uint8_t* out = data.data() + (header.height - 1 - y) * bytesPerLine;
            if (depth >= 8 && !indexed) {
                for (std::uint64_t c = 0, x = pass.x0; c < pass.width; ++c, x += pass.dx)
                    std::memcpy(out + x * outPixel, in + c * filePixel, filePixel);
                return;
            }
            if (depth == 8) { // palette indices of a byte each
                for (std::uint64_t c = 0, x = pass.x0; c < pass.width; ++c, x += pass.dx)
                    std::memcpy(out + 3 * x, colors + 3 * std::uint32_t(in[c]), 3);
                return;
            }
            for (std::uint64_t c = 0, x = pass.x0; c < pass.width; ++c, x += pass.dx) {
                const std::uint64_t bit = c * depth;
                const std::uint32_t value = (in[bit >> 3] >> (8 - depth - (bit & 7))) & maxValue;
                if (indexed)
                    std::memcpy(out + 3 * x, colors + 3 * value, 3);
                else
                    out[x] = colors[value];
            }
        };
        const std::size_t bands =
            static_cast<std::size_t>((pass.height + expandBandRows - 1) / expandBandRows);
        forEachBand(bands, [&](std::size_t band) {
            const std::uint64_t last =
                std::min<std::uint64_t>(pass.height, (band + 1) * expandBandRows);
            for (std::uint64_t r = band * expandBandRows; r < last; ++r)
                expand(r);
        });
    }
}

void PNGExporter::exportData(const Buffer& data, const ImageMetadata& meta) {
    WriteStream& out = stream();
    if (meta.lineAlignment != 0)
        throw SupportException("non-zero image line alignment");
    if (meta.pixelAlignment != 0)
        throw SupportException("non-zero image pixel alignment");
    PNG::IHDR header;
    header.width = meta.width;
    header.height = meta.height;
    const std::uint32_t bits = meta.type.bits;
    std::uint8_t colorType = 0;
    switch (meta.format) {
    case ImageMetadata::Format::INTENSITY:
        if (meta.channels != 1)
            throw SupportException("INTENSITY with " + std::to_string(meta.channels) + " channels");
        colorType = 0;
        break;
    case ImageMetadata::Format::RGBA:
        if (meta.channels != 3 && meta.channels != 4)
            throw SupportException("RGBA with " + std::to_string(meta.channels) + " channels");
        colorType = meta.channels == 3 ? 2 : 6;
        break;
    default:
        throw SupportException("BGRA");
    }
    const bool depthFits = colorType == 0
                               ? (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16)
                               : (bits == 8 || bits == 16);
    if (!depthFits)
        throw SupportException("combination of bith depth and color type");
    header.bitDepth = static_cast<std::uint8_t>(bits);
    header.colorType = colorType;

    const std::uint64_t rowBits = checkedMul(checkedMul(meta.width, meta.channels), bits);
    if (rowBits % 8 != 0)
        throw SupportException("partial-byte image rows");
    if (meta.width == 0 || meta.height == 0)
        throw SupportException("PNG images without pixels");
    const std::uint64_t rowBytes = rowBits / 8;
    const std::uint8_t* pixels = data.range(0, checkedMul(rowBytes, meta.height));
    const std::uint32_t rawSize = checkedU32(checkedMul(checkedAdd(rowBytes, 1), meta.height));

    // Raw image: filter type 0 and the line's bytes, from the last buffer line to the first.
    IncrementalBuffer raw(rawSize, rawSize);
    std::uint8_t* r = raw.data();
    for (std::uint32_t line = meta.height; line-- > 0;) {
        *r++ = 0;
        std::memcpy(r, pixels + line * rowBytes, rowBytes);
        r += rowBytes;
    }
    std::vector<std::uint8_t> compressed;
    deflate(raw.data(), raw.size(), compressed);
    // PNG chunk lengths are limited to 2^31 - 1.
    const std::uint64_t idatLength = 2 + std::uint64_t(compressed.size()) + 4;
    if (idatLength > 0x7FFFFFFFu)
        throw SupportException("PNG image data of more than 2 GiB");

    out.write(signature, sizeof signature);

    IncrementalBuffer fields;
    {
        BufferStream fieldStream(fields);
        Serializer plain(fieldStream);
        SwapEndianess big(plain);
        header.serialize(big);
    }
    writeChunk(out, typeIHDR, fields.size(),
               [&](WriteStream& s) { s.write(fields.data(), fields.size()); });

    writeChunk(out, typeIDAT, static_cast<std::uint32_t>(idatLength), [&](WriteStream& s) {
        // 32 KiB window, default level, no preset dictionary.
        const std::uint8_t zlibHeader[2] = {0x78, 0x9C};
        s.write(zlibHeader, 2);
        s.write(compressed.data(), compressed.size());
        std::uint8_t trailer[4];
        put32(trailer, PNG::adler32(raw.data(), raw.size()));
        s.write(trailer, 4);
    });
    writeChunk(out, typeIEND, 0, [](WriteStream&) {});
}

std::unique_ptr<DataImporter> makePNGImporter() {
    return std::make_unique<PNGImporter>();
}

std::unique_ptr<DataExporter> makePNGExporter() {
    return std::make_unique<PNGExporter>();
}

} // namespace ZELK::Migration
