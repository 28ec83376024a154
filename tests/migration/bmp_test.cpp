// BMP import of Pillow's, ImageMagick's and hand-assembled files against ImageMagick's decode,
// and hostile headers refused before any allocation for their pixels.
#include <gtest/gtest.h>

#include "codec_support.hpp"
#include "migration/bmp.hpp"

namespace ZELK::Migration {
namespace {

using namespace Testing;

std::string importBMP(const Bytes& file, IncrementalBuffer& data, ImageMetadata& meta) {
    ConstBufferStream source(file.data(), static_cast<std::uint32_t>(file.size()));
    BMPImporter importer;
    importer.attach(source);
    return messageOf([&] { importer.importData(data, meta); });
}

TEST(BMPImport, EveryKindDecodesLikeImageMagick) {
    for (const char* name : {"bilevel1", "palette4", "grey8", "palette8", "rgb565", "rgb24",
                             "topdown24", "core24", "rgba32", "argb32", "rle8", "rle4"}) {
        SCOPED_TRACE(name);
        IncrementalBuffer data;
        ImageMetadata meta;
        // Chosen by content, as a file without the extension would be.
        PenvexTest::ScratchDir dir;
        PenvexTest::writeFile(dir / "picture", PenvexTest::readFile(PenvexTest::dataPath(
                                                   std::string("bmp/") + name + ".bmp")));
        importImage(data, meta, (dir / "picture").string());
        EXPECT_EQ(std::tuple(meta.width, meta.height, meta.channels, meta.type.bits),
                  std::tuple(29u, 17u, 3u, 8u));
        EXPECT_EQ(topDown(data, 17), fixtureBytes(std::string("bmp/") + name + ".raw"));
    }
}

TEST(BMPImport, HostileHeadersAreRefused) {
    const Bytes good = fixtureBytes("bmp/rgb24.bmp");
    auto with = [&](std::size_t at, std::uint32_t value, int bytes = 4) {
        Bytes file = good;
        for (int i = 0; i < bytes; ++i)
            file[at + i] = std::uint8_t(value >> 8 * i);
        return file;
    };
    Bytes cut = good;
    cut.resize(cut.size() - 1);
    const std::pair<Bytes, const char*> cases[] = {
        {with(22, 0x80000000u), "No support for BMP images above 268435456 pixels. "},
        {with(18, 0x7FFFFFFFu), "No support for BMP images above 268435456 pixels. "},
        {with(18, 16384), "bmp : file ends inside its headers or pixel data"},
        {with(10, 0xFFFFFFF0u), "bmp : file ends inside its headers or pixel data"},
        {cut, "bmp : file ends inside its headers or pixel data"},
        {with(18, 0), "bmp : picture without pixels"},
        {[&] {
             Bytes rle = fixtureBytes("bmp/rle8.bmp");
             rle[23] = 0x40; // 29 x 16401 pixels from 1.9 KB of runs
             return rle;
         }(),
         "bmp : run-length data too short for the picture"},
        {with(28, 12, 2), "No support for BMP with 12 bits per pixel. "},
        {with(30, 4), "No support for BMP compression 4. "},
        {with(30, 1), "bmp : compression 1 with 24 bits per pixel"},
        {with(14, 20), "No support for BMP info header of 20 bytes. "}};
    for (const auto& [file, message] : cases) {
        IncrementalBuffer data;
        ImageMetadata meta;
        EXPECT_EQ(importBMP(file, data, meta), message);
        EXPECT_EQ(data.size(), 0u);
    }
}

} // namespace
} // namespace ZELK::Migration
