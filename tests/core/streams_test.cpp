// Buffers, streams, the serialiser, and the random source (known sequences and
// equality with the standard library's generator on the same state).
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <utility>
#include <vector>

#include "core/random.hpp"
#include "core/streams.hpp"

using namespace ZELK;

TEST(Streams, SeekSkipGrowthAndByteOrder) {
    std::istringstream file(std::string("abc"));
    CppInStream in(file);
    in.seek(1, 0);
    EXPECT_EQ(in.length(), 3u);
    EXPECT_EQ(in.tell(), 1u) << "measuring the length keeps the position";

    // Writes past the end grow the buffer; appending its own bytes survives the reallocation.
    IncrementalBuffer buffer(1, 1);
    buffer.data()[0] = 0xEE;
    BufferStream stream(buffer);
    Serializer plain(stream);
    SwapEndianess big(plain);
    stream.setPosition(1);
    std::uint32_t thirteen = 0x0D;
    std::uint16_t word = 0x1234;
    double value = -2.75;
    big.visit(thirteen);
    big.visit(word);
    big.visit(value);
    plain.visit(word);
    buffer.append(buffer.data() + 3, 3);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.data(), buffer.data() + buffer.size()),
              (std::vector<std::uint8_t>{0xEE, 0, 0, 0, 0x0D, 0x12, 0x34, 0xC0, 6,    0,
                                         0,    0, 0, 0, 0,    0x34, 0x12, 0,    0x0D, 0x12}));
    // A failed partial match (the zeros before 0x0D) must not swallow the start of the real one.
    const std::uint8_t pattern[3] = {0, 0x0D, 0x12};
    stream.setPosition(0);
    stream.skipUntil(pattern, 3);
    EXPECT_EQ(stream.tell(), 6u);
    EXPECT_THROW(buffer.range(19, 2), BoundException<unsigned long long>);
    EXPECT_THROW(std::as_const(buffer).range(21, 0), BoundException<unsigned long long>);
}

TEST(MersenneTwister, OutputsMatchStandardGeneratorOnTheSameState) {
    std::vector<MersenneTwister> generators;
    for (std::uint32_t seed : {0u, 1u, 1337u, 1984u, 0xFFFFFFFFu, 0x9908B0DFu, 42u})
        generators.emplace_back().seedWord(seed);
    for (int i = 0; i < 100; ++i)
        generators.back().next(); // a state loaded mid-block, not at the twist
    for (MersenneTwister& ours : generators) {
        // Loaded through the standard generator's text form: 624 state words, the position.
        std::ostringstream text;
        for (std::uint32_t word : ours.state())
            text << word << ' ';
        text << ours.position();
        std::istringstream in(text.str());
        std::mt19937 twin;
        ASSERT_TRUE(in >> twin);
        // Five twists' worth, so the wrap-around of the state is covered several times.
        for (int i = 0; i < 5 * 624 + 17; ++i)
            ASSERT_EQ(ours.next(), twin()) << "generator " << &ours - generators.data();
    }
}

TEST(MersenneTwister, KnownSequenceAndTheFillsAndReadsDerivedFromIt) {
    // Seeding adds the index before the multiplication, so the sequence is not std::mt19937's.
    constexpr std::uint32_t n = 1500;
    const std::uint8_t seedBytes[5] = {0xC0, 0x07, 0, 0, 0}; // 1984, a partial word of zeros
    MersenneTwister g(BorrowConstBuffer(seedBytes, 5));
    std::vector<std::uint32_t> raw(n), modWords(n);
    g.fill(raw.data(), n);
    EXPECT_EQ(std::pair(raw[0], raw[1]), std::pair(1294516163u, 3565247340u));
    std::vector<double> doubles(n);
    g.seedWord(1984);
    g.fillModulo(modWords.data(), n, 128u);
    g.seedWord(1984);
    g.fill(doubles.data(), n, 10.0);
    for (std::uint32_t i = 0; i < n; ++i) {
        ASSERT_EQ(modWords[i], raw[i] % 128u);
        ASSERT_EQ(doubles[i], raw[i] * 10.0 / 4294967295.0);
    }
    // As a byte stream: little-endian outputs, a partial last word keeps its low bytes.
    g.seedWord(1984);
    std::uint8_t bytes[6];
    g.read(bytes, 6);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 6),
              (std::vector<std::uint8_t>{0xC3, 0xBF, 0x28, 0x4D, 0x6C, 0x5B}));
    EXPECT_THROW(g.fillModulo(bytes, 1, std::uint8_t{0}), UnexpectedValueException);
}
