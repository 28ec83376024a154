#include "core/random.hpp"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

using ZELK::BorrowConstBuffer;
using ZELK::MersenneTwister;

namespace {

MersenneTwister seeded(std::uint32_t value) {
    MersenneTwister generator;
    generator.seedWord(value);
    return generator;
}

// Loads the generator's state into the standard library's MT19937 through its text form: the
// 624 state words, then the position.
std::mt19937 standardTwin(const MersenneTwister& generator) {
    std::ostringstream text;
    for (std::uint32_t word : generator.state())
        text << word << ' ';
    text << generator.position();
    std::istringstream in(text.str());
    std::mt19937 twin;
    in >> twin;
    EXPECT_FALSE(in.fail());
    EXPECT_FALSE(in.bad());
    return twin;
}

} // namespace

TEST(MersenneTwister, KnownSeedsGiveKnownState) {
    MersenneTwister a = seeded(1984);
    EXPECT_EQ(a.state()[0], 1984u);
    EXPECT_EQ(a.state()[1], 2792380453u);
    EXPECT_EQ(a.position(), 624u);
    EXPECT_EQ(a.next(), 1294516163u);
    EXPECT_EQ(a.next(), 3565247340u);
    EXPECT_EQ(a.next(), 3973008141u);

    MersenneTwister b = seeded(1337);
    EXPECT_EQ(b.next(), 1674986595u);
    EXPECT_EQ(b.next(), 4256866512u);
    EXPECT_EQ(b.next(), 3074075271u);
}

TEST(MersenneTwister, SeedingDiffersFromTheReferenceInitialisation) {
    // The index is added before the multiplication, so the same number gives a different
    // sequence than std::mt19937's own seeding.
    MersenneTwister ours = seeded(1984);
    std::mt19937 reference(1984);
    EXPECT_NE(ours.state()[1], 1812433253u * (1984u ^ (1984u >> 30)) + 1u);
    EXPECT_NE(ours.next(), reference());
}

TEST(MersenneTwister, OutputsMatchStandardGeneratorOnTheSameState) {
    for (std::uint32_t seedValue : {0u, 1u, 1337u, 1984u, 0xFFFFFFFFu, 0x9908B0DFu}) {
        MersenneTwister ours = seeded(seedValue);
        std::mt19937 twin = standardTwin(ours);
        // Five twists' worth, so the wrap-around of the state is covered several times.
        for (int i = 0; i < 5 * 624 + 17; ++i)
            ASSERT_EQ(ours.next(), twin()) << "seed " << seedValue << " output " << i;
    }
    // Also from a state loaded mid-block, where the position is not at the twist.
    MersenneTwister ours = seeded(42);
    for (int i = 0; i < 100; ++i)
        ours.next();
    std::mt19937 twin = standardTwin(ours);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(ours.next(), twin());
}

TEST(MersenneTwister, SeedBufferIsXorOfLittleEndianWords) {
    const std::uint8_t five[5] = {0x01, 0x02, 0x03, 0x04, 0xA5};
    MersenneTwister fromFive(BorrowConstBuffer(five, 5));
    EXPECT_EQ(fromFive.state()[0], 0x04030201u ^ 0xA5u);
    MersenneTwister fromWord = seeded(0x04030201u ^ 0xA5u);
    EXPECT_EQ(fromFive.state(), fromWord.state());

    const std::uint8_t eight[8] = {0x10, 0x20, 0x30, 0x40, 0x01, 0x00, 0x00, 0x80};
    MersenneTwister fromEight(BorrowConstBuffer(eight, 8));
    EXPECT_EQ(fromEight.state()[0], 0x40302010u ^ 0x80000001u);

    MersenneTwister fromNothing(BorrowConstBuffer(nullptr, 0));
    EXPECT_EQ(fromNothing.state(), seeded(0).state());

    // Re-seeding restarts the sequence whatever was drawn before.
    MersenneTwister again = seeded(1984);
    for (int i = 0; i < 1000; ++i)
        again.next();
    again.seedWord(1984);
    EXPECT_EQ(again.next(), 1294516163u);
}

TEST(MersenneTwister, FillsAreDerivedFromSuccessiveOutputs) {
    constexpr std::uint32_t n = 1500;
    MersenneTwister reference = seeded(1984);
    std::vector<std::uint32_t> raw(n);
    for (auto& y : raw)
        y = reference.next();

    MersenneTwister g = seeded(1984);
    std::vector<std::uint32_t> words(n);
    g.fill(words.data(), n);
    EXPECT_EQ(words, raw);

    g.seedWord(1984);
    std::vector<std::uint32_t> modWords(n);
    g.fillModulo(modWords.data(), n, 128u);
    g.seedWord(1984);
    std::vector<std::uint8_t> modBytes(n);
    g.fillModulo(modBytes.data(), n, std::uint8_t{255});
    for (std::uint32_t i = 0; i < n; ++i) {
        ASSERT_EQ(modWords[i], raw[i] % 128u);
        ASSERT_EQ(modBytes[i], raw[i] % 255u);
    }

    g.seedWord(1984);
    std::vector<double> doubles(n);
    g.fill(doubles.data(), n, 10.0);
    g.seedWord(1984);
    std::vector<float> floats(n);
    g.fill(floats.data(), n, 2.5f);
    for (std::uint32_t i = 0; i < n; ++i) {
        ASSERT_EQ(doubles[i], raw[i] * 10.0 / 4294967295.0);
        ASSERT_GE(doubles[i], 0.0);
        ASSERT_LE(doubles[i], 10.0);
        ASSERT_NEAR(floats[i], raw[i] * 2.5 / 4294967295.0, 1e-6);
        ASSERT_GE(floats[i], 0.0f);
        ASSERT_LE(floats[i], 2.5f);
    }
}

TEST(MersenneTwister, ZeroBoundIsRejected) {
    MersenneTwister g = seeded(1);
    std::uint32_t word = 0;
    std::uint8_t byte = 0;
    try {
        g.fillModulo(&word, 1, 0u);
        FAIL() << "no exception";
    } catch (const ZELK::UnexpectedValueException& e) {
        EXPECT_EQ(e.message(), "0 is not a nonzero bound. ");
    }
    EXPECT_THROW(g.fillModulo(&byte, 1, std::uint8_t{0}), ZELK::UnexpectedValueException);
}

TEST(MersenneTwister, ReadsAsAnEndlessByteStream) {
    MersenneTwister reference = seeded(7);
    const std::uint32_t y0 = reference.next(), y1 = reference.next(), y2 = reference.next();

    MersenneTwister g = seeded(7);
    EXPECT_FALSE(g.atEnd());
    std::uint8_t bytes[6];
    g.read(bytes, 6);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(bytes[k], static_cast<std::uint8_t>(y0 >> (8 * k)));
    // The partial last word uses its low bytes and drops the rest.
    EXPECT_EQ(bytes[4], static_cast<std::uint8_t>(y1));
    EXPECT_EQ(bytes[5], static_cast<std::uint8_t>(y1 >> 8));

    // Through the deserialiser, as any other read stream.
    ZELK::Deserializer in(g);
    std::uint32_t word = 0;
    in.visit(word);
    EXPECT_EQ(word, y2);
    EXPECT_FALSE(g.atEnd());
}
