// Image metadata, layouts, the Native format and the choice of importer and exporter.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "migration/image.hpp"
#include "migration/native.hpp"
#include "support/run_binary.hpp"

using namespace ZELK;
using namespace ZELK::Migration;
using PenvexTest::ScratchDir;

namespace {

template <typename F> std::string messageOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.message();
    }
    return "(no exception)";
}

ImageMetadata meta(std::uint32_t w, std::uint32_t h, std::uint32_t channels,
                   std::uint32_t bits = 8) {
    ImageMetadata m;
    m.width = w;
    m.height = h;
    m.channels = channels;
    m.type = {bits, TypeDescriptor::Unsigned, false};
    return m;
}

} // namespace

TEST(ImageMetadata, TypeTextRoundTripsAndStrayWordsAreRefused) {
    EXPECT_EQ(TypeDescriptor::parse("8-bit unsigned little endian"), unsigned8());
    EXPECT_EQ(TypeDescriptor::parse("16-bit two complement big endian").text(),
              "16-bit two complement big endian");
    EXPECT_EQ((TypeDescriptor{32, 9, false}).text(), "32-bit custom little endian");
    EXPECT_EQ(messageOf([] { TypeDescriptor::parse("8-bit unsigned small endian"); }),
              "String \"small endian\" could not be parsed into \"big endian | small endian\". ");
    EXPECT_EQ(messageOf([] { TypeDescriptor::parse("8-bit signed little endian"); }),
              "String \"signed little endian\" could not be parsed into \"unsigned | two "
              "complement | floating point | fixed point | boolean\". ");
}

TEST(ImageMetadata, TypedKeysAndTheFreeMap) {
    ImageMetadata m;
    m.set("Width", "640px");
    m.set("Format", "BGRA");
    m.set("Comment", "hello");
    EXPECT_EQ(m.width, 640u);
    EXPECT_EQ(m.get("Width"), "640");
    EXPECT_EQ(m.get("Format"), "BGRA");
    EXPECT_EQ(m.get("Type"), "0-bit unsigned little endian");
    EXPECT_TRUE(m.has("Comment"));
    EXPECT_FALSE(m.has("Other"));
    EXPECT_EQ(messageOf([&] { m.get("Other"); }), "Could not find Other in metadata. ");
    EXPECT_EQ(messageOf([&] { m.set("Format", "CMYK"); }),
              "String \"CMYK\" could not be parsed into \"INTENSITY | RGBA | BGRA\". ");
    EXPECT_EQ(messageOf([&] { m.set("Height", "tall"); }),
              "Failed to convert \"tall\" to unsigned int.");
    auto pairs = m.enumerate();
    ASSERT_EQ(pairs.size(), 8u);
    EXPECT_EQ(pairs.front().first, "Channels"); // ordered by key
    EXPECT_EQ(pairs.back().first, "Width");
    EXPECT_EQ(messageOf([] { ImageMetadata::formatText(static_cast<ImageMetadata::Format>(7)); }),
              "7 is not image format descriptor. ");
}

TEST(ImageLayout, AlignmentAndChannelOrder) {
    ImageMetadata bgra = meta(5, 2, 4);
    bgra.format = ImageMetadata::Format::BGRA;
    ImageLayout l(bgra);
    EXPECT_EQ(l.channelOrder, (std::vector<std::uint32_t>{2, 1, 0, 3}));
    EXPECT_EQ(l.bytesPerLine, 20u);

    ImageMetadata padded = meta(3, 1, 3);
    padded.pixelAlignment = 32;
    padded.lineAlignment = 64;
    ImageLayout p(padded);
    EXPECT_EQ(p.bytesPerPixel, 4u);
    EXPECT_EQ(p.bytesPerLine, 16u); // 12 bytes rounded up to 8-byte lines

    ImageMetadata odd = meta(3, 1, 1);
    odd.pixelAlignment = 12;
    EXPECT_EQ(messageOf([&] { ImageLayout bad(odd); }), "No support for non-byte-aligned pixels. ");
    // Sizes that cannot fit a buffer are refused instead of wrapping.
    EXPECT_NE(messageOf([] { ImageLayout huge(meta(0xFFFFFFFF, 2, 4, 16)); }), "(no exception)");
}

TEST(NativeFormat, WrittenFilesReadBackAndScore) {
    ImageMetadata m = meta(2, 1, 3);
    m.format = ImageMetadata::Format::RGBA;
    m.set("Note", std::string("a\0b", 3));
    IncrementalBuffer data;
    const std::uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
    data.assign(bytes, 6);
    IncrementalBuffer file;
    BufferStream out(file);
    NativeExporter exporter;
    exporter.attach(out);
    exporter.exportData(data, m);
    const std::string text(reinterpret_cast<const char*>(file.data()), file.size());
    EXPECT_EQ(text.rfind("\"Channels\"=\"3\"\r\n\"Format\"=\"RGBA\"\r\n\"Height\"=\"1\"\r\n"
                         "\"Line alignment\"=\"0\"\r\n\"Note\"=\"a\\0b\"\r\n",
                         0),
              0u);

    ConstBufferStream scoreIn(file);
    EXPECT_GT(nativeScore(scoreIn), 0.0f);
    ConstBufferStream in(file);
    NativeImporter importer;
    importer.attach(in);
    IncrementalBuffer back;
    ImageMetadata backMeta;
    importer.importData(back, backMeta);
    EXPECT_EQ(backMeta.width, 2u);
    EXPECT_EQ(backMeta.format, ImageMetadata::Format::RGBA);
    EXPECT_EQ(backMeta.get("Note"), std::string("a\0b", 3));
    ASSERT_EQ(back.size(), 6u);
    EXPECT_EQ(back.data()[5], 6);
}

TEST(NativeFormat, ContentScoreRejectsOtherFormatsAndLengthsAreChecked) {
    const std::string others[] = {
        std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
        std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10),
        std::string("P5\n2 2\n255\n\0\"=\"\"\"", 16),
        std::string("plain text without a zero byte"),
        std::string("\"a\"=\"b\"\r\n", 9), // no terminating zero byte
    };
    for (const std::string& bytes : others) {
        ConstBufferStream in(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                             static_cast<std::uint32_t>(bytes.size()));
        EXPECT_EQ(nativeScore(in), 0.0f) << bytes;
    }
    // A stored length beyond the file fails as a short read, before allocating it.
    std::string hostile("\"Width\"=\"1\"\r\n\0\xFF\xFF\xFF\x7F", 18);
    ConstBufferStream in(reinterpret_cast<const std::uint8_t*>(hostile.data()), 18);
    NativeImporter importer;
    importer.attach(in);
    IncrementalBuffer data;
    ImageMetadata m;
    EXPECT_EQ(messageOf([&] { importer.importData(data, m); }),
              "Failed to read from input stream. ");
    EXPECT_EQ(data.capacity(), 0u);
}

TEST(ImageDispatch, ImporterAndExporterChoice) {
    ScratchDir dir;
    IncrementalBuffer data;
    ImageMetadata m;
    // Missing file: the stream wrapper fails before any importer is chosen.
    EXPECT_EQ(messageOf([&] { importImage(data, m, (dir / "none.png").string()); }),
              "Wrapping bad input stream. ");
    // Unknown content under an unknown extension.
    PenvexTest::writeFile(dir / "x.dat", "hello, this is not an image");
    EXPECT_EQ(messageOf([&] { importImage(data, m, (dir / "x.dat").string()); }),
              "No support for import of " + (dir / "x.dat").string() + ". ");
    // Fewer than 8 bytes fail in the PNG signature test.
    PenvexTest::writeFile(dir / "short.dat", "abc");
    EXPECT_EQ(messageOf([&] { importImage(data, m, (dir / "short.dat").string()); }),
              "Failed to read from input stream. ");
    // A NetPBM file is found by extension whatever its letter case.
    PenvexTest::writeFile(dir / "g.PGM", std::string("P5\n1 1\n255\n\x2A", 12));
    importImage(data, m, (dir / "g.PGM").string());
    EXPECT_EQ(data.data()[0], 42);
    // A Native file under .dat is found by content.
    {
        std::ofstream file(dir / "n.dat", std::ios::binary);
        CppOutStream out(file);
        NativeExporter exporter;
        exporter.attach(out);
        exporter.exportData(data, m);
    }
    IncrementalBuffer native;
    ImageMetadata nativeMeta;
    importImage(native, nativeMeta, (dir / "n.dat").string());
    EXPECT_EQ(nativeMeta.width, 1u);
    EXPECT_EQ(native.data()[0], 42);

    // A PNG file under an unknown extension is found by its signature and decodes as it does
    // under its own name.
    std::filesystem::copy_file(PenvexTest::dataPath("png/rgb8.png"), dir / "p.dat");
    IncrementalBuffer byContent, byName;
    ImageMetadata contentMeta, nameMeta;
    importImage(byContent, contentMeta, (dir / "p.dat").string());
    importImage(byName, nameMeta, PenvexTest::dataPath("png/rgb8.png").string());
    EXPECT_EQ(contentMeta.width, nameMeta.width);
    ASSERT_EQ(byContent.size(), byName.size());
    EXPECT_EQ(0, std::memcmp(byContent.data(), byName.data(), byName.size()));

    // Exporters by extension; an unsupported one leaves no file behind.
    for (const char* name : {"out.jpg", "noextension", "out.dat"}) {
        EXPECT_EQ(messageOf([&] { exportImage(data, m, (dir / name).string()); }),
                  "No support for export of " + (dir / name).string() + ". ");
        EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
    }
    exportImage(data, m, (dir / "copy.PGM").string());
    EXPECT_EQ(PenvexTest::readFile(dir / "copy.PGM"), std::string("P5\n1\n1\n255\n\x2A", 12));
    EXPECT_EQ(fileExtension("a.b/c"), "b/c");
    EXPECT_EQ(fileExtension("archive.TAR.GZ"), "gz");
}
