// Grey conversion: two-colour clustering on pictures of known colours, the single-colour and
// zero-sum weight cases, channel order, and one-channel images from ImageMagick-made NetPBM
// files checked against their reference decodes.
#include <gtest/gtest.h>

#include <cmath>

#include "core/buffers.hpp"
#include "migration/image.hpp"
#include "raster/grey_conversion.hpp"
#include "support/run_binary.hpp"

using namespace ZELK;
using Migration::ImageMetadata;

namespace {

// An RGB (or BGR) image of one paper colour with a band of a stroke colour.
struct Picture {
    IncrementalBuffer data;
    ImageMetadata meta;
};

Picture paperAndStroke(const unsigned char paper[3], const unsigned char stroke[3], bool bgr,
                       unsigned channels = 3) {
    Picture p;
    p.meta.width = 20;
    p.meta.height = 10;
    p.meta.channels = channels;
    p.meta.type = Migration::unsigned8();
    p.meta.format = bgr ? ImageMetadata::Format::BGRA : ImageMetadata::Format::RGBA;
    p.data.resize(20 * 10 * channels);
    for (unsigned y = 0; y < 10; ++y)
        for (unsigned x = 0; x < 20; ++x) {
            const unsigned char* colour = (x >= 8 && x < 11) ? stroke : paper;
            std::uint8_t* pixel = p.data.data() + (y * 20 + x) * channels;
            for (unsigned c = 0; c < 3; ++c)
                pixel[bgr ? 2 - c : c] = colour[c];
            if (channels == 4)
                pixel[3] = 255;
        }
    return p;
}

std::string readAll(const std::string& fixture) {
    return PenvexTest::readFile(PenvexTest::dataPath(fixture));
}

} // namespace

TEST(GreyConversion, StrokesDarkerThanPaperWhateverTheirHue) {
    const unsigned char yellow[3] = {250, 230, 40}, blue[3] = {30, 40, 200};
    const unsigned char white[3] = {240, 240, 235}, red[3] = {200, 20, 20};
    const std::pair<const unsigned char*, const unsigned char*> cases[] = {{yellow, blue},
                                                                           {white, red}};
    for (auto [paper, stroke] : cases) {
        Picture p = paperAndStroke(paper, stroke, false);
        Signal<2, unsigned char> grey;
        convertColourToGrey(p.data, p.meta, grey);
        ASSERT_EQ(grey.sizes(), (Tuple<2, unsigned>(20u, 10u)));
        EXPECT_GT(int(grey(0u, 0u)) - int(grey(9u, 5u)), 100) << "paper must be much brighter";
        // BGRA buffers are read through their channel order: the same grey.
        Picture swapped = paperAndStroke(paper, stroke, true);
        Signal<2, unsigned char> again;
        convertColourToGrey(swapped.data, swapped.meta, again);
        EXPECT_TRUE(std::equal(grey.data(), grey.data() + grey.count(), again.data()));
        // A fourth channel (alpha) is ignored.
        Picture alpha = paperAndStroke(paper, stroke, false, 4);
        convertColourToGrey(alpha.data, alpha.meta, again);
        EXPECT_TRUE(std::equal(grey.data(), grey.data() + grey.count(), again.data()));
    }
}

TEST(GreyConversion, SingleColourUsesItsOwnCentre) {
    // Every pixel (200, 100, 50): codes (6, 3, 1), position (9.5, 6.5, 4.5). Cluster 0 stays
    // empty and resets to the origin, so the weights are the position over its sum 20.5.
    const unsigned char colour[3] = {200, 100, 50};
    Picture p = paperAndStroke(colour, colour, false);
    Signal<2, unsigned char> grey;
    const Vector<3, float> w = convertColourToGrey(p.data, p.meta, grey);
    EXPECT_FLOAT_EQ(w[0], 9.5f / 20.5f);
    EXPECT_FLOAT_EQ(w[1], 6.5f / 20.5f);
    EXPECT_FLOAT_EQ(w[2], 4.5f / 20.5f);
    // 200 * 0.4634 + 100 * 0.3171 + 50 * 0.2195 = 135.4
    EXPECT_EQ(grey(3u, 3u), 135);

    DenseHistogram<unsigned short> codes;
    codes.add(static_cast<unsigned short>(colourCode(200, 100, 50)));
    ColourCluster clusters[2];
    clusterColours(codes, clusters);
    EXPECT_EQ(clusters[0].weight, 0.0f);
    EXPECT_EQ(clusters[0].centre, (Point<3, float>(0.0f, 0.0f, 0.0f)));
    EXPECT_EQ(clusters[1].centre, (Point<3, float>(9.5f, 6.5f, 4.5f)));
}

TEST(GreyConversion, WeightsWhenTheCentresDifferWithoutSum) {
    ColourCluster clusters[2];
    clusters[0].centre = Point<3, float>(4.0f, 5.0f, 6.0f);
    clusters[1].centre = Point<3, float>(6.0f, 4.0f, 5.0f); // D = (2, -1, -1), sum 0
    Vector<3, float> w = greyWeights(clusters);
    EXPECT_EQ(w, (Vector<3, float>(0.5f, -0.25f, -0.25f)));
    clusters[1].centre = clusters[0].centre;
    w = greyWeights(clusters);
    EXPECT_EQ(w, (Vector<3, float>(1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 3.0f)));
    clusters[1].centre = Point<3, float>(5.0f, 6.0f, 7.0f); // D = (1, 1, 1)
    w = greyWeights(clusters);
    EXPECT_EQ(w, (Vector<3, float>(1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 3.0f)));
}

TEST(GreyConversion, OneChannelImagesFromImageMagick) {
    // 8-bit: a byte copy (buffer line 0 is the picture's bottom line, reference top first).
    // Bitmap: black (1) becomes 0, white 255. 16-bit: the most significant byte.
    struct Case {
        const char* file;
        unsigned bytesPerSample;
    };
    for (const Case c :
         {Case{"netpbm/grey8.pgm", 1}, Case{"netpbm/bits.pbm", 1}, Case{"netpbm/grey16.pgm", 2}}) {
        const std::string path = std::string(c.file);
        IncrementalBuffer data;
        ImageMetadata meta;
        Migration::importImage(data, meta, PenvexTest::dataPath(path).string());
        ASSERT_TRUE(isSingleChannel(meta)) << path;
        Signal<2, unsigned char> grey;
        copySingleChannel(data, meta, grey);
        const std::string raw = readAll(path + ".raw");
        ASSERT_EQ(raw.size(), std::size_t(meta.width) * meta.height * c.bytesPerSample);
        for (unsigned y = 0; y < meta.height; ++y)
            for (unsigned x = 0; x < meta.width; ++x) {
                const std::size_t top = std::size_t(meta.height - 1 - y) * meta.width + x;
                unsigned char expected = static_cast<unsigned char>(raw[top * c.bytesPerSample]);
                if (meta.type.bits == 1)
                    expected = expected == 1 ? 0 : 255;
                ASSERT_EQ(grey(x, y), expected) << path << " " << x << "," << y;
            }
    }
}

TEST(GreyConversion, RefusesWhatItCannotRead) {
    const unsigned char colour[3] = {1, 2, 3};
    Picture p = paperAndStroke(colour, colour, false);
    Signal<2, unsigned char> grey;
    // 16-bit colour is not viewed as 8-bit samples.
    Picture wide = p;
    wide.meta.type.bits = 16;
    EXPECT_THROW(convertColourToGrey(wide.data, wide.meta, grey), UnexpectedValueException);
    // Padding between lines is not supported by the view.
    Picture padded = p;
    padded.meta.lineAlignment = 64;
    EXPECT_THROW(convertColourToGrey(padded.data, padded.meta, grey), SupportException);
    // A buffer shorter than its metadata claims.
    Picture truncated = p;
    truncated.data.resize(100);
    EXPECT_THROW(convertColourToGrey(truncated.data, truncated.meta, grey),
                 SpaceException<unsigned int>);
    ImageMetadata single;
    single.width = 100;
    single.height = 100;
    single.channels = 1;
    single.type = Migration::unsigned8();
    EXPECT_THROW(copySingleChannel(p.data, single, grey), SpaceException<unsigned int>);
}
