// The JPEG decoder's building blocks against their plain forms on random inputs (the sparse
// inverse DCT, the bulk bit reader, table-assisted Huffman decoding), and the chroma resampling
// on hand-worked values.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/exceptions.hpp"
#include "core/streams.hpp"
#include "core/vector_width.hpp"
#include "migration/jpeg_entropy.hpp"
#include "migration/jpeg_idct.hpp"
#include "migration/jpeg_output.hpp"

using namespace ZELK;
using namespace ZELK::Migration;
using namespace ZELK::Migration::JPEG;

TEST(JPEGInverseDCT, SparseSumsEqualThePlainDotProductBitForBit) {
    const VectorWidth allVectorWidths[] = {VectorWidth::Bits128, VectorWidth::Bits256,
                                           VectorWidth::Bits512};
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
        inverseDCTPlain(basis, coefficients, plain);
        // Every vector width this processor has.
        for (VectorWidth width : allVectorWidths) {
            limitVectors(width);
            float sparse[64];
            inverseDCTSparse(basis, coefficients, mask, sparse);
            ASSERT_EQ(std::memcmp(plain, sparse, sizeof plain), 0) << "trial " << trial;
        }
    }
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
            left = 8;
            if ((current = next()) == 0xFF)
                if (const std::uint8_t stuffed = next(); stuffed != 0)
                    throw FormatException("jpeg",
                                          "Expected stuff byte (0x00), got 0x" + hex(stuffed));
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
        if (kind == 0)
            data.insert(data.end(), {0xFF, 0x00});
        else if (kind == 1 && random() % 8 == 0)
            data.insert(data.end(), {0xFF, static_cast<std::uint8_t>(0xD0 + random() % 16)});
        else
            data.push_back(static_cast<std::uint8_t>(random() % 255)); // never 0xFF here
    }
    if (random() % 4 == 0)
        data.push_back(0xFF); // a lone 0xFF as the last byte
    return data;
}

// A bit reader over its own copy of the bytes.
struct Reader {
    explicit Reader(const std::vector<std::uint8_t>& bytes)
        : data(bytes), stream(data.data(), static_cast<std::uint32_t>(data.size())) {}
    std::vector<std::uint8_t> data;
    ConstBufferStream stream;
    InputWindow window{stream};
    BitReader bits{window};
};

template <typename F> std::string outcome(F&& f) {
    try {
        return std::to_string(f());
    } catch (const Exception& e) {
        return "error: " + e.message();
    }
}

// A decoder for a random JPEG code of 1..16-bit codes that never over-subscribe, now complete
// (no room for the extra code), now far from it; false for a draw the decoder refuses.
bool randomDecoder(std::mt19937& random, HuffmanDecoder& decoder) {
    std::array<std::uint8_t, 16> counts{};
    std::uint64_t room = 1; // free codes at the current length
    unsigned total = 0;
    const bool complete = random() % 3 == 0;
    for (unsigned length = 1; length <= 16 && total < 256; ++length) {
        room *= 2;
        std::uint64_t take = random() % (room + 1);
        if (length < 4 && take == room)
            take = room - 1; // keep some codes for longer lengths
        if (complete && length == 16)
            take = room;
        take = std::min<std::uint64_t>({take, 255, 256 - total});
        counts[length - 1] = static_cast<std::uint8_t>(take);
        total += static_cast<unsigned>(take);
        room = std::min<std::uint64_t>(room - take, 1u << 20);
    }
    if (total == 0)
        counts[0] = total = 1;
    std::vector<std::uint8_t> values(total);
    for (auto& v : values)
        v = static_cast<std::uint8_t>(random());
    return outcome([&] { return (decoder.build(counts, values), 0); }) == "0";
}

} // namespace

TEST(JPEGBitReader, DeliversTheBitsAndErrorsOfAByteAtATimeReader) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 3000; ++trial) {
        // Some streams are longer than the window's chunk, so that refills are crossed.
        const std::size_t size = trial % 100 == 0 ? 150000 + random() % 1000 : random() % 200;
        Reader reader(randomEntropy(random, size));
        PlainBits plain{reader.data};
        for (int op = 0; op < 200000; ++op) {
            const unsigned n = random() % 17;
            const std::string expected = outcome([&] { return plain.bits(n); });
            ASSERT_EQ(outcome([&] { return reader.bits.bits(n); }), expected)
                << "trial " << trial << " op " << op;
            if (expected.rfind("error", 0) == 0)
                break;
            if (random() % 50 == 0) {
                // Release the partly used byte: both stand at the same file byte after it.
                plain.left = 0;
                reader.bits.release();
                const std::string next = outcome([&] { return plain.next(); });
                ASSERT_EQ(outcome([&] { return reader.window.byte(); }), next) << "trial " << trial;
                if (next.rfind("error", 0) == 0)
                    break;
                if (next == "255") { // a marker or stuffed pair: skip its second byte
                    ASSERT_EQ(outcome([&] { return reader.window.byte(); }),
                              outcome([&] { return plain.next(); }));
                }
            }
        }
    }
}

TEST(JPEGHuffman, LookupDecodingEqualsTheTreeWalkOnEveryBitSequence) {
    std::mt19937 random(11);
    int incomplete = 0;
    for (int trial = 0; trial < 400; ++trial) {
        HuffmanDecoder decoder;
        if (!randomDecoder(random, decoder))
            continue;
        const std::vector<std::uint8_t> data = randomEntropy(random, 3000);
        Reader fast(data), tree(data);
        for (int symbol = 0; symbol < 20000; ++symbol) {
            const std::string expected = outcome([&] { return decoder.decodeByTree(tree.bits); });
            ASSERT_EQ(outcome([&] { return decoder.decode(fast.bits); }), expected)
                << "trial " << trial << " symbol " << symbol;
            if (expected.find("without assigned") != std::string::npos)
                ++incomplete;
            if (expected.rfind("error", 0) == 0)
                break;
            // Extra bits between codes, as a block decoder reads them.
            const unsigned n = random() % 12;
            ASSERT_EQ(outcome([&] { return fast.bits.bits(n); }),
                      outcome([&] { return tree.bits.bits(n); }));
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
        HuffmanDecoder decoder;
        if (!randomDecoder(random, decoder))
            continue;
        for (int sample = 0; sample < 200; ++sample) {
            std::vector<std::uint8_t> bytes(3);
            for (auto& b : bytes)
                b = static_cast<std::uint8_t>(random() % 255);
            Reader one(bytes), two(bytes);
            one.bits.fill();
            ASSERT_GE(one.bits.available(), HuffmanDecoder::lookupBits);
            const std::uint32_t entry = decoder.coefficientAt(one.bits);
            if (entry == 0)
                continue;
            ++fast;
            const unsigned rs = decoder.decode(two.bits);
            const unsigned size = rs & 15u;
            ASSERT_GT(size, 0u);
            EXPECT_EQ((entry >> 8) & 0xFFu, rs >> 4);
            EXPECT_EQ(static_cast<std::int16_t>(entry >> 16), extend(two.bits.bits(size), size));
            EXPECT_EQ(entry & 0xFFu, 24 - two.bits.available());
        }
    }
    EXPECT_GT(fast, 1000);
}

TEST(JPEGOutput, ResamplingIsBilinearTruncatedWithCornersOnCorners) {
    auto resample = [](const std::vector<std::uint8_t>& plane, std::uint32_t planeWidth,
                       std::uint32_t planeHeight, std::uint32_t width, std::uint32_t height) {
        PlaneResampler resampler({plane.data(), planeWidth, planeWidth, planeHeight}, width,
                                 height);
        std::vector<int> out;
        for (std::uint32_t y = 0; y < height; ++y)
            out.insert(out.end(), resampler.row(y), resampler.row(y) + width);
        return out;
    };
    // 3 x 2 to 5 x 3: plane samples land on targets 0, 2, 4 and rows 0, 2.
    EXPECT_EQ(resample({0, 40, 80, 100, 140, 180}, 3, 2, 5, 3),
              (std::vector<int>{0, 20, 40, 60, 80, 50, 70, 90, 110, 130, 100, 120, 140, 160, 180}));
    // Truncated, not rounded: 1/3 and 2/3 of the way from 0 to 1 give 0.
    EXPECT_EQ(resample({0, 1}, 2, 1, 4, 1), (std::vector<int>{0, 0, 0, 1}));
    // A plane of extent 1 samples its coordinate 0 everywhere.
    EXPECT_EQ(resample({10, 30}, 1, 2, 2, 3), (std::vector<int>{10, 10, 20, 20, 30, 30}));
}

TEST(JPEGOutput, BandsReadNoPlaneRowOutsideTheRowsTheyDeclare) {
    // Each band written from planes whose rows outside its planeRows are scrambled must equal
    // that band written from the whole planes, since the decoder writes a band as soon as those
    // rows are final and keeps only a window of rows. Grey; colour with chroma halved both
    // ways; luma halved across with chroma quartered and halved down.
    struct Case {
        std::uint32_t width, height;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> planes;
    };
    const Case cases[] = {{37, 201, {{37, 201}}},
                          {37, 201, {{37, 201}, {19, 101}, {19, 101}}},
                          {30, 259, {{15, 259}, {30, 65}, {30, 130}}}};
    std::mt19937 random(7);
    for (const Case& c : cases) {
        std::vector<std::vector<std::uint8_t>> samples, scrambled;
        std::vector<PlaneView> whole;
        for (auto [w, h] : c.planes) {
            samples.emplace_back(std::size_t(w) * h);
            for (std::uint8_t& s : samples.back())
                s = static_cast<std::uint8_t>(random());
            whole.push_back({samples.back().data(), w, w, h});
        }
        const std::size_t line = std::size_t(c.width) * c.planes.size();
        std::vector<std::uint8_t> expected(line * c.height), actual(line * c.height);
        const ImageBands all(whole, c.width, c.height, expected.data(), line);
        ASSERT_GT(all.count(), 2u);
        for (std::size_t band = 0; band < all.count(); ++band)
            all.write(band);
        for (std::size_t band = 0; band < all.count(); ++band) {
            std::vector<PlaneView> partial = whole;
            scrambled = samples;
            for (std::size_t p = 0; p < partial.size(); ++p) {
                const PlaneRows rows = all.planeRows(band, p);
                EXPECT_LE(rows.end - rows.first, maxBandPlaneRows);
                for (std::size_t i = 0; i < scrambled[p].size(); ++i)
                    if (i / partial[p].width < rows.first || i / partial[p].width >= rows.end)
                        scrambled[p][i] = static_cast<std::uint8_t>(~scrambled[p][i]);
                partial[p].samples = scrambled[p].data();
            }
            ImageBands(partial, c.width, c.height, actual.data(), line).write(band);
        }
        EXPECT_EQ(actual, expected) << c.width << " x " << c.height;
        // The first band does not wait for the whole picture.
        EXPECT_LT(all.planeRows(0, 0).end, c.planes[0].second);
    }
}
