// TIFF import of tiffcp's strips and tiles in every compression against ImageMagick's decode,
// and hostile files refused before any allocation for their pixels.
#include <gtest/gtest.h>

#include "codec_support.hpp"
#include "migration/tiff.hpp"

namespace ZELK::Migration {
namespace {

using namespace Testing;

std::string importTIFF(const Bytes& file) {
    ConstBufferStream source(file.data(), static_cast<std::uint32_t>(file.size()));
    TIFFImporter importer;
    importer.attach(source);
    IncrementalBuffer data;
    ImageMetadata meta;
    return messageOf([&] { importer.importData(data, meta); });
}

TEST(TIFFImport, EveryVariantDecodesLikeImageMagick) {
    const std::pair<const char*, std::uint32_t> cases[] = {{"white1-none", 1},
                                                           {"black1-packbits", 1},
                                                           {"grey8-lzw", 1},
                                                           {"grey8-lzw-predictor-tiles", 1},
                                                           {"grey8-zip-predictor", 1},
                                                           {"palette8-packbits", 3},
                                                           {"palette8-lzw-tiles", 3},
                                                           {"rgb8-none", 3},
                                                           {"rgb8-lzw-predictor-msb", 3},
                                                           {"rgb8-zip-tiles", 3},
                                                           {"rgb16-zip-predictor", 3},
                                                           {"rgb16-lzw-predictor-tiles-msb", 3}};
    for (auto [name, channels] : cases) {
        SCOPED_TRACE(name);
        IncrementalBuffer data;
        ImageMetadata meta;
        importImage(data, meta, PenvexTest::dataPath(std::string("tiff/") + name + ".tif"));
        EXPECT_EQ(std::tuple(meta.width, meta.height, meta.channels, meta.type.bits),
                  std::tuple(29u, 17u, channels, 8u));
        // 16-bit references hold both bytes, most significant first.
        Bytes expected = fixtureBytes(std::string("tiff/") + name + ".raw");
        if (expected.size() == 2u * 29 * 17 * channels) {
            for (std::size_t i = 0; i < expected.size() / 2; ++i)
                expected[i] = expected[2 * i];
            expected.resize(expected.size() / 2);
        }
        EXPECT_EQ(topDown(data, 17), expected);
    }
}

// A little-endian file of one directory with the given (tag, type, count, value) entries and
// `extra` bytes of data after it.
Bytes tiff(const std::vector<std::array<std::uint32_t, 4>>& entries, const Bytes& extra = {}) {
    Bytes out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            out.push_back(std::uint8_t(v >> 8 * i));
    };
    put(static_cast<std::uint32_t>(entries.size()), 2);
    for (const auto& [tag, type, count, value] : entries) {
        put(tag, 2);
        put(type, 2);
        put(count, 4);
        put(value, 4);
    }
    put(0, 4);
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

TEST(TIFFImport, HostileFilesAreRefused) {
    // 4 x 2 grey, one strip of 8 bytes right after the header and the 90-byte directory.
    auto grey = [](std::uint32_t width, std::uint32_t height, std::uint32_t compression,
                   std::uint32_t offset, std::uint32_t count, const Bytes& strip) {
        return tiff({{256, 4, 1, width},
                     {257, 4, 1, height},
                     {258, 3, 1, 8},
                     {259, 3, 1, compression},
                     {262, 3, 1, 1},
                     {273, 4, 1, offset},
                     {279, 4, 1, count}},
                    strip);
    };
    // LZW codes of 9 bits: a clear, then 4000 codes that each add a table entry.
    Bytes lzw;
    std::uint64_t bits = 0;
    unsigned filled = 0, width = 9;
    auto code = [&](std::uint32_t c) {
        bits = bits << width | c;
        filled += width;
        while (filled >= 8)
            lzw.push_back(std::uint8_t(bits >> (filled -= 8)));
    };
    code(256);
    for (std::uint32_t n = 0, next = 258; n < 4000; ++n, ++next) {
        code(65);
        if (next + 1 >= (1u << width) && width < 12)
            ++width;
    }
    code(0);
    lzw.push_back(0);
    const std::pair<Bytes, const char*> cases[] = {
        {grey(4, 2, 1, 98, 8, Bytes(8, 7)), ""},
        {grey(4, 2, 1, 99, 8, Bytes(8, 7)), "tiff : strip or tile outside the file"},
        {grey(4, 2, 1, 0xFFFFFFF0u, 8, {}), "tiff : strip or tile outside the file"},
        {grey(70000, 70000, 1, 98, 8, Bytes(8, 7)),
         "No support for TIFF images above 268435456 pixels. "},
        {grey(16000, 16000, 5, 98, 8, Bytes(8, 7)),
         "tiff : strips or tiles too small for the picture"},
        {grey(4096, 1000, 5, 98, static_cast<std::uint32_t>(lzw.size()), lzw),
         "tiff : LZW code table overflow"},
        {grey(4, 2, 7, 98, 8, Bytes(8, 7)), "No support for TIFF compression 7. "},
        {grey(4, 2, 1, 98, 8, Bytes(7, 7)), "tiff : strip or tile outside the file"}};
    for (const auto& [file, message] : cases)
        EXPECT_EQ(importTIFF(file), message);
}

} // namespace
} // namespace ZELK::Migration
