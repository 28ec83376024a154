// Test helpers for the inflater: a bit writer for hand-made DEFLATE streams and the plain
// decoder that walks the Huffman tree one bit at a time and reads one byte at a time, against
// which the table-driven inflater is compared.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/exceptions.hpp"
#include "core/streams.hpp"
#include "migration/huffman.hpp"

namespace ZELK::Migration::Testing {

// Packs bits least significant first, as DEFLATE stores them.
class BitWriter {
public:
    // n bits of v, least significant bit first (header fields, extra bits).
    void bits(std::uint32_t v, unsigned n) {
        for (unsigned i = 0; i < n; ++i)
            put((v >> i) & 1u);
    }
    // A Huffman code of the given length, most significant bit first.
    void code(std::uint32_t c, unsigned length) {
        for (unsigned i = length; i-- > 0;)
            put((c >> i) & 1u);
    }
    void align() {
        while (fill_ != 0)
            put(0);
    }
    void bytes(const std::vector<std::uint8_t>& b) {
        align();
        out_.insert(out_.end(), b.begin(), b.end());
    }
    std::vector<std::uint8_t> finish() {
        align();
        return out_;
    }

private:
    void put(unsigned bit) {
        if (fill_ == 0)
            out_.push_back(0);
        out_.back() = static_cast<std::uint8_t>(out_.back() | (bit << fill_));
        fill_ = (fill_ + 1) & 7;
    }
    std::vector<std::uint8_t> out_;
    unsigned fill_ = 0;
};

// Canonical fixed literal/length code lengths.
inline std::vector<std::uint32_t> fixedLiteralLengths() {
    std::vector<std::uint32_t> lengths(288, 8);
    for (int s = 144; s < 256; ++s)
        lengths[s] = 9;
    for (int s = 256; s < 280; ++s)
        lengths[s] = 7;
    return lengths;
}

// Length symbol with its extra bits for a match length 3..258.
struct Coded {
    std::uint32_t symbol, extra, extraBits;
};
inline Coded codeLength(std::uint32_t length) {
    if (length == 258)
        return {285, 0, 0};
    if (length <= 10)
        return {254 + length, 0, 0};
    for (std::uint32_t s = 265; s < 285; ++s) {
        const std::uint32_t e = (s - 261) / 4;
        const std::uint32_t base = ((((s - 261) % 4) + 4) << e) + 3;
        if (length >= base && length < base + (1u << e))
            return {s, length - base, e};
    }
    return {285, 0, 0};
}
// Distance code with its extra bits for a distance 1..32768.
inline Coded codeDistance(std::uint32_t distance) {
    if (distance <= 4)
        return {distance - 1, 0, 0};
    for (std::uint32_t d = 4; d < 30; ++d) {
        const std::uint32_t e = (d - 2) / 2;
        const std::uint32_t base = ((((d - 2) % 2) + 2) << e) + 1;
        if (distance >= base && distance < base + (1u << e))
            return {d, distance - base, e};
    }
    return {29, 0, 0};
}

// The plain decoder: one bit per tree step, one byte per read, output appended symbol by
// symbol. Running out of input raises the same error as a ConstBufferStream.
class ReferenceInflater {
public:
    explicit ReferenceInflater(const std::vector<std::uint8_t>& source) : src_(source) {}

    // Decodes one stream into out; returns normally or raises like the inflater.
    void run(std::vector<std::uint8_t>& out) {
        HuffmanTree fixed;
        fixed.build(fixedLiteralLengths(), "deflate");
        bool final = false;
        do {
            final = bits(1) != 0;
            switch (bits(2)) {
            case 0: {
                left_ = 0;
                const std::uint32_t length = bits(16);
                const std::uint32_t complement = bits(16);
                if ((length ^ complement) != 0xFFFF)
                    fail("Missmatching length and length complement in no compression block. ");
                if (src_.size() - pos_ < length)
                    throw ZELK::StreamException("Attempted to read over end of buffer. ");
                out.insert(out.end(), src_.begin() + pos_, src_.begin() + pos_ + length);
                pos_ += length;
                break;
            }
            case 1:
                block(out, fixed, nullptr);
                break;
            case 2: {
                HuffmanTree literals, distances;
                dynamicTrees(literals, distances);
                block(out, literals, &distances);
                break;
            }
            default:
                fail("Reserved block type detected. ");
            }
        } while (!final);
    }

    // Bytes of the source read so far.
    std::size_t consumed() const { return pos_; }

private:
    [[noreturn]] static void fail(const char* detail) { throw FormatException("deflate", detail); }

    unsigned bit() {
        if (left_ == 0) {
            if (pos_ >= src_.size())
                throw ZELK::StreamException("Attempted to read over end of buffer. ");
            current_ = src_[pos_++];
            left_ = 8;
        }
        const unsigned b = current_ & 1u;
        current_ >>= 1;
        --left_;
        return b;
    }
    std::uint32_t bits(unsigned n) {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i)
            v |= bit() << i;
        return v;
    }
    std::uint32_t decode(const HuffmanTree& tree) {
        std::uint32_t v = tree.symbolCount();
        while (v >= tree.symbolCount()) {
            v = tree.step(v, bit());
            if (v == HuffmanTree::unassigned)
                fail("Invalid Huffman code. ");
        }
        return v;
    }

    void unpack(const HuffmanTree& codeLengths, std::vector<std::uint32_t>& list, std::uint32_t n,
                std::uint32_t previous) {
        while (list.size() < n) {
            const std::uint32_t symbol = decode(codeLengths);
            if (symbol < 16) {
                list.push_back(symbol);
                previous = symbol;
                continue;
            }
            std::uint32_t repeat = 0, value = 0;
            if (symbol == 16) {
                repeat = 3 + bits(2);
                value = previous;
            } else if (symbol == 17) {
                repeat = 3 + bits(3);
            } else if (symbol == 18) {
                repeat = 11 + bits(7);
            } else {
                fail("Invalid code word in code length code. ");
            }
            for (std::uint32_t i = 0; i < repeat; ++i)
                list.push_back(value);
            if (list.size() > n)
                fail("Invalid number of code length symbols unpacked. ");
            previous = value;
        }
    }

    void dynamicTrees(HuffmanTree& literals, HuffmanTree& distances) {
        static const int order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
        const std::uint32_t hlit = bits(5) + 257;
        const std::uint32_t hdist = bits(5) + 1;
        const std::uint32_t hclen = bits(4) + 4;
        std::vector<std::uint32_t> cl(19, 0);
        for (std::uint32_t i = 0; i < hclen; ++i)
            cl[order[i]] = bits(3);
        HuffmanTree codeLengths;
        codeLengths.build(cl, "deflate");
        std::vector<std::uint32_t> lit, dist;
        unpack(codeLengths, lit, hlit, 0);
        unpack(codeLengths, dist, hdist, lit.back());
        literals.build(lit, "deflate");
        distances.build(dist, "deflate");
    }

    // distances == nullptr: fixed block, 5-bit distance codes most significant bit first.
    void block(std::vector<std::uint8_t>& out, const HuffmanTree& literals,
               const HuffmanTree* distances) {
        const std::size_t start = 0;
        for (;;) {
            const std::uint32_t s = decode(literals);
            if (s < 256) {
                out.push_back(static_cast<std::uint8_t>(s));
                continue;
            }
            if (s == 256)
                return;
            if (s > 285)
                fail("Invalid literal/length symbol. ");
            std::uint32_t length;
            if (s <= 264) {
                length = s - 254;
            } else if (s == 285) {
                length = 258;
            } else {
                const std::uint32_t e = (s - 261) / 4;
                length = ((((s - 261) % 4) + 4) << e) + bits(e) + 3;
            }
            std::uint32_t d = 0;
            if (distances != nullptr) {
                d = decode(*distances);
            } else {
                for (int i = 0; i < 5; ++i)
                    d = (d << 1) | bit();
            }
            if (d > 29)
                fail("Invalid distance symbol. ");
            std::uint32_t distance;
            if (d <= 3) {
                distance = d + 1;
            } else {
                const std::uint32_t e = (d - 2) / 2;
                distance = ((((d - 2) % 2) + 2) << e) + bits(e) + 1;
            }
            if (distance > out.size() - start)
                fail("Back reference refer beyond beginning of buffer. ");
            for (std::uint32_t i = 0; i < length; ++i)
                out.push_back(out[out.size() - distance]);
        }
    }

    const std::vector<std::uint8_t>& src_;
    std::size_t pos_ = 0;
    std::uint8_t current_ = 0;
    unsigned left_ = 0;
};

// A stream that cannot tell its position or length, so the inflater must read it byte by
// byte; counts what was read.
class SequentialStream : public ReadStream {
public:
    explicit SequentialStream(const std::vector<std::uint8_t>& data) : data_(data) {}
    void read(void* dest, std::uint64_t count) override {
        if (count > data_.size() - pos_)
            throw ZELK::StreamException("Attempted to read over end of buffer. ");
        std::memcpy(dest, data_.data() + pos_, count);
        pos_ += count;
    }
    bool atEnd() override { return pos_ >= data_.size(); }
    std::size_t position() const { return pos_; }

private:
    const std::vector<std::uint8_t>& data_;
    std::size_t pos_ = 0;
};

} // namespace ZELK::Migration::Testing
