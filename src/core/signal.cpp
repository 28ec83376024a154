// The bit-packed binary signal: allocation, whole-word operations and serialisation.
#include "core/signal.hpp"

#include <bit>

namespace ZELK {

BinarySignal<2, unsigned>::BinarySignal(const BinarySignal& other) : Serializable() {
    *this = other;
}

BinarySignal<2, unsigned>& BinarySignal<2, unsigned>::operator=(const BinarySignal& other) {
    if (this != &other) {
        resize(other.sizes_);
        std::copy_n(other.words_.get(), count_, words_.get());
    }
    return *this;
}

void BinarySignal<2, unsigned>::swap(BinarySignal& other) noexcept {
    std::swap(sizes_, other.sizes_);
    std::swap(count_, other.count_);
    std::swap(wordsPerRow_, other.wordsPerRow_);
    std::swap(words_, other.words_);
}

void BinarySignal<2, unsigned>::resize(const Sizes& sizes) {
    const std::uint32_t perRow = wordsFor(sizes[0]);
    const std::uint32_t n = checkedU32(checkedMul(perRow, sizes[1]));
    if (n != count_)
        words_ = n > 0 ? std::make_unique<Word[]>(n) : nullptr;
    sizes_ = sizes;
    count_ = n;
    wordsPerRow_ = perRow;
}

void BinarySignal<2, unsigned>::clear() {
    std::fill_n(words_.get(), count_, Word(0));
}

void BinarySignal<2, unsigned>::invert() {
    for (std::uint32_t i = 0; i < count_; ++i)
        words_[i] = ~words_[i];
}

void BinarySignal<2, unsigned>::clearPadding() {
    if (wordsPerRow_ == 0)
        return;
    const Word mask = lastWordMask();
    for (unsigned y = 0; y < sizes_[1]; ++y)
        row(y)[wordsPerRow_ - 1] &= mask;
}

std::uint32_t BinarySignal<2, unsigned>::countSetBits() const {
    std::uint32_t total = 0;
    for (std::uint32_t i = 0; i < count_; ++i)
        total += static_cast<std::uint32_t>(std::popcount(words_[i]));
    return total;
}

void BinarySignal<2, unsigned>::requireSameSizes(const BinarySignal& other) const {
    for (unsigned i = 0; i < 2; ++i)
        if (sizes_[i] != other.sizes_[i])
            throw SignalSizeException();
}

BinarySignal<2, unsigned>& BinarySignal<2, unsigned>::operator&=(const BinarySignal& other) {
    requireSameSizes(other);
    for (std::uint32_t i = 0; i < count_; ++i)
        words_[i] &= other.words_[i];
    return *this;
}

BinarySignal<2, unsigned>& BinarySignal<2, unsigned>::operator|=(const BinarySignal& other) {
    requireSameSizes(other);
    for (std::uint32_t i = 0; i < count_; ++i)
        words_[i] |= other.words_[i];
    return *this;
}

BinarySignal<2, unsigned>& BinarySignal<2, unsigned>::operator^=(const BinarySignal& other) {
    requireSameSizes(other);
    for (std::uint32_t i = 0; i < count_; ++i)
        words_[i] ^= other.words_[i];
    return *this;
}

void BinarySignal<2, unsigned>::serialize(Serialization& visitor) {
    Sizes sizes = sizes_;
    sizes.serialize(visitor);
    resize(sizes);
    for (std::uint32_t i = 0; i < count_; ++i)
        visitor.visit(words_[i]);
}

} // namespace ZELK
