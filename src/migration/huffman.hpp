// Canonical Huffman code trees shared by the inflater and the JPEG decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ZELK::Migration {

// One code alphabet as a flat binary tree stored in pairs. Decoding starts with the value n
// (the symbol count); while the current value v is >= n, one bit b is read and the next value
// is entries[(v - n) + b]; a value below n is the decoded symbol. Unassigned entries hold
// `unassigned`, which a decoder must reject rather than follow.
class HuffmanTree {
public:
    static constexpr std::uint32_t unassigned = 0xFFFFFFFFu;
    static constexpr std::uint32_t maxCodeLength = 16;

    std::uint32_t symbolCount() const { return n_; }
    const std::vector<std::uint32_t>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }

    // Next value after reading bit b at value v (v >= n); `unassigned` for a dead end.
    std::uint32_t step(std::uint32_t v, unsigned b) const { return entries_[v - n_ + b]; }

    // Builds the canonical code for the given lengths (0 = symbol absent), assigning codes in
    // increasing symbol order within each length. An over-subscribed set raises a
    // FormatException with the given format name; an incomplete set is kept, its unused codes
    // left unassigned.
    void build(const std::vector<std::uint32_t>& lengths, const std::string& format);

    // Canonical code and length of each symbol, as build() assigned them (length 0: absent).
    const std::vector<std::uint32_t>& codes() const { return codes_; }
    const std::vector<std::uint32_t>& lengths() const { return lengths_; }

private:
    std::uint32_t n_ = 0;
    std::vector<std::uint32_t> entries_;
    std::vector<std::uint32_t> codes_;
    std::vector<std::uint32_t> lengths_;
};

// Sum of 2^(maxCodeLength - length) over the non-zero lengths: equal to 2^maxCodeLength for a
// complete code, below it for an incomplete one, above it for an over-subscribed one.
std::uint64_t kraftSum(const std::vector<std::uint32_t>& lengths);

} // namespace ZELK::Migration
