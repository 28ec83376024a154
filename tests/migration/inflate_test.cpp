// The inflater against streams made by zlib and against hand-made streams for each rule and
// refusal; the stored-block writer's exact layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/streams.hpp"
#include "migration/inflate.hpp"
#include "migration/inflate_reference.hpp"

namespace ZELK::Migration {
namespace {

using Testing::BitWriter;
using Testing::SequentialStream;

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string zlibFixture(const std::string& name) {
    return std::string(PENVEX_TEST_DATA) + "/zlib/" + name;
}

std::vector<std::uint8_t> bytesOf(const IncrementalBuffer& b) {
    return {b.data(), b.data() + b.size()};
}

// Inflates a whole byte vector from a buffer stream.
std::vector<std::uint8_t> inflateAll(const std::vector<std::uint8_t>& stream) {
    Inflater inflater;
    ConstBufferStream source(stream.data(), static_cast<std::uint32_t>(stream.size()));
    IncrementalBuffer out;
    EXPECT_EQ(inflater.inflate(source, out), Inflater::Result::Complete);
    return bytesOf(out);
}

// The message of the exception that inflating the stream raises; empty when none.
std::string inflateError(const std::vector<std::uint8_t>& stream) {
    Inflater inflater;
    ConstBufferStream source(stream.data(), static_cast<std::uint32_t>(stream.size()));
    IncrementalBuffer out;
    try {
        inflater.inflate(source, out);
    } catch (const Exception& e) {
        return e.message();
    }
    return {};
}

TEST(Inflate, DecodesZlibStreamsOfEveryLevelAndStrategy) {
    // Trailing bytes after each stream must stay unread: the stream is left right after the
    // final block, whether it is read in chunks or byte by byte.
    const std::vector<std::uint8_t> trailer = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03,
                                               0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    std::vector<std::string> names;
    for (const char* source : {"text", "mixed"}) {
        for (int level = 0; level <= 9; ++level)
            names.push_back(std::string(source) + ".level" + std::to_string(level));
        for (const char* strategy : {"fixed", "huffman", "rle"})
            names.push_back(std::string(source) + "." + strategy);
    }
    names.push_back("one.level6");
    names.push_back("empty.level6");

    Inflater inflater; // one instance for all: no state may leak from one stream to the next
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string source = name.substr(0, name.find('.'));
        const std::vector<std::uint8_t> expected = readFile(zlibFixture(source + ".bin"));
        std::vector<std::uint8_t> stream = readFile(zlibFixture(name + ".deflate"));
        const std::size_t streamLength = stream.size();
        stream.insert(stream.end(), trailer.begin(), trailer.end());

        ConstBufferStream chunked(stream.data(), static_cast<std::uint32_t>(stream.size()));
        IncrementalBuffer out;
        ASSERT_EQ(inflater.inflate(chunked, out), Inflater::Result::Complete);
        EXPECT_EQ(bytesOf(out), expected);
        EXPECT_EQ(chunked.tell(), streamLength);

        SequentialStream sequential(stream);
        IncrementalBuffer again;
        ASSERT_EQ(inflater.inflate(sequential, again), Inflater::Result::Complete);
        EXPECT_EQ(bytesOf(again), expected);
        EXPECT_EQ(sequential.position(), streamLength);
    }
}

TEST(Inflate, ReadsConsecutiveStreamsFromOneSource) {
    // Two streams back to back, the first ending in the middle of a byte: the second starts
    // on the next byte boundary, where the first call left the stream.
    std::vector<std::uint8_t> both = readFile(zlibFixture("text.level6.deflate"));
    const std::vector<std::uint8_t> second = readFile(zlibFixture("mixed.level1.deflate"));
    both.insert(both.end(), second.begin(), second.end());
    ConstBufferStream source(both.data(), static_cast<std::uint32_t>(both.size()));
    Inflater inflater;
    IncrementalBuffer first, next;
    inflater.inflate(source, first);
    inflater.inflate(source, next);
    EXPECT_EQ(bytesOf(first), readFile(zlibFixture("text.bin")));
    EXPECT_EQ(bytesOf(next), readFile(zlibFixture("mixed.bin")));
    EXPECT_TRUE(source.atEnd());
}

TEST(Inflate, ResolvesMatchesAgainstTheOutput) {
    Testing::BitWriter w;
    HuffmanTree fixed;
    fixed.build(Testing::fixedLiteralLengths(), "deflate");
    auto literal = [&](std::uint32_t s) { w.code(fixed.codes()[s], fixed.lengths()[s]); };
    auto match = [&](std::uint32_t length, std::uint32_t distance) {
        const Testing::Coded l = Testing::codeLength(length);
        literal(l.symbol);
        w.bits(l.extra, l.extraBits);
        const Testing::Coded d = Testing::codeDistance(distance);
        w.code(d.symbol, 5);
        w.bits(d.extra, d.extraBits);
    };
    w.bits(1, 1);
    w.bits(1, 2);
    literal('x');
    match(258, 1); // a single literal repeated: 259 equal bytes
    literal('a');
    literal('b');
    literal('c');
    match(10, 3); // overlapping pattern copy
    match(3, 262);
    literal(256);
    std::vector<std::uint8_t> expected(259, 'x');
    const std::string tail = "abcabcabcabca";
    expected.insert(expected.end(), tail.begin(), tail.end());
    expected.insert(expected.end(), expected.end() - 262, expected.end() - 259);
    EXPECT_EQ(inflateAll(w.finish()), expected);
}

TEST(Inflate, BackReferencesReachOnlyThisCallsOutput) {
    auto stream = [](std::uint32_t distance) {
        BitWriter w;
        HuffmanTree fixed;
        fixed.build(Testing::fixedLiteralLengths(), "deflate");
        w.bits(1, 1);
        w.bits(1, 2);
        for (char c : std::string("hello"))
            w.code(fixed.codes()[c], fixed.lengths()[c]);
        w.code(fixed.codes()[257], 7); // length 3
        const Testing::Coded d = Testing::codeDistance(distance);
        w.code(d.symbol, 5);
        w.bits(d.extra, d.extraBits);
        w.code(0, 7);
        return w.finish();
    };
    EXPECT_EQ(inflateError(stream(5)), "");
    EXPECT_EQ(inflateError(stream(6)),
              "deflate : Back reference refer beyond beginning of buffer. ");

    // Output already in the destination is not part of this stream's history.
    const std::vector<std::uint8_t> bytes = stream(6);
    ConstBufferStream source(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    IncrementalBuffer out;
    out.append(reinterpret_cast<const std::uint8_t*>("earlier"), 7);
    Inflater inflater;
    EXPECT_THROW(inflater.inflate(source, out), FormatException);
    // What was decoded before the error stays, after the earlier content.
    EXPECT_EQ(bytesOf(out), std::vector<std::uint8_t>(
                                {'e', 'a', 'r', 'l', 'i', 'e', 'r', 'h', 'e', 'l', 'l', 'o'}));
}

TEST(Inflate, StoredBlocks) {
    BitWriter w;
    w.bits(0, 1);
    w.bits(0, 2);
    w.bytes({3, 0, 0xFC, 0xFF, 'a', 'b', 'c'});
    w.bits(1, 1);
    w.bits(0, 2);
    w.bytes({0, 0, 0xFF, 0xFF}); // an empty final block
    EXPECT_EQ(inflateAll(w.finish()), std::vector<std::uint8_t>({'a', 'b', 'c'}));

    BitWriter bad;
    bad.bits(1, 1);
    bad.bits(0, 2);
    bad.bytes({3, 0, 0xFC, 0xFE, 'a', 'b', 'c'});
    EXPECT_EQ(inflateError(bad.finish()),
              "deflate : Missmatching length and length complement in no compression block. ");

    BitWriter shortBlock;
    shortBlock.bits(1, 1);
    shortBlock.bits(0, 2);
    shortBlock.bytes({9, 0, 0xF6, 0xFF, 'a', 'b', 'c'});
    EXPECT_EQ(inflateError(shortBlock.finish()), "Attempted to read over end of buffer. ");
}

TEST(Inflate, RefusesReservedBlocksSymbolsAndTruncation) {
    BitWriter reserved;
    reserved.bits(1, 1);
    reserved.bits(3, 2);
    EXPECT_EQ(inflateError(reserved.finish()), "deflate : Reserved block type detected. ");

    HuffmanTree fixed;
    fixed.build(Testing::fixedLiteralLengths(), "deflate");
    for (std::uint32_t symbol : {286u, 287u}) {
        BitWriter w;
        w.bits(1, 1);
        w.bits(1, 2);
        w.code(fixed.codes()[symbol], fixed.lengths()[symbol]);
        EXPECT_EQ(inflateError(w.finish()), "deflate : Invalid literal/length symbol. ");
    }
    for (std::uint32_t code : {30u, 31u}) {
        BitWriter w;
        w.bits(1, 1);
        w.bits(1, 2);
        w.code(fixed.codes()['a'], 8);
        w.code(fixed.codes()[257], 7);
        w.code(code, 5);
        EXPECT_EQ(inflateError(w.finish()), "deflate : Invalid distance symbol. ");
    }

    // A fixed block that stops before its end-of-block code.
    const std::vector<std::uint8_t> full = readFile(zlibFixture("text.fixed.deflate"));
    const std::vector<std::uint8_t> cut(full.begin(), full.end() - 1);
    EXPECT_EQ(inflateError(cut), "Attempted to read over end of buffer. ");
    SequentialStream sequential(cut);
    Inflater inflater;
    IncrementalBuffer out;
    EXPECT_THROW(inflater.inflate(sequential, out), ZELK::StreamException);
    // Everything before the missing end was decoded.
    const std::vector<std::uint8_t> text = readFile(zlibFixture("text.bin"));
    EXPECT_GT(out.size(), text.size() - 300);
    EXPECT_TRUE(std::equal(out.data(), out.data() + out.size(), text.begin()));
}

// Writes a dynamic block header: the code-length code and the code-length symbols given as
// (symbol, extra) pairs.
void dynamicHeader(BitWriter& w, std::uint32_t hlit, std::uint32_t hdist,
                   const std::vector<std::uint32_t>& codeLengthLengths,
                   const std::vector<std::pair<std::uint32_t, std::uint32_t>>& symbols) {
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.bits(hlit - 257, 5);
    w.bits(hdist - 1, 5);
    w.bits(15, 4);
    for (int i = 0; i < 19; ++i)
        w.bits(codeLengthLengths[order[i]], 3);
    HuffmanTree cl;
    cl.build(codeLengthLengths, "deflate");
    for (auto [symbol, extra] : symbols) {
        w.code(cl.codes()[symbol], cl.lengths()[symbol]);
        if (symbol == 16)
            w.bits(extra, 2);
        else if (symbol == 17)
            w.bits(extra, 3);
        else if (symbol == 18)
            w.bits(extra, 7);
    }
}

// A complete code for the code-length symbols the tests use: 0..4 and 16..18, length 3 each.
std::vector<std::uint32_t> smallCodeLengthCode() {
    std::vector<std::uint32_t> cl(19, 0);
    for (std::uint32_t s : {0u, 1u, 2u, 3u, 4u, 16u, 17u, 18u})
        cl[s] = 3;
    return cl;
}

using Symbols = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

TEST(Inflate, DynamicBlockCodeLengthRules) {
    const std::vector<std::uint32_t> cl = smallCodeLengthCode();
    // Literal/length list of 258: 'a' (97), 256 and 257 of length 2, the rest zero.
    const Symbols literalList = {{18, 97 - 11}, {2, 0}, {18, 138 - 11},
                                 {18, 20 - 11}, {2, 0}, {2, 0}};
    auto block = [&](std::uint32_t hdist, const Symbols& distanceList) {
        BitWriter w;
        w.bits(1, 1);
        w.bits(2, 2);
        Symbols symbols = literalList;
        symbols.insert(symbols.end(), distanceList.begin(), distanceList.end());
        dynamicHeader(w, 258, hdist, cl, symbols);
        return w;
    };

    // The distance list opens with a repeat code 16: three copies of the last literal/length
    // length, 2.
    BitWriter ok = block(3, {{16, 0}});
    std::vector<std::uint32_t> litLengths(258, 0);
    litLengths[97] = litLengths[256] = litLengths[257] = 2;
    HuffmanTree lit;
    lit.build(litLengths, "deflate");
    HuffmanTree dist;
    dist.build({2, 2, 2}, "deflate");
    ok.code(lit.codes()[97], 2);
    ok.code(lit.codes()[257], 2); // length 3
    ok.code(dist.codes()[0], 2);  // distance 1
    ok.code(lit.codes()[256], 2);
    EXPECT_EQ(inflateAll(ok.finish()), std::vector<std::uint8_t>({'a', 'a', 'a', 'a'}));

    // The same repeat where the distance list holds only two entries.
    EXPECT_EQ(inflateError(block(2, {{16, 0}}).finish()),
              "deflate : Invalid number of code length symbols unpacked. ");

    // A zero run that crosses from the literal/length list into the distance list.
    BitWriter crossing;
    crossing.bits(1, 1);
    crossing.bits(2, 2);
    dynamicHeader(crossing, 257, 1, cl, {{18, 97 - 11}, {2, 0}, {18, 138 - 11}, {18, 41 - 11}});
    EXPECT_EQ(inflateError(crossing.finish()),
              "deflate : Invalid number of code length symbols unpacked. ");

    // Three literal codes of length 1: refused when the tree is built.
    BitWriter oversubscribed;
    oversubscribed.bits(1, 1);
    oversubscribed.bits(2, 2);
    dynamicHeader(oversubscribed, 257, 1, cl,
                  {{18, 97 - 11}, {1, 0}, {1, 0}, {1, 0}, {18, 138 - 11}, {18, 19 - 11}, {0, 0}});
    EXPECT_EQ(inflateError(oversubscribed.finish()),
              "deflate : Over-subscribed Huffman code lengths. ");
}

TEST(Inflate, IncompleteCodesDecodeUntilAnUnassignedSequence) {
    // Literal/length code: 'z' length 1, 256 length 2, 257 length 3 (the code 111 unused);
    // distance code: a single code of length 1 (the code 1 unused).
    auto header = [](BitWriter& w) {
        w.bits(1, 1);
        w.bits(2, 2);
        dynamicHeader(w, 258, 1, smallCodeLengthCode(),
                      {{18, 122 - 11}, {1, 0}, {18, 133 - 11}, {2, 0}, {3, 0}, {1, 0}});
    };
    std::vector<std::uint32_t> litLengths(258, 0);
    litLengths['z'] = 1;
    litLengths[256] = 2;
    litLengths[257] = 3;
    HuffmanTree lit;
    lit.build(litLengths, "deflate");

    BitWriter good;
    header(good);
    good.code(lit.codes()['z'], 1);
    good.code(lit.codes()[257], 3);
    good.code(0, 1); // distance 1
    good.code(lit.codes()[256], 2);
    EXPECT_EQ(inflateAll(good.finish()), std::vector<std::uint8_t>({'z', 'z', 'z', 'z'}));

    BitWriter unusedLiteral;
    header(unusedLiteral);
    unusedLiteral.code(lit.codes()['z'], 1);
    unusedLiteral.code(7, 3);
    EXPECT_EQ(inflateError(unusedLiteral.finish()), "deflate : Invalid Huffman code. ");

    BitWriter unusedDistance;
    header(unusedDistance);
    unusedDistance.code(lit.codes()['z'], 1);
    unusedDistance.code(lit.codes()[257], 3);
    unusedDistance.code(1, 1);
    EXPECT_EQ(inflateError(unusedDistance.finish()), "deflate : Invalid Huffman code. ");
}

// A stream of a few kilobytes that expands about a thousandfold: one literal, then matches of
// 258 bytes at distance 1 coded in two bits each.
std::vector<std::uint8_t> expandingStream(std::uint32_t matches) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(2, 2);
    // Literal 0 and 256 of length 2, 285 of length 1; one distance code of length 1.
    dynamicHeader(w, 286, 1, smallCodeLengthCode(),
                  {{2, 0}, {18, 138 - 11}, {18, 117 - 11}, {2, 0}, {18, 28 - 11}, {1, 0}, {1, 0}});
    std::vector<std::uint32_t> litLengths(286, 0);
    litLengths[0] = litLengths[256] = 2;
    litLengths[285] = 1;
    HuffmanTree lit;
    lit.build(litLengths, "deflate");
    w.code(lit.codes()[0], 2);
    for (std::uint32_t i = 0; i < matches; ++i) {
        w.code(lit.codes()[285], 1);
        w.code(0, 1);
    }
    w.code(lit.codes()[256], 2);
    return w.finish();
}

TEST(Inflate, StopsOnceTheOutputPassesTheLimit) {
    // text.level0 holds 40000 bytes in stored blocks, text.level9 in compressed blocks.
    for (const char* name : {"text.level0.deflate", "text.level9.deflate"}) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> stream = readFile(zlibFixture(name));
        Inflater inflater;
        for (std::uint64_t limit : {0ull, 1000ull, 39999ull}) {
            ConstBufferStream source(stream.data(), static_cast<std::uint32_t>(stream.size()));
            IncrementalBuffer out;
            EXPECT_EQ(inflater.inflate(source, out, limit), Inflater::Result::LimitExceeded);
            EXPECT_LE(out.capacity(), limit + 300);
        }
        ConstBufferStream source(stream.data(), static_cast<std::uint32_t>(stream.size()));
        IncrementalBuffer out;
        EXPECT_EQ(inflater.inflate(source, out, 40000), Inflater::Result::Complete);
        EXPECT_EQ(out.size(), 40000u);
    }

    const std::vector<std::uint8_t> bomb = expandingStream(16000);
    ASSERT_LT(bomb.size(), 4100u);
    Inflater inflater;
    {
        ConstBufferStream source(bomb.data(), static_cast<std::uint32_t>(bomb.size()));
        IncrementalBuffer out;
        EXPECT_EQ(inflater.inflate(source, out, 10000), Inflater::Result::LimitExceeded);
        EXPECT_LE(out.capacity(), 10300u);
    }
    const std::vector<std::uint8_t> all = inflateAll(bomb);
    EXPECT_EQ(all.size(), 1u + 258u * 16000u);
    EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(DeflateStored, BlockLayoutAndRoundTrip) {
    auto deflate = [](std::uint32_t size) {
        std::vector<std::uint8_t> source(size);
        for (std::uint32_t i = 0; i < size; ++i)
            source[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
        IncrementalBuffer written;
        BufferStream out(written);
        deflateStored(source.data(), size, out);
        EXPECT_EQ(written.size(), deflateStoredSize(size));
        if (size > 0) { // an empty source leaves no stream at all
            EXPECT_EQ(inflateAll(bytesOf(written)), source);
        }
        return bytesOf(written);
    };
    EXPECT_TRUE(deflate(0).empty());

    const std::vector<std::uint8_t> one = deflate(65535);
    ASSERT_EQ(one.size(), 65540u);
    EXPECT_EQ(std::vector<std::uint8_t>(one.begin(), one.begin() + 5),
              std::vector<std::uint8_t>({1, 0xFF, 0xFF, 0, 0}));

    const std::vector<std::uint8_t> two = deflate(65536);
    ASSERT_EQ(two.size(), 65546u);
    EXPECT_EQ(std::vector<std::uint8_t>(two.begin(), two.begin() + 5),
              std::vector<std::uint8_t>({0, 0xFF, 0xFF, 0, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(two.begin() + 65540, two.begin() + 65545),
              std::vector<std::uint8_t>({1, 1, 0, 0xFE, 0xFF}));

    deflate(3 * 65535 + 17);
}

} // namespace
} // namespace ZELK::Migration
