// The JPEG decoder's building blocks against their plain forms: the sparse inverse DCT, the
// bulk bit reader, table-assisted Huffman decoding, and the chroma resampling.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/exceptions.hpp"
#include "core/streams.hpp"
#include "migration/jpeg_entropy.hpp"
#include "migration/jpeg_idct.hpp"
#include "migration/jpeg_output.hpp"

using namespace ZELK;
using namespace ZELK::Migration;
using namespace ZELK::Migration::JPEG;

TEST(JPEGInverseDCT, SparseSumsEqualThePlainDotProductBitForBit) {
    const IDCTBasis basis;
    std::mt19937 random(20240501);
    for (int trial = 0; trial < 20000; ++trial) {
        float coefficients[64] = {};
        std::uint64_t mask = 0;
        const int count = trial % 5 == 0 ? 64 : int(random() % 20);
        for (int i = 0; i < count; ++i) {
            const unsigned k = random() % 64;
            // Dequantised 16-bit values, including the extremes.
            const int value = int(random() % 65536) - 32768;
            const int quantization = 1 + int(random() % 255);
            coefficients[k] = static_cast<float>(value * quantization);
            mask |= 1ull << k;
        }
        if (trial % 3 == 0)
            mask |= std::uint64_t(random()) << 32 | random(); // zero entries may be listed too
        float plain[64];
        float sparse[64];
        inverseDCTPlain(basis, coefficients, plain);
        inverseDCTSparse(basis, coefficients, mask, sparse);
        ASSERT_EQ(std::memcmp(plain, sparse, sizeof plain), 0) << "trial " << trial;
    }
}

TEST(JPEGInverseDCT, BasisIsTheOrthonormalCosineTransformWithHorizontalFrequencyFirst) {
    const IDCTBasis basis;
    // Columns are orthonormal.
    for (unsigned a = 0; a < 64; ++a)
        for (unsigned b = 0; b < 64; ++b) {
            double dot = 0;
            for (unsigned i = 0; i < 64; ++i)
                dot += double(basis.at(i, a)) * basis.at(i, b);
            EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-6) << a << " " << b;
        }
    // A DC coefficient of 8 adds 1 to every sample; coefficient 1 (horizontal frequency 1)
    // varies along x only, falling from left to right.
    for (unsigned i = 0; i < 64; ++i) {
        EXPECT_NEAR(8 * basis.at(i, 0), 1.0, 1e-6);
        EXPECT_FLOAT_EQ(basis.at(i, 1), basis.at(i % 8, 1));
    }
    EXPECT_GT(basis.at(0, 1), basis.at(7, 1));
    EXPECT_NEAR(basis.at(0, 1), 0.25 * std::sqrt(0.5) * std::cos(M_PI / 16), 1e-6);
}

TEST(JPEGInverseDCT, BlocksAreLevelShiftedClampedAndZigzagOrdered) {
    const IDCTBasis basis;
    std::int16_t zigzag[64] = {};
    std::uint16_t quantization[64];
    for (auto& q : quantization)
        q = 2;
    std::uint8_t block[8 * 10];
    // DC 20 * 2 / 8 = 5 above the 128.5 level shift, truncated.
    zigzag[0] = 20;
    blockToSamples(basis, zigzag, nonZeroMask(zigzag), quantization, block, 10);
    for (unsigned y = 0; y < 8; ++y)
        for (unsigned x = 0; x < 8; ++x)
            EXPECT_EQ(block[y * 10 + x], 133);
    // Extremes clamp.
    zigzag[0] = 32767;
    blockToSamples(basis, zigzag, nonZeroMask(zigzag), quantization, block, 10);
    EXPECT_EQ(block[0], 255);
    zigzag[0] = -32768;
    blockToSamples(basis, zigzag, nonZeroMask(zigzag), quantization, block, 10);
    EXPECT_EQ(block[77], 0);
    // Zig-zag position 2 is the first vertical frequency: rows differ, columns do not.
    zigzag[0] = 0;
    zigzag[2] = 40;
    blockToSamples(basis, zigzag, nonZeroMask(zigzag), quantization, block, 10);
    EXPECT_EQ(block[0], block[7]);
    EXPECT_GT(block[0], block[70]);
}

namespace {

// The plain reading of entropy-coded data: one byte at a time, every 0xFF followed by the
// stuffed 0 or else a marker.
struct PlainBits {
    const std::vector<std::uint8_t>& data;
    std::size_t position = 0;
    std::uint8_t current = 0;
    unsigned left = 0;

    unsigned bit() {
        if (left == 0) {
            current = next();
            if (current == 0xFF) {
                const std::uint8_t stuffed = next();
                if (stuffed != 0)
                    throw FormatException("jpeg",
                                          "Expected stuff byte (0x00), got 0x" + hex(stuffed));
            }
            left = 8;
        }
        return (current >> --left) & 1u;
    }
    std::uint8_t next() {
        if (position >= data.size())
            throw ZELK::StreamException("Attempted to read over end of buffer. ");
        return data[position++];
    }
    std::uint32_t bits(unsigned n) {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i)
            v = (v << 1) | bit();
        return v;
    }
};

// Entropy-coded-looking bytes: mostly random, with stuffed 0xFF pairs, and now and then a
// marker or the end of the data.
std::vector<std::uint8_t> randomEntropy(std::mt19937& random, std::size_t size) {
    std::vector<std::uint8_t> data;
    while (data.size() < size) {
        const unsigned kind = random() % 64;
        if (kind == 0) {
            data.push_back(0xFF);
            data.push_back(0x00);
        } else if (kind == 1 && random() % 8 == 0) {
            data.push_back(0xFF);
            data.push_back(static_cast<std::uint8_t>(0xD0 + random() % 16));
        } else {
            data.push_back(static_cast<std::uint8_t>(random() % 255)); // never 0xFF here
        }
    }
    if (random() % 4 == 0)
        data.push_back(0xFF); // a lone 0xFF as the last byte
    return data;
}

template <typename F> std::string outcome(F&& f) {
    try {
        return std::to_string(f());
    } catch (const Exception& e) {
        return "error: " + e.message();
    }
}

} // namespace

TEST(JPEGBitReader, DeliversTheBitsAndErrorsOfAByteAtATimeReader) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 3000; ++trial) {
        // Some streams are longer than the window's chunk, so that refills are crossed.
        const std::size_t size = trial % 100 == 0 ? 150000 + random() % 1000 : random() % 200;
        const std::vector<std::uint8_t> data = randomEntropy(random, size);
        PlainBits plain{data};
        ConstBufferStream stream(data.data(), static_cast<std::uint32_t>(data.size()));
        InputWindow window(stream);
        BitReader reader(window);
        for (int op = 0; op < 200000; ++op) {
            const unsigned n = random() % 17;
            const std::string expected = outcome([&] { return plain.bits(n); });
            const std::string found = outcome([&] { return reader.bits(n); });
            ASSERT_EQ(found, expected) << "trial " << trial << " op " << op;
            if (expected.rfind("error", 0) == 0)
                break;
            if (random() % 50 == 0) {
                // Release the partly used byte: both stand at the same file byte after it.
                plain.left = 0;
                reader.release();
                const std::string plainNext = outcome([&] { return plain.next(); });
                const std::string windowNext = outcome([&] { return window.byte(); });
                ASSERT_EQ(windowNext, plainNext) << "trial " << trial << " op " << op;
                if (plainNext.rfind("error", 0) == 0)
                    break;
                if (plainNext == "255") { // a marker or stuffed pair: skip its second byte
                    ASSERT_EQ(outcome([&] { return window.byte(); }),
                              outcome([&] { return plain.next(); }));
                }
            }
        }
    }
}

namespace {

// A random valid JPEG code: counts of 1..16-bit codes that never over-subscribe, sometimes
// complete (so that the extra code has no room), sometimes far from it.
std::array<std::uint8_t, 16> randomCounts(std::mt19937& random, unsigned& total) {
    std::array<std::uint8_t, 16> counts{};
    std::uint64_t room = 1; // free codes at the current length
    total = 0;
    const bool complete = random() % 3 == 0;
    for (unsigned length = 1; length <= 16 && total < 256; ++length) {
        room *= 2;
        std::uint64_t take = room > 0 ? random() % (room + 1) : 0;
        if (length < 4 && take == room)
            take = room - 1; // keep some codes for longer lengths
        if (complete && length == 16)
            take = room;
        take = std::min<std::uint64_t>({take, 255, 256 - total});
        counts[length - 1] = static_cast<std::uint8_t>(take);
        total += static_cast<unsigned>(take);
        room -= take;
        room = std::min<std::uint64_t>(room, 1u << 20);
    }
    if (total == 0) {
        counts[0] = 1;
        total = 1;
    }
    return counts;
}

} // namespace

TEST(JPEGHuffman, LookupDecodingEqualsTheTreeWalkOnEveryBitSequence) {
    std::mt19937 random(11);
    int incomplete = 0;
    for (int trial = 0; trial < 400; ++trial) {
        unsigned total = 0;
        const std::array<std::uint8_t, 16> counts = randomCounts(random, total);
        std::vector<std::uint8_t> values(total);
        for (auto& v : values)
            v = static_cast<std::uint8_t>(random());
        HuffmanDecoder decoder;
        try {
            decoder.build(counts, values);
        } catch (const Exception&) {
            continue; // an over-subscribed draw
        }
        const std::vector<std::uint8_t> data = randomEntropy(random, 3000);
        ConstBufferStream fastStream(data.data(), static_cast<std::uint32_t>(data.size()));
        ConstBufferStream treeStream(data.data(), static_cast<std::uint32_t>(data.size()));
        InputWindow fastWindow(fastStream);
        InputWindow treeWindow(treeStream);
        BitReader fast(fastWindow);
        BitReader tree(treeWindow);
        for (int symbol = 0; symbol < 20000; ++symbol) {
            const std::string expected = outcome([&] { return decoder.decodeByTree(tree); });
            const std::string found = outcome([&] { return decoder.decode(fast); });
            ASSERT_EQ(found, expected) << "trial " << trial << " symbol " << symbol;
            if (expected.find("without assigned") != std::string::npos)
                ++incomplete;
            if (expected.rfind("error", 0) == 0)
                break;
            // Extra bits between codes, as a block decoder reads them.
            const unsigned n = random() % 12;
            ASSERT_EQ(outcome([&] { return fast.bits(n); }), outcome([&] { return tree.bits(n); }));
        }
    }
    EXPECT_GT(incomplete, 3); // the draws did reach unassigned codes
}

TEST(JPEGHuffman, OneStepCoefficientsEqualCodePlusExtraBits) {
    // Where the lookup resolves a whole AC coefficient, it must give the run, the value and the
    // bits used that decoding the run/size code and then reading its extra bits give.
    std::mt19937 random(13);
    int fast = 0;
    for (int trial = 0; trial < 300; ++trial) {
        unsigned total = 0;
        const std::array<std::uint8_t, 16> counts = randomCounts(random, total);
        std::vector<std::uint8_t> values(total);
        for (auto& v : values)
            v = static_cast<std::uint8_t>(random());
        HuffmanDecoder decoder;
        try {
            decoder.build(counts, values);
        } catch (const Exception&) {
            continue;
        }
        for (int sample = 0; sample < 200; ++sample) {
            std::uint8_t bytes[3] = {static_cast<std::uint8_t>(random() % 255),
                                     static_cast<std::uint8_t>(random() % 255),
                                     static_cast<std::uint8_t>(random() % 255)};
            ConstBufferStream oneStream(bytes, 3);
            ConstBufferStream twoStream(bytes, 3);
            InputWindow oneWindow(oneStream);
            InputWindow twoWindow(twoStream);
            BitReader one(oneWindow);
            BitReader two(twoWindow);
            one.fill();
            ASSERT_GE(one.available(), HuffmanDecoder::lookupBits);
            const std::uint32_t entry = decoder.coefficientAt(one);
            if (entry == 0)
                continue;
            ++fast;
            const unsigned rs = decoder.decode(two);
            const unsigned size = rs & 15u;
            ASSERT_GT(size, 0u);
            const std::int32_t value = extend(two.bits(size), size);
            EXPECT_EQ((entry >> 8) & 0xFFu, rs >> 4);
            EXPECT_EQ(static_cast<std::int16_t>(entry >> 16), value);
            EXPECT_EQ(entry & 0xFFu, 24 - two.available());
        }
    }
    EXPECT_GT(fast, 1000);
}

TEST(JPEGHuffman, TheExtraCodeTakesValueZeroUnlessTheCodeIsComplete) {
    auto decodeAll = [](const std::array<std::uint8_t, 16>& counts,
                        const std::vector<std::uint8_t>& values, std::uint8_t byte) {
        HuffmanDecoder decoder;
        decoder.build(counts, values);
        const std::uint8_t data[2] = {byte, 0xD9};
        ConstBufferStream stream(data, 2);
        InputWindow window(stream);
        BitReader reader(window);
        std::string out;
        for (int i = 0; i < 8; ++i) {
            const std::string value = outcome([&] { return decoder.decode(reader); });
            out += value + " ";
            if (value.rfind("error", 0) == 0)
                break;
        }
        return out;
    };
    // Bits 0101 1010: codes "0" -> 5 and the extra "1" -> 0.
    EXPECT_EQ(decodeAll({1}, {5}, 0x5A), "5 0 5 0 0 5 0 5 ");
    // "0" -> 5 and "1" -> 9 leave no room for the extra code.
    EXPECT_EQ(decodeAll({2}, {5, 9}, 0x5A), "5 9 5 9 9 5 9 5 ");
    // Bits 0001 1111: "00" -> 7, the extra "01" -> 0, "1" nothing.
    EXPECT_EQ(decodeAll({0, 1}, {7}, 0x1F),
              "7 0 error: jpeg : Huffman code without assigned symbol encountered.  ");
}

TEST(JPEGOutput, ResamplingIsBilinearWithCornersOnCorners) {
    auto resample = [](const std::vector<std::uint8_t>& plane, std::uint32_t planeWidth,
                       std::uint32_t planeHeight, std::uint32_t width, std::uint32_t height) {
        PlaneResampler resampler({plane.data(), planeWidth, planeWidth, planeHeight}, width,
                                 height);
        std::vector<int> out;
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x)
                out.push_back(resampler.row(y)[x]);
        return out;
    };
    // 3 x 2 to 5 x 3: plane samples land on targets 0, 2, 4 and rows 0, 2.
    EXPECT_EQ(resample({0, 40, 80, 100, 140, 180}, 3, 2, 5, 3),
              (std::vector<int>{0, 20, 40, 60, 80, 50, 70, 90, 110, 130, 100, 120, 140, 160, 180}));
    // Truncated, not rounded: 1/3 and 2/3 of the way from 0 to 1 give 0.
    EXPECT_EQ(resample({0, 3}, 2, 1, 4, 1), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(resample({0, 1}, 2, 1, 4, 1), (std::vector<int>{0, 0, 0, 1}));
    // A plane of extent 1 samples its coordinate 0 everywhere.
    EXPECT_EQ(resample({77}, 1, 1, 3, 2), (std::vector<int>(6, 77)));
    EXPECT_EQ(resample({10, 30}, 1, 2, 2, 3), (std::vector<int>{10, 10, 20, 20, 30, 30}));
    // A plane of the image's size passes through, stride and all.
    const std::vector<std::uint8_t> padded = {1, 2, 99, 3, 4, 99};
    PlaneResampler same({padded.data(), 3, 2, 2}, 2, 2);
    EXPECT_EQ(same.row(1)[0], 3);
    EXPECT_EQ(same.row(1)[1], 4);
}

TEST(JPEGOutput, YCbCrConvertsToTruncatedRGBWithTheTopRowLast) {
    // Two rows of one pixel: top (Y 100, Cb 150, Cr 90), bottom saturating both ways.
    const std::vector<std::uint8_t> y = {100, 100}, cb = {150, 0}, cr = {90, 255};
    ImageMetadata meta;
    meta.set("Comment", "kept");
    IncrementalBuffer data;
    writeImage({{y.data(), 1, 1, 2}, {cb.data(), 1, 1, 2}, {cr.data(), 1, 1, 2}}, 1, 2, data, meta);
    EXPECT_EQ(meta.width, 1u);
    EXPECT_EQ(meta.height, 2u);
    EXPECT_EQ(meta.channels, 3u);
    EXPECT_EQ(meta.format, ImageMetadata::Format::RGBA);
    EXPECT_EQ(meta.get("Comment"), "kept");
    ASSERT_EQ(data.size(), 6u);
    // Top row in the last line: R = 100 + 1.402 (-38), G = 100 - 0.3441 * 22 - 0.7141 (-38),
    // B = 100 + 1.772 * 22, each truncated.
    EXPECT_EQ(data.data()[3], 46);
    EXPECT_EQ(data.data()[4], 119);
    EXPECT_EQ(data.data()[5], 138);
    // Bottom row: red above 255, green 100 + 0.3441 * 128 - 0.7141 * 127, blue below 0.
    EXPECT_EQ(data.data()[0], 255);
    EXPECT_EQ(data.data()[1], 53);
    EXPECT_EQ(data.data()[2], 0);

    const std::vector<std::uint8_t> grey = {1, 2, 3, 4, 5, 6};
    writeImage({{grey.data(), 3, 3, 2}}, 3, 2, data, meta);
    EXPECT_EQ(meta.channels, 1u);
    EXPECT_EQ(meta.format, ImageMetadata::Format::INTENSITY);
    EXPECT_EQ(std::vector<std::uint8_t>(data.data(), data.data() + 6),
              (std::vector<std::uint8_t>{4, 5, 6, 1, 2, 3}));
}

TEST(JPEGEntropy, SignExtensionAndHexadecimalTexts) {
    EXPECT_EQ(extend(0, 0), 0);
    EXPECT_EQ(extend(0, 1), -1);
    EXPECT_EQ(extend(1, 1), 1);
    EXPECT_EQ(extend(3, 3), -4);
    EXPECT_EQ(extend(4, 3), 4);
    EXPECT_EQ(extend(0, 11), -2047);
    EXPECT_EQ(extend(2047, 11), 2047);
    EXPECT_EQ(hex(0), "0");
    EXPECT_EQ(hex(0xC9), "c9");
    EXPECT_EQ(hex(0xFFD8), "ffd8");
}
