// JPEG decoding of files made by cjpeg/jpegtran, checked against djpeg's float decode.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "jpeg_test_support.hpp"
#include "migration/image.hpp"
#include "support/run_binary.hpp"

using namespace ZELK;
using namespace ZELK::Migration;
using namespace JPEGTest;
using PenvexTest::dataPath;
using PenvexTest::readFile;

namespace {

std::string fixture(const std::string& name) {
    return readFile(dataPath("jpeg/" + name));
}

Samples decodeFixture(const std::string& name) {
    return topFirst(decodeBytes(fixture(name)));
}

// Our decode of NAME.jpg against djpeg's NAME.pgm / NAME.ppm.
Difference againstReference(const std::string& name, std::uint32_t channels) {
    const std::string reference = name + (channels == 1 ? ".pgm" : ".ppm");
    return compare(decodeFixture(name + ".jpg"), readPNM(dataPath("jpeg/" + reference)));
}

} // namespace

TEST(JPEGDecode, GreyAndFullChromaFilesMatchDjpegWithinOneOrTwoLevels) {
    // Grey samples differ from djpeg's float decode by the rounding of the inverse DCT only;
    // colour adds the truncating YCbCr conversion, at most one more level.
    for (const char* name : {"rose_grey", "size_7x13_grey", "photo_progressive_grey"}) {
        const Difference d = againstReference(name, 1);
        EXPECT_LE(d.max, 1) << name;
        EXPECT_LT(d.mean, 0.01) << name;
    }
    for (const char* name : {"rose_444", "photo_444", "quality_100_444", "rose_progressive_444"}) {
        const Difference d = againstReference(name, 3);
        EXPECT_LE(d.max, 2) << name;
        EXPECT_LT(d.mean, 0.6) << name;
    }
}

TEST(JPEGDecode, SubsampledFilesStayWithinTheMeasuredDistanceFromDjpeg) {
    // Our chroma is resampled bilinearly with the plane's corners on the image's corners,
    // djpeg's with centred siting, so strong chroma edges differ by design; the bounds are the
    // figures measured when the fixtures were made (tests/data/README.md).
    struct Case {
        const char* name;
        int max;
        double mean;
    };
    const Case cases[] = {
        {"rose_420", 23, 1.97},       {"rose_422", 25, 1.45},
        {"rose_411", 97, 4.11},       {"size_1x1", 0, 0.0},
        {"size_7x13", 35, 7.94},      {"size_33x65_420", 40, 3.68},
        {"size_33x65_422", 33, 3.35}, {"quality_5", 15, 1.06},
        {"photo_420", 3, 0.40},       {"photo_scans", 3, 0.40},
        {"restart_row", 23, 1.97},    {"restart_3blocks", 23, 1.97},
        {"optimized", 23, 1.97},      {"size_33x65_progressive", 40, 3.68},
    };
    for (const Case& c : cases) {
        const Difference d = againstReference(c.name, 3);
        EXPECT_LE(d.max, c.max) << c.name;
        EXPECT_LE(d.mean, c.mean) << c.name;
    }
}

TEST(JPEGDecode, FilesWithTheSameCoefficientsDecodeToTheSamePixels) {
    // jpegtran's progressive twin, cjpeg's own progressive and custom scan scripts, restart
    // intervals and optimized Huffman tables all carry the coefficients of the plain file.
    const Samples baseline = decodeFixture("photo_420.jpg");
    EXPECT_EQ(decodeFixture("photo_420_twin.jpg").bytes, baseline.bytes);
    EXPECT_EQ(decodeFixture("photo_scans.jpg").bytes, baseline.bytes);
    const Samples rose = decodeFixture("rose_420.jpg");
    for (const char* name : {"restart_row.jpg", "restart_3blocks.jpg", "optimized.jpg"})
        EXPECT_EQ(decodeFixture(name).bytes, rose.bytes) << name;
    EXPECT_EQ(decodeFixture("rose_progressive_444.jpg").bytes, decodeFixture("rose_444.jpg").bytes);
    EXPECT_EQ(decodeFixture("size_33x65_progressive.jpg").bytes,
              decodeFixture("size_33x65_420.jpg").bytes);
}

TEST(JPEGDecode, MetadataDescribesABottomUpGreyOrRGBBuffer) {
    const Decoded grey = decodeBytes(fixture("size_7x13_grey.jpg"));
    EXPECT_EQ(grey.meta.width, 7u);
    EXPECT_EQ(grey.meta.height, 13u);
    EXPECT_EQ(grey.meta.channels, 1u);
    EXPECT_EQ(grey.meta.type.text(), "8-bit unsigned little endian");
    EXPECT_EQ(grey.meta.format, ImageMetadata::Format::INTENSITY);
    EXPECT_EQ(grey.meta.pixelAlignment, 0u);
    EXPECT_EQ(grey.meta.lineAlignment, 0u);
    EXPECT_EQ(grey.buffer.size(), 7u * 13u);
    // The file's first row is the buffer's last line.
    const Samples reference = readPNM(dataPath("jpeg/size_7x13_grey.pgm"));
    for (std::uint32_t x = 0; x < 7; ++x)
        EXPECT_NEAR(grey.buffer.data()[12 * 7 + x], reference.bytes[x], 1);

    const Decoded colour = decodeBytes(fixture("size_33x65_420.jpg"));
    EXPECT_EQ(colour.meta.channels, 3u);
    EXPECT_EQ(colour.meta.format, ImageMetadata::Format::RGBA);
    EXPECT_EQ(colour.buffer.size(), 33u * 65u * 3u);
}

TEST(JPEGDecode, BytesBeforeTheFirstMarkerAreSkipped) {
    const std::string file = fixture("rose_grey.jpg");
    EXPECT_EQ(topFirst(decodeBytes(std::string("junk\xFF\x00\xFF", 7) + file)).bytes,
              topFirst(decodeBytes(file)).bytes);
}

TEST(JPEGDecode, ImportImageFindsJPEGByExtensionAndByContent) {
    PenvexTest::ScratchDir dir;
    const std::string file = fixture("rose_420.jpg");
    PenvexTest::writeFile(dir / "rose.JPG", file);
    PenvexTest::writeFile(dir / "rose.dat", file);
    const Samples expected = topFirst(decodeBytes(file));
    for (const char* name : {"rose.JPG", "rose.dat"}) {
        Decoded image;
        importImage(image.buffer, image.meta, (dir / name).string());
        EXPECT_EQ(topFirst(image).bytes, expected.bytes) << name;
    }
}

TEST(JPEGDecode, SamplePhotographsMatchDjpeg) {
    // The project's sample photographs (up to 12 megapixels, 4:2:0) against djpeg run now.
    const char* configured = std::getenv("PENVEX_SAMPLES");
    const std::filesystem::path samples = configured ? configured : "/work/shared/samples";
    if (!std::filesystem::exists(samples / "large-sheet-on-desk.jpg"))
        GTEST_SKIP() << "sample photographs not found in " << samples;
    PenvexTest::ScratchDir dir;
    for (const char* name : {"whiteboard.jpg", "sheet-on-desk.jpg", "large-sheet-on-desk.jpg"}) {
        const std::filesystem::path reference = dir / "reference.ppm";
        const std::string command = "djpeg -dct float -pnm -outfile '" + reference.string() +
                                    "' '" + (samples / name).string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        Decoded image;
        importImage(image.buffer, image.meta, (samples / name).string());
        const Difference d = compare(topFirst(image), readPNM(reference.string()));
        // Measured: max 15 / 4 / 10, mean 0.55 / 0.67 / 0.47; our colour conversion truncates
        // where djpeg rounds, which alone accounts for a mean near 0.5.
        EXPECT_LE(d.max, 16) << name;
        EXPECT_LT(d.mean, 0.75) << name;
    }
}
