// NetPBM import and export against files written by ImageMagick and decoded by Pillow.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "migration/image.hpp"
#include "migration/netpbm.hpp"
#include "support/run_binary.hpp"

using namespace ZELK;
using namespace ZELK::Migration;
using PenvexTest::dataPath;
using PenvexTest::readFile;
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

// Buffer rows flipped to the file's top-first order, as the reference decode stores them.
std::string topFirst(const Image& image, std::uint32_t rowBytes) {
    std::string out;
    for (std::uint32_t y = image.meta.height; y-- > 0;)
        out.append(reinterpret_cast<const char*>(image.buffer.data()) + y * rowBytes, rowBytes);
    return out;
}

} // namespace

TEST(NetPBM, DecodesFilesFromARealEncoderAsTheReferenceDecoderDoes) {
    struct Case {
        const char* name;
        std::uint32_t width, height, channels, bits;
        ImageMetadata::Format format;
    };
    const Case cases[] = {
        {"grey8.pgm", 7, 5, 1, 8, ImageMetadata::Format::INTENSITY},
        {"grey16.pgm", 5, 3, 1, 16, ImageMetadata::Format::INTENSITY},
        {"rgb8.ppm", 6, 4, 3, 8, ImageMetadata::Format::RGBA},
        {"rgb16.ppm", 3, 2, 3, 16, ImageMetadata::Format::RGBA},
        {"bits.pbm", 13, 3, 1, 1, ImageMetadata::Format::INTENSITY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image image;
        importImage(image.buffer, image.meta, dataPath(std::string("netpbm/") + c.name));
        EXPECT_EQ(image.meta.width, c.width);
        EXPECT_EQ(image.meta.height, c.height);
        EXPECT_EQ(image.meta.channels, c.channels);
        EXPECT_EQ(image.meta.type, (TypeDescriptor{c.bits, TypeDescriptor::Unsigned, false}));
        EXPECT_EQ(image.meta.format, c.format);
        const std::uint32_t rowBytes = c.bits == 1 ? c.width : c.width * c.channels * c.bits / 8;
        EXPECT_EQ(topFirst(image, rowBytes),
                  readFile(dataPath(std::string("netpbm/") + c.name + ".raw")));
    }
}

TEST(NetPBM, WrittenFilesReadBackAndWriteAgainByteForByte) {
    for (const char* name : {"grey8.pgm", "grey16.pgm", "rgb8.ppm", "rgb16.ppm", "bits.pbm"}) {
        SCOPED_TRACE(name);
        const std::string original = readFile(dataPath(std::string("netpbm/") + name));
        Image image = importBytes(original);
        const std::string written = exportBytes(image);
        // Same samples as the encoder wrote, behind our own four-line header.
        std::ostringstream header;
        header << 'P' << original[1] << '\n'
               << image.meta.width << '\n'
               << image.meta.height << '\n';
        ASSERT_EQ(written.rfind(header.str(), 0), 0u);
        const ImageMetadata& m = image.meta;
        const std::size_t samples =
            m.type.bits == 1 ? (m.width + 7) / 8 * m.height
                             : std::size_t(m.width) * m.height * m.channels * (m.type.bits / 8);
        EXPECT_EQ(written.substr(written.size() - samples),
                  original.substr(original.size() - samples));
        EXPECT_EQ(exportBytes(importBytes(written)), written);
    }
    // An image without pixels writes its header alone, however many empty rows it has.
    const Image empty = importBytes("P6\n0\n2440024400\n255\n");
    EXPECT_EQ(exportBytes(empty), "P6\n0\n2440024400\n255\n");
}

TEST(NetPBM, HeaderLinesSkipCommentsAndBlankLines) {
    std::string file = "P5 # a comment\r\n# only a comment\n\n3 2\n255\n";
    file += std::string("\x01\x02\x03\x04\x05\x06", 6);
    Image image = importBytes(file);
    EXPECT_EQ(image.meta.width, 3u);
    EXPECT_EQ(image.meta.height, 2u);
    EXPECT_EQ(image.buffer.data()[0], 4); // the first file row is the last buffer line
    EXPECT_EQ(image.buffer.data()[5], 3);

    // A maximum value above 255 gives 16-bit samples kept as stored, not rescaled.
    Image deep = importBytes(std::string("P5\n1 1\n1023\n\x03\xFF", 14));
    EXPECT_EQ(deep.meta.type.bits, 16u);
    EXPECT_EQ(deep.buffer.data()[0], 0x03);
    EXPECT_EQ(deep.buffer.data()[1], 0xFF);
}

TEST(NetPBM, RefusalsCarryTheirMessages) {
    EXPECT_EQ(messageOf([] { importBytes("P3\n1 1\n255\n0 0 0\n"); }),
              "No support for plain ASCII. ");
    EXPECT_EQ(messageOf([] { importBytes("P7\nWIDTH 1\n"); }), "No support for NetPBM PAM. ");
    EXPECT_EQ(messageOf([] { importBytes("P9\n"); }), "No support for PGM type P9. ");
    EXPECT_EQ(messageOf([] { importBytes("X5\n"); }),
              "NetPBM : Data is not recognized as NetPBM, leading line: X5");
    EXPECT_EQ(messageOf([] { importBytes("Pq\n"); }), "Failed to convert \"q\" to unsigned int.");
    EXPECT_EQ(messageOf([] { importBytes("P5\nwide\n"); }),
              "NetPBM : Could not parse width and height from: wide");
    EXPECT_EQ(messageOf([] { importBytes("P6\n2 2\nmax\n"); }),
              "NetPBM : Could not parse maximum value from: max");
    // Stream extraction would wrap a negative number to a huge unsigned one.
    EXPECT_EQ(messageOf([] { importBytes("P4\n0 -25\n"); }),
              "NetPBM : Could not parse width and height from: 0 -25");
    EXPECT_EQ(messageOf([] { importBytes("P5\n-3\n2\n255\n"); }),
              "NetPBM : Could not parse width and height from: -3");
    // Width and height on lines of their own (as our writer puts them) hold nothing else.
    EXPECT_EQ(messageOf([] { importBytes("P5\n3\n2 x\n255\n"); }),
              "NetPBM : Could not parse width and height from: 2 x");
    EXPECT_EQ(messageOf([] { importBytes("P5\n1 1\n -1\n"); }),
              "NetPBM : Could not parse maximum value from:  -1");
    // Everything on the first line: the next "header line" is sample data.
    EXPECT_NE(messageOf([] { importBytes(std::string("P5 2 1 255\n\xC8\x10", 13)); }),
              "(no exception)");
}

TEST(NetPBM, ShortFilesFailWithTheReadErrorBeforeAllocating) {
    EXPECT_EQ(messageOf([] { importBytes("P5\n4 4\n255\nabc"); }),
              "Failed to read from input stream. ");
    // A hostile header claiming gigapixels must not allocate them.
    EXPECT_EQ(messageOf([] { importBytes("P6\n4000000000 4000000000\n255\nxyz"); }),
              "Failed to read from input stream. ");
    EXPECT_EQ(messageOf([] { importBytes("P4\n65536 65536\nxyz"); }),
              "Failed to read from input stream. ");
    // No pixels at all, however many empty rows the header claims: read at once, nothing
    // consumed.
    for (const char* header :
         {"P4\n0 4294967295\n", "P5\n0 4294967295\n255\n", "P6\n1000000000 0\n255\n"}) {
        EXPECT_EQ(messageOf([&] { EXPECT_EQ(importBytes(header).buffer.size(), 0u); }),
                  "(no exception)")
            << header;
    }
    // Even an empty image must have a line length that fits the image layout.
    EXPECT_EQ(messageOf([] { importBytes("P6\n4294967295 0\n255\n"); }),
              "Value (12884901885) out of bound (4294967295). ");
}

TEST(NetPBM, ExportRules) {
    Image bgr;
    bgr.meta.width = 1;
    bgr.meta.height = 1;
    bgr.meta.channels = 3;
    bgr.meta.type = unsigned8();
    bgr.meta.format = ImageMetadata::Format::BGRA;
    const std::uint8_t pixel[3] = {10, 20, 30}; // blue, green, red in memory
    bgr.buffer.assign(pixel, 3);
    EXPECT_EQ(exportBytes(bgr), std::string("P6\n1\n1\n255\n\x1E\x14\x0A", 14));

    Image two = bgr;
    two.meta.channels = 2;
    EXPECT_EQ(messageOf([&] { exportBytes(two); }), "No support for NetPBM PAM. ");
    Image wide = bgr;
    wide.meta.type.bits = 32;
    EXPECT_EQ(messageOf([&] { exportBytes(wide); }),
              "NetPBM : NetPBM does not allow more than 16 bits per pixel component. ");

    NetPBMImporter importer;
    Image unused;
    EXPECT_EQ(messageOf([&] { importer.readData(unused.buffer); }),
              "Meta data not provided before attempting to read data. ");
    EXPECT_EQ(messageOf([&] { importer.readMeta(unused.meta); }),
              "Migrator was not associated with a stream. ");
}
