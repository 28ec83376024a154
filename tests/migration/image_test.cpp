// Image metadata and layouts, the Native format, and the choice of importer and exporter.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "codec_support.hpp"
#include "migration/native.hpp"

namespace ZELK::Migration {
namespace {

using namespace Testing;

TEST(ImageMetadata, TextsParseAndStrayWordsAreRefused) {
    EXPECT_EQ(TypeDescriptor::parse("16-bit two complement big endian").text(),
              "16-bit two complement big endian");
    ImageMetadata m;
    m.set("Width", "640px");
    m.set("Format", "BGRA");
    EXPECT_EQ(m.get("Width"), "640");
    EXPECT_EQ(m.get("Format"), "BGRA");
    for (auto [action, message] :
         std::initializer_list<std::pair<std::function<void()>, std::string>>{
             {[] { TypeDescriptor::parse("8-bit unsigned small endian"); },
              "String \"small endian\" could not be parsed into \"big endian | small endian\". "},
             {[] { TypeDescriptor::parse("8-bit signed little endian"); },
              "String \"signed little endian\" could not be parsed into \"unsigned | two "
              "complement | floating point | fixed point | boolean\". "},
             {[&] { m.get("Other"); }, "Could not find Other in metadata. "},
             {[] { ImageMetadata::formatText(static_cast<ImageMetadata::Format>(7)); },
              "7 is not image format descriptor. "},
             {[&] { m.set("Format", "CMYK"); },
              "String \"CMYK\" could not be parsed into \"INTENSITY | RGBA | BGRA\". "},
             {[&] { m.set("Height", "tall"); }, "Failed to convert \"tall\" to unsigned int."}})
        EXPECT_EQ(messageOf(action), message);
}

TEST(ImageLayout, AlignmentAndChannelOrder) {
    ImageMetadata bgra = imageMeta(5, 2, 4);
    bgra.format = ImageMetadata::Format::BGRA;
    EXPECT_EQ(ImageLayout(bgra).channelOrder, (std::vector<std::uint32_t>{2, 1, 0, 3}));
    ImageMetadata padded = imageMeta(3, 1, 3);
    padded.pixelAlignment = 32;
    padded.lineAlignment = 64;
    EXPECT_EQ(ImageLayout(padded).bytesPerLine, 16u); // 4-byte pixels, 8-byte lines
    ImageMetadata odd = imageMeta(3, 1, 1);
    odd.pixelAlignment = 12;
    EXPECT_EQ(messageOf([&] { ImageLayout bad(odd); }), "No support for non-byte-aligned pixels. ");
    // Sizes that cannot fit a buffer are refused instead of wrapping.
    EXPECT_NE(messageOf([] { ImageLayout huge(imageMeta(0xFFFFFFFF, 2, 4, 16)); }), "");
}

TEST(NativeFormat, KeysAndSamplesReadBackAndHostileLengthsFailBeforeAllocating) {
    ImageMetadata m = imageMeta(2, 1, 3);
    m.set("Note", std::string("a\0b", 3));
    IncrementalBuffer data, file;
    data.assign(reinterpret_cast<const std::uint8_t*>("\1\2\3\4\5\6"), 6);
    BufferStream out(file);
    NativeExporter exporter;
    exporter.attach(out);
    exporter.exportData(data, m);
    const std::string text(reinterpret_cast<const char*>(file.data()), file.size());
    EXPECT_EQ(text.rfind("\"Channels\"=\"3\"\r\n\"Format\"=\"INTENSITY\"\r\n\"Height\"=\"1\"\r\n"
                         "\"Line alignment\"=\"0\"\r\n\"Note\"=\"a\\0b\"\r\n",
                         0),
              0u);
    ConstBufferStream in(file);
    NativeImporter importer;
    importer.attach(in);
    IncrementalBuffer back;
    ImageMetadata backMeta;
    importer.importData(back, backMeta);
    EXPECT_EQ(backMeta.get("Note"), std::string("a\0b", 3));
    EXPECT_EQ(bytesOf(back), bytesOf(data));
    // Chosen by its content under any name.
    const PenvexTest::ScratchDir dir;
    PenvexTest::writeFile(dir / "n.dat", text);
    IncrementalBuffer byContent;
    importImage(byContent, backMeta, (dir / "n.dat").string());
    EXPECT_EQ(bytesOf(byContent), bytesOf(data));

    // Other formats, and a header without its terminating zero byte, score nothing.
    for (const std::string& other :
         {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
          std::string("P5\n2 2\n255\n\0\"=\"\"\"", 16), std::string("\"a\"=\"b\"\r\n")}) {
        ConstBufferStream otherIn(reinterpret_cast<const std::uint8_t*>(other.data()),
                                  static_cast<std::uint32_t>(other.size()));
        EXPECT_EQ(nativeScore(otherIn), 0.0f) << other;
    }
    // A stored length beyond the file fails as a short read, before allocating it.
    std::string hostile("\"Width\"=\"1\"\r\n\0\xFF\xFF\xFF\x7F", 18);
    ConstBufferStream hostileIn(reinterpret_cast<const std::uint8_t*>(hostile.data()), 18);
    importer.attach(hostileIn);
    IncrementalBuffer none;
    EXPECT_EQ(messageOf([&] { importer.importData(none, backMeta); }),
              "Failed to read from input stream. ");
    EXPECT_EQ(none.capacity(), 0u);
}

TEST(ImageDispatch, ImporterAndExporterChoice) {
    PenvexTest::ScratchDir dir;
    const std::string png = (dir / "p.dat").string();
    std::filesystem::copy_file(PenvexTest::dataPath("png/rgb8.png"), png);
    PenvexTest::writeFile(dir / "g.PGM", std::string("P5\n1 1\n255\n\x2A", 12));
    PenvexTest::writeFile(dir / "x.dat", "hello, this is not an image");
    PenvexTest::writeFile(dir / "short.dat", "abc");
    IncrementalBuffer data;
    ImageMetadata m;
    for (auto [name, message] :
         {// A missing file fails before any importer is chosen.
          std::pair<std::string, std::string>{"none.png", "Wrapping bad input stream. "},
          {"x.dat", "No support for import of " + (dir / "x.dat").string() + ". "},
          // Fewer than 8 bytes fail in the PNG signature test.
          {"short.dat", "Failed to read from input stream. "}})
        EXPECT_EQ(messageOf([&] { importImage(data, m, (dir / name).string()); }), message);

    // NetPBM by extension whatever its letter case; PNG and JPEG under .dat by content.
    importImage(data, m, (dir / "g.PGM").string());
    EXPECT_EQ(bytesOf(data), Bytes({42}));
    IncrementalBuffer byContent;
    ImageMetadata contentMeta;
    importImage(byContent, contentMeta, png);
    EXPECT_EQ(topDown(byContent, contentMeta.height), fixtureBytes("png/rgb8.raw"));
    std::filesystem::copy_file(PenvexTest::dataPath("jpeg/size_7x13_grey.jpg"), dir / "j.dat");
    importImage(byContent, contentMeta, (dir / "j.dat").string());
    EXPECT_EQ(std::tuple(contentMeta.width, contentMeta.height, byContent.size()),
              std::tuple(7u, 13u, 91u));

    // Exporters by extension; an unsupported one leaves no file behind.
    for (const char* name : {"out.jpg", "noextension"}) {
        EXPECT_EQ(messageOf([&] { exportImage(data, m, (dir / name).string()); }),
                  "No support for export of " + (dir / name).string() + ". ");
        EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
    }
    exportImage(data, m, (dir / "copy.PGM").string());
    EXPECT_EQ(PenvexTest::readFile(dir / "copy.PGM"), std::string("P5\n1\n1\n255\n\x2A", 12));
}

} // namespace
} // namespace ZELK::Migration
