// The table-driven inflater against the plain tree walk on many random streams: valid ones
// with random (often incomplete) codes of all lengths, and damaged ones. Both must give the
// same output, the same error text, and stop at the same input byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/streams.hpp"
#include "migration/inflate.hpp"
#include "migration/inflate_reference.hpp"

namespace ZELK::Migration {
namespace {

using Testing::BitWriter;

class StreamGenerator {
public:
    explicit StreamGenerator(std::uint32_t seed) : rng_(seed) {}

    std::vector<std::uint8_t> make() {
        const std::uint32_t blocks = 1 + below(4);
        for (std::uint32_t b = 0; b < blocks; ++b) {
            const bool final = b + 1 == blocks;
            const std::uint32_t kind = below(10);
            if (kind < 2)
                stored(final);
            else if (kind < 4)
                fixed(final);
            else
                dynamic(final);
        }
        std::vector<std::uint8_t> bytes = w_.finish();
        damage(bytes);
        return bytes;
    }

private:
    std::uint32_t below(std::uint32_t n) {
        return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(rng_);
    }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }

    void stored(bool final) {
        w_.bits(final, 1);
        w_.bits(0, 2);
        const std::uint32_t length = below(400);
        std::uint32_t complement = ~length & 0xFFFF;
        if (chance(0.03))
            complement ^= 1u << below(16);
        std::vector<std::uint8_t> header = {
            static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(complement), static_cast<std::uint8_t>(complement >> 8)};
        for (std::uint32_t i = 0; i < length; ++i)
            header.push_back(static_cast<std::uint8_t>(below(256)));
        w_.bytes(header);
        produced_ += length;
    }

    void fixed(bool final) {
        w_.bits(final, 1);
        w_.bits(1, 2);
        HuffmanTree literals;
        literals.build(Testing::fixedLiteralLengths(), "deflate");
        std::vector<std::uint32_t> distanceLengths(32, 5);
        HuffmanTree distances;
        distances.build(distanceLengths, "deflate");
        body(literals, distances, 288, 32);
    }

    // Random code lengths for n symbols, at most maxLength bits, always a valid (complete or
    // incomplete) code unless overSubscribe asks for one that is not.
    std::vector<std::uint32_t> randomLengths(std::uint32_t n, std::uint32_t maxLength,
                                             std::uint32_t wanted, bool overSubscribe) {
        std::vector<std::uint32_t> lengths(n, 0);
        std::vector<std::uint32_t> order(n);
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), rng_);
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
        if (overSubscribe) {
            lengths[order[0]] = 1;
            lengths[order[n > 1 ? 1 : 0]] = 1;
            if (n > 2)
                lengths[order[2]] = 1;
        }
        return lengths;
    }

    // Code-length symbols (with their extra bits) for one list, runs coded with 16, 17, 18.
    void runLength(const std::vector<std::uint32_t>& list, std::uint32_t previous,
                   std::vector<std::pair<std::uint32_t, std::uint32_t>>& out) {
        std::size_t i = 0;
        while (i < list.size()) {
            std::size_t run = 1;
            while (i + run < list.size() && list[i + run] == list[i])
                ++run;
            const std::uint32_t v = list[i];
            if (v == previous && run >= 3 && chance(0.8)) {
                const std::uint32_t r = static_cast<std::uint32_t>(std::min<std::size_t>(run, 6));
                out.push_back({16, r - 3});
                i += r;
            } else if (v == 0 && run >= 11 && chance(0.8)) {
                const std::uint32_t r = static_cast<std::uint32_t>(std::min<std::size_t>(run, 138));
                out.push_back({18, r - 11});
                i += r;
            } else if (v == 0 && run >= 3 && chance(0.8)) {
                const std::uint32_t r = static_cast<std::uint32_t>(std::min<std::size_t>(run, 10));
                out.push_back({17, r - 3});
                i += r;
            } else {
                out.push_back({v, 0});
                i += 1;
            }
            previous = list[i - 1];
        }
    }

    void dynamic(bool final) {
        w_.bits(final, 1);
        w_.bits(2, 2);
        const std::uint32_t hlit = 257 + below(32);
        const std::uint32_t hdist = 1 + below(32);
        std::uint32_t wantedLiterals = chance(0.5) ? 2 + below(30) : 2 + below(hlit);
        std::vector<std::uint32_t> lit =
            randomLengths(hlit, chance(0.7) ? 15 : 9, wantedLiterals, chance(0.03));
        if (chance(0.95) && lit[256] == 0) {
            // Make room for an end-of-block code by dropping the longest code, if needed.
            lit[256] = 15;
            if (kraftSum(lit) > (1ull << HuffmanTree::maxCodeLength)) {
                auto longest = std::max_element(lit.begin(), lit.begin() + 256);
                *longest = 0;
                if (kraftSum(lit) > (1ull << HuffmanTree::maxCodeLength))
                    lit[256] = 0;
            }
        }
        std::vector<std::uint32_t> dist;
        if (chance(0.1))
            dist.assign(hdist, 0);
        else if (chance(0.1))
            dist = std::vector<std::uint32_t>(hdist, 0), dist[below(hdist)] = 1;
        else
            dist = randomLengths(hdist, chance(0.7) ? 15 : 6, 1 + below(hdist), chance(0.03));

        std::vector<std::pair<std::uint32_t, std::uint32_t>> symbols;
        runLength(lit, 0, symbols);
        if (chance(0.03) && symbols.back().first < 16) {
            // A zero run that crosses into the distance list.
            symbols.push_back({18, 20});
        }
        runLength(dist, lit.back(), symbols);

        std::vector<bool> used(19, false);
        for (auto& s : symbols)
            used[s.first] = true;
        const std::uint32_t usedCount =
            static_cast<std::uint32_t>(std::count(used.begin(), used.end(), true));
        std::uint32_t length = 1;
        while ((1u << length) < usedCount)
            ++length;
        std::vector<std::uint32_t> cl(19, 0);
        for (std::uint32_t s = 0; s < 19; ++s)
            if (used[s])
                cl[s] = length;
        if (chance(0.03))
            cl[symbols[0].first] = 0; // a code-length symbol without a code
        static const int order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
        std::uint32_t hclen = 19;
        while (hclen > 4 && cl[order[hclen - 1]] == 0 && chance(0.9))
            --hclen;

        w_.bits(hlit - 257, 5);
        w_.bits(hdist - 1, 5);
        w_.bits(hclen - 4, 4);
        for (std::uint32_t i = 0; i < hclen; ++i)
            w_.bits(cl[order[i]], 3);
        HuffmanTree codeLengths;
        codeLengths.build(cl, "deflate");
        for (auto [symbol, extra] : symbols) {
            w_.code(codeLengths.codes()[symbol], codeLengths.lengths()[symbol]);
            if (symbol == 16)
                w_.bits(extra, 2);
            else if (symbol == 17)
                w_.bits(extra, 3);
            else if (symbol == 18)
                w_.bits(extra, 7);
        }
        if (kraftSum(lit) > (1ull << HuffmanTree::maxCodeLength) ||
            kraftSum(dist) > (1ull << HuffmanTree::maxCodeLength))
            return; // the decoders refuse the block here
        HuffmanTree literals, distances;
        literals.build(lit, "deflate");
        distances.build(dist, "deflate");
        body(literals, distances, hlit, hdist);
    }

    // Random symbols of the block's codes: mostly literals and matches that reach back into
    // the output, sometimes a reserved symbol or a match that reaches too far.
    void body(const HuffmanTree& literals, const HuffmanTree& distances, std::uint32_t hlit,
              std::uint32_t hdist) {
        std::vector<std::uint32_t> lits, lengths, dists;
        for (std::uint32_t s = 0; s < hlit; ++s) {
            if (literals.lengths()[s] == 0 || s == 256)
                continue;
            (s < 256 ? lits : lengths).push_back(s);
        }
        for (std::uint32_t d = 0; d < hdist; ++d)
            if (distances.lengths()[d] != 0)
                dists.push_back(d);
        auto emit = [&](const HuffmanTree& t, std::uint32_t s) {
            w_.code(t.codes()[s], t.lengths()[s]);
            // Codes longer than the root tables continue in subtables.
            longCodes_ = longCodes_ || t.lengths()[s] > 10;
        };
        const std::uint32_t count = below(300);
        for (std::uint32_t i = 0; i < count; ++i) {
            const bool match = !lengths.empty() && produced_ > 0 && chance(0.4);
            if (!match) {
                if (lits.empty())
                    break;
                emit(literals, lits[below(static_cast<std::uint32_t>(lits.size()))]);
                ++produced_;
                continue;
            }
            std::uint32_t s = lengths[below(static_cast<std::uint32_t>(lengths.size()))];
            if (s > 285 && chance(0.7))
                continue;
            emit(literals, s);
            std::uint32_t length = 0;
            if (s <= 264) {
                length = s - 254;
            } else if (s <= 284) {
                const std::uint32_t e = (s - 261) / 4;
                const std::uint32_t x = below(1u << e);
                w_.bits(x, e);
                length = ((((s - 261) % 4) + 4) << e) + x + 3;
            } else {
                length = 258;
            }
            if (dists.empty())
                return; // the decoders fail on the distance's first bit
            // Prefer distance codes that reach inside the output.
            std::vector<std::uint32_t> fitting;
            for (std::uint32_t d : dists)
                if (d <= 29 && distanceBase(d) <= produced_)
                    fitting.push_back(d);
            const std::vector<std::uint32_t>& pool =
                fitting.empty() || chance(0.02) ? dists : fitting;
            const std::uint32_t d = pool[below(static_cast<std::uint32_t>(pool.size()))];
            emit(distances, d);
            if (d > 29)
                return;
            const std::uint32_t e = d <= 3 ? 0 : (d - 2) / 2;
            std::uint32_t x = below(1u << e);
            const std::uint64_t base = distanceBase(d);
            if (base + x > produced_ && base <= produced_ && chance(0.95))
                x = static_cast<std::uint32_t>(produced_ - base);
            w_.bits(x, e);
            produced_ += length;
        }
        if (literals.lengths().size() > 256 && literals.lengths()[256] != 0)
            emit(literals, 256);
    }

    static std::uint64_t distanceBase(std::uint32_t d) {
        if (d <= 3)
            return d + 1;
        const std::uint32_t e = (d - 2) / 2;
        return ((((d - 2) % 2) + 2) << e) + 1;
    }

    void damage(std::vector<std::uint8_t>& bytes) {
        if (bytes.empty())
            return;
        if (chance(0.25)) {
            const std::uint32_t flips = 1 + below(3);
            for (std::uint32_t i = 0; i < flips; ++i)
                bytes[below(static_cast<std::uint32_t>(bytes.size()))] ^=
                    static_cast<std::uint8_t>(1u << below(8));
        }
        if (chance(0.1))
            bytes.resize(below(static_cast<std::uint32_t>(bytes.size())));
        if (chance(0.2))
            for (int i = 0; i < 9; ++i)
                bytes.push_back(static_cast<std::uint8_t>(below(256)));
    }

public:
    // Whether the stream holds a code longer than 10 bits.
    bool longCodes() const { return longCodes_; }

private:
    std::mt19937 rng_;
    BitWriter w_;
    bool longCodes_ = false;
    std::uint64_t produced_ = 0;
};

struct Outcome {
    std::vector<std::uint8_t> output;
    std::string error;
    std::size_t consumed = 0;
};

Outcome reference(const std::vector<std::uint8_t>& stream) {
    Outcome o;
    Testing::ReferenceInflater ref(stream);
    try {
        ref.run(o.output);
        o.consumed = ref.consumed();
    } catch (const Exception& e) {
        o.error = e.message();
    }
    return o;
}

Outcome tableDriven(Inflater& inflater, const std::vector<std::uint8_t>& stream, bool chunked) {
    Outcome o;
    IncrementalBuffer out;
    ConstBufferStream buffered(stream.data(), static_cast<std::uint32_t>(stream.size()));
    Testing::SequentialStream sequential(stream);
    try {
        if (chunked) {
            inflater.inflate(buffered, out);
            o.consumed = buffered.tell();
        } else {
            inflater.inflate(sequential, out);
            o.consumed = sequential.position();
        }
    } catch (const Exception& e) {
        o.error = e.message();
    }
    o.output.assign(out.data(), out.data() + out.size());
    return o;
}

TEST(InflateRandom, TableDecoderMatchesTreeWalk) {
    Inflater inflater;
    std::uint32_t accepted = 0;
    std::uint32_t longCodes = 0;
    std::map<std::string, std::uint32_t> errors;
    const std::uint32_t rounds = 6000;
    for (std::uint32_t seed = 1; seed <= rounds; ++seed) {
        StreamGenerator generator(seed);
        const std::vector<std::uint8_t> stream = generator.make();
        const Outcome expected = reference(stream);
        const Outcome got = tableDriven(inflater, stream, seed % 2 == 0);
        ASSERT_EQ(got.error, expected.error) << "seed " << seed;
        if (got.output != expected.output) {
            std::size_t i = 0;
            while (i < got.output.size() && i < expected.output.size() &&
                   got.output[i] == expected.output[i])
                ++i;
            FAIL() << "seed " << seed << ": outputs of " << got.output.size() << " and "
                   << expected.output.size() << " bytes differ from byte " << i << " ("
                   << (expected.error.empty() ? "accepted" : expected.error) << ")";
        }
        if (expected.error.empty()) {
            ASSERT_EQ(got.consumed, expected.consumed) << "seed " << seed;
            ++accepted;
        } else {
            ++errors[expected.error];
        }
        longCodes += generator.longCodes();
    }
    // The generator must exercise both sides and the main ways of failing; otherwise the
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
    EXPECT_GT(longCodes, rounds / 10);
}

} // namespace
} // namespace ZELK::Migration
