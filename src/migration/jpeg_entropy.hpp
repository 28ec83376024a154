// Reading JPEG entropy-coded data: a chunked window over the file stream, the bit reader that
// drops stuffed zero bytes, and table-assisted Huffman decoding over the shared code tree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/streams.hpp"
#include "migration/huffman.hpp"

namespace ZELK::Migration::JPEG {

// Lower-case hexadecimal without prefix, as the decoder's messages write codes.
std::string hex(unsigned value);

// Reads the file stream in chunks so that the decoder walks bytes through a pointer instead of
// one virtual call per byte. The bytes it reads ahead are only ever consumed in file order, so
// the decoder accepts and rejects exactly what a byte-at-a-time reader would; when the stream
// ends, the stream itself raises its read error. A short tail of consumed bytes is kept so that
// the bit reader can hand back bytes it fetched ahead of need.
class InputWindow {
public:
    // Bytes the bit reader may hand back: 8 accumulator bytes, each at most 2 file bytes.
    static constexpr std::size_t keepBack = 16;

    explicit InputWindow(ReadStream& stream);

    // The next byte; the stream's read error when it has ended.
    std::uint8_t byte();
    // Exactly count bytes into dest, or the stream's read error.
    void read(std::uint8_t* dest, std::size_t count);
    // True when no further byte can be read.
    bool atEnd() { return pos_ == end_ && refill() == 0; }

    // Makes min(want, bytes left in the file) bytes available at cursor(); returns how many
    // bytes the window holds from the cursor on (possibly more than want).
    std::size_t ensure(std::size_t want) {
        while (end_ - pos_ < want)
            if (refill() == 0)
                break;
        return end_ - pos_;
    }
    const std::uint8_t* cursor() const { return buffer_.data() + pos_; }
    void advance(std::size_t n) { pos_ += n; }
    // Steps back over n bytes consumed last (n <= keepBack).
    void rewind(std::size_t n);

private:
    // Reads more of the stream behind the unread bytes; returns how many bytes were added.
    std::size_t refill();

    ReadStream& stream_;
    RandomStream* random_;
    std::uint64_t left_ = 0; // bytes still in a random-access stream
    std::vector<std::uint8_t> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};

// Entropy-coded bits, most significant first, with the stuffed zero after every 0xFF removed.
// Bytes are fetched ahead into a 64-bit accumulator; fetching stops at a marker (0xFF followed
// by a non-zero byte) or the end of the file, and only a read of bits that are not there raises
// the error the next byte would have given: "Expected stuff byte (0x00), got 0x.." for a marker,
// the stream's read error at the end.
class BitReader {
public:
    // Bytes the fill asks the window for: enough that a 0xFF and its successor are always seen
    // together, and a short answer means that the file ends.
    static constexpr std::size_t lookAhead = 16;

    explicit BitReader(InputWindow& in) : in_(in) {}

    // The next n bits (0 <= n <= 16) as an unsigned number.
    std::uint32_t bits(unsigned n) {
        if (n == 0)
            return 0;
        if (count_ < n) {
            fill();
            if (count_ < n)
                exhausted();
        }
        std::uint32_t v = static_cast<std::uint32_t>(acc_ >> (64 - n));
        acc_ <<= n;
        count_ -= n;
        return v;
    }
    unsigned bit() { return bits(1); }

    // Makes sure that at least 32 bits (the longest code with its extra bits) are in the
    // accumulator unless the entropy-coded data ends first; a refill tops it up to 57 or more.
    void fill() {
        if (count_ < 32)
            fillSlow();
    }
    unsigned available() const { return count_; }
    // The next n bits (1 <= n <= 16) without consuming them; the caller checks available().
    std::uint32_t peek(unsigned n) const { return static_cast<std::uint32_t>(acc_ >> (64 - n)); }
    void consume(unsigned n) {
        acc_ <<= n;
        count_ -= n;
    }

    // Drops the rest of the partly used byte and hands back the whole bytes fetched ahead, so
    // that the window stands where a byte-at-a-time reader would stand (at a restart marker or
    // after the scan).
    void release();

    // Raises what reading one more byte would raise.
    [[noreturn]] void exhausted();

private:
    void fillSlow();

    enum class Stop { None, Marker, End };

    InputWindow& in_;
    std::uint64_t acc_ = 0; // next bit in bit 63
    unsigned count_ = 0;
    Stop stop_ = Stop::None;
    std::uint8_t markerCode_ = 0;
};

// One JPEG Huffman table ready for decoding: the code tree (symbols are positions in the value
// list), the values, and a lookup of the first lookupBits bits that resolves short codes in one
// step and otherwise hands over to the tree walk. Table and tree give the same result for every
// bit sequence, including the rejection of codes that reach an unassigned entry.
class HuffmanDecoder {
public:
    static constexpr unsigned lookupBits = 9;

    // counts[i] codes of length i + 1 with the given values in code order. One extra value 0
    // takes the code after the last one, with the last code's length, unless the code set is
    // already complete.
    void build(const std::array<std::uint8_t, 16>& counts, const std::vector<std::uint8_t>& values);
    bool defined() const { return !tree_.empty(); }

    // Decodes one value from the bits.
    std::uint32_t decode(BitReader& reader) const {
        reader.fill();
        if (reader.available() >= lookupBits) {
            std::uint32_t entry = lookup_[reader.peek(lookupBits)];
            if (entry < leafLimit) {
                reader.consume(entry >> 8);
                return entry & 0xFFu;
            }
        }
        return decodeSlow(reader);
    }

    // The plain decoding: one bit per tree step from the root.
    std::uint32_t decodeByTree(BitReader& reader) const;

    // For AC tables: when the next lookupBits bits hold a whole run/size code and its extra
    // bits, the coefficient in one step: value << 16 | run << 8 | bits used; 0 otherwise.
    // Only valid with at least lookupBits bits available.
    std::uint32_t coefficientAt(const BitReader& reader) const {
        return coefficients_[reader.peek(lookupBits)];
    }

private:
    // Lookup entries: (length << 8) | value for codes of at most lookupBits bits; otherwise
    // internalFlag | node for the tree value after lookupBits bits, or deadEntry.
    static constexpr std::uint32_t leafLimit = (lookupBits + 1) << 8;
    static constexpr std::uint32_t internalFlag = 0x80000000u;
    static constexpr std::uint32_t deadEntry = 0xFFFFFFFFu;

    std::uint32_t decodeSlow(BitReader& reader) const;
    std::uint32_t walk(BitReader& reader, std::uint32_t v) const;

    HuffmanTree tree_;
    std::vector<std::uint8_t> values_;
    std::vector<std::uint32_t> lookup_;
    std::vector<std::uint32_t> coefficients_;
};

// Raised when a code reaches a tree entry that no code was assigned to.
[[noreturn]] void unassignedCode();

// A received s-bit value v stands for a negative number when its top bit is 0.
inline std::int32_t extend(std::uint32_t v, unsigned s) {
    if (s == 0)
        return 0;
    return v < (1u << (s - 1)) ? static_cast<std::int32_t>(v) - (1 << s) + 1
                               : static_cast<std::int32_t>(v);
}

} // namespace ZELK::Migration::JPEG
