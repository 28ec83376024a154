// PNG import of Pillow's and ImageMagick's files against ImageMagick's decode, export checked by
// pngcheck and ImageMagick, exact refusals, and hostile files that must fail without a large
// allocation (recorded by replacing the global array new).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>
#include <tuple>

#include "codec_support.hpp"
#include "core/thread_pool.hpp"
#include "migration/png.hpp"

namespace {
std::atomic<std::size_t> largestArray{0};
} // namespace

// Byte buffers are arrays of bytes; these are the allocations a hostile size could inflate.
void* operator new[](std::size_t size) {
    std::size_t seen = largestArray.load();
    while (size > seen && !largestArray.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace ZELK::Migration {
namespace {

using namespace Testing;
using F = ImageMetadata::Format;

void putBe32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

struct Chunk {
    std::string type;
    Bytes data;
};

// The chunks of a well-formed fixture file.
std::vector<Chunk> fixtureChunks(const std::string& name) {
    const Bytes file = fixtureBytes("png/" + name);
    std::vector<Chunk> chunks;
    for (std::size_t pos = 8; pos + 12 <= file.size(); pos += 12 + chunks.back().data.size()) {
        const std::size_t length =
            file[pos] << 24 | file[pos + 1] << 16 | file[pos + 2] << 8 | file[pos + 3];
        chunks.push_back({std::string(file.begin() + pos + 4, file.begin() + pos + 8),
                          Bytes(file.begin() + pos + 8, file.begin() + pos + 8 + length)});
    }
    return chunks;
}

// A PNG file of these chunks, with checksums of our own (a plain bitwise CRC-32 of type and
// data, not the codec's table).
Bytes assemble(const std::vector<Chunk>& chunks) {
    Bytes out = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Chunk& c : chunks) {
        putBe32(out, static_cast<std::uint32_t>(c.data.size()));
        const std::size_t start = out.size();
        out.insert(out.end(), c.type.begin(), c.type.end());
        out.insert(out.end(), c.data.begin(), c.data.end());
        std::uint32_t crc = 0xFFFFFFFFu;
        for (std::size_t i = start; i < out.size(); ++i) {
            crc ^= out[i];
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        putBe32(out, ~crc);
    }
    return out;
}

// Imports PNG bytes from memory; returns the error message, empty on success.
std::string importPNG(const Bytes& file, IncrementalBuffer& data, ImageMetadata& meta) {
    ConstBufferStream source(file.data(), static_cast<std::uint32_t>(file.size()));
    PNGImporter importer;
    importer.attach(source);
    return messageOf([&] { importer.importData(data, meta); });
}

std::string importError(const Bytes& file) {
    IncrementalBuffer data;
    ImageMetadata meta;
    return importPNG(file, data, meta);
}

// A fixture file after editing its chunks (the CRCs are written anew).
Bytes edited(const std::string& name, const std::function<void(std::vector<Chunk>&)>& edit) {
    std::vector<Chunk> chunks = fixtureChunks(name);
    edit(chunks);
    return assemble(chunks);
}

Bytes ihdr(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colorType) {
    Bytes data;
    putBe32(data, width);
    putBe32(data, height);
    data.insert(data.end(), {depth, colorType, 0, 0, 0});
    return data;
}

TEST(PNGImport, DecodesFilesOfRealEncodersLikeAReferenceDecoder) {
    // Grey below 8 bits comes out stretched to 8 and palettes as RGB, as ImageMagick gives them;
    // interlaced and transparency-keyed files decode like any other.
    const std::tuple<const char*, std::uint32_t, std::uint32_t, F> cases[] = {
        {"grey16", 1, 16, F::INTENSITY},
        {"greyalpha8", 2, 8, F::INTENSITY},
        {"rgba8", 4, 8, F::RGBA},
        {"palette8", 3, 8, F::RGBA},
        {"filters", 3, 8, F::RGBA},
        {"ancillary", 3, 8, F::RGBA},
        {"grey1", 1, 8, F::INTENSITY},
        {"grey2", 1, 8, F::INTENSITY},
        {"grey4", 1, 8, F::INTENSITY},
        {"palette1", 3, 8, F::RGBA},
        {"palette2", 3, 8, F::RGBA},
        {"palette4", 3, 8, F::RGBA},
        {"interlaced", 1, 8, F::INTENSITY},
        {"rgb16-adam7", 3, 16, F::RGBA},
        {"grey1-adam7", 1, 8, F::INTENSITY},
        {"palette4-adam7", 3, 8, F::RGBA},
        {"tiny-adam7", 1, 8, F::INTENSITY},
        {"trns-rgb", 3, 8, F::RGBA},
        {"trns-palette", 3, 8, F::RGBA}};
    for (auto [name, channels, bits, format] : cases) {
        SCOPED_TRACE(name);
        IncrementalBuffer data;
        ImageMetadata meta;
        meta.pixelAlignment = 32; // whatever the caller held is replaced
        ASSERT_EQ(importPNG(fixtureBytes(std::string("png/") + name + ".png"), data, meta), "");
        const std::uint32_t height = std::string(name) == "tiny-adam7" ? 2 : 31;
        EXPECT_EQ(
            std::tuple(meta.width, meta.height, meta.channels, meta.format, meta.pixelAlignment),
            std::tuple(height == 2 ? 3u : 45u, height, channels, format, 0u));
        EXPECT_EQ(meta.type.text(), std::to_string(bits) + "-bit unsigned little endian");
        EXPECT_EQ(topDown(data, height), fixtureBytes(std::string("png/") + name + ".raw"));
    }
    // Loading a file for processing keeps the most significant byte of 16-bit samples.
    IncrementalBuffer data;
    ImageMetadata meta;
    importImage(data, meta, PenvexTest::dataPath("png/rgb16-adam7.png").string());
    Bytes high = fixtureBytes("png/rgb16-adam7.raw");
    for (std::size_t i = 0; i < high.size() / 2; ++i)
        high[i] = high[2 * i];
    high.resize(high.size() / 2);
    EXPECT_EQ(meta.type.bits, 8u);
    EXPECT_EQ(topDown(data, 31), high);
}

TEST(PNGImport, RowsTallerThanABandExpandAsImageMagickDecodesThemOnAnyThreadCount) {
    // Palette indices and narrow grey are expanded in bands of rows on the pool: 8-bit and
    // interlaced 4-bit palettes and 2-bit grey, made and decoded by ImageMagick.
    const PenvexTest::ScratchDir dir;
    const std::string path = (dir / "tall.png").string();
    const std::pair<const char*, const char*> cases[] = {
        {"-colors 200 PNG8:", "rgb"},
        {"-colors 13 -define png:bit-depth=4 -interlace PNG PNG8:", "rgb"},
        {"-colorspace gray -depth 2 PNG:", "gray"}};
    for (auto [options, map] : cases) {
        SCOPED_TRACE(options);
        Bytes expected;
        ASSERT_EQ(runCommand("/usr/bin/convert -size 50x300 -seed 3 plasma:fractal " +
                                 std::string(options) + path + " && /usr/bin/convert '" + path +
                                 "' -depth 8 " + map + ":-",
                             expected),
                  0);
        for (unsigned threads : {1u, 3u}) {
            setThreadCount(threads);
            IncrementalBuffer data;
            ImageMetadata meta;
            ASSERT_EQ(importPNG(fixtureBytes(path), data, meta), "");
            EXPECT_EQ(topDown(data, 300), expected) << threads << " threads";
        }
    }
    setThreadCount(0);
}

TEST(PNGImport, RefusesWithExactMessages) {
    // One byte of a chunk's data changed.
    auto set = [](const char* name, std::size_t chunk, std::size_t offset, std::uint8_t value) {
        return edited(name, [=](std::vector<Chunk>& c) { c[chunk].data[offset] = value; });
    };
    // A zlib header with FLG's low five bits making (CMF * 256 + FLG) a multiple of 31.
    auto zlib = [](std::uint8_t cmf, unsigned flg) {
        flg = (flg & 0xE0) + (31 - (cmf * 256u + (flg & 0xE0)) % 31) % 31;
        return edited("grey8.png", [=](std::vector<Chunk>& c) {
            c[1].data[0] = cmf;
            c[1].data[1] = std::uint8_t(flg);
        });
    };
    // A grey image stored uncompressed whose fourth row has the filter type 5.
    Bytes stored = {0x78, 0x01, 1, 0x92, 0x05, 0x6D, 0xFA}; // 1426 bytes: 31 rows of 1 + 45
    stored.resize(stored.size() + 31 * 46);
    stored[7 + 46 * 3] = 5;
    stored.insert(stored.end(), {0, 0, 0, 0});
    Bytes badSignature = fixtureBytes("png/grey8.png");
    badSignature[1] = 'Q';
    const std::pair<Bytes, const char*> cases[] = {
        {fixtureBytes("png/huge-header.png"), "No support for PNG images above 268435456 pixels. "},
        {set("interlaced.png", 0, 12, 2), "No support for PNG interlace method 2. "},
        {edited("grey8.png", [](std::vector<Chunk>& c) { c[0].data = ihdr(45, 31, 4, 2); }),
         "png : invalid bit depth"},
        {edited("grey8.png", [](std::vector<Chunk>& c) { c[0].data = ihdr(45, 31, 16, 3); }),
         "png : invalid bit depth"},
        {fixtureBytes("png/badcrc.png"), "png : chunk crc missmatch"},
        {fixtureBytes("png/signature-only.png"), "png : unexpected end of file"},
        {fixtureBytes("png/critical.png"), "png : unsuppored critical chunk"},
        {fixtureBytes("png/badzlib.png"), "png : invalid zlib header"},
        {fixtureBytes("png/backref.png"),
         "deflate : Back reference refer beyond beginning of buffer. "},
        {badSignature, "png : signature missmatch"},
        {set("grey8.png", 0, 10, 1), "No support for PNG compression method 1. "},
        {set("grey8.png", 0, 11, 2), "No support for PNG filter method 2. "},
        {set("grey8.png", 0, 9, 5), "No support for PNG color type 5. "},
        {set("grey8.png", 0, 8, 3), "png : invalid bit depth"},
        {zlib(0x78, 0x9C), ""},
        {zlib(0x79, 0x9C), "png : unexpected zlib header compression method"},
        {zlib(0x88, 0x9C), "png : unexpected zlib header compression info"},
        {zlib(0x78, 0x20), "png : zlib header indicates preset dictionary"},
        {edited("grey8.png", [&](std::vector<Chunk>& c) { c[1].data = stored; }),
         "Value (5) out of bound (5). "},
        {edited("palette8.png", [](std::vector<Chunk>& c) { c.insert(c.begin() + 1, c[1]); }),
         "png : palette chunk has already appeared"},
        {edited("palette8.png", [](std::vector<Chunk>& c) { c[1].data.pop_back(); }),
         "png : palette size not a multiple of 3"},
        {edited("palette8.png", [](std::vector<Chunk>& c) { c[1].data.resize(3 * 257); }),
         "png : palette size larger than bit depth support"},
        {edited("palette8.png", [](std::vector<Chunk>& c) { c[1].data.clear(); }),
         "png : empty palette"},
        {edited("palette8.png", [](std::vector<Chunk>& c) { c.erase(c.begin() + 1); }),
         "png : missing palette indicated by header"},
        {edited("palette8.png", [](std::vector<Chunk>& c) { c.back().data = {0}; }),
         "png : end chunk is not empty"}};
    for (const auto& [file, message] : cases)
        EXPECT_EQ(importError(file), message);
}

TEST(PNGExport, FilesPassPngcheckAndDecodeElsewhereToOurPixels) {
    // Noise over runs, so that the encoder makes matches and blocks of every kind; ImageMagick
    // streams 1-bit grey as 0 or 1.
    const PenvexTest::ScratchDir dir;
    const std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, F, const char*>
        cases[] = {{37, 23, 1, 8, F::INTENSITY, "I"}, {37, 23, 1, 16, F::INTENSITY, "I"},
                   {300, 250, 3, 8, F::RGBA, "RGB"},  {37, 23, 3, 16, F::RGBA, "RGB"},
                   {37, 23, 4, 8, F::RGBA, "RGBA"},   {37, 23, 4, 16, F::RGBA, "RGBA"},
                   {40, 3, 1, 1, F::INTENSITY, "I"}};
    for (auto [width, height, channels, bits, format, map] : cases) {
        SCOPED_TRACE(std::string(map) + " " + std::to_string(bits));
        const ImageMetadata meta = imageMeta(width, height, channels, bits, format);
        const std::uint32_t size = width * height * channels * bits / 8;
        IncrementalBuffer data(size, size);
        std::mt19937 rng(size);
        for (std::uint32_t i = 0; i < size; ++i)
            data.data()[i] = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : i / 50);
        const std::string path = (dir / "export.png").string();
        exportImage(data, meta, path);

        Bytes output;
        EXPECT_EQ(runCommand("/usr/bin/pngcheck -q '" + path + "'", output), 0)
            << std::string(output.begin(), output.end());
        // ImageMagick's stream delivers 16-bit samples little-endian; ours keep file order.
        ASSERT_EQ(runCommand(std::string("/usr/bin/stream -map ") + map + " -storage-type " +
                                 (bits == 16 ? "short" : "char") + " '" + path + "' -",
                             output),
                  0);
        if (bits == 16)
            for (std::size_t i = 0; i + 1 < output.size(); i += 2)
                std::swap(output[i], output[i + 1]);
        Bytes expected = topDown(data, height), widened;
        for (std::uint8_t byte : expected)
            for (int bit = 7; bits == 1 && bit >= 0; --bit)
                widened.push_back(byte >> bit & 1);
        EXPECT_EQ(output, bits == 1 ? widened : expected);
    }
}

TEST(PNGExport, Refusals) {
    auto exportError = [](const ImageMetadata& meta, std::uint32_t size = 1 << 16) {
        IncrementalBuffer data(size, size), file;
        BufferStream out(file);
        PNGExporter exporter;
        exporter.attach(out);
        return messageOf([&] { exporter.exportData(data, meta); });
    };
    ImageMetadata lines = imageMeta(4, 4, 1, 8, F::INTENSITY), pixels = lines;
    lines.lineAlignment = 32;
    pixels.pixelAlignment = 8;
    for (auto [meta, message] :
         {std::pair{lines, "No support for non-zero image line alignment. "},
          {pixels, "No support for non-zero image pixel alignment. "},
          {imageMeta(4, 4, 2, 8, F::INTENSITY), "No support for INTENSITY with 2 channels. "},
          {imageMeta(4, 4, 2, 8, F::RGBA), "No support for RGBA with 2 channels. "},
          {imageMeta(4, 4, 3, 8, F::BGRA), "No support for BGRA. "},
          {imageMeta(4, 4, 3, 4, F::RGBA),
           "No support for combination of bith depth and color type. "},
          {imageMeta(5, 4, 1, 4, F::INTENSITY), "No support for partial-byte image rows. "},
          {imageMeta(0, 4, 1, 8, F::INTENSITY), "No support for PNG images without pixels. "}})
        EXPECT_EQ(exportError(meta), message);
    // A buffer smaller than the image.
    EXPECT_EQ(exportError(imageMeta(4, 4, 3, 8, F::RGBA), 47), "Value (48) out of bound (47). ");
}

// Imports the file from memory and returns the message and the largest array allocated.
std::pair<std::string, std::size_t> importMeasured(const Bytes& file) {
    largestArray = 0;
    const std::string message = importError(file);
    return {message, largestArray.load()};
}

TEST(PNGHostile, HugeHeadersWithLittleData) {
    const std::vector<Chunk> grey = fixtureChunks("grey8.png");
    // 29 GB of RGBA, a product that wraps to 0 in 32 bits, the largest header possible, a
    // palette image of 4 G indices and 16-bit grey one pixel past the limit are refused by the
    // pixel limit; 2^28 pixels pass it and fail on the little data there is.
    const char* const limit = "No support for PNG images above 268435456 pixels. ";
    for (auto [width, height, depth, colorType, message] :
         {std::tuple{60000u, 60000u, 16, 6, limit},
          {65536u, 65536u, 8, 0, limit},
          {0xFFFFFFFFu, 0xFFFFFFFFu, 16, 6, limit},
          {65536u, 65536u, 8, 3, limit},
          {(1u << 28) + 1, 1u, 16, 0, limit},
          {1u << 14, 1u << 14, 16, 0, "png : image data size missmatch"}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        std::vector<Chunk> chunks = grey;
        chunks[0].data = ihdr(width, height, std::uint8_t(depth), std::uint8_t(colorType));
        if (colorType == 3)
            chunks.insert(chunks.begin() + 1, Chunk{"PLTE", {1, 2, 3}});
        const auto [got, largest] = importMeasured(assemble(chunks));
        EXPECT_EQ(got, message);
        // The inflater's output may be reserved at what the data could expand to.
        EXPECT_LT(largest, 1032u * chunks[chunks.size() - 2].data.size() + 4096);
    }
}

TEST(PNGHostile, ExpandingDataStopsAtTheImageSize) {
    // zlib's stream of one 2 MB row of zeros: some 2 KB of 258-byte matches.
    Bytes idat;
    ASSERT_EQ(runCommand("/usr/bin/python3 -c 'import sys, zlib; "
                         "sys.stdout.buffer.write(zlib.compress(bytes(1 + 258 * 8000), 9))'",
                         idat),
              0);
    ASSERT_LT(idat.size(), 2100u);

    // First, that the stream is what it claims: a one-row image of 2064000 bytes loads.
    const std::uint32_t columns = 258 * 8000;
    std::vector<Chunk> chunks = {{"IHDR", ihdr(columns, 1, 8, 0)}, {"IDAT", idat}, {"IEND", {}}};
    IncrementalBuffer data;
    ImageMetadata meta;
    ASSERT_EQ(importPNG(assemble(chunks), data, meta), "");
    EXPECT_EQ(data.size(), columns);

    // A header that claims 256 MB: the output buffer is bounded by what the data can expand
    // to; one that claims a small image: inflating stops once the output passes its size.
    for (auto [side, bound] : {std::pair{16000u, 1032u * idat.size() + 65536}, {100u, 20000u}}) {
        chunks[0].data = ihdr(side, side, 8, 0);
        const auto [message, largest] = importMeasured(assemble(chunks));
        EXPECT_EQ(message, "png : image data size missmatch");
        EXPECT_LT(largest, bound) << side;
    }
}

TEST(PNGHostile, ChunkLengthBeyondTheFile) {
    Bytes file = fixtureBytes("png/grey8.png");
    file[33] = 0x7F; // IDAT claims 2 GB
    auto [message, largest] = importMeasured(file);
    EXPECT_EQ(message, "Attempted to read over end of buffer. ");
    EXPECT_LT(largest, 1u << 16);

    // A stream that cannot tell its length: the chunk is read in pieces as they arrive.
    largestArray = 0;
    SequentialStream sequential(file);
    PNGImporter importer;
    importer.attach(sequential);
    IncrementalBuffer data;
    ImageMetadata meta;
    EXPECT_THROW(importer.importData(data, meta), ZELK::StreamException);
    EXPECT_LE(largestArray.load(), 4u << 20);
}

} // namespace
} // namespace ZELK::Migration
