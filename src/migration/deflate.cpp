// DEFLATE compression: match finding, block coding and length-limited Huffman codes.
#include "migration/deflate.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <tuple>
#include <utility>

namespace ZELK::Migration {

namespace {

constexpr std::uint32_t window = 32768;
constexpr std::uint32_t minMatch = 3;
constexpr std::uint32_t maxMatch = 258;
constexpr unsigned hashBits = 15;
// Chains link positions whose next four bytes hash alike: on photographs, three-byte chains
// are long with candidates that match no further, and walking them costs more than the rare
// three-byte match saves.
constexpr std::uint32_t hashBytes = 4;
// Search effort: chains of at most 8 candidates, 2 once a match of 4 is in hand, no search
// beyond a match of 16, no lazy search after a match of 4. On the program's line masks and
// refined images of sample photos this stays within 17% of the size that zlib's default level
// reaches, at three times its speed or more.
constexpr std::uint32_t maxChain = 8;
constexpr std::uint32_t goodLength = 4;
constexpr std::uint32_t niceLength = 16;
constexpr std::uint32_t lazyLength = 4;
// A 3-byte match this far back costs more bits than the three literals it replaces.
constexpr std::uint32_t tooFar = 4096;
// Symbols per block: enough for the codes to pay for their header, few enough to follow
// changes in the data.
constexpr std::size_t blockSymbols = 16384;

constexpr unsigned literalCodes = 286; // 0-255 literals, 256 end of block, 257-285 lengths
constexpr unsigned distanceCodes = 30;
constexpr unsigned endOfBlock = 256;
constexpr std::uint8_t codeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                              11, 4,  12, 3, 13, 2, 14, 1, 15};

// Length 3..258 as code 257..285 and its extra bits.
struct LengthCode {
    std::uint16_t code;
    std::uint8_t extraBits;
    std::uint16_t extra;
};
LengthCode lengthCode(std::uint32_t length) {
    const std::uint32_t v = length - minMatch;
    if (v < 8)
        return {static_cast<std::uint16_t>(257 + v), 0, 0};
    if (v == 255)
        return {285, 0, 0};
    const unsigned top = 31 - std::countl_zero(v); // 3..7
    const unsigned extraBits = top - 2;
    const std::uint32_t code = 257 + 4 * (top - 1) + ((v >> extraBits) & 3);
    return {static_cast<std::uint16_t>(code), static_cast<std::uint8_t>(extraBits),
            static_cast<std::uint16_t>(v & ((1u << extraBits) - 1))};
}

// Distance 1..32768 as code 0..29 and its extra bits.
LengthCode distanceCode(std::uint32_t distance) {
    const std::uint32_t v = distance - 1;
    if (v < 4)
        return {static_cast<std::uint16_t>(v), 0, 0};
    const unsigned top = 31 - std::countl_zero(v); // 2..14
    const unsigned extraBits = top - 1;
    return {static_cast<std::uint16_t>(2 * top + ((v >> extraBits) & 1)),
            static_cast<std::uint8_t>(extraBits),
            static_cast<std::uint16_t>(v & ((1u << extraBits) - 1))};
}

// One LZ77 symbol: a literal (distance 0) or a match.
struct Symbol {
    std::uint16_t lengthOrLiteral;
    std::uint16_t distance;
};

// Huffman code lengths of at most `limit` bits for the frequencies; symbols of frequency 0 get
// length 0. Every code is complete (the inflaters of other programs refuse incomplete ones), so
// the caller sees to at least two used symbols.
void huffmanLengths(const std::uint32_t* freq, unsigned n, unsigned limit, std::uint8_t* lengths) {
    std::array<std::uint16_t, literalCodes> order{};
    unsigned used = 0;
    for (unsigned s = 0; s < n; ++s) {
        lengths[s] = 0;
        if (freq[s] > 0)
            order[used++] = static_cast<std::uint16_t>(s);
    }
    if (used < 2) { // a lone symbol still takes a one-bit code
        if (used == 1)
            lengths[order[0]] = 1;
        return;
    }
    std::sort(order.begin(), order.begin() + used, [&](std::uint16_t a, std::uint16_t b) {
        return freq[a] != freq[b] ? freq[a] < freq[b] : a < b;
    });
    // Two-queue construction: leaves 0..used-1 in frequency order, internal nodes appended in
    // the order they are made, which is also increasing weight.
    std::array<std::uint64_t, 2 * literalCodes> weight{};
    std::array<std::uint16_t, 2 * literalCodes> parent{};
    for (unsigned i = 0; i < used; ++i)
        weight[i] = freq[order[i]];
    unsigned leaf = 0, inner = used, nodes = used;
    auto take = [&]() -> unsigned {
        if (leaf < used && (inner >= nodes || weight[leaf] <= weight[inner]))
            return leaf++;
        return inner++;
    };
    while (nodes < 2 * used - 1) {
        const unsigned a = take(), b = take();
        weight[nodes] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<std::uint16_t>(nodes);
        ++nodes;
    }
    // Depths from the root (the last node) down; a parent is always made after its children.
    std::array<std::uint8_t, 2 * literalCodes> depth{};
    std::array<std::uint32_t, 64> count{};
    for (unsigned k = nodes - 1; k-- > 0;)
        depth[k] = static_cast<std::uint8_t>(std::min(depth[parent[k]] + 1, 63));
    for (unsigned i = 0; i < used; ++i)
        ++count[std::min<unsigned>(depth[i], 63)];
    // Too-long codes are cut to the limit; the over-full code is then repaired one unit of
    // 2^-limit at a time by moving a leaf one level down together with a leaf from the bottom.
    std::uint64_t kraft = 0;
    for (unsigned len = limit + 1; len < 64; ++len) {
        count[limit] += count[len];
        count[len] = 0;
    }
    for (unsigned len = 1; len <= limit; ++len)
        kraft += std::uint64_t(count[len]) << (limit - len);
    while (kraft > (std::uint64_t(1) << limit)) {
        unsigned len = limit - 1;
        while (count[len] == 0)
            --len;
        --count[len];
        count[len + 1] += 2;
        --count[limit];
        --kraft;
    }
    // The rarest symbols get the longest codes.
    unsigned i = 0;
    for (unsigned len = limit; len >= 1; --len)
        for (std::uint32_t k = 0; k < count[len]; ++k)
            lengths[order[i++]] = static_cast<std::uint8_t>(len);
}

std::uint32_t reverseBits(std::uint32_t code, unsigned length) {
    std::uint32_t out = 0;
    for (unsigned i = 0; i < length; ++i, code >>= 1)
        out = (out << 1) | (code & 1);
    return out;
}

// Canonical codes for the lengths, bit-reversed so that they can be written least significant
// bit first.
void canonicalCodes(const std::uint8_t* lengths, unsigned n, std::uint16_t* codes) {
    std::uint32_t count[16] = {}, next[16] = {};
    for (unsigned s = 0; s < n; ++s)
        ++count[lengths[s]];
    count[0] = 0;
    for (unsigned len = 1, code = 0; len < 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    for (unsigned s = 0; s < n; ++s)
        codes[s] = lengths[s] == 0
                       ? 0
                       : static_cast<std::uint16_t>(reverseBits(next[lengths[s]]++, lengths[s]));
}

// Bits are gathered least significant first and written out four bytes at a time.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    // count is at most 32.
    void put(std::uint32_t bits, unsigned count) {
        buffer_ |= std::uint64_t(bits) << filled_;
        filled_ += count;
        if (filled_ >= 32) {
            const std::uint8_t bytes[4] = {
                static_cast<std::uint8_t>(buffer_), static_cast<std::uint8_t>(buffer_ >> 8),
                static_cast<std::uint8_t>(buffer_ >> 16), static_cast<std::uint8_t>(buffer_ >> 24)};
            out_.insert(out_.end(), bytes, bytes + 4);
            buffer_ >>= 32;
            filled_ -= 32;
        }
    }

    // Pads with zero bits to the next byte boundary and writes out every whole byte.
    void align() {
        filled_ = (filled_ + 7) & ~7u;
        for (; filled_ > 0; filled_ -= 8, buffer_ >>= 8)
            out_.push_back(static_cast<std::uint8_t>(buffer_));
        buffer_ = 0;
    }

    void bytes(const std::uint8_t* data, std::size_t n) { out_.insert(out_.end(), data, data + n); }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t buffer_ = 0;
    unsigned filled_ = 0;
};

// Code lengths of one dynamic block's literal/length or distance list, run-length coded with
// the repeat symbols 16 (previous length 3-6 times), 17 (3-10 zeros) and 18 (11-138 zeros). Each
// list is coded on its own: no run crosses into the next list.
void runLengths(const std::uint8_t* lengths, unsigned n, std::vector<Symbol>& runs) {
    for (unsigned i = 0; i < n;) {
        const std::uint8_t value = lengths[i];
        unsigned run = 1;
        while (i + run < n && lengths[i + run] == value)
            ++run;
        i += run;
        if (value == 0) {
            while (run >= 11) {
                const unsigned r = std::min(run, 138u);
                runs.push_back({18, static_cast<std::uint16_t>(r - 11)});
                run -= r;
            }
            if (run >= 3) {
                runs.push_back({17, static_cast<std::uint16_t>(run - 3)});
                run = 0;
            }
        } else {
            runs.push_back({value, 0});
            --run;
            while (run >= 3) {
                const unsigned r = std::min(run, 6u);
                runs.push_back({16, static_cast<std::uint16_t>(r - 3)});
                run -= r;
            }
        }
        for (; run > 0; --run)
            runs.push_back({value, 0});
    }
}

constexpr std::uint8_t repeatExtraBits[3] = {2, 3, 7};

// Collects symbols and writes them as blocks.
class BlockWriter {
public:
    BlockWriter(const std::uint8_t* source, std::vector<std::uint8_t>& out)
        : source_(source), bits_(out) {
        symbols_.reserve(blockSymbols);
    }

    void literal(std::uint8_t byte) {
        symbols_.push_back({byte, 0});
        ++end_;
    }
    void match(std::uint32_t length, std::uint32_t distance) {
        symbols_.push_back(
            {static_cast<std::uint16_t>(length), static_cast<std::uint16_t>(distance)});
        end_ += length;
    }
    bool full() const { return symbols_.size() >= blockSymbols; }

    // Writes the collected symbols as the cheapest of a stored, a fixed and a dynamic block.
    void flush(bool final) {
        std::array<std::uint32_t, literalCodes> litFreq{};
        std::array<std::uint32_t, distanceCodes> distFreq{};
        std::uint64_t extraBits = 0;
        for (const Symbol& s : symbols_) {
            if (s.distance == 0) {
                ++litFreq[s.lengthOrLiteral];
                continue;
            }
            const LengthCode l = lengthCode(s.lengthOrLiteral);
            const LengthCode d = distanceCode(s.distance);
            ++litFreq[l.code];
            ++distFreq[d.code];
            extraBits += l.extraBits + d.extraBits;
        }
        litFreq[endOfBlock] = 1;

        // Fixed codes.
        std::array<std::uint8_t, 288> fixedLit{};
        std::fill(fixedLit.begin(), fixedLit.begin() + 144, 8);
        std::fill(fixedLit.begin() + 144, fixedLit.begin() + 256, 9);
        std::fill(fixedLit.begin() + 256, fixedLit.begin() + 280, 7);
        std::fill(fixedLit.begin() + 280, fixedLit.end(), 8);
        std::array<std::uint8_t, distanceCodes> fixedDist{};
        fixedDist.fill(5);
        const std::uint64_t fixedCost = 3 + extraBits +
                                        cost(litFreq.data(), fixedLit.data(), literalCodes) +
                                        cost(distFreq.data(), fixedDist.data(), distanceCodes);

        // Dynamic codes. Codes need two used symbols to be complete.
        std::array<std::uint32_t, literalCodes> lf = litFreq;
        std::array<std::uint32_t, distanceCodes> df = distFreq;
        while (std::count_if(lf.begin(), lf.end(), [](std::uint32_t f) { return f > 0; }) < 2)
            ++lf[lf[0] == 0 ? 0 : 1];
        while (std::count_if(df.begin(), df.end(), [](std::uint32_t f) { return f > 0; }) < 2)
            ++df[df[0] == 0 ? 0 : 1];
        std::array<std::uint8_t, literalCodes> litLen{};
        std::array<std::uint8_t, distanceCodes> distLen{};
        huffmanLengths(lf.data(), literalCodes, 15, litLen.data());
        huffmanLengths(df.data(), distanceCodes, 15, distLen.data());
        unsigned hlit = literalCodes, hdist = distanceCodes;
        while (hlit > 257 && litLen[hlit - 1] == 0)
            --hlit;
        while (hdist > 1 && distLen[hdist - 1] == 0)
            --hdist;
        std::vector<Symbol> runs;
        runLengths(litLen.data(), hlit, runs);
        runLengths(distLen.data(), hdist, runs);
        std::array<std::uint32_t, 19> clFreq{};
        std::uint64_t runBits = 0;
        for (const Symbol& r : runs) {
            ++clFreq[r.lengthOrLiteral];
            if (r.lengthOrLiteral >= 16)
                runBits += repeatExtraBits[r.lengthOrLiteral - 16];
        }
        while (std::count_if(clFreq.begin(), clFreq.end(), [](std::uint32_t f) { return f > 0; }) <
               2)
            ++clFreq[clFreq[0] == 0 ? 0 : 1];
        std::array<std::uint8_t, 19> clLen{};
        huffmanLengths(clFreq.data(), 19, 7, clLen.data());
        unsigned hclen = 19;
        while (hclen > 4 && clLen[codeLengthOrder[hclen - 1]] == 0)
            --hclen;
        const std::uint64_t dynamicCost = 3 + 14 + 3 * hclen + runBits +
                                          cost(clFreq.data(), clLen.data(), 19) + extraBits +
                                          cost(litFreq.data(), litLen.data(), literalCodes) +
                                          cost(distFreq.data(), distLen.data(), distanceCodes);

        // Stored: byte-aligned blocks of at most 65535 bytes, 4 bytes of lengths each.
        const std::uint64_t span = end_ - start_;
        const std::uint64_t storedCost = 3 + 7 + 8 * span + 40 * ((span + 65534) / 65535);

        if (storedCost <= fixedCost && storedCost <= dynamicCost && span > 0) {
            writeStored(final);
        } else if (fixedCost <= dynamicCost) {
            bits_.put(final ? 1 : 0, 1);
            bits_.put(1, 2);
            writeSymbols(fixedLit.data(), 288, fixedDist.data());
        } else {
            bits_.put(final ? 1 : 0, 1);
            bits_.put(2, 2);
            bits_.put(hlit - 257, 5);
            bits_.put(hdist - 1, 5);
            bits_.put(hclen - 4, 4);
            for (unsigned i = 0; i < hclen; ++i)
                bits_.put(clLen[codeLengthOrder[i]], 3);
            std::array<std::uint16_t, 19> clCodes{};
            canonicalCodes(clLen.data(), 19, clCodes.data());
            for (const Symbol& r : runs) {
                bits_.put(clCodes[r.lengthOrLiteral], clLen[r.lengthOrLiteral]);
                if (r.lengthOrLiteral >= 16)
                    bits_.put(r.distance, repeatExtraBits[r.lengthOrLiteral - 16]);
            }
            writeSymbols(litLen.data(), literalCodes, distLen.data());
        }
        symbols_.clear();
        start_ = end_;
        if (final)
            bits_.align();
    }

private:
    static std::uint64_t cost(const std::uint32_t* freq, const std::uint8_t* lengths, unsigned n) {
        std::uint64_t bits = 0;
        for (unsigned s = 0; s < n; ++s)
            bits += std::uint64_t(freq[s]) * lengths[s];
        return bits;
    }

    // literalCount is 288 for the fixed code: its two unused symbols still take codes.
    void writeSymbols(const std::uint8_t* litLen, unsigned literalCount,
                      const std::uint8_t* distLen) {
        std::array<std::uint16_t, 288> litCodes{};
        std::array<std::uint16_t, distanceCodes> distCodes{};
        canonicalCodes(litLen, literalCount, litCodes.data());
        canonicalCodes(distLen, distanceCodes, distCodes.data());
        for (const Symbol& s : symbols_) {
            if (s.distance == 0) {
                bits_.put(litCodes[s.lengthOrLiteral], litLen[s.lengthOrLiteral]);
                continue;
            }
            const LengthCode l = lengthCode(s.lengthOrLiteral);
            const LengthCode d = distanceCode(s.distance);
            bits_.put(litCodes[l.code], litLen[l.code]);
            bits_.put(l.extra, l.extraBits);
            bits_.put(distCodes[d.code], distLen[d.code]);
            bits_.put(d.extra, d.extraBits);
        }
        bits_.put(litCodes[endOfBlock], litLen[endOfBlock]);
    }

    void writeStored(bool final) {
        std::uint64_t at = start_;
        do {
            const std::uint32_t length =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(end_ - at, 65535));
            const bool last = at + length == end_;
            bits_.put(final && last ? 1 : 0, 1);
            bits_.put(0, 2);
            bits_.align();
            bits_.put(length | (~length & 0xFFFFu) << 16, 32);
            bits_.bytes(source_ + at, length);
            at += length;
        } while (at < end_);
    }

    const std::uint8_t* source_;
    BitWriter bits_;
    std::vector<Symbol> symbols_;
    std::uint64_t start_ = 0; // first source byte of the collected symbols
    std::uint64_t end_ = 0;   // one past their last
};

// Hash chains over the last 32 KiB: head holds the newest position of each hash of three bytes,
// prev the position before it with the same hash; positions are stored plus one, 0 for none.
class MatchFinder {
public:
    MatchFinder(const std::uint8_t* data, std::uint32_t size)
        : data_(data), size_(size), head_(std::size_t(1) << hashBits, 0), prev_(window, 0) {}

    // Inserts position pos (which has hashBytes bytes to hash) and returns the newest earlier
    // position with the same hash, plus one.
    std::uint32_t insert(std::uint32_t pos) {
        std::uint32_t& head = head_[hash(pos)];
        const std::uint32_t previous = head;
        prev_[pos & (window - 1)] = previous;
        head = pos + 1;
        return previous;
    }

    // The longest match at pos longer than `better` among the chain from candidate (plus one);
    // length 0 when there is none.
    std::pair<std::uint32_t, std::uint32_t> longest(std::uint32_t pos, std::uint32_t candidate,
                                                    std::uint32_t better) const {
        const std::uint32_t most = std::min<std::uint32_t>(maxMatch, size_ - pos);
        if (better >= most)
            return {0, 0};
        const std::uint32_t nice = std::min(niceLength, most);
        std::uint32_t chain = better >= goodLength ? maxChain / 4 : maxChain;
        const std::uint32_t oldest = pos > window ? pos - window : 0;
        std::uint32_t best = better, bestDistance = 0;
        const std::uint8_t* here = data_ + pos;
        while (candidate > oldest && chain-- > 0) {
            const std::uint32_t from = candidate - 1;
            const std::uint8_t* there = data_ + from;
            if (there[best] == here[best] && there[0] == here[0] && there[1] == here[1]) {
                const std::uint32_t length = matchLength(there, here, most);
                if (length > best) {
                    best = length;
                    bestDistance = pos - from;
                    if (length >= nice)
                        break;
                }
            }
            const std::uint32_t next = prev_[from & (window - 1)];
            if (next >= candidate) // overwritten by a newer position: the chain ends
                break;
            candidate = next;
        }
        return bestDistance == 0 ? std::pair<std::uint32_t, std::uint32_t>{0, 0}
                                 : std::pair{best, bestDistance};
    }

private:
    std::uint32_t hash(std::uint32_t pos) const {
        std::uint32_t v;
        std::memcpy(&v, data_ + pos, 4);
        return (v * 2654435761u) >> (32 - hashBits);
    }

    static std::uint32_t matchLength(const std::uint8_t* a, const std::uint8_t* b,
                                     std::uint32_t most) {
        std::uint32_t n = 0;
        while (n + 8 <= most) {
            std::uint64_t x, y;
            std::memcpy(&x, a + n, 8);
            std::memcpy(&y, b + n, 8);
            if (x != y)
                return n + static_cast<std::uint32_t>(std::countr_zero(x ^ y) / 8);
            n += 8;
        }
        while (n < most && a[n] == b[n])
            ++n;
        return n;
    }

    const std::uint8_t* data_;
    std::uint32_t size_;
    std::vector<std::uint32_t> head_;
    std::vector<std::uint32_t> prev_;
};

} // namespace

void deflate(const std::uint8_t* source, std::uint32_t size, std::vector<std::uint8_t>& out) {
    static_assert(std::endian::native == std::endian::little,
                  "match lengths are counted from the low bytes of 8-byte loads");
    BlockWriter blocks(source, out);
    MatchFinder matches(source, size);
    // Lazy matching: a match found at pos - 1 is only taken when the match at pos is no longer.
    std::uint32_t previousLength = 0, previousDistance = 0;
    bool pending = false; // the byte at pos - 1 is not yet coded
    std::uint32_t pos = 0;
    while (pos < size) {
        std::uint32_t length = 0, distance = 0;
        if (size - pos >= hashBytes) {
            const std::uint32_t candidate = matches.insert(pos);
            if (candidate != 0 && previousLength < lazyLength) {
                std::tie(length, distance) =
                    matches.longest(pos, candidate, std::max(previousLength, minMatch - 1));
                if (length == minMatch && distance > tooFar)
                    length = 0;
            }
        }
        if (previousLength >= minMatch && length <= previousLength) {
            blocks.match(previousLength, previousDistance);
            const std::uint32_t end = pos - 1 + previousLength;
            for (std::uint32_t q = pos + 1; q < end && size - q >= hashBytes; ++q)
                matches.insert(q);
            pos = end;
            previousLength = 0;
            pending = false;
        } else {
            if (pending)
                blocks.literal(source[pos - 1]);
            pending = true;
            previousLength = length;
            previousDistance = distance;
            ++pos;
        }
        if (blocks.full())
            blocks.flush(false);
    }
    if (pending)
        blocks.literal(source[pos - 1]);
    blocks.flush(true);
}

} // namespace ZELK::Migration
