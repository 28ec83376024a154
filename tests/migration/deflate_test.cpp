// The deflate encoder: randomized inputs of every kind round-trip through our inflater and
// through Python's zlib, incompressible data costs only stored-block headers, and runs shrink.
#include <gtest/gtest.h>

#include <random>

#include "codec_support.hpp"
#include "migration/deflate.hpp"
#include "migration/inflate.hpp"

namespace ZELK::Migration {
namespace {

using namespace Testing;

// Random bytes, runs, a small alphabet, or a phrase repeated with changes: `kind` 0 to 3.
Bytes sample(std::mt19937& rng, int kind, std::size_t size) {
    Bytes out;
    const Bytes phrase = {'p', 'e', 'n', 'v', 'e', 'x', ' ', 0, 255, 7};
    while (out.size() < size) {
        switch (kind) {
        case 0:
            out.push_back(std::uint8_t(rng()));
            break;
        case 1:
            out.insert(out.end(), rng() % 600, std::uint8_t(rng() % 3));
            break;
        case 2:
            out.push_back(std::uint8_t('a' + rng() % 5));
            break;
        default:
            out.insert(out.end(), phrase.begin(), phrase.begin() + 1 + rng() % phrase.size());
            if (rng() % 4 == 0)
                out.push_back(std::uint8_t(rng()));
        }
    }
    out.resize(size);
    return out;
}

Bytes compress(const Bytes& in) {
    std::vector<std::uint8_t> out;
    deflate(in.data(), static_cast<std::uint32_t>(in.size()), out);
    return out;
}

TEST(Deflate, RandomInputsRoundTripThroughOurInflaterAndZlib) {
    std::mt19937 rng(20231206);
    const PenvexTest::ScratchDir dir;
    const std::size_t edges[] = {0, 1, 2, 3, 4, 257, 258, 259, 65535, 65536, 300000};
    Inflater inflater;
    int cases = 0;
    for (int i = 0; i < 60; ++i, ++cases) {
        const std::size_t size = i < 44 ? edges[i % 11] : rng() % 200000;
        const Bytes input = sample(rng, i % 4, size);
        const Bytes packed = compress(input);
        ConstBufferStream source(packed.data(), static_cast<std::uint32_t>(packed.size()));
        IncrementalBuffer back;
        inflater.inflate(source, back);
        ASSERT_EQ(bytesOf(back), input) << "kind " << i % 4 << ", " << size << " bytes";
        EXPECT_EQ(source.tell(), packed.size());
        PenvexTest::writeFile(dir / (std::to_string(i) + ".z"),
                              std::string(packed.begin(), packed.end()));
        PenvexTest::writeFile(dir / (std::to_string(i) + ".raw"),
                              std::string(input.begin(), input.end()));
    }
    Bytes output;
    ASSERT_EQ(
        runCommand(
            "/usr/bin/python3 -c 'import sys, zlib\nfor i in range(" + std::to_string(cases) +
                "):\n    d = \"" + dir.path().string() +
                "/\" + str(i)\n    assert zlib.decompress(open(d + \".z\", \"rb\").read(), -15) == "
                "open(d + \".raw\", \"rb\").read(), i\nprint(\"all\", i + 1)'",
            output),
        0);
    EXPECT_EQ(std::string(output.begin(), output.end()), "all " + std::to_string(cases) + "\n");
}

TEST(Deflate, StoresWhatDoesNotShrinkAndShrinksRuns) {
    std::mt19937 rng(5);
    const Bytes noise = sample(rng, 0, 200000);
    // A stored block costs 5 bytes of header; blocks end every 16384 symbols at the latest.
    EXPECT_LE(compress(noise).size(), noise.size() + 5 * (noise.size() / 16384 + 2));
    // A megabyte of zeros: 258-byte matches at distance 1, a couple of bits each.
    EXPECT_LT(compress(Bytes(1 << 20, 0)).size(), 1500u);
}

} // namespace
} // namespace ZELK::Migration
