// TIFF directory reading, strip and tile decompression (PackBits, LZW, Deflate), the horizontal
// predictor and the conversion of grey, palette and RGB samples to 8 bits.
#include "migration/tiff.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <string>

#include "core/checked.hpp"

namespace ZELK::Migration {

namespace {

[[noreturn]] void fail(const std::string& detail) {
    throw FormatException("tiff", detail);
}

enum Tag : std::uint16_t {
    ImageWidth = 256,
    ImageLength = 257,
    BitsPerSample = 258,
    Compression = 259,
    Photometric = 262,
    FillOrder = 266,
    StripOffsets = 273,
    SamplesPerPixel = 277,
    RowsPerStrip = 278,
    StripByteCounts = 279,
    PlanarConfiguration = 284,
    Predictor = 317,
    ColorMap = 320,
    TileWidth = 322,
    TileLength = 323,
    TileOffsets = 324,
    TileByteCounts = 325,
    SampleFormat = 339,
};

enum CompressionKind : std::uint32_t {
    None = 1,
    LZW = 5,
    Deflate = 8,
    PackBits = 32773,
    OldDeflate = 32946,
};

// Most bytes one input byte of each compression can produce: a 2-byte PackBits run gives 128,
// a 12-bit LZW code at most 4096 bytes, DEFLATE 1032 per byte. A picture that its compressed
// data could not fill is refused before anything is allocated for it.
std::uint64_t expansion(std::uint32_t compression) {
    switch (compression) {
    case None:
        return 1;
    case PackBits:
        return 64;
    case LZW:
        return 2731;
    default:
        return 1032;
    }
}

// The file with reads in its byte order, each checked against its end.
class File {
public:
    explicit File(std::vector<std::uint8_t> bytes) : b_(std::move(bytes)) {}

    bool big = false;

    void need(std::uint64_t at, std::uint64_t n) const {
        if (at > b_.size() || n > b_.size() - at)
            fail("file ends inside a directory, a value or image data");
    }
    std::uint32_t u16(std::uint64_t at) const {
        need(at, 2);
        return big ? (b_[at] << 8 | b_[at + 1]) : (b_[at] | b_[at + 1] << 8);
    }
    std::uint32_t u32(std::uint64_t at) const {
        return big ? (u16(at) << 16 | u16(at + 2)) : (u16(at) | u16(at + 2) << 16);
    }
    const std::uint8_t* at(std::uint64_t offset) const { return b_.data() + offset; }
    std::uint64_t size() const { return b_.size(); }

private:
    std::vector<std::uint8_t> b_;
};

// The fields of the first image directory, by tag.
class Directory {
public:
    Directory(const File& file, std::uint64_t offset) : file_(file) {
        const std::uint32_t count = file.u16(offset);
        file.need(offset + 2, std::uint64_t(count) * 12);
        for (std::uint32_t i = 0; i < count; ++i)
            entries_[static_cast<std::uint16_t>(file.u16(offset + 2 + 12 * i))] =
                offset + 2 + 12 * i;
    }

    bool has(std::uint16_t tag) const { return entries_.count(tag) != 0; }

    // The values of an unsigned BYTE, SHORT or LONG field; `fallback` when it is absent.
    std::vector<std::uint32_t> values(std::uint16_t tag,
                                      std::vector<std::uint32_t> fallback = {}) const {
        const auto found = entries_.find(tag);
        if (found == entries_.end())
            return fallback;
        const std::uint64_t entry = found->second;
        const std::uint32_t type = file_.u16(entry + 2);
        const std::uint64_t count = file_.u32(entry + 4);
        const unsigned size = type == 1 ? 1 : type == 3 ? 2 : type == 4 ? 4 : 0;
        if (size == 0)
            fail("field " + std::to_string(tag) + " of type " + std::to_string(type));
        const std::uint64_t where = count * size <= 4 ? entry + 8 : file_.u32(entry + 8);
        file_.need(where, count * size); // bounds the count by the file's size
        std::vector<std::uint32_t> out(count);
        for (std::uint64_t i = 0; i < count; ++i)
            out[i] = size == 1   ? *file_.at(where + i)
                     : size == 2 ? file_.u16(where + 2 * i)
                                 : file_.u32(where + 4 * i);
        return out;
    }

    std::uint32_t value(std::uint16_t tag, std::uint32_t fallback) const {
        const std::vector<std::uint32_t> v = values(tag, {fallback});
        if (v.empty())
            fail("field " + std::to_string(tag) + " without a value");
        return v[0];
    }

    std::uint32_t required(std::uint16_t tag) const {
        if (!has(tag))
            fail("missing field " + std::to_string(tag));
        return value(tag, 0);
    }

private:
    const File& file_;
    std::map<std::uint16_t, std::uint64_t> entries_;
};

// Decodes PackBits runs into out until it holds `want` bytes or the input ends; returns the
// bytes produced.
std::uint64_t decodePackBits(const std::uint8_t* in, std::uint64_t size, std::uint8_t* out,
                             std::uint64_t want) {
    std::uint64_t i = 0, o = 0;
    while (o < want && i < size) {
        const int n = static_cast<std::int8_t>(in[i++]);
        if (n >= 0) {
            const std::uint64_t copy =
                std::min<std::uint64_t>({std::uint64_t(n) + 1, size - i, want - o});
            std::memcpy(out + o, in + i, copy);
            i += std::uint64_t(n) + 1;
            o += copy;
        } else if (n != -128 && i < size) {
            const std::uint64_t repeat = std::min<std::uint64_t>(1 - n, want - o);
            std::memset(out + o, in[i++], repeat);
            o += repeat;
        }
    }
    return o;
}

} // namespace

std::uint64_t decodeLZW(const std::uint8_t* in, std::uint64_t size, std::uint8_t* out,
                        std::uint64_t want) {
    constexpr std::uint32_t clearCode = 256, endCode = 257, tableSize = 4096;
    std::array<std::uint16_t, tableSize> prefix{};
    std::array<std::uint8_t, tableSize> suffix{}, first{};
    std::array<std::uint16_t, tableSize> length{};
    for (std::uint32_t c = 0; c < 256; ++c) {
        suffix[c] = first[c] = static_cast<std::uint8_t>(c);
        length[c] = 1;
    }
    std::array<std::uint8_t, tableSize> spill{};
    std::uint32_t next = 258, width = 9, previous = tableSize;
    std::uint64_t bitPos = 0, o = 0;
    // Writes the string of `code` at out + o, cut at `want`.
    auto emit = [&](std::uint32_t code) {
        const std::uint32_t n = length[code];
        std::uint8_t* dest = o + n <= want ? out + o : spill.data();
        for (std::uint32_t k = n, c = code; k-- > 0; c = prefix[c])
            dest[k] = suffix[c];
        if (dest == spill.data())
            std::memcpy(out + o, spill.data(), want - o);
        o = std::min<std::uint64_t>(o + n, want);
    };
    while (o < want && bitPos + width <= size * 8) {
        std::uint32_t code = 0;
        for (std::uint32_t k = 0; k < width; ++k, ++bitPos)
            code = code << 1 | ((in[bitPos >> 3] >> (7 - (bitPos & 7))) & 1);
        if (code == clearCode) {
            next = 258;
            width = 9;
            previous = tableSize;
            continue;
        }
        if (code == endCode)
            break;
        if (previous == tableSize) { // the first code after a clear is a plain byte
            if (code > 255)
                fail("LZW code beyond the table");
            emit(code);
            previous = code;
            continue;
        }
        if (code > next)
            fail("LZW code beyond the table");
        if (next >= tableSize)
            fail("LZW code table overflow");
        // The new entry: the previous string and the first byte of this one (which, for the
        // code being defined right now, is the previous string's first byte).
        prefix[next] = static_cast<std::uint16_t>(previous);
        first[next] = first[previous];
        suffix[next] = code == next ? first[previous] : first[code];
        length[next] = static_cast<std::uint16_t>(length[previous] + 1);
        ++next;
        emit(code);
        previous = code;
        if (next + 1 >= (1u << width) && width < 12)
            ++width;
    }
    return o;
}

void TIFFImporter::importData(IncrementalBuffer& data, ImageMetadata& meta) {
    File file(readToEnd(stream()));
    if (file.size() < 8)
        fail("file shorter than its header");
    const std::uint8_t* head = file.at(0);
    if (head[0] == 'M' && head[1] == 'M')
        file.big = true;
    else if (!(head[0] == 'I' && head[1] == 'I'))
        fail("byte order mark missmatch");
    const std::uint32_t magic = file.u16(2);
    if (magic == 43)
        throw SupportException("BigTIFF");
    if (magic != 42)
        fail("signature missmatch");
    const Directory dir(file, file.u32(4));

    const std::uint32_t width = dir.required(ImageWidth);
    const std::uint32_t height = dir.required(ImageLength);
    if (width == 0 || height == 0)
        fail("picture without pixels");
    checkPixelLimit(width, height, "TIFF images");
    const std::uint32_t samples = dir.value(SamplesPerPixel, 1);
    const std::vector<std::uint32_t> bitsList = dir.values(BitsPerSample, {1});
    const std::uint32_t bits = bitsList.empty() ? 0 : bitsList[0];
    for (std::uint32_t b : bitsList)
        if (b != bits)
            throw SupportException("TIFF with samples of different sizes");
    const std::uint32_t compression = dir.value(Compression, None);
    const std::uint32_t photometric = dir.required(Photometric);
    const std::uint32_t predictor = dir.value(Predictor, 1);
    if (dir.value(PlanarConfiguration, 1) != 1 && samples > 1)
        throw SupportException("TIFF with separate colour planes");
    if (dir.value(FillOrder, 1) != 1)
        throw SupportException("TIFF fill order " + std::to_string(dir.value(FillOrder, 1)));
    if (dir.value(SampleFormat, 1) != 1)
        throw SupportException("TIFF sample format " + std::to_string(dir.value(SampleFormat, 1)));
    if (compression != None && compression != LZW && compression != Deflate &&
        compression != OldDeflate && compression != PackBits)
        throw SupportException("TIFF compression " + std::to_string(compression));
    if (predictor != 1 && (predictor != 2 || bits < 8))
        throw SupportException("TIFF predictor " + std::to_string(predictor) + " with " +
                               std::to_string(bits) + "-bit samples");

    const bool grey = photometric <= 1;
    const bool palette = photometric == 3;
    const bool rgb = photometric == 2;
    const bool known =
        (grey && samples == 1 &&
         (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16)) ||
        (palette && samples == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) ||
        (rgb && samples >= 3 && samples <= 4 && (bits == 8 || bits == 16));
    if (!known)
        throw SupportException("TIFF photometric interpretation " + std::to_string(photometric) +
                               " with " + std::to_string(samples) + " samples of " +
                               std::to_string(bits) + " bits");
    std::vector<std::uint32_t> colorMap;
    if (palette) {
        colorMap = dir.values(ColorMap);
        if (colorMap.size() != 3u << bits)
            fail("colour map of " + std::to_string(colorMap.size()) + " entries");
    }

    // Strips are tiles as wide as the picture.
    const bool tiled = dir.has(TileWidth);
    const std::uint32_t chunkWidth = tiled ? dir.required(TileWidth) : width;
    const std::uint32_t chunkHeight =
        tiled ? dir.required(TileLength) : std::min(dir.value(RowsPerStrip, height), height);
    if (chunkWidth == 0 || chunkHeight == 0)
        fail("tiles or strips without pixels");
    // Multiples of 16 put every tile column on a whole byte, also for 1-bit samples.
    if (tiled && (chunkWidth % 16 != 0 || chunkHeight % 16 != 0))
        fail("tile sides that are not multiples of 16");
    const std::uint64_t across = (std::uint64_t(width) + chunkWidth - 1) / chunkWidth;
    const std::uint64_t down = (std::uint64_t(height) + chunkHeight - 1) / chunkHeight;
    const std::vector<std::uint32_t> offsets = dir.values(tiled ? TileOffsets : StripOffsets);
    const std::vector<std::uint32_t> counts = dir.values(tiled ? TileByteCounts : StripByteCounts);
    if (offsets.size() < across * down || counts.size() < across * down)
        fail("fewer strips or tiles than the picture needs");
    std::uint64_t compressed = 0;
    for (std::uint64_t i = 0; i < across * down; ++i) {
        if (std::uint64_t(offsets[i]) + counts[i] > file.size())
            fail("strip or tile outside the file");
        compressed += counts[i];
    }
    const std::uint64_t pixelBits = std::uint64_t(samples) * bits;
    const std::uint64_t chunkRow = (chunkWidth * pixelBits + 7) / 8;
    const std::uint64_t chunkBytes = saturatingMul(chunkRow, chunkHeight);
    const std::uint64_t rowBytes = (width * pixelBits + 7) / 8;
    if (saturatingMul(rowBytes, height) > saturatingMul(compressed, expansion(compression)) ||
        chunkBytes >
            saturatingMul(*std::max_element(counts.begin(), counts.begin() + across * down),
                          expansion(compression)))
        fail("strips or tiles too small for the picture");

    // Every strip or tile decompressed into the packed picture, top row first.
    std::vector<std::uint8_t> packed(rowBytes * height);
    std::vector<std::uint8_t> chunk(chunkBytes);
    for (std::uint64_t ty = 0; ty < down; ++ty) {
        for (std::uint64_t tx = 0; tx < across; ++tx) {
            const std::uint64_t index = ty * across + tx;
            const std::uint8_t* in = file.at(offsets[index]);
            const std::uint64_t size = counts[index];
            // The last strip may be shorter; tiles always have their full size.
            const std::uint64_t rows =
                tiled ? chunkHeight
                      : std::min<std::uint64_t>(chunkHeight, height - ty * chunkHeight);
            const std::uint64_t want = rows * chunkRow;
            std::uint64_t got = 0;
            if (compression == None) {
                got = std::min(size, want);
                std::memcpy(chunk.data(), in, got);
            } else if (compression == PackBits) {
                got = decodePackBits(in, size, chunk.data(), want);
            } else if (compression == LZW) {
                got = decodeLZW(in, size, chunk.data(), want);
            } else {
                if (size < 2 || (in[0] & 0x0F) != 8 || (in[0] * 256u + in[1]) % 31 != 0)
                    fail("invalid zlib header");
                ConstBufferStream source(in + 2, static_cast<std::uint32_t>(size - 2));
                IncrementalBuffer out(0, static_cast<std::uint32_t>(want));
                inflater_.inflate(source, out, want);
                got = std::min<std::uint64_t>(out.size(), want);
                std::memcpy(chunk.data(), out.data(), got);
            }
            if (got < want)
                fail("strip or tile holds fewer bytes than its pixels");
            if (predictor == 2) {
                // Each sample was stored as the difference to the one a pixel to its left.
                const std::uint64_t rowSamples = std::uint64_t(chunkWidth) * samples;
                for (std::uint64_t r = 0; r < rows; ++r) {
                    std::uint8_t* p = chunk.data() + r * chunkRow;
                    for (std::uint64_t i = samples; i < rowSamples; ++i) {
                        if (bits == 8) {
                            p[i] = static_cast<std::uint8_t>(p[i] + p[i - samples]);
                            continue;
                        }
                        std::uint8_t* s = p + 2 * i;
                        const std::uint8_t* left = s - 2 * samples;
                        const unsigned hi = file.big ? 0 : 1, lo = 1 - hi;
                        const std::uint32_t sum =
                            ((s[hi] << 8 | s[lo]) + (left[hi] << 8 | left[lo])) & 0xFFFF;
                        s[hi] = static_cast<std::uint8_t>(sum >> 8);
                        s[lo] = static_cast<std::uint8_t>(sum);
                    }
                }
            }
            // The part of the tile inside the picture.
            const std::uint64_t x0 = tx * chunkWidth, y0 = ty * chunkHeight;
            const std::uint64_t columns = std::min<std::uint64_t>(chunkWidth, width - x0);
            const std::uint64_t copy = (columns * pixelBits + 7) / 8;
            const std::uint64_t start = x0 * pixelBits / 8;
            for (std::uint64_t r = 0; r < rows && y0 + r < height; ++r)
                std::memcpy(packed.data() + (y0 + r) * rowBytes + start,
                            chunk.data() + r * chunkRow, std::min(copy, rowBytes - start));
        }
    }

    // 8-bit samples: grey stretched or reduced to 8 bits (inverted for white-is-zero), RGB
    // reduced to its high byte as 16-bit samples of the other formats are.
    const std::uint32_t channels = grey ? 1 : 3;
    const std::uint64_t outLine = std::uint64_t(width) * channels;
    data.resize(checkedU32(outLine * height));
    const std::uint32_t maxValue = bits >= 8 ? 255 : (1u << bits) - 1;
    const unsigned high = file.big ? 0 : 1; // byte of a 16-bit sample that holds its top bits
    for (std::uint64_t y = 0; y < height; ++y) {
        const std::uint8_t* row = packed.data() + y * rowBytes;
        std::uint8_t* out = data.data() + (height - 1 - y) * outLine;
        for (std::uint64_t x = 0; x < width; ++x) {
            if (rgb) {
                for (unsigned c = 0; c < 3; ++c)
                    out[3 * x + c] =
                        bits == 8 ? row[x * samples + c] : row[2 * (x * samples + c) + high];
                continue;
            }
            std::uint32_t v = 0;
            if (bits == 16)
                v = row[2 * x + high];
            else if (bits == 8)
                v = row[x];
            else
                v = (row[x * bits / 8] >> (8 - bits - (x * bits) % 8)) & maxValue;
            if (palette) {
                // Colour map entries span 0 to 65535: scaled, as other readers do, not cut.
                const std::size_t n = std::size_t(1) << bits;
                for (unsigned c = 0; c < 3; ++c)
                    out[3 * x + c] =
                        static_cast<std::uint8_t>(std::uint64_t(colorMap[c * n + v]) * 255 / 65535);
                continue;
            }
            if (bits < 8)
                v = v * 255 / maxValue;
            out[x] = static_cast<std::uint8_t>(photometric == 0 ? 255 - v : v);
        }
    }
    meta.width = width;
    meta.height = height;
    meta.channels = channels;
    meta.type = unsigned8();
    meta.pixelAlignment = 0;
    meta.lineAlignment = 0;
    meta.format = grey ? ImageMetadata::Format::INTENSITY : ImageMetadata::Format::RGBA;
}

std::unique_ptr<DataImporter> makeTIFFImporter() {
    return std::make_unique<TIFFImporter>();
}

} // namespace ZELK::Migration
