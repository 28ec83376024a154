// DEFLATE decoding with table-driven Huffman codes and bulk bit reading, and the stored-block
// DEFLATE writer.
#include "migration/inflate.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "core/exceptions.hpp"
#include "core/limits.hpp"

namespace ZELK::Migration {

namespace {

static_assert(std::endian::native == std::endian::little,
              "the bit reader loads input words in little-endian order");

using Entry = HuffmanDecodeTable::Entry;

constexpr const char* invalidCode = "Invalid Huffman code. ";
constexpr const char* invalidLiteral = "Invalid literal/length symbol. ";
constexpr const char* invalidDistance = "Invalid distance symbol. ";

// Input is read from streams that can tell their length in chunks of this size.
constexpr std::uint32_t windowBytes = 1u << 15;
// Longest match the format can express.
constexpr std::uint32_t maxMatch = 258;
// Matches with a distance of 8 or more are copied in 8-byte steps that may write up to 7
// bytes past their end; the output always keeps this much spare room.
constexpr std::uint32_t copySlack = 16;
// Root table sizes: long enough that nearly every code resolves in one lookup, short enough
// that a table stays cheap to build for each block and small in cache.
constexpr unsigned literalRootBits = 10;
constexpr unsigned distanceRootBits = 8;
constexpr unsigned codeLengthRootBits = 7;

// Order in which a dynamic block lists the code lengths of the code-length alphabet.
constexpr std::uint8_t codeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                              11, 4,  12, 3, 13, 2, 14, 1, 15};

[[noreturn]] void fail(const char* detail) {
    throw FormatException("deflate", detail);
}

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

Entry plainEntry(std::uint32_t symbol) {
    return {static_cast<std::uint16_t>(symbol), 0, HuffmanDecodeTable::opSymbol};
}

// Literal/length symbols: literals, end of block, and lengths 3..258 with their extra bits.
Entry literalEntry(std::uint32_t symbol) {
    if (symbol < 256)
        return plainEntry(symbol);
    if (symbol == 256)
        return {0, 0, HuffmanDecodeTable::opEnd};
    if (symbol > 285)
        return {0, 0, HuffmanDecodeTable::opReserved};
    if (symbol <= 264)
        return {static_cast<std::uint16_t>(symbol - 254), 0, HuffmanDecodeTable::opBase};
    if (symbol == 285)
        return {258, 0, HuffmanDecodeTable::opBase};
    const std::uint32_t extra = (symbol - 261) / 4;
    const std::uint32_t base = ((((symbol - 261) % 4) + 4) << extra) + 3;
    return {static_cast<std::uint16_t>(base), 0,
            static_cast<std::uint8_t>(HuffmanDecodeTable::opBase | extra)};
}

// Distance codes: distances 1..32768 with their extra bits.
Entry distanceEntry(std::uint32_t code) {
    if (code > 29)
        return {0, 0, HuffmanDecodeTable::opReserved};
    if (code <= 3)
        return {static_cast<std::uint16_t>(code + 1), 0, HuffmanDecodeTable::opBase};
    const std::uint32_t extra = (code - 2) / 2;
    const std::uint32_t base = ((((code - 2) % 2) + 2) << extra) + 1;
    return {static_cast<std::uint16_t>(base), 0,
            static_cast<std::uint8_t>(HuffmanDecodeTable::opBase | extra)};
}

unsigned height(const HuffmanTree& tree, std::uint32_t node) {
    if (node == HuffmanTree::unassigned || node < tree.symbolCount())
        return 0;
    return 1 + std::max(height(tree, tree.step(node, 0)), height(tree, tree.step(node, 1)));
}

// Resolves the entry for the next code in `bits`, following a subtable link.
inline Entry lookup(const Entry* table, unsigned rootBits, std::uint64_t bits) {
    Entry e = table[bits & ((1u << rootBits) - 1)];
    if (e.op == HuffmanDecodeTable::opLink)
        e = table[e.value + ((bits >> rootBits) & ((1u << e.bits) - 1))];
    return e;
}

// Bit-level view of the source. Bits are taken from the least significant end of `bits`;
// `count` of them are valid. Bits above `count` are either zero or copies of the bytes at
// `next`, so OR-ing those bytes in again is harmless.
class BitInput {
public:
    explicit BitInput(ReadStream& stream) : stream_(stream) {
        random_ = dynamic_cast<RandomStream*>(&stream);
        if (random_ != nullptr) {
            // A stream that cannot tell its position (a pipe) is read a byte at a time.
            try {
                position_ = random_->tell();
                const std::uint64_t length = random_->length();
                remaining_ = length > position_ ? length - position_ : 0;
                windowSize_ =
                    static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining_, windowBytes));
                window_ = std::make_unique_for_overwrite<std::uint8_t[]>(windowSize_);
            } catch (const ZELK::StreamException&) {
                random_ = nullptr;
                remaining_ = 0;
            }
        }
    }

    std::uint64_t bits = 0;
    unsigned count = 0;
    const std::uint8_t* next = nullptr;
    const std::uint8_t* end = nullptr;

    // Tops the bit buffer up to at least 56 bits while input is at hand without waiting.
    void refill() {
        if (end - next >= 8) {
            bits |= load64(next) << count;
            next += (63 - count) >> 3;
            count |= 56;
        } else {
            refillSlow();
        }
    }

    void refillSlow() {
        while (count <= 56) {
            if (next == end && !loadWindow())
                return;
            bits |= std::uint64_t(*next++) << count;
            count += 8;
        }
    }

    // Adds one byte to the bit buffer (count must be at most 56); raises the stream's read
    // error when the source has none left.
    void pullByte() {
        if (next == end && !loadWindow()) {
            std::uint8_t byte;
            stream_.read(&byte, 1);
            ++position_;
            bits |= std::uint64_t(byte) << count;
            count += 8;
            return;
        }
        bits |= std::uint64_t(*next++) << count;
        count += 8;
    }

    // Makes n (at most 56) bits available.
    void need(unsigned n) {
        if (count >= n)
            return;
        refillSlow();
        while (count < n)
            pullByte();
    }

    std::uint32_t take(unsigned n) {
        need(n);
        const std::uint32_t v = static_cast<std::uint32_t>(bits & ((1ull << n) - 1));
        bits >>= n;
        count -= n;
        return v;
    }

    void alignToByte() {
        const unsigned drop = count & 7;
        bits >>= drop;
        count -= drop;
    }

    // Copies n whole bytes (the bit buffer must be byte-aligned) into dest.
    void copy(std::uint8_t* dest, std::uint32_t n) {
        while (n > 0 && count >= 8) {
            *dest++ = static_cast<std::uint8_t>(bits);
            bits >>= 8;
            count -= 8;
            --n;
        }
        if (n == 0)
            return;
        // The bit buffer is empty; bytes taken straight from the window below would leave
        // stale copies of them in it.
        bits = 0;
        while (n > 0) {
            if (next == end && !loadWindow()) {
                stream_.read(dest, n);
                position_ += n;
                return;
            }
            const std::uint32_t take =
                static_cast<std::uint32_t>(std::min<std::ptrdiff_t>(n, end - next));
            std::memcpy(dest, next, take);
            next += take;
            dest += take;
            n -= take;
        }
    }

    // Gives back the whole bytes read ahead, so that the stream stands right after the last
    // byte of which at least one bit was used.
    void finish() {
        if (random_ == nullptr)
            return;
        const std::uint64_t unused = static_cast<std::uint64_t>(end - next) + count / 8;
        if (unused > 0)
            random_->setPosition(position_ - unused);
    }

private:
    bool loadWindow() {
        if (remaining_ == 0)
            return false;
        const std::uint32_t n =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining_, windowSize_));
        stream_.read(window_.get(), n);
        position_ += n;
        remaining_ -= n;
        next = window_.get();
        end = next + n;
        return true;
    }

    ReadStream& stream_;
    RandomStream* random_ = nullptr;
    std::uint64_t position_ = 0;  // stream position after the last byte read
    std::uint64_t remaining_ = 0; // bytes the stream still holds, as far as it can tell
    std::uint32_t windowSize_ = 0;
    std::unique_ptr<std::uint8_t[]> window_;
};

// The growing destination. Its size runs ahead of the output as working room and is cut back
// to the output when the run ends, also when it ends by an exception.
class Output {
public:
    Output(IncrementalBuffer& buffer, std::uint64_t limit) : buffer_(buffer) {
        start = buffer.size();
        pos = start;
        size = buffer.size();
        base = buffer.data();
        // A match may run past the limit before it is noticed; keep that within 32-bit sizes.
        const std::uint64_t most = Limits::maxBufferBytes - maxMatch - copySlack;
        limitPos = start + std::min<std::uint64_t>(limit, most > start ? most - start : 0);
    }
    ~Output() { buffer_.resizeKeep(static_cast<std::uint32_t>(pos)); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Ensures room for n more bytes plus the copy slack; false once the output has passed
    // the limit. The buffer never grows beyond what the limit and one match can use.
    bool makeRoom(std::uint64_t n) {
        if (pos > limitPos)
            return false;
        const std::uint64_t want = pos + n + copySlack;
        if (want <= size)
            return true;
        if (want > Limits::maxBufferBytes)
            throw BoundException<unsigned long long>(want, Limits::maxBufferBytes);
        const std::uint64_t cap = std::min<std::uint64_t>(
            std::max<std::uint64_t>(limitPos + maxMatch + copySlack, want), Limits::maxBufferBytes);
        const std::uint64_t grown =
            std::min<std::uint64_t>(std::max<std::uint64_t>(2 * size, want), cap);
        const std::uint32_t newSize = static_cast<std::uint32_t>(
            std::max<std::uint64_t>(grown, std::min<std::uint64_t>(buffer_.capacity(), cap)));
        if (newSize > buffer_.capacity()) {
            // Allocated exactly, since the buffer's own growth rule could double past the cap.
            IncrementalBuffer fresh(newSize, newSize);
            if (pos > 0)
                std::memcpy(fresh.data(), buffer_.data(), pos);
            buffer_.swap(fresh);
        } else {
            buffer_.resizeKeep(newSize);
        }
        base = buffer_.data();
        size = newSize;
        return true;
    }

    std::uint8_t* base = nullptr;
    std::uint64_t pos = 0;      // bytes of output, counted from the buffer's start
    std::uint64_t size = 0;     // working size of the buffer
    std::uint64_t start = 0;    // where this run's output begins
    std::uint64_t limitPos = 0; // output beyond this position exceeds the limit

private:
    IncrementalBuffer& buffer_;
};

} // namespace

void HuffmanDecodeTable::build(const HuffmanTree& tree, unsigned rootBits, SymbolMap map) {
    rootBits_ = rootBits;
    entries_.assign(std::size_t(1) << rootBits, Entry{0, 0, opDead});
    fill(tree, map, 0, rootBits, 0, tree.symbolCount(), 0, 0);
}

// Fills the entries of one table below `node`, reached after depthBefore bits outside this
// table and `depth` bits inside it whose values, least significant first, are `prefix`.
void HuffmanDecodeTable::fill(const HuffmanTree& tree, SymbolMap map, std::uint32_t table,
                              unsigned tableBits, unsigned depthBefore, std::uint32_t node,
                              unsigned depth, std::uint32_t prefix) {
    if (node == HuffmanTree::unassigned || node < tree.symbolCount()) {
        Entry e = node == HuffmanTree::unassigned ? Entry{0, 0, opDead} : map(node);
        e.bits = static_cast<std::uint8_t>(depthBefore + depth);
        for (std::uint32_t i = prefix; i < (1u << tableBits); i += 1u << depth)
            entries_[table + i] = e;
        return;
    }
    if (depth == tableBits) {
        const unsigned subBits = height(tree, node);
        const std::size_t offset = entries_.size();
        if (offset + (std::size_t(1) << subBits) > 0xFFFF)
            throw SupportException("Huffman decoding tables of this size");
        entries_.resize(offset + (std::size_t(1) << subBits), Entry{0, 0, opDead});
        entries_[table + prefix] = {static_cast<std::uint16_t>(offset),
                                    static_cast<std::uint8_t>(subBits), opLink};
        fill(tree, map, static_cast<std::uint32_t>(offset), subBits, depthBefore + depth, node, 0,
             0);
        return;
    }
    fill(tree, map, table, tableBits, depthBefore, tree.step(node, 0), depth + 1, prefix);
    fill(tree, map, table, tableBits, depthBefore, tree.step(node, 1), depth + 1,
         prefix | (1u << depth));
}

Inflater::Inflater() {
    std::vector<std::uint32_t> lengths(288, 8);
    std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
    tree_.build(lengths, "deflate");
    fixedLiterals_.build(tree_, 9, literalEntry);
    // Fixed distance codes are plain 5-bit numbers read most significant bit first, which is
    // what a canonical code of 32 equal lengths of 5 assigns.
    tree_.build(std::vector<std::uint32_t>(32, 5), "deflate");
    fixedDistances_.build(tree_, 5, distanceEntry);
}

// One inflate call: the bit input, the output and the block decoders working on them.
class InflateRun {
public:
    InflateRun(Inflater& owner, ReadStream& source, IncrementalBuffer& destination,
               std::uint64_t limit)
        : owner_(owner), in_(source), out_(destination, limit) {}

    Inflater::Result run() {
        bool final = false;
        do {
            final = in_.take(1) != 0;
            bool within = true;
            switch (in_.take(2)) {
            case 0:
                within = stored();
                break;
            case 1:
                within = codes(owner_.fixedLiterals_, owner_.fixedDistances_);
                break;
            case 2:
                dynamicTables();
                within = codes(owner_.literals_, owner_.distances_);
                break;
            default:
                fail("Reserved block type detected. ");
            }
            if (!within)
                return Inflater::Result::LimitExceeded;
        } while (!final);
        in_.finish();
        return Inflater::Result::Complete;
    }

private:
    bool stored() {
        in_.alignToByte();
        const std::uint32_t length = in_.take(16);
        const std::uint32_t complement = in_.take(16);
        if ((length ^ complement) != 0xFFFF)
            fail("Missmatching length and length complement in no compression block. ");
        if (out_.pos + length > out_.limitPos || !out_.makeRoom(length))
            return false;
        in_.copy(out_.base + out_.pos, length);
        out_.pos += length;
        return true;
    }

    // Decodes one symbol of a small alphabet (the code-length code) the careful way.
    std::uint32_t decodeSymbol(const HuffmanDecodeTable& table) {
        in_.refill();
        Entry e = lookup(table.entries(), table.rootBits(), in_.bits);
        while (e.bits > in_.count) {
            in_.pullByte();
            e = lookup(table.entries(), table.rootBits(), in_.bits);
        }
        if (e.op & HuffmanDecodeTable::opDead)
            fail(invalidCode);
        in_.bits >>= e.bits;
        in_.count -= e.bits;
        return e.value;
    }

    // Reads a list of exactly n code lengths; a repeat code 16 first repeats `previous`.
    void unpack(std::vector<std::uint32_t>& list, std::uint32_t n, std::uint32_t previous) {
        list.clear();
        while (list.size() < n) {
            const std::uint32_t symbol = decodeSymbol(owner_.codeLengths_);
            if (symbol < 16) {
                list.push_back(symbol);
                previous = symbol;
                continue;
            }
            std::uint32_t repeat = 0;
            std::uint32_t value = 0;
            if (symbol == 16) {
                repeat = 3 + in_.take(2);
                value = previous;
            } else if (symbol == 17) {
                repeat = 3 + in_.take(3);
            } else if (symbol == 18) {
                repeat = 11 + in_.take(7);
            } else {
                fail("Invalid code word in code length code. ");
            }
            if (list.size() + repeat > n)
                fail("Invalid number of code length symbols unpacked. ");
            list.insert(list.end(), repeat, value);
            previous = value;
        }
    }

    void dynamicTables() {
        const std::uint32_t literalCount = in_.take(5) + 257;
        const std::uint32_t distanceCount = in_.take(5) + 1;
        const std::uint32_t codeLengthCount = in_.take(4) + 4;
        std::vector<std::uint32_t>& codeLengths = owner_.codeLengthLengths_;
        codeLengths.assign(19, 0);
        for (std::uint32_t i = 0; i < codeLengthCount; ++i)
            codeLengths[codeLengthOrder[i]] = in_.take(3);
        owner_.tree_.build(codeLengths, "deflate");
        owner_.codeLengths_.build(owner_.tree_, codeLengthRootBits, plainEntry);

        unpack(owner_.literalLengths_, literalCount, 0);
        unpack(owner_.distanceLengths_, distanceCount, owner_.literalLengths_.back());
        owner_.tree_.build(owner_.literalLengths_, "deflate");
        owner_.literals_.build(owner_.tree_, literalRootBits, literalEntry);
        // A distance list of zeros leaves a tree without codes: any back reference in the
        // block then fails on its first bit, as an invalid code.
        owner_.tree_.build(owner_.distanceLengths_, "deflate");
        owner_.distances_.build(owner_.tree_, distanceRootBits, distanceEntry);
    }

    // Decodes the codes of one compressed block up to its end-of-block code; false when the
    // output passed the limit. The bit buffer and output position live in locals here, since
    // every byte stored through the output pointer could otherwise alias them.
    bool codes(const HuffmanDecodeTable& literalTable, const HuffmanDecodeTable& distanceTable) {
        using T = HuffmanDecodeTable;
        const Entry* literals = literalTable.entries();
        const unsigned literalBits = literalTable.rootBits();
        const Entry* distances = distanceTable.entries();
        const unsigned distanceBits = distanceTable.rootBits();

        std::uint64_t bits;
        unsigned count;
        const std::uint8_t* next;
        const std::uint8_t* end;
        std::uint8_t* base;
        std::uint8_t* op;
        std::uint8_t* room; // below this, a full match and the copy slack fit
        const std::uint8_t* first;

        auto save = [&] {
            in_.bits = bits;
            in_.count = count;
            in_.next = next;
            in_.end = end;
            out_.pos = static_cast<std::uint64_t>(op - base);
        };
        auto load = [&] {
            bits = in_.bits;
            count = in_.count;
            next = in_.next;
            end = in_.end;
            base = out_.base;
            op = base + out_.pos;
            const std::uint64_t reserve = maxMatch + copySlack;
            room = base + (out_.size > reserve ? out_.size - reserve : 0);
            first = base + out_.start;
        };
        load();

        for (;;) {
            if (op >= room) {
                save();
                if (!out_.makeRoom(maxMatch))
                    return false;
                load();
            }
            if (end - next >= 8) {
                bits |= load64(next) << count;
                next += (63 - count) >> 3;
                count |= 56;
            } else {
                save();
                in_.refillSlow();
                load();
            }

            Entry e = lookup(literals, literalBits, bits);
            while (e.bits > count) {
                save();
                in_.pullByte();
                load();
                e = lookup(literals, literalBits, bits);
            }
            bits >>= e.bits;
            count -= e.bits;
            if (e.op == T::opSymbol) {
                *op++ = static_cast<std::uint8_t>(e.value);
                continue;
            }
            if (!(e.op & T::opBase)) {
                if (e.op == T::opEnd) {
                    save();
                    return true;
                }
                save();
                fail(e.op == T::opReserved ? invalidLiteral : invalidCode);
            }

            unsigned extra = e.op & 15u;
            if (count < extra) {
                save();
                in_.need(extra);
                load();
            }
            const std::uint32_t length =
                e.value + static_cast<std::uint32_t>(bits & ((1u << extra) - 1));
            bits >>= extra;
            count -= extra;

            Entry d = lookup(distances, distanceBits, bits);
            while (d.bits > count) {
                save();
                in_.pullByte();
                load();
                d = lookup(distances, distanceBits, bits);
            }
            bits >>= d.bits;
            count -= d.bits;
            if (!(d.op & T::opBase)) {
                save();
                fail(d.op == T::opReserved ? invalidDistance : invalidCode);
            }
            extra = d.op & 15u;
            if (count < extra) {
                save();
                in_.need(extra);
                load();
            }
            const std::uint32_t distance =
                d.value + static_cast<std::uint32_t>(bits & ((1u << extra) - 1));
            bits >>= extra;
            count -= extra;

            if (distance > static_cast<std::uint64_t>(op - first)) {
                save();
                fail("Back reference refer beyond beginning of buffer. ");
            }
            copyMatch(op, distance, length);
            op += length;
        }
    }

    // Appends length bytes starting distance bytes back; overlapping references repeat the
    // pattern. May write up to copySlack bytes past the end.
    static void copyMatch(std::uint8_t* op, std::uint32_t distance, std::uint32_t length) {
        const std::uint8_t* from = op - distance;
        if (distance == 1) {
            std::memset(op, op[-1], length);
        } else if (distance >= 8) {
            // Each 8-byte step reads only bytes written before it.
            for (std::uint32_t i = 0; i < length; i += 8)
                std::memcpy(op + i, from + i, 8);
        } else {
            for (std::uint32_t i = 0; i < length; ++i)
                op[i] = from[i];
        }
    }

    Inflater& owner_;
    BitInput in_;
    Output out_;
};

Inflater::Result Inflater::inflate(ReadStream& source, IncrementalBuffer& destination,
                                   std::uint64_t limit) {
    InflateRun run(*this, source, destination, limit);
    return run.run();
}

std::uint64_t deflateStoredSize(std::uint32_t size) {
    const std::uint64_t blocks = (std::uint64_t(size) + 65534) / 65535;
    return size + 5 * blocks;
}

void deflateStored(const std::uint8_t* source, std::uint32_t size, WriteStream& destination) {
    std::uint32_t done = 0;
    while (done < size) {
        const std::uint32_t left = size - done;
        const std::uint32_t length = std::min<std::uint32_t>(left, 65535);
        // Final flag in bit 0, block type 0 in bits 1-2, zero padding to the byte boundary.
        const std::uint8_t header[5] = {
            static_cast<std::uint8_t>(left < 65536 ? 1 : 0),
            static_cast<std::uint8_t>(length & 0xFF),
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(~length & 0xFF),
            static_cast<std::uint8_t>((~length >> 8) & 0xFF),
        };
        destination.write(header, sizeof header);
        destination.write(source + done, length);
        done += length;
    }
}

} // namespace ZELK::Migration
