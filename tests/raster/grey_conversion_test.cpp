// Grey conversion: two-colour clustering on pictures of known colours, the single-colour and
// zero-sum weight cases, channel order, and one-channel images from ImageMagick-made NetPBM
// files checked against their reference decodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/buffers.hpp"
#include "core/thread_pool.hpp"
#include "core/vector_width.hpp"
#include "migration/image.hpp"
#include "raster/grey_conversion.hpp"
#include "support/run_binary.hpp"

using namespace ZELK;
using Migration::ImageMetadata;

namespace {

// A 20 x 10 image of one paper colour with a band of a stroke colour, RGB(A) or BGR(A).
struct Picture {
    IncrementalBuffer data;
    ImageMetadata meta;
};

Picture paperAndStroke(const unsigned char* paper, const unsigned char* stroke, bool bgr = false,
                       unsigned channels = 3) {
    Picture p;
    p.meta.width = 20;
    p.meta.height = 10;
    p.meta.channels = channels;
    p.meta.type = Migration::unsigned8();
    p.meta.format = bgr ? ImageMetadata::Format::BGRA : ImageMetadata::Format::RGBA;
    p.data.resize(200 * channels);
    for (unsigned i = 0; i < 200 * channels; ++i) {
        const unsigned c = i % channels, x = i / channels % 20;
        p.data.data()[i] = c == 3 ? 255 : (x >= 8 && x < 11 ? stroke : paper)[bgr ? 2 - c : c];
    }
    return p;
}

std::vector<unsigned char> grey(const Picture& p) {
    Signal<2, unsigned char> out;
    convertColourToGrey(p.data, p.meta, out);
    return std::vector<unsigned char>(out.data(), out.data() + out.count());
}

} // namespace

TEST(GreyConversion, StrokesDarkerThanPaperWhateverTheirHue) {
    const unsigned char yellow[3] = {250, 230, 40}, blue[3] = {30, 40, 200};
    const unsigned char white[3] = {240, 240, 235}, red[3] = {200, 20, 20};
    for (auto [paper, stroke] : {std::pair{yellow, blue}, std::pair{white, red}}) {
        const std::vector<unsigned char> rgb = grey(paperAndStroke(paper, stroke));
        ASSERT_EQ(rgb.size(), 200u);
        EXPECT_GT(int(rgb[0]) - int(rgb[9]), 100) << "paper must be much brighter";
        // BGRA buffers are read through their channel order, and alpha is ignored.
        EXPECT_EQ(grey(paperAndStroke(paper, stroke, true)), rgb);
        EXPECT_EQ(grey(paperAndStroke(paper, stroke, false, 4)), rgb);
    }
}

TEST(GreyConversion, SingleColourUsesItsOwnCentre) {
    // Every pixel (200, 100, 50): codes (6, 3, 1), position (9.5, 6.5, 4.5). The other cluster
    // stays empty at the origin, so the weights are the position over its sum 20.5, and the
    // grey is 200 * 0.4634 + 100 * 0.3171 + 50 * 0.2195 = 135.4.
    const unsigned char colour[3] = {200, 100, 50};
    Picture p = paperAndStroke(colour, colour);
    Signal<2, unsigned char> out;
    const Vector<3, float> w = convertColourToGrey(p.data, p.meta, out);
    EXPECT_EQ(w, (Vector<3, float>(9.5f / 20.5f, 6.5f / 20.5f, 4.5f / 20.5f)));
    EXPECT_EQ(out(3u, 3u), 135);

    // Centres whose difference sums to 0 are not divided by that sum; equal centres weigh
    // every channel alike.
    ColourCluster clusters[2];
    clusters[0].centre = Point<3, float>(4.0f, 5.0f, 6.0f);
    clusters[1].centre = Point<3, float>(6.0f, 4.0f, 5.0f); // D = (2, -1, -1)
    EXPECT_EQ(greyWeights(clusters), (Vector<3, float>(0.5f, -0.25f, -0.25f)));
    clusters[1].centre = clusters[0].centre;
    EXPECT_EQ(greyWeights(clusters), (Vector<3, float>(1.0f / 3, 1.0f / 3, 1.0f / 3)));
}

TEST(GreyConversion, OneChannelImagesFromImageMagick) {
    // 8-bit: a byte copy (buffer line 0 is the picture's bottom line, reference top first).
    // Bitmap: black (1) becomes 0, white 255. 16-bit: the most significant byte.
    for (auto [file, bytes] : {std::pair{"netpbm/grey8.pgm", 1u}, std::pair{"netpbm/bits.pbm", 1u},
                               std::pair{"netpbm/grey16.pgm", 2u}}) {
        SCOPED_TRACE(file);
        IncrementalBuffer data;
        ImageMetadata meta;
        Migration::importImage(data, meta, PenvexTest::dataPath(file).string());
        ASSERT_TRUE(isSingleChannel(meta));
        Signal<2, unsigned char> out;
        copySingleChannel(data, meta, out);
        const std::string raw =
            PenvexTest::readFile(PenvexTest::dataPath(std::string(file) + ".raw"));
        ASSERT_EQ(raw.size(), std::size_t(meta.width) * meta.height * bytes);
        for (unsigned y = 0; y < meta.height; ++y)
            for (unsigned x = 0; x < meta.width; ++x) {
                const std::size_t top = std::size_t(meta.height - 1 - y) * meta.width + x;
                unsigned char expected = static_cast<unsigned char>(raw[top * bytes]);
                if (meta.type.bits == 1)
                    expected = expected == 1 ? 0 : 255;
                ASSERT_EQ(out(x, y), expected) << x << "," << y;
            }
    }
}

TEST(GreyConversion, RefusesWhatItCannotRead) {
    const unsigned char colour[3] = {1, 2, 3};
    const Picture p = paperAndStroke(colour, colour);
    Signal<2, unsigned char> out;
    Picture wide = p; // 16-bit colour is not viewed as 8-bit samples
    wide.meta.type.bits = 16;
    EXPECT_THROW(grey(wide), UnexpectedValueException);
    Picture truncated = p; // a buffer shorter than its metadata claims
    truncated.data.resize(100);
    EXPECT_THROW(grey(truncated), SpaceException<unsigned int>);
    ImageMetadata single;
    single.width = single.height = 100;
    single.channels = 1;
    single.type = Migration::unsigned8();
    EXPECT_THROW(copySingleChannel(p.data, single, out), SpaceException<unsigned int>);
}

TEST(GreyConversion, BandedFastPathEqualsThePlainSumForAnyThreadCount) {
    // Random pictures over several bands of rows: packed RGB (the vectorized path, in each
    // vector width) and RGBA (the general one) against the sum c0 w.x + c1 w.y + c2 w.z written
    // out per pixel.
    std::mt19937 random(16);
    for (auto [threads, vectors] :
         {std::pair{1u, VectorWidth::Bits128}, std::pair{3u, VectorWidth::Bits256},
          std::pair{2u, VectorWidth::Bits512}}) {
        setThreadCount(threads);
        limitVectors(vectors);
        for (auto [width, height] : {std::pair{37u, 5u}, std::pair{301u, 203u}}) {
            Picture rgb, rgba;
            rgb.meta.width = rgba.meta.width = width;
            rgb.meta.height = rgba.meta.height = height;
            rgb.meta.type = rgba.meta.type = Migration::unsigned8();
            rgb.meta.channels = 3;
            rgba.meta.channels = 4;
            rgb.data.resize(width * height * 3);
            rgba.data.resize(width * height * 4);
            for (unsigned i = 0; i < width * height; ++i)
                for (unsigned c = 0; c < 4; ++c) {
                    const auto v = static_cast<unsigned char>(random() % 256);
                    rgba.data.data()[4 * i + c] = v;
                    if (c < 3)
                        rgb.data.data()[3 * i + c] = v;
                }
            Signal<2, unsigned char> out;
            const Vector<3, float> w = convertColourToGrey(rgb.data, rgb.meta, out);
            for (unsigned i = 0; i < width * height; ++i) {
                const unsigned char* p = rgb.data.data() + 3 * i;
                const float v = float(p[0]) * w[0] + float(p[1]) * w[1] + float(p[2]) * w[2];
                ASSERT_EQ(out.data()[i],
                          v > 0 ? static_cast<unsigned char>(std::min(v, 255.0f)) : 0);
            }
            // The same colour counts (so the same weights) and grey from the general path.
            Signal<2, unsigned char> general;
            EXPECT_EQ(convertColourToGrey(rgba.data, rgba.meta, general), w);
            EXPECT_TRUE(std::equal(out.data(), out.data() + out.count(), general.data()));
        }
    }
    setThreadCount(0);
}
