// The table-driven inflater against a plain tree-walking decoder on many random (often
// damaged) streams and against zlib's streams; output limits and the stored-block writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>

#include "codec_support.hpp"
#include "migration/huffman.hpp"
#include "migration/inflate.hpp"

namespace ZELK::Migration {
namespace {

using namespace Testing;

// Canonical fixed literal/length code lengths.
std::vector<std::uint32_t> fixedLiteralLengths() {
    std::vector<std::uint32_t> lengths(288, 8);
    std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
    return lengths;
}

// Base value of a length symbol (257..284) or a distance code (0..29), and its extra bits.
std::uint32_t extraBits(std::uint32_t code, bool length) {
    return length ? (code < 265 ? 0 : (code - 261) / 4) : (code < 4 ? 0 : (code - 2) / 2);
}
std::uint32_t baseOf(std::uint32_t code, bool length) {
    if (length)
        return code < 265 ? code - 254 : ((((code - 261) % 4) + 4) << extraBits(code, true)) + 3;
    return code < 4 ? code + 1 : ((((code - 2) % 2) + 2) << extraBits(code, false)) + 1;
}

// The plain decoder: one bit per tree step, one byte per read, output appended symbol by
// symbol. Running out of input raises the same error as a ConstBufferStream.
struct ReferenceInflater {
    const Bytes& src;
    std::size_t pos = 0;
    unsigned used = 8; // bits of src[pos - 1] already read

    [[noreturn]] static void fail(const char* detail) { throw FormatException("deflate", detail); }
    unsigned bit() {
        if (used == 8) {
            if (pos >= src.size())
                throw ZELK::StreamException("Attempted to read over end of buffer. ");
            ++pos, used = 0;
        }
        return (src[pos - 1] >> used++) & 1u;
    }
    std::uint32_t bits(unsigned n) {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i)
            v |= bit() << i;
        return v;
    }
    std::uint32_t decode(const HuffmanTree& tree) {
        std::uint32_t v = tree.symbolCount();
        while (v >= tree.symbolCount())
            if ((v = tree.step(v, bit())) == HuffmanTree::unassigned)
                fail("Invalid Huffman code. ");
        return v;
    }
    void unpack(const HuffmanTree& codeLengths, std::vector<std::uint32_t>& list, std::uint32_t n,
                std::uint32_t previous) {
        while (list.size() < n) {
            std::uint32_t value = decode(codeLengths), repeat = 1;
            if (value == 16)
                repeat = 3 + bits(2), value = previous;
            else if (value > 16)
                repeat = value == 17 ? 3 + bits(3) : 11 + bits(7), value = 0;
            list.insert(list.end(), repeat, value);
            if (list.size() > n)
                fail("Invalid number of code length symbols unpacked. ");
            previous = value;
        }
    }
    void run(Bytes& out) {
        HuffmanTree literals, distances;
        for (bool final = false; !final;) {
            final = bit() != 0;
            const std::uint32_t type = bits(2);
            if (type == 0) {
                used = 8;
                const std::uint32_t length = bits(16);
                if ((length ^ bits(16)) != 0xFFFF)
                    fail("Missmatching length and length complement in no compression block. ");
                if (src.size() - pos < length)
                    throw ZELK::StreamException("Attempted to read over end of buffer. ");
                out.insert(out.end(), src.begin() + pos, src.begin() + pos + length);
                pos += length;
                continue;
            }
            if (type == 3)
                fail("Reserved block type detected. ");
            std::vector<std::uint32_t> lit = fixedLiteralLengths(), dist(32, 5);
            if (type == 2) {
                const std::uint32_t hlit = bits(5) + 257, hdist = bits(5) + 1, hclen = bits(4) + 4;
                std::vector<std::uint32_t> cl(19, 0);
                for (std::uint32_t i = 0; i < hclen; ++i)
                    cl[codeLengthOrder[i]] = bits(3);
                HuffmanTree codeLengths;
                codeLengths.build(cl, "deflate");
                lit.clear(), dist.clear();
                unpack(codeLengths, lit, hlit, 0);
                unpack(codeLengths, dist, hdist, lit.back());
            }
            literals.build(lit, "deflate");
            distances.build(dist, "deflate");
            for (std::uint32_t s; (s = decode(literals)) != 256;) {
                if (s < 256) {
                    out.push_back(static_cast<std::uint8_t>(s));
                    continue;
                }
                if (s > 285)
                    fail("Invalid literal/length symbol. ");
                const std::uint32_t length =
                    s == 285 ? 258 : baseOf(s, true) + bits(extraBits(s, true));
                const std::uint32_t d = decode(distances);
                if (d > 29)
                    fail("Invalid distance symbol. ");
                const std::uint32_t distance = baseOf(d, false) + bits(extraBits(d, false));
                if (distance > out.size())
                    fail("Back reference refer beyond beginning of buffer. ");
                for (std::uint32_t k = 0; k < length; ++k)
                    out.push_back(out[out.size() - distance]);
            }
        }
    }
};

// Random streams of one to four blocks: stored, fixed and dynamic ones with random (often
// incomplete, sometimes over-subscribed) codes of all lengths, then now and then damaged.
struct StreamGenerator {
    std::mt19937 rng;
    BitWriter w;
    bool longCodes = false; // a code longer than the inflater's root tables was written
    std::uint64_t produced = 0;
    using Lengths = std::vector<std::uint32_t>;

    std::uint32_t below(std::uint32_t n) {
        return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(rng);
    }
    std::uint32_t pick(const Lengths& from) {
        return from[below(static_cast<std::uint32_t>(from.size()))];
    }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }

    Bytes make() {
        for (std::uint32_t b = 0, blocks = 1 + below(4); b < blocks; ++b) {
            const std::uint32_t kind = below(10);
            w.bits(b + 1 == blocks, 1);
            w.bits(kind < 2 ? 0 : kind < 4 ? 1 : 2, 2);
            if (kind >= 4) {
                dynamic();
            } else if (kind >= 2) {
                body(fixedLiteralLengths(), Lengths(32, 5));
            } else {
                const std::uint32_t length = below(400);
                std::uint32_t complement = ~length & 0xFFFF;
                if (chance(0.03))
                    complement ^= 1u << below(16);
                Bytes block = {std::uint8_t(length), std::uint8_t(length >> 8),
                               std::uint8_t(complement), std::uint8_t(complement >> 8)};
                for (std::uint32_t i = 0; i < length; ++i)
                    block.push_back(static_cast<std::uint8_t>(below(256)));
                w.bytes(block);
                produced += length;
            }
        }
        Bytes bytes = w.finish();
        if (bytes.empty())
            return bytes;
        if (chance(0.25))
            for (std::uint32_t flips = 1 + below(3); flips-- > 0;)
                bytes[below(static_cast<std::uint32_t>(bytes.size()))] ^=
                    std::uint8_t(1u << below(8));
        if (chance(0.1))
            bytes.resize(below(static_cast<std::uint32_t>(bytes.size())));
        for (int i = chance(0.2) ? 0 : 9; i < 9; ++i)
            bytes.push_back(static_cast<std::uint8_t>(below(256)));
        return bytes;
    }

    // Random code lengths for n symbols of at most maxLength bits: a valid (complete or
    // incomplete) code unless overSubscribe asks for one that is not.
    Lengths randomLengths(std::uint32_t n, std::uint32_t maxLength, std::uint32_t wanted,
                          bool overSubscribe) {
        Lengths lengths(n, 0), order(n);
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), rng);
        std::uint64_t budget = 1ull << maxLength;
        for (std::uint32_t i = 0; i < std::min(wanted, n); ++i) {
            std::uint32_t length = 1 + below(maxLength);
            while (length <= maxLength && (1ull << (maxLength - length)) > budget)
                ++length;
            if (length > maxLength)
                break;
            lengths[order[i]] = length;
            budget -= 1ull << (maxLength - length);
        }
        for (std::uint32_t i = 0; overSubscribe && i < std::min(n, 3u); ++i)
            lengths[order[i]] = 1;
        return lengths;
    }

    // Code-length symbols with their extra bits for one list, runs coded with 16, 17 and 18.
    void runLength(const Lengths& list, std::uint32_t previous,
                   std::vector<std::pair<std::uint32_t, std::uint32_t>>& out) {
        for (std::size_t i = 0; i < list.size(); previous = list[i - 1]) {
            std::size_t run = 1;
            while (i + run < list.size() && list[i + run] == list[i])
                ++run;
            auto take = [&](std::uint32_t symbol, std::size_t most, std::uint32_t least) {
                const auto r = static_cast<std::uint32_t>(std::min(run, most));
                out.push_back({symbol, r - least});
                i += r;
            };
            if (list[i] == previous && run >= 3 && chance(0.8))
                take(16, 6, 3);
            else if (list[i] == 0 && run >= 11 && chance(0.8))
                take(18, 138, 11);
            else if (list[i] == 0 && run >= 3 && chance(0.8))
                take(17, 10, 3);
            else
                take(list[i], 1, 1);
        }
    }

    void dynamic() {
        const std::uint32_t hlit = 257 + below(32), hdist = 1 + below(32);
        const std::uint32_t wantedLiterals = chance(0.5) ? 2 + below(30) : 2 + below(hlit);
        Lengths lit = randomLengths(hlit, chance(0.7) ? 15 : 9, wantedLiterals, chance(0.03));
        const std::uint64_t full = 1ull << HuffmanTree::maxCodeLength;
        if (chance(0.95) && lit[256] == 0) {
            // Make room for an end-of-block code by dropping the longest code, if needed.
            lit[256] = 15;
            if (kraftSum(lit) > full)
                *std::max_element(lit.begin(), lit.begin() + 256) = 0;
            if (kraftSum(lit) > full)
                lit[256] = 0;
        }
        Lengths dist(hdist, 0);
        if (chance(0.1)) {
        } else if (chance(0.1)) {
            dist[below(hdist)] = 1;
        } else {
            dist = randomLengths(hdist, chance(0.7) ? 15 : 6, 1 + below(hdist), chance(0.03));
        }
        std::vector<std::pair<std::uint32_t, std::uint32_t>> symbols;
        runLength(lit, 0, symbols);
        if (chance(0.03) && symbols.back().first < 16)
            symbols.push_back({18, 20}); // a zero run that crosses into the distance list
        runLength(dist, lit.back(), symbols);

        // Every symbol used gets a code of the same length.
        Lengths cl(19, 0);
        for (auto& s : symbols)
            cl[s.first] = 1;
        const auto used = static_cast<std::uint32_t>(std::count(cl.begin(), cl.end(), 1u));
        std::uint32_t length = 1;
        while ((1u << length) < used)
            ++length;
        for (std::uint32_t& l : cl)
            l *= length;
        if (chance(0.03))
            cl[symbols[0].first] = 0; // a code-length symbol without a code
        std::uint32_t hclen = 19;
        while (hclen > 4 && cl[codeLengthOrder[hclen - 1]] == 0 && chance(0.9))
            --hclen;
        w.bits(hlit - 257, 5);
        w.bits(hdist - 1, 5);
        w.bits(hclen - 4, 4);
        for (std::uint32_t i = 0; i < hclen; ++i)
            w.bits(cl[codeLengthOrder[i]], 3);
        HuffmanTree codeLengths;
        codeLengths.build(cl, "deflate");
        for (auto [symbol, extra] : symbols) {
            w.code(codeLengths.codes()[symbol], codeLengths.lengths()[symbol]);
            if (symbol >= 16)
                w.bits(extra, symbol == 16 ? 2 : symbol == 17 ? 3 : 7);
        }
        if (kraftSum(lit) <= full && kraftSum(dist) <= full) // else the decoders refuse it here
            body(lit, dist);
    }

    // Random symbols of the block's codes: mostly literals and matches that reach back into
    // the output, sometimes a reserved symbol or a match that reaches too far.
    void body(const Lengths& literalLengths, const Lengths& distanceLengths) {
        HuffmanTree literals, distances;
        literals.build(literalLengths, "deflate");
        distances.build(distanceLengths, "deflate");
        Lengths lits, lengths, dists;
        for (std::uint32_t s = 0; s < literalLengths.size(); ++s)
            if (literalLengths[s] != 0 && s != 256)
                (s < 256 ? lits : lengths).push_back(s);
        for (std::uint32_t d = 0; d < distanceLengths.size(); ++d)
            if (distanceLengths[d] != 0)
                dists.push_back(d);
        auto emit = [&](const HuffmanTree& t, std::uint32_t s) {
            w.code(t.codes()[s], t.lengths()[s]);
            longCodes = longCodes || t.lengths()[s] > 10;
        };
        for (std::uint32_t i = 0, count = below(300); i < count; ++i) {
            if (lengths.empty() || produced == 0 || !chance(0.4)) {
                if (lits.empty())
                    break;
                emit(literals, pick(lits));
                ++produced;
                continue;
            }
            const std::uint32_t s = pick(lengths);
            if (s > 285 && chance(0.7))
                continue;
            emit(literals, s);
            std::uint32_t length = 258;
            if (s < 285) {
                const std::uint32_t x = below(1u << extraBits(s, true));
                w.bits(x, extraBits(s, true));
                length = baseOf(s, true) + x;
            }
            if (dists.empty())
                return; // the decoders fail on the distance's first bit
            // Prefer distance codes that reach inside the output.
            Lengths fitting;
            for (std::uint32_t d : dists)
                if (d <= 29 && baseOf(d, false) <= produced)
                    fitting.push_back(d);
            const std::uint32_t d = pick(fitting.empty() || chance(0.02) ? dists : fitting);
            emit(distances, d);
            if (d > 29)
                return;
            const std::uint32_t e = extraBits(d, false), base = baseOf(d, false);
            std::uint32_t x = below(1u << e);
            if (base + x > produced && base <= produced && chance(0.95))
                x = static_cast<std::uint32_t>(produced - base);
            w.bits(x, e);
            produced += length;
        }
        if (literalLengths.size() > 256 && literalLengths[256] != 0)
            emit(literals, 256);
    }
};

struct Outcome {
    Bytes output;
    std::string error;
    std::size_t consumed = 0;
};

// Inflates from a buffer stream (read in chunks) or a sequential one (read byte by byte).
Outcome inflateBytes(Inflater& inflater, const Bytes& stream, bool chunked = true,
                     std::uint64_t limit = Inflater::unlimited) {
    Outcome o;
    IncrementalBuffer out;
    ConstBufferStream buffered(stream.data(), static_cast<std::uint32_t>(stream.size()));
    SequentialStream sequential(stream);
    auto result = Inflater::Result::Complete;
    o.error = messageOf([&] {
        result =
            inflater.inflate(chunked ? static_cast<ReadStream&>(buffered) : sequential, out, limit);
    });
    o.consumed = chunked ? buffered.tell() : sequential.position();
    if (o.error == "(no exception)")
        o.error = result == Inflater::Result::LimitExceeded ? "limit" : "";
    o.output = bytesOf(out);
    return o;
}

TEST(InflateRandom, TableDecoderMatchesTreeWalk) {
    Inflater inflater;
    std::uint32_t accepted = 0, longCodes = 0;
    std::map<std::string, std::uint32_t> errors;
    const std::uint32_t rounds = 6000;
    for (std::uint32_t seed = 1; seed <= rounds; ++seed) {
        StreamGenerator generator{std::mt19937(seed), {}};
        const Bytes stream = generator.make();
        Outcome expected;
        ReferenceInflater reference{stream};
        expected.error = messageOf([&] { reference.run(expected.output); });
        const Outcome got = inflateBytes(inflater, stream, seed % 2 == 0);
        if (expected.error == "(no exception)") {
            expected.error.clear();
            ASSERT_EQ(got.consumed, reference.pos) << "seed " << seed;
            ++accepted;
        } else {
            ++errors[expected.error];
        }
        ASSERT_EQ(got.error, expected.error) << "seed " << seed;
        if (got.output != expected.output) {
            auto [g, e] = std::mismatch(got.output.begin(), got.output.end(),
                                        expected.output.begin(), expected.output.end());
            FAIL() << "seed " << seed << ": outputs of " << got.output.size() << " and "
                   << expected.output.size() << " bytes differ from byte "
                   << (g - got.output.begin());
        }
        longCodes += generator.longCodes;
    }
    // The generator must exercise both sides and every way of failing; otherwise the
    // comparison above proves little.
    EXPECT_GT(accepted, rounds / 4);
    EXPECT_GT(rounds - accepted, rounds / 10);
    for (const char* detail :
         {"deflate : Invalid Huffman code. ", "deflate : Over-subscribed Huffman code lengths. ",
          "deflate : Back reference refer beyond beginning of buffer. ",
          "deflate : Invalid number of code length symbols unpacked. ",
          "deflate : Missmatching length and length complement in no compression block. ",
          "deflate : Invalid literal/length symbol. ", "deflate : Invalid distance symbol. ",
          "Attempted to read over end of buffer. "})
        EXPECT_GT(errors[detail], 5u) << detail;
    // Only damage to a block header reaches the reserved type.
    EXPECT_GT(errors["deflate : Reserved block type detected. "], 0u);
    EXPECT_GT(longCodes, rounds / 10);
}

TEST(Inflate, DecodesZlibStreamsOfEveryLevelAndStrategy) {
    // Bytes after each stream stay unread, whether it is read in chunks or byte by byte.
    const Bytes trailer = {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<std::string> names = {"one.level6", "empty.level6"};
    for (const char* source : {"text", "mixed"}) {
        for (int level = 0; level <= 9; ++level)
            names.push_back(std::string(source) + ".level" + std::to_string(level));
        for (const char* strategy : {"fixed", "huffman", "rle"})
            names.push_back(std::string(source) + "." + strategy);
    }
    Inflater inflater; // one instance for all: no state may leak from one stream to the next
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const Bytes expected = fixtureBytes("zlib/" + name.substr(0, name.find('.')) + ".bin");
        Bytes stream = fixtureBytes("zlib/" + name + ".deflate");
        const std::size_t length = stream.size();
        stream.insert(stream.end(), trailer.begin(), trailer.end());
        for (bool chunked : {true, false}) {
            const Outcome o = inflateBytes(inflater, stream, chunked);
            EXPECT_EQ(o.error, "");
            EXPECT_EQ(o.output, expected);
            EXPECT_EQ(o.consumed, length);
        }
    }

    // Two streams back to back, the first ending inside a byte: the second call starts on the
    // next byte, where the first left the source.
    Bytes both = fixtureBytes("zlib/text.level6.deflate");
    const Bytes second = fixtureBytes("zlib/mixed.level1.deflate");
    both.insert(both.end(), second.begin(), second.end());
    ConstBufferStream source(both.data(), static_cast<std::uint32_t>(both.size()));
    IncrementalBuffer first, next;
    inflater.inflate(source, first);
    inflater.inflate(source, next);
    EXPECT_EQ(bytesOf(first), fixtureBytes("zlib/text.bin"));
    EXPECT_EQ(bytesOf(next), fixtureBytes("zlib/mixed.bin"));
    EXPECT_TRUE(source.atEnd());
}

TEST(Inflate, BackReferencesReachOnlyThisCallsOutput) {
    // A fixed block: "hello", then a match of length 3 at distance 6, one beyond the start.
    BitWriter w;
    HuffmanTree fixed;
    fixed.build(fixedLiteralLengths(), "deflate");
    w.bits(1, 1);
    w.bits(1, 2);
    for (char c : std::string("hello"))
        w.code(fixed.codes()[c], fixed.lengths()[c]);
    w.code(fixed.codes()[257], 7);
    w.code(4, 5); // distances 5 and 6, one extra bit
    w.bits(1, 1);
    w.code(0, 7);
    const Bytes bytes = w.finish();
    // Output already in the destination is not part of this stream's history; what was
    // decoded before the error stays after it.
    ConstBufferStream source(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    IncrementalBuffer out;
    out.append(reinterpret_cast<const std::uint8_t*>("earlier"), 7);
    Inflater inflater;
    EXPECT_EQ(messageOf([&] { inflater.inflate(source, out); }),
              "deflate : Back reference refer beyond beginning of buffer. ");
    EXPECT_EQ(bytesOf(out), Bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r', 'h', 'e', 'l', 'l', 'o'}));
}

TEST(Inflate, StopsOnceTheOutputPassesTheLimit) {
    // text.level0 holds 40000 bytes in stored blocks, text.level9 in compressed blocks.
    for (const char* name : {"zlib/text.level0.deflate", "zlib/text.level9.deflate"}) {
        SCOPED_TRACE(name);
        const Bytes stream = fixtureBytes(name);
        Inflater inflater;
        for (std::uint64_t limit : {0ull, 1000ull, 39999ull}) {
            const Outcome o = inflateBytes(inflater, stream, true, limit);
            EXPECT_EQ(o.error, "limit");
            EXPECT_LE(o.output.size(), limit + 300);
        }
        const Outcome exact = inflateBytes(inflater, stream, true, 40000);
        EXPECT_EQ(exact.error, "");
        EXPECT_EQ(exact.output.size(), 40000u);
    }
}

TEST(DeflateStored, RoundTripsAcrossBlockBoundaries) {
    // A stored block holds up to 65535 bytes behind a 5-byte header; nothing gives no stream.
    for (std::uint32_t size : {0u, 1u, 65535u, 65536u, 3 * 65535u + 17}) {
        Bytes source(size);
        for (std::uint32_t i = 0; i < size; ++i)
            source[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
        IncrementalBuffer written;
        BufferStream out(written);
        deflateStored(source.data(), size, out);
        EXPECT_EQ(written.size(), size + 5 * ((size + 65534) / 65535)) << size;
        EXPECT_EQ(deflateStoredSize(size), written.size());
        Inflater inflater;
        if (size > 0) {
            EXPECT_EQ(inflateBytes(inflater, bytesOf(written)).output, source);
        }
    }
}

} // namespace
} // namespace ZELK::Migration
