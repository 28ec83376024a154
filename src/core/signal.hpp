// Signals: N-dimensional sample arrays (images, filter results, label images, gradients)
// owned or borrowed, and the bit-packed binary signal used for masks.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "core/checked.hpp"
#include "core/exceptions.hpp"
#include "core/streams.hpp"
#include "core/tuple.hpp"

namespace ZELK {

// Number of samples of a signal with the given sizes. Raises the bound error
// (BoundException<unsigned long long>) when the product does not fit in 32 bits.
template <unsigned N> std::uint32_t sampleCount(const Tuple<N, unsigned>& sizes) {
    std::uint64_t n = 1;
    for (unsigned i = 0; i < N; ++i)
        n = checkedMul(n, sizes[i]);
    return checkedU32(n);
}

// Common shape of owning signals and views: sizes (sizes[0] is the extent of the first,
// fastest coordinate), the cached sample count, the sample pointer P (T* or const T*) and the
// number of samples the memory holds. Samples are contiguous in linear order, first
// coordinate fastest, no padding between lines: (c0, c1, ...) is at c0 + s0 (c1 + s1 (...)).
template <unsigned N, typename T, typename P> class SignalBase {
    static_assert(std::is_trivially_copyable_v<T>, "signal samples are plain numbers");

public:
    using Sample = T;
    using Sizes = Tuple<N, unsigned>;
    static constexpr unsigned dimension = N;
    static constexpr bool writable = !std::is_const_v<std::remove_pointer_t<P>>;

    const Sizes& sizes() const { return sizes_; }
    unsigned size(unsigned axis) const { return sizes_[axis]; }
    unsigned width() const { return sizes_[0]; }
    unsigned height() const requires(N >= 2) { return sizes_[1]; }
    std::uint32_t count() const { return count_; }
    std::uint32_t capacity() const { return capacity_; }
    bool empty() const { return count_ == 0; }

    const T* data() const { return data_; }
    P data() { return data_; }

    // Samples per line: the product of every size but the last (for an image, its width; for
    // a channels x width x height view, channels x width).
    std::uint32_t rowLength() const requires(N >= 2) {
        std::uint32_t n = 1;
        for (unsigned i = 0; i + 1 < N; ++i)
            n *= sizes_[i];
        return n;
    }
    // First sample of line y (the last coordinate). Unchecked: y < sizes[N-1].
    const T* row(unsigned y) const requires(N >= 2) { return data_ + std::size_t(y) * rowLength(); }
    P row(unsigned y) requires(N >= 2) { return data_ + std::size_t(y) * rowLength(); }

    // Linear index of the sample at the given coordinates. Unchecked: every coordinate must be
    // below its size.
    template <typename... I>
    requires(sizeof...(I) == N && (std::convertible_to<I, unsigned> && ...)) std::uint32_t
        index(I... coordinates)
    const {
        const unsigned c[N] = {static_cast<unsigned>(coordinates)...};
        std::uint32_t at = c[N - 1];
        for (unsigned i = N - 1; i-- > 0;)
            at = at * sizes_[i] + c[i];
        return at;
    }
    template <typename... I> const T& operator()(I... coordinates) const {
        return data_[index(coordinates...)];
    }
    template <typename... I> auto& operator()(I... coordinates) requires writable {
        return data_[index(coordinates...)];
    }

    void fill(T value) requires writable { std::fill_n(data_, count_, value); }
    void clear() requires writable { fill(T(0)); }

protected:
    SignalBase() = default;
    SignalBase(P data, std::uint32_t capacity) : data_(data), capacity_(capacity) {}

    // The resize of a view: same memory, new sizes, no more samples than it holds.
    void resizeWithin(const Sizes& sizes) {
        const std::uint32_t n = sampleCount(sizes);
        if (n > capacity_)
            throw SpaceException<unsigned int>(n, capacity_);
        sizes_ = sizes;
        count_ = n;
    }

    Sizes sizes_;
    std::uint32_t count_ = 0;
    P data_ = nullptr;
    std::uint32_t capacity_ = 0;
};

// Raises SignalSizeException at the first axis whose sizes differ.
template <unsigned N, typename T1, typename P1, typename T2, typename P2>
void requireSameSizes(const SignalBase<N, T1, P1>& a, const SignalBase<N, T2, P2>& b) {
    for (unsigned i = 0; i < N; ++i)
        if (a.size(i) != b.size(i))
            throw SignalSizeException();
}

// Element-wise a = op(a, b) between signals of equal sizes, in the sample type's own
// arithmetic (8-bit unsigned subtraction wraps modulo 256). Sizes are compared before anything
// changes.
template <unsigned N, typename T, typename P1, typename P2, typename Op>
requires SignalBase<N, T, P1>::writable SignalBase<N, T, P1>
&combineInPlace(SignalBase<N, T, P1>& a, const SignalBase<N, T, P2>& b, Op op) {
    requireSameSizes(a, b);
    T* out = a.data();
    const T* in = b.data();
    const std::uint32_t n = a.count();
    for (std::uint32_t i = 0; i < n; ++i)
        out[i] = static_cast<T>(op(out[i], in[i]));
    return a;
}
template <unsigned N, typename T, typename P1, typename P2>
SignalBase<N, T, P1>& operator-=(SignalBase<N, T, P1>& a, const SignalBase<N, T, P2>& b) {
    return combineInPlace(a, b, [](T u, T v) { return u - v; });
}
template <unsigned N, typename T, typename P1, typename P2>
SignalBase<N, T, P1>& operator+=(SignalBase<N, T, P1>& a, const SignalBase<N, T, P2>& b) {
    return combineInPlace(a, b, [](T u, T v) { return u + v; });
}
template <unsigned N, typename T, typename P1, typename P2>
SignalBase<N, T, P1>& operator*=(SignalBase<N, T, P1>& a, const SignalBase<N, T, P2>& b) {
    return combineInPlace(a, b, [](T u, T v) { return u * v; });
}

// Signal that owns its samples. Newly allocated samples are zero.
template <unsigned N, typename T> class Signal : public SignalBase<N, T, T*>, public Serializable {
    using Base = SignalBase<N, T, T*>;

public:
    using typename Base::Sizes;

    Signal() = default;
    explicit Signal(const Sizes& sizes) { resize(sizes); }
    Signal(const Signal& other) : Base() { assign(other); }
    Signal(Signal&& other) noexcept { swap(other); }
    Signal& operator=(const Signal& other) {
        if (this != &other)
            assign(other);
        return *this;
    }
    Signal& operator=(Signal&& other) noexcept {
        Signal moved(std::move(other));
        swap(moved);
        return *this;
    }

    // Let n be the product of the new sizes. When n differs from count(), a new array of n
    // samples replaces the old one (none when n is 0); with keep the first min(n, count())
    // samples are copied over in linear order. When n equals count() the array is left as
    // it is. Then sizes and count take the new values.
    void resize(const Sizes& sizes, bool keep = false) {
        const std::uint32_t n = sampleCount(sizes);
        if (n != this->count_) {
            std::unique_ptr<T[]> fresh = n > 0 ? std::make_unique<T[]>(n) : nullptr;
            if (keep)
                std::copy_n(owned_.get(), std::min(n, this->count_), fresh.get());
            owned_ = std::move(fresh);
            this->data_ = owned_.get();
            this->capacity_ = n;
        }
        this->sizes_ = sizes;
        this->count_ = n;
    }

    // Takes the other signal's sizes and copies its samples. The other signal may be a view
    // on this signal's own samples.
    template <typename P> void assign(const SignalBase<N, T, P>& other) {
        const T* source = other.data();
        if (source == this->data_ && other.sizes() == this->sizes_)
            return;
        const std::less<const T*> before;
        if (this->count_ > 0 && !before(source, this->data_) &&
            before(source, this->data_ + this->count_)) {
            Signal copy;
            copy.assign(other);
            swap(copy);
            return;
        }
        resize(other.sizes());
        std::copy_n(source, this->count_, this->data_);
    }
    template <typename P> Signal& operator=(const SignalBase<N, T, P>& other) {
        assign(other);
        return *this;
    }

    // Visits the sizes, resizes to them (so that a reading visitor gets room for the
    // samples), then visits every sample in linear order.
    void serialize(Serialization& visitor) override {
        Sizes sizes = this->sizes_;
        sizes.serialize(visitor);
        resize(sizes);
        for (std::uint32_t i = 0; i < this->count_; ++i)
            visitor.visit(this->data_[i]);
    }

private:
    void swap(Signal& other) noexcept {
        std::swap(this->sizes_, other.sizes_);
        std::swap(this->count_, other.count_);
        std::swap(this->data_, other.data_);
        std::swap(this->capacity_, other.capacity_);
        std::swap(owned_, other.owned_);
    }

    std::unique_ptr<T[]> owned_;
};

// Writable view on samples owned elsewhere (an image buffer, a line of an image). It never
// reallocates; resizing beyond the memory it was given raises SpaceException. Copies share
// the memory; assigning samples is explicit (assign()).
template <unsigned N, typename T>
class SignalBorrow : public SignalBase<N, T, T*>, public Serializable {
    using Base = SignalBase<N, T, T*>;

public:
    using typename Base::Sizes;

    // View on capacity samples at data, with all sizes 0 (or the given sizes).
    SignalBorrow(T* data, std::uint32_t capacity) : Base(data, capacity) {}
    SignalBorrow(T* data, std::uint32_t capacity, const Sizes& sizes) : Base(data, capacity) {
        resize(sizes);
    }
    // View on all samples of an owning signal.
    SignalBorrow(Signal<N, T>& owner) : Base(owner.data(), owner.count()) { resize(owner.sizes()); }
    SignalBorrow(const SignalBorrow&) = default;
    SignalBorrow& operator=(const SignalBorrow&) = delete;

    void resize(const Sizes& sizes) { this->resizeWithin(sizes); }

    // Takes the other signal's sizes (within capacity) and copies its samples.
    template <typename P> void assign(const SignalBase<N, T, P>& other) {
        resize(other.sizes());
        std::copy_n(other.data(), this->count_, this->data_);
    }

    // As Signal::serialize, within the borrowed memory.
    void serialize(Serialization& visitor) override {
        Sizes sizes = this->sizes_;
        sizes.serialize(visitor);
        resize(sizes);
        for (std::uint32_t i = 0; i < this->count_; ++i)
            visitor.visit(this->data_[i]);
    }
};

// Read-only view on samples owned elsewhere.
template <unsigned N, typename T> class SignalConstBorrow : public SignalBase<N, T, const T*> {
    using Base = SignalBase<N, T, const T*>;

public:
    using typename Base::Sizes;

    SignalConstBorrow(const T* data, std::uint32_t capacity) : Base(data, capacity) {}
    SignalConstBorrow(const T* data, std::uint32_t capacity, const Sizes& sizes)
        : Base(data, capacity) {
        resize(sizes);
    }
    // View on any signal of the same shape, with its sizes and capacity.
    template <typename P>
    SignalConstBorrow(const SignalBase<N, T, P>& other) : Base(other.data(), other.capacity()) {
        resize(other.sizes());
    }
    SignalConstBorrow(const SignalConstBorrow&) = default;
    SignalConstBorrow& operator=(const SignalConstBorrow&) = delete;

    void resize(const Sizes& sizes) { this->resizeWithin(sizes); }
};

template <unsigned N, typename W> class BinarySignal;

// One bit per sample, packed into 32-bit words. Each line starts on a word boundary: sample
// (x, y) is bit (x & 31) of word y * wordsPerRow() + (x >> 5), bit 0 the least significant.
// The unused high bits of the last word of a line (padding) take part in word-wise
// operations like the others.
template <> class BinarySignal<2, unsigned> : public Serializable {
public:
    using Sizes = Tuple<2, unsigned>;
    using Word = std::uint32_t;
    static constexpr unsigned bitsPerWord = 32;

    BinarySignal() = default;
    explicit BinarySignal(const Sizes& sizes) { resize(sizes); }
    BinarySignal(const BinarySignal& other);
    BinarySignal(BinarySignal&& other) noexcept { swap(other); }
    BinarySignal& operator=(const BinarySignal& other);
    BinarySignal& operator=(BinarySignal&& other) noexcept {
        BinarySignal moved(std::move(other));
        swap(moved);
        return *this;
    }

    // Words per line for a given width: ceil(width / 32).
    static std::uint32_t wordsFor(unsigned width) {
        return static_cast<std::uint32_t>((std::uint64_t(width) + 31) >> 5);
    }

    // n = ceil(width / 32) x height words. A new (zeroed) array replaces the old one when n
    // differs from count(); otherwise the words stay as they are.
    void resize(const Sizes& sizes);

    const Sizes& sizes() const { return sizes_; }
    unsigned width() const { return sizes_[0]; }
    unsigned height() const { return sizes_[1]; }
    // Number of 32-bit words.
    std::uint32_t count() const { return count_; }
    std::uint32_t wordsPerRow() const { return wordsPerRow_; }
    const Word* data() const { return words_.get(); }
    Word* data() { return words_.get(); }
    const Word* row(unsigned y) const { return words_.get() + std::size_t(y) * wordsPerRow_; }
    Word* row(unsigned y) { return words_.get() + std::size_t(y) * wordsPerRow_; }
    // Mask of the bits of a line's last word that hold samples (all bits when the width is a
    // multiple of 32).
    Word lastWordMask() const {
        const unsigned used = sizes_[0] & 31u;
        return used == 0 ? ~Word(0) : (Word(1) << used) - 1;
    }

    // Calls visit(x) for every set sample (x, y) of line y, left to right, a word at a time;
    // padding bits beyond the width are never visited.
    template <typename Visit> void forEachSetInRow(unsigned y, Visit&& visit) const {
        const Word* bits = row(y);
        for (std::uint32_t i = 0; i < wordsPerRow_; ++i) {
            Word word = i + 1 == wordsPerRow_ ? bits[i] & lastWordMask() : bits[i];
            for (; word != 0; word &= word - 1)
                visit(i * bitsPerWord + static_cast<unsigned>(std::countr_zero(word)));
        }
    }

    // The sample at (x, y); false for any coordinate outside the sizes.
    bool get(std::int64_t x, std::int64_t y) const {
        if (x < 0 || y < 0 || x >= sizes_[0] || y >= sizes_[1])
            return false;
        return (row(unsigned(y))[x >> 5] >> (x & 31)) & 1u;
    }
    // Writes the sample at (x, y). Unchecked: x < width(), y < height().
    void set(unsigned x, unsigned y, bool value = true) {
        Word& word = row(y)[x >> 5];
        const Word bit = Word(1) << (x & 31);
        word = value ? (word | bit) : (word & ~bit);
    }

    // Every word to 0.
    void clear();
    // Every bit flipped, padding bits included.
    void invert();
    // The padding bits of every line to 0.
    void clearPadding();
    // Number of set bits over all words (padding included).
    std::uint32_t countSetBits() const;

    // Word-wise combination with a signal of equal sizes; different sizes raise
    // SignalSizeException before anything changes.
    BinarySignal& operator&=(const BinarySignal& other);
    BinarySignal& operator|=(const BinarySignal& other);
    BinarySignal& operator^=(const BinarySignal& other);

    // Visits the sizes, resizes to them, then visits every word.
    void serialize(Serialization& visitor) override;

private:
    void requireSameSizes(const BinarySignal& other) const;
    void swap(BinarySignal& other) noexcept;

    Sizes sizes_;
    std::uint32_t count_ = 0;
    std::uint32_t wordsPerRow_ = 0;
    std::unique_ptr<Word[]> words_;
};

} // namespace ZELK
