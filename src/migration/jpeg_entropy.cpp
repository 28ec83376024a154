// The input window, the unstuffing bit reader and Huffman decoding of the JPEG decoder.
#include "migration/jpeg_entropy.hpp"

#include <cstring>

#include "core/exceptions.hpp"

namespace ZELK::Migration::JPEG {

namespace {

// Bytes read from the stream per refill: large enough that the virtual read disappears from
// the profile, small enough not to matter for memory.
constexpr std::size_t chunkBytes = 1u << 16;

} // namespace

std::string hex(unsigned value) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 15u]);
        value >>= 4;
    } while (value != 0);
    return out;
}

InputWindow::InputWindow(ReadStream& stream)
    : stream_(stream), random_(dynamic_cast<RandomStream*>(&stream)) {
    if (random_ != nullptr) {
        std::uint64_t length = random_->length();
        std::uint64_t position = random_->tell();
        left_ = length > position ? length - position : 0;
    }
    buffer_.resize(keepBack + chunkBytes);
}

std::size_t InputWindow::refill() {
    // Keep the unread bytes and a tail of read ones, move them to the front.
    std::size_t keep = pos_ < keepBack ? pos_ : keepBack;
    std::size_t from = pos_ - keep;
    std::size_t unread = end_ - pos_;
    if (from > 0)
        std::memmove(buffer_.data(), buffer_.data() + from, keep + unread);
    pos_ = keep;
    end_ = keep + unread;
    std::size_t room = buffer_.size() - end_;
    std::size_t added = 0;
    if (random_ != nullptr) {
        added = left_ < room ? static_cast<std::size_t>(left_) : room;
        if (added > 0) {
            stream_.read(buffer_.data() + end_, added);
            left_ -= added;
        }
    } else {
        // Without a length the only safe way is a byte at a time up to the end.
        while (added < room && !stream_.atEnd()) {
            stream_.read(buffer_.data() + end_ + added, 1);
            ++added;
        }
    }
    end_ += added;
    return added;
}

std::uint8_t InputWindow::byte() {
    if (pos_ == end_ && refill() == 0) {
        // Let the stream raise its own read error; a stream that still delivers is believed.
        std::uint8_t b = 0;
        stream_.read(&b, 1);
        return b;
    }
    return buffer_[pos_++];
}

void InputWindow::read(std::uint8_t* dest, std::size_t count) {
    while (count > 0) {
        std::size_t have = end_ - pos_;
        if (have == 0) {
            *dest++ = byte();
            --count;
            continue;
        }
        std::size_t n = have < count ? have : count;
        std::memcpy(dest, buffer_.data() + pos_, n);
        pos_ += n;
        dest += n;
        count -= n;
    }
}

void InputWindow::rewind(std::size_t n) {
    if (n > pos_)
        throw BoundException<unsigned long long>(n, pos_);
    pos_ -= n;
}

void BitReader::fillSlow() {
    while (count_ <= 56 && stop_ == Stop::None) {
        std::size_t avail = in_.ensure(lookAhead);
        if (avail == 0) {
            stop_ = Stop::End;
            return;
        }
        // Fewer than asked means the file ends within these bytes.
        const bool last = avail < lookAhead;
        const std::uint8_t* p = in_.cursor();
        const std::uint8_t* const start = p;
        const std::uint8_t* const end = p + avail;
        while (count_ <= 56) {
            if (end - p >= 8) {
                // Eight bytes at once when none of them is 0xFF.
                std::uint64_t word;
                std::memcpy(&word, p, 8);
                if (((~word - 0x0101010101010101ull) & word & 0x8080808080808080ull) == 0) {
                    const unsigned take = (64 - count_) / 8;       // whole bytes that fit, 1..8
                    std::uint64_t bytes = __builtin_bswap64(word); // first byte on top
                    if (take < 8)
                        bytes &= ~(~0ull >> (8 * take));
                    acc_ |= bytes >> count_;
                    count_ += 8 * take;
                    p += take;
                    continue;
                }
            }
            if (end - p < 2) {
                if (!last)
                    break; // refill before looking at a byte that may be a 0xFF
                if (p == end) {
                    stop_ = Stop::End;
                    break;
                }
                if (*p == 0xFF) {
                    stop_ = Stop::End; // a 0xFF as the file's last byte
                    break;
                }
                acc_ |= std::uint64_t(*p) << (56 - count_);
                count_ += 8;
                ++p;
                continue;
            }
            std::uint8_t b = *p;
            if (b == 0xFF) {
                if (p[1] != 0) {
                    stop_ = Stop::Marker;
                    markerCode_ = p[1];
                    break;
                }
                p += 2;
            } else {
                ++p;
            }
            acc_ |= std::uint64_t(b) << (56 - count_);
            count_ += 8;
        }
        in_.advance(static_cast<std::size_t>(p - start));
    }
}

void BitReader::release() {
    const unsigned partial = count_ % 8;
    acc_ <<= partial; // partial < 8 <= 64 - count_ + partial: no shift by 64
    count_ -= partial;
    std::size_t fileBytes = 0;
    for (unsigned i = 0; i < count_ / 8; ++i) {
        std::uint8_t b = static_cast<std::uint8_t>(acc_ >> (56 - 8 * i));
        fileBytes += b == 0xFF ? 2 : 1; // a data 0xFF came with its stuffed zero
    }
    in_.rewind(fileBytes);
    acc_ = 0;
    count_ = 0;
    stop_ = Stop::None;
}

void BitReader::exhausted() {
    if (stop_ == Stop::Marker)
        throw FormatException("jpeg", "Expected stuff byte (0x00), got 0x" + hex(markerCode_));
    // At the end of the file: reading on makes the stream raise its own error.
    std::uint8_t scratch[2];
    in_.read(scratch, 2);
    throw FormatException("jpeg", "Unexpected end of entropy-coded data. ");
}

void unassignedCode() {
    throw FormatException("jpeg", "Huffman code without assigned symbol encountered. ");
}

void HuffmanDecoder::build(const std::array<std::uint8_t, 16>& counts,
                           const std::vector<std::uint8_t>& values) {
    std::vector<std::uint32_t> lengths;
    for (std::uint32_t i = 0; i < 16; ++i)
        lengths.insert(lengths.end(), counts[i], i + 1);
    values_ = values;
    if (!lengths.empty()) {
        // The extra value stands for the code after the last one; it has no room in a code set
        // that is already complete.
        std::vector<std::uint32_t> extended = lengths;
        extended.push_back(lengths.back());
        if (kraftSum(extended) <= (1ull << HuffmanTree::maxCodeLength)) {
            lengths.swap(extended);
            values_.push_back(0);
        }
    }
    tree_.build(lengths, "jpeg");

    // Walk every lookupBits-bit prefix through the tree once.
    const std::uint32_t n = tree_.symbolCount();
    lookup_.assign(1u << lookupBits, deadEntry);
    for (std::uint32_t prefix = 0; prefix < (1u << lookupBits); ++prefix) {
        std::uint32_t v = n;
        std::uint32_t entry = deadEntry;
        for (unsigned depth = 1; depth <= lookupBits; ++depth) {
            v = tree_.step(v, (prefix >> (lookupBits - depth)) & 1u);
            if (v == HuffmanTree::unassigned)
                break;
            if (v < n) {
                entry = (depth << 8) | values_[v];
                break;
            }
            if (depth == lookupBits)
                entry = internalFlag | v;
        }
        lookup_[prefix] = entry;
    }

    // Coefficients whose code and extra bits fit the lookup together.
    coefficients_.assign(1u << lookupBits, 0);
    for (std::uint32_t prefix = 0; prefix < (1u << lookupBits); ++prefix) {
        const std::uint32_t entry = lookup_[prefix];
        if (entry >= leafLimit)
            continue;
        const unsigned length = entry >> 8;
        const unsigned run = (entry >> 4) & 15u;
        const unsigned size = entry & 15u;
        if (size == 0 || length + size > lookupBits)
            continue;
        const std::uint32_t bits = (prefix >> (lookupBits - length - size)) & ((1u << size) - 1);
        const auto value = static_cast<std::uint16_t>(extend(bits, size));
        coefficients_[prefix] = (std::uint32_t(value) << 16) | (run << 8) | (length + size);
    }
}

std::uint32_t HuffmanDecoder::walk(BitReader& reader, std::uint32_t v) const {
    const std::uint32_t n = tree_.symbolCount();
    while (v >= n) {
        v = tree_.step(v, reader.bit());
        if (v == HuffmanTree::unassigned)
            unassignedCode();
    }
    return values_[v];
}

std::uint32_t HuffmanDecoder::decodeByTree(BitReader& reader) const {
    return walk(reader, tree_.symbolCount());
}

std::uint32_t HuffmanDecoder::decodeSlow(BitReader& reader) const {
    if (reader.available() < lookupBits)
        return decodeByTree(reader);
    std::uint32_t entry = lookup_[reader.peek(lookupBits)];
    if (entry == deadEntry)
        unassignedCode(); // the bits that lead there are all present
    if (entry < leafLimit) {
        reader.consume(entry >> 8);
        return entry & 0xFFu;
    }
    reader.consume(lookupBits);
    return walk(reader, entry & ~internalFlag);
}

} // namespace ZELK::Migration::JPEG
