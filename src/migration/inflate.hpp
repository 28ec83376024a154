// The DEFLATE decoder (inflater) with its table-driven Huffman decoding, and the writer of
// DEFLATE streams made of stored blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "core/buffers.hpp"
#include "core/streams.hpp"
#include "migration/huffman.hpp"

namespace ZELK::Migration {

// Table-driven decoding of one code alphabet, built from its HuffmanTree so that it accepts and
// rejects exactly the bit sequences the tree walk does. The low rootBits bits of the input
// (least significant first) index the root table; codes longer than that continue in a
// subtable. Every entry records how many bits the walk reads to reach it, also for dead ends,
// so that a decoder short of input can tell "need more bits" from "invalid code".
class HuffmanDecodeTable {
public:
    struct Entry {
        std::uint16_t value; // symbol, base value, or subtable offset
        std::uint8_t bits;   // bits read up to this entry; subtable index bits for a link
        std::uint8_t op;
    };

    // Entry kinds. opBase entries carry a base value and, in their low nibble, the number of
    // extra bits that follow the code.
    static constexpr std::uint8_t opSymbol = 0x00;
    static constexpr std::uint8_t opBase = 0x10;
    static constexpr std::uint8_t opEnd = 0x20;
    static constexpr std::uint8_t opLink = 0x40;
    static constexpr std::uint8_t opDead = 0x80;     // the walk met an unassigned entry
    static constexpr std::uint8_t opReserved = 0x81; // a symbol the format never allows

    // Meaning of a decoded symbol: its op and value (bits are filled in by build()).
    using SymbolMap = Entry (*)(std::uint32_t symbol);

    // Fills the table for the tree's codes; rootBits is at least 1.
    void build(const HuffmanTree& tree, unsigned rootBits, SymbolMap map);

    const Entry* entries() const { return entries_.data(); }
    unsigned rootBits() const { return rootBits_; }

private:
    void fill(const HuffmanTree& tree, SymbolMap map, std::uint32_t table, unsigned tableBits,
              unsigned depthBefore, std::uint32_t node, unsigned depth, std::uint32_t prefix);

    std::vector<Entry> entries_;
    unsigned rootBits_ = 0;
};

// DEFLATE decoder. Holds the fixed code tables, built once, and scratch space reused across
// calls; one instance decodes one stream at a time.
class Inflater {
public:
    enum class Result { Complete, LimitExceeded };
    static constexpr std::uint64_t unlimited = ~0ull;

    Inflater();

    // Decodes one DEFLATE stream from the source's current position up to the end of its
    // final block and appends the output to destination. Back references reach only output
    // of this call. Consumes no byte beyond the final block except the rest of its last
    // partly used byte: a stream that can tell its length is read in chunks and repositioned
    // afterwards, any other stream is read a byte at a time.
    // Stops early with LimitExceeded as soon as more than `limit` bytes have been produced
    // (the destination then holds at most a few hundred bytes beyond the limit); the
    // destination is never grown past that point. Output that would not fit a 32-bit buffer
    // counts as passing the limit. Raises FormatException("deflate", ...) for
    // malformed data and the stream's read error when the source ends early; the output
    // produced before an error stays in the destination.
    Result inflate(ReadStream& source, IncrementalBuffer& destination,
                   std::uint64_t limit = unlimited);

private:
    HuffmanDecodeTable fixedLiterals_;
    HuffmanDecodeTable fixedDistances_;
    HuffmanDecodeTable literals_;
    HuffmanDecodeTable distances_;
    HuffmanDecodeTable codeLengths_;
    HuffmanTree tree_;
    std::vector<std::uint32_t> literalLengths_;
    std::vector<std::uint32_t> distanceLengths_;
    std::vector<std::uint32_t> codeLengthLengths_;

    friend class InflateRun;
};

// Writes size bytes as a DEFLATE stream of stored blocks of at most 65535 bytes each, the last
// one marked final. An empty source writes nothing.
void deflateStored(const std::uint8_t* source, std::uint32_t size, WriteStream& destination);

// Bytes deflateStored writes for size source bytes.
std::uint64_t deflateStoredSize(std::uint32_t size);

} // namespace ZELK::Migration
