// Exif orientation: one picture stored in all eight orientations by jpegtran and exiftool loads
// upright, and damaged Exif blocks are ignored.
#include <gtest/gtest.h>

#include <cstdlib>

#include "codec_support.hpp"
#include "migration/orientation.hpp"

namespace ZELK::Migration {
namespace {

using namespace Testing;

TEST(Orientation, AllEightStoredFormsLoadAsTheSameUprightPicture) {
    Bytes upright;
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE(n);
        IncrementalBuffer data;
        ImageMetadata meta;
        importImage(data, meta,
                    PenvexTest::dataPath("orientation/orient-" + std::to_string(n) + ".jpg"));
        ASSERT_EQ(std::tuple(meta.width, meta.height, meta.channels), std::tuple(32u, 24u, 3u));
        const Bytes pixels = topDown(data, 24);
        if (n == 1) {
            upright = pixels;
            // The dark block sits at the top left: row 5, column 5 is dark, row 18 is not.
            EXPECT_LT(upright[(5 * 32 + 5) * 3], 64);
            EXPECT_GT(upright[(18 * 32 + 5) * 3], 192);
            continue;
        }
        // The lossless transforms keep every DCT coefficient; the inverse DCT of a transposed
        // block may round a sample the other way.
        int worst = 0;
        for (std::size_t i = 0; i < pixels.size(); ++i)
            worst = std::max(worst, std::abs(int(pixels[i]) - int(upright[i])));
        EXPECT_LE(worst, 1);
    }
}

// An Exif payload whose first directory holds one entry: tag, type, count, value.
Bytes exif(bool big, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
           std::uint16_t value, std::uint32_t directory = 8) {
    Bytes out;
    for (char c : std::string("Exif\0\0", 6))
        out.push_back(std::uint8_t(c));
    auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(std::uint8_t(v >> 8 * (big ? bytes - 1 - i : i)));
    };
    put(big ? 0x4D4D : 0x4949, 2);
    put(42, 2);
    put(directory, 4);
    put(1, 2);
    put(tag, 2);
    put(type, 2);
    put(count, 4);
    put(value, 2);
    put(0, 2);
    return out;
}

TEST(Orientation, DamagedExifCountsAsUpright) {
    Bytes cut = exif(true, 0x112, 3, 1, 6);
    cut.resize(cut.size() - 3);
    Bytes xmp = exif(false, 0x112, 3, 1, 6);
    xmp[0] = 'X';
    const std::pair<Bytes, unsigned> cases[] = {{exif(false, 0x112, 3, 1, 6), 6},
                                                {exif(true, 0x112, 3, 1, 8), 8},
                                                {exif(true, 0x110, 3, 1, 6), 1},
                                                {exif(true, 0x112, 4, 1, 6), 1},
                                                {exif(true, 0x112, 3, 2, 6), 1},
                                                {exif(true, 0x112, 3, 1, 9), 1},
                                                {exif(true, 0x112, 3, 1, 0), 1},
                                                {exif(true, 0x112, 3, 1, 6, 0xFFFFFFF0u), 1},
                                                {cut, 1},
                                                {xmp, 1}};
    for (const auto& [payload, expected] : cases)
        EXPECT_EQ(exifOrientation(payload.data(), payload.size()), expected);
}

} // namespace
} // namespace ZELK::Migration
