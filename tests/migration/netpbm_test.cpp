// NetPBM import and export against files written by ImageMagick and decoded by Pillow, and the
// refusals with their messages.
#include <gtest/gtest.h>

#include <sstream>

#include "codec_support.hpp"
#include "migration/netpbm.hpp"

namespace ZELK::Migration {
namespace {

using namespace Testing;

struct Image {
    IncrementalBuffer buffer;
    ImageMetadata meta;
};

Image importBytes(const std::string& bytes) {
    std::istringstream in(bytes);
    CppInStream stream(in);
    NetPBMImporter importer;
    importer.attach(stream);
    Image image;
    importer.importData(image.buffer, image.meta);
    return image;
}

std::string exportBytes(const Image& image) {
    std::ostringstream out;
    CppOutStream stream(out);
    NetPBMExporter exporter;
    exporter.attach(stream);
    exporter.exportData(image.buffer, image.meta);
    return out.str();
}

TEST(NetPBM, DecodesFilesOfARealEncoderAndWritesThemBackByteForByte) {
    using F = ImageMetadata::Format;
    const std::tuple<const char*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, F>
        cases[] = {{"grey8.pgm", 7, 5, 1, 8, F::INTENSITY},
                   {"grey16.pgm", 5, 3, 1, 16, F::INTENSITY},
                   {"rgb8.ppm", 6, 4, 3, 8, F::RGBA},
                   {"rgb16.ppm", 3, 2, 3, 16, F::RGBA},
                   {"bits.pbm", 13, 3, 1, 1, F::INTENSITY}};
    for (auto [name, width, height, channels, bits, format] : cases) {
        SCOPED_TRACE(name);
        Image image =
            importBytes(PenvexTest::readFile(PenvexTest::dataPath(std::string("netpbm/") + name)));
        EXPECT_EQ(std::tuple(image.meta.width, image.meta.height, image.meta.channels,
                             image.meta.type, image.meta.format),
                  std::tuple(width, height, channels,
                             TypeDescriptor{bits, TypeDescriptor::Unsigned, false}, format));
        // The reference holds one byte per bitmap pixel, 1 for black.
        EXPECT_EQ(topDown(image.buffer, height),
                  fixtureBytes(std::string("netpbm/") + name + ".raw"));

        // Written again: the encoder's samples behind our own header, one field a line.
        const std::string original =
            PenvexTest::readFile(PenvexTest::dataPath(std::string("netpbm/") + name));
        const std::size_t samples = bits == 1 ? (width + 7) / 8 * height
                                              : std::size_t(width) * height * channels * bits / 8;
        EXPECT_EQ(exportBytes(image), std::string("P") + original[1] + "\n" +
                                          std::to_string(width) + "\n" + std::to_string(height) +
                                          (bits == 1   ? "\n"
                                           : bits == 8 ? "\n255\n"
                                                       : "\n65535\n") +
                                          original.substr(original.size() - samples));
    }
}

TEST(NetPBM, HeaderLinesSkipCommentsAndKeepDeepSamplesAsStored) {
    Image image =
        importBytes(std::string("P5 # a comment\r\n# only a comment\n\n3 2\n255\n\1\2\3\4\5\6"));
    EXPECT_EQ(bytesOf(image.buffer), Bytes({4, 5, 6, 1, 2, 3}));
    // A maximum value above 255 gives 16-bit samples kept as stored, not rescaled.
    Image deep = importBytes(std::string("P5\n1 1\n1023\n\x03\xFF", 14));
    EXPECT_EQ(deep.meta.type.bits, 16u);
    EXPECT_EQ(bytesOf(deep.buffer), Bytes({0x03, 0xFF}));
    // No pixels at all, however many empty rows the header claims: read at once.
    EXPECT_EQ(importBytes("P4\n0 4294967295\n").buffer.size(), 0u);
    EXPECT_EQ(exportBytes(importBytes("P6\n0\n2440024400\n255\n")), "P6\n0\n2440024400\n255\n");
}

TEST(NetPBM, RefusalsCarryTheirMessages) {
    for (auto [file, message] :
         {std::pair{"P3\n1 1\n255\n0 0 0\n", "No support for plain ASCII. "},
          {"P7\nWIDTH 1\n", "No support for NetPBM PAM. "},
          {"P9\n", "No support for PGM type P9. "},
          {"X5\n", "NetPBM : Data is not recognized as NetPBM, leading line: X5"},
          {"Pq\n", "Failed to convert \"q\" to unsigned int."},
          // Stream extraction would wrap a negative number to a huge unsigned one.
          {"P4\n0 -25\n", "NetPBM : Could not parse width and height from: 0 -25"},
          // Width and height on lines of their own (as our writer puts them) hold nothing else.
          {"P5\n3\n2 x\n255\n", "NetPBM : Could not parse width and height from: 2 x"},
          {"P5\n1 1\n -1\n", "NetPBM : Could not parse maximum value from:  -1"},
          // A hostile header claiming gigapixels must fail on the short read, not allocate.
          {"P6\n4000000000 4000000000\n255\nxyz",
           "No support for NetPBM images above 268435456 pixels. "},
          {"P6\n16384 16384\n255\nxyz", "Failed to read from input stream. "},
          // Even an empty image must have a line length that fits the image layout.
          {"P6\n4294967295 0\n255\n", "Value (12884901885) out of bound (4294967295). "}})
        EXPECT_EQ(messageOf([&] { importBytes(file); }), message) << file;

    // Blue, green, red in memory are written as red, green, blue.
    Image bgr;
    bgr.meta = imageMeta(1, 1, 3, 8, ImageMetadata::Format::BGRA);
    bgr.buffer.assign(reinterpret_cast<const std::uint8_t*>("\x0A\x14\x1E"), 3);
    EXPECT_EQ(exportBytes(bgr), std::string("P6\n1\n1\n255\n\x1E\x14\x0A", 14));
    Image two = bgr, wide = bgr;
    two.meta.channels = 2;
    wide.meta.type.bits = 32;
    EXPECT_EQ(messageOf([&] { exportBytes(two); }), "No support for NetPBM PAM. ");
    EXPECT_EQ(messageOf([&] { exportBytes(wide); }),
              "NetPBM : NetPBM does not allow more than 16 bits per pixel component. ");
    NetPBMImporter importer;
    EXPECT_EQ(messageOf([&] { importer.readData(bgr.buffer); }),
              "Meta data not provided before attempting to read data. ");
    EXPECT_EQ(messageOf([&] { importer.readMeta(bgr.meta); }),
              "Migrator was not associated with a stream. ");
}

} // namespace
} // namespace ZELK::Migration
