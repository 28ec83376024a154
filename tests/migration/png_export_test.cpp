// PNG export: our files pass pngcheck and decode with ImageMagick to the pixels we wrote; the
// file layout for grey images and large images; the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "migration/image.hpp"
#include "migration/png.hpp"
#include "migration/png_support.hpp"

namespace ZELK::Migration {
namespace {

using namespace Testing;

ImageMetadata imageMeta(std::uint32_t width, std::uint32_t height, std::uint32_t channels,
                        std::uint32_t bits, ImageMetadata::Format format) {
    ImageMetadata meta;
    meta.width = width;
    meta.height = height;
    meta.channels = channels;
    meta.type = {bits, TypeDescriptor::Unsigned, false};
    meta.format = format;
    return meta;
}

IncrementalBuffer randomPixels(std::uint32_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    IncrementalBuffer data(size, size);
    for (std::uint32_t i = 0; i < size; ++i)
        data.data()[i] = static_cast<std::uint8_t>(rng());
    return data;
}

std::vector<std::uint8_t> exportPNG(const Buffer& data, const ImageMetadata& meta) {
    IncrementalBuffer file;
    BufferStream out(file);
    PNGExporter exporter;
    exporter.attach(out);
    exporter.exportData(data, meta);
    return {file.data(), file.data() + file.size()};
}

std::string exportError(const ImageMetadata& meta, std::uint32_t size = 1 << 16) {
    IncrementalBuffer data(size, size);
    try {
        exportPNG(data, meta);
    } catch (const Exception& e) {
        return e.message();
    }
    return {};
}

TEST(PNGExport, FilesPassPngcheckAndDecodeElsewhereToOurPixels) {
    requireTool("/usr/bin/pngcheck");
    requireTool("/usr/bin/stream");
    using F = ImageMetadata::Format;
    struct Case {
        std::uint32_t channels, bits;
        F format;
        const char* map;
    };
    const Case cases[] = {{1, 8, F::INTENSITY, "I"}, {1, 16, F::INTENSITY, "I"},
                          {3, 8, F::RGBA, "RGB"},    {3, 16, F::RGBA, "RGB"},
                          {4, 8, F::RGBA, "RGBA"},   {4, 16, F::RGBA, "RGBA"}};
    const std::uint32_t width = 37, height = 23;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.map) + " " + std::to_string(c.bits));
        const ImageMetadata meta = imageMeta(width, height, c.channels, c.bits, c.format);
        const IncrementalBuffer data =
            randomPixels(width * height * c.channels * c.bits / 8, c.channels * c.bits);
        const std::string path =
            ::testing::TempDir() + "export_" + c.map + std::to_string(c.bits) + ".png";
        exportImage(data, meta, path);

        std::vector<std::uint8_t> output;
        EXPECT_EQ(runCommand("/usr/bin/pngcheck -q '" + path + "'", output), 0)
            << std::string(output.begin(), output.end());

        // ImageMagick's stream delivers 16-bit samples little-endian; ours keep file order.
        ASSERT_EQ(runCommand(std::string("/usr/bin/stream -map ") + c.map + " -storage-type " +
                                 (c.bits == 16 ? "short" : "char") + " '" + path + "' -",
                             output),
                  0);
        if (c.bits == 16)
            for (std::size_t i = 0; i + 1 < output.size(); i += 2)
                std::swap(output[i], output[i + 1]);
        EXPECT_EQ(output, topDown(data, height));

        // And our importer reads back what we wrote.
        IncrementalBuffer back;
        ImageMetadata backMeta;
        importImage(back, backMeta, path);
        EXPECT_EQ(backMeta.get("Type"), meta.get("Type"));
        EXPECT_EQ(backMeta.channels, c.channels);
        EXPECT_EQ(std::vector<std::uint8_t>(back.data(), back.data() + back.size()),
                  std::vector<std::uint8_t>(data.data(), data.data() + data.size()));
    }
}

TEST(PNGExport, BitmapRowsOfWholeBytes) {
    requireTool("/usr/bin/pngcheck");
    requireTool("/usr/bin/convert");
    // 1-bit grey, 16 pixels a row: two bytes, most significant bit first.
    const ImageMetadata meta = imageMeta(16, 3, 1, 1, ImageMetadata::Format::INTENSITY);
    IncrementalBuffer data(6, 6);
    const std::uint8_t bits[6] = {0xFF, 0x00, 0xA5, 0x0F, 0x80, 0x01}; // bottom line first
    std::copy(bits, bits + 6, data.data());
    const std::string path = ::testing::TempDir() + "export_bitmap.png";
    exportImage(data, meta, path);
    std::vector<std::uint8_t> output;
    EXPECT_EQ(runCommand("/usr/bin/pngcheck -q '" + path + "'", output), 0);
    // ImageMagick widens the bits to 8-bit samples, 0 or 255.
    ASSERT_EQ(runCommand("/usr/bin/convert '" + path + "' -depth 8 gray:-", output), 0);
    ASSERT_EQ(output.size(), 48u);
    for (std::uint32_t row = 0; row < 3; ++row)
        for (std::uint32_t x = 0; x < 16; ++x) {
            const std::uint8_t byte = bits[(2 - row) * 2 + x / 8];
            const bool on = (byte >> (7 - x % 8)) & 1;
            EXPECT_EQ(output[row * 16 + x], on ? 255 : 0) << row << "," << x;
        }
}

TEST(PNGExport, GreyFileLayout) {
    const ImageMetadata meta = imageMeta(5, 3, 1, 8, ImageMetadata::Format::INTENSITY);
    IncrementalBuffer data(15, 15);
    for (std::uint8_t i = 0; i < 15; ++i)
        data.data()[i] = i; // line 0 (bottom): 0..4, line 2 (top): 10..14
    const std::vector<std::uint8_t> file = exportPNG(data, meta);
    const std::vector<Chunk> chunks = parseChunks(file);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[0].data, std::vector<std::uint8_t>({0, 0, 0, 5, 0, 0, 0, 3, 8, 0, 0, 0, 0}));
    EXPECT_EQ(chunks[1].type, "IDAT");
    EXPECT_EQ(chunks[2].type, "IEND");
    EXPECT_TRUE(chunks[2].data.empty());
    // Each chunk's CRC, checked with an implementation of our own.
    std::size_t pos = 8;
    for (const Chunk& c : chunks) {
        pos += 8 + c.data.size();
        EXPECT_EQ(be32(&file[pos]), bitwiseCrc(c.type, c.data)) << c.type;
        pos += 4;
    }
    EXPECT_EQ(pos, file.size());
    // zlib header, one final stored block of 18 bytes, Adler-32 of those bytes.
    const std::vector<std::uint8_t> raw = {0, 10, 11, 12, 13, 14, 0, 5, 6,
                                           7, 8,  9,  0,  0,  1,  2, 3, 4};
    std::vector<std::uint8_t> idat = {0x78, 0x01, 1, 18, 0, 0xED, 0xFF};
    idat.insert(idat.end(), raw.begin(), raw.end());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    putBe32(idat, b << 16 | a);
    EXPECT_EQ(chunks[1].data, idat);
}

TEST(PNGExport, LargeImagesHoldSeveralStoredBlocksInOneIDAT) {
    requireTool("/usr/bin/pngcheck");
    const std::uint32_t width = 300, height = 250; // 225 250 raw bytes
    const ImageMetadata meta = imageMeta(width, height, 3, 8, ImageMetadata::Format::RGBA);
    const IncrementalBuffer data = randomPixels(width * height * 3, 7);
    const std::vector<std::uint8_t> file = exportPNG(data, meta);
    const std::vector<Chunk> chunks = parseChunks(file);
    ASSERT_EQ(chunks.size(), 3u);
    // Walk the stored blocks: three full ones and a final remainder.
    const std::vector<std::uint8_t>& idat = chunks[1].data;
    std::size_t pos = 2, blocks = 0, total = 0;
    bool final = false;
    while (!final) {
        final = idat[pos] & 1;
        const std::uint32_t length = idat[pos + 1] | idat[pos + 2] << 8;
        pos += 5 + length;
        total += length;
        ++blocks;
    }
    EXPECT_EQ(blocks, 4u);
    EXPECT_EQ(total, height * (width * 3 + 1));
    EXPECT_EQ(pos + 4, idat.size());

    const std::string path = ::testing::TempDir() + "export_large.png";
    writeBytes(path, file);
    std::vector<std::uint8_t> output;
    EXPECT_EQ(runCommand("/usr/bin/pngcheck -q '" + path + "'", output), 0);
}

TEST(PNGExport, Refusals) {
    using F = ImageMetadata::Format;
    ImageMetadata meta = imageMeta(4, 4, 1, 8, F::INTENSITY);
    meta.lineAlignment = 32;
    meta.pixelAlignment = 8;
    EXPECT_EQ(exportError(meta), "No support for non-zero image line alignment. ");
    meta.lineAlignment = 0;
    EXPECT_EQ(exportError(meta), "No support for non-zero image pixel alignment. ");
    EXPECT_EQ(exportError(imageMeta(4, 4, 2, 8, F::INTENSITY)),
              "No support for INTENSITY with 2 channels. ");
    EXPECT_EQ(exportError(imageMeta(4, 4, 2, 8, F::RGBA)), "No support for RGBA with 2 channels. ");
    EXPECT_EQ(exportError(imageMeta(4, 4, 3, 8, F::BGRA)), "No support for BGRA. ");
    for (auto [channels, bits, format] :
         {std::tuple{1u, 12u, F::INTENSITY}, std::tuple{1u, 32u, F::INTENSITY},
          std::tuple{3u, 4u, F::RGBA}, std::tuple{3u, 32u, F::RGBA}, std::tuple{4u, 1u, F::RGBA},
          std::tuple{4u, 12u, F::RGBA}})
        EXPECT_EQ(exportError(imageMeta(4, 4, channels, bits, format)),
                  "No support for combination of bith depth and color type. ")
            << channels << " x " << bits;
    EXPECT_EQ(exportError(imageMeta(5, 4, 1, 4, F::INTENSITY)),
              "No support for partial-byte image rows. ");
    EXPECT_EQ(exportError(imageMeta(0, 4, 1, 8, F::INTENSITY)),
              "No support for PNG images without pixels. ");
    // A buffer smaller than the image.
    EXPECT_EQ(exportError(imageMeta(4, 4, 3, 8, F::RGBA), 47), "Value (48) out of bound (47). ");

    PNGExporter unattached;
    IncrementalBuffer data(16, 16);
    EXPECT_THROW(unattached.exportData(data, imageMeta(4, 4, 1, 8, F::INTENSITY)),
                 Migration::StreamException);
}

} // namespace
} // namespace ZELK::Migration
