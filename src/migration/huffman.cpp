// Canonical Huffman code assignment and flat tree construction.
#include "migration/huffman.hpp"

#include "core/exceptions.hpp"

namespace ZELK::Migration {

std::uint64_t kraftSum(const std::vector<std::uint32_t>& lengths) {
    std::uint64_t sum = 0;
    for (std::uint32_t length : lengths)
        if (length > 0 && length <= HuffmanTree::maxCodeLength)
            sum += 1ull << (HuffmanTree::maxCodeLength - length);
    return sum;
}

void HuffmanTree::build(const std::vector<std::uint32_t>& lengths, const std::string& format) {
    n_ = static_cast<std::uint32_t>(lengths.size());
    entries_.clear();
    codes_.assign(lengths.size(), 0);
    lengths_ = lengths;

    std::uint32_t count[maxCodeLength + 1] = {};
    for (std::uint32_t length : lengths) {
        if (length > maxCodeLength)
            throw FormatException(format, "Code length out of range. ");
        if (length > 0)
            ++count[length];
    }
    if (kraftSum(lengths) > (1ull << maxCodeLength))
        throw FormatException(format, "Over-subscribed Huffman code lengths. ");

    // First code of each length; absent symbols (length 0) take no code.
    std::uint32_t next[maxCodeLength + 2] = {};
    std::uint32_t code = 0;
    for (std::uint32_t bits = 1; bits <= maxCodeLength; ++bits) {
        code = (code + (bits > 1 ? count[bits - 1] : 0)) << 1;
        next[bits] = code;
    }

    entries_.assign(2, unassigned);
    for (std::uint32_t symbol = 0; symbol < n_; ++symbol) {
        std::uint32_t length = lengths[symbol];
        if (length == 0)
            continue;
        std::uint32_t c = next[length]++;
        codes_[symbol] = c;
        std::uint32_t offset = 0; // entries index of the current pair
        for (std::uint32_t i = length; i-- > 0;) {
            unsigned bit = (c >> i) & 1u;
            std::uint32_t& entry = entries_[offset + bit];
            if (i == 0) {
                entry = symbol;
                break;
            }
            if (entry == unassigned) {
                std::uint32_t fresh = static_cast<std::uint32_t>(entries_.size());
                entry = n_ + fresh;
                entries_.push_back(unassigned);
                entries_.push_back(unassigned);
                offset = fresh;
            } else {
                offset = entry - n_;
            }
        }
    }
}

} // namespace ZELK::Migration
