// Histograms of sample values: one 32-bit counter per representable value, read by value or
// by walking the non-empty bins in increasing value order.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <type_traits>

namespace ZELK {

template <typename T> class Histogram {
public:
    // Position on a bin of a histogram. Iterators are owned by whoever asked for them.
    class AbstractIterator {
    public:
        virtual ~AbstractIterator() = default;
        // A new iterator at the same position, moved on to the next non-empty bin if this
        // one's bin is empty.
        virtual std::unique_ptr<AbstractIterator> clone() const = 0;
        // Value and counter of the current bin; IteratorException at the end position.
        virtual T value() const = 0;
        virtual std::uint32_t count() const = 0;
        // Steps one bin, then skips empty bins; IteratorException at the end position.
        virtual void advance() = 0;
        // Position order and identity, against an iterator of the same histogram kind.
        virtual bool less(const AbstractIterator& other) const = 0;
        virtual bool equal(const AbstractIterator& other) const = 0;
    };

    virtual ~Histogram() = default;
    // All counters to 0.
    virtual void clear() = 0;
    // Counts each of the n samples.
    virtual void add(const T* samples, std::uint32_t n) = 0;
    virtual void add(T value) = 0;
    // A new iterator on the first non-empty bin, or at the end position when all are empty.
    virtual std::unique_ptr<AbstractIterator> begin() const = 0;
    // A new iterator at the end position.
    virtual std::unique_ptr<AbstractIterator> end() const = 0;
    virtual std::uint32_t count(T value) const = 0;
};

// Histogram with one counter for every value of T, held inside the object (no allocation).
// Bin i counts the value min(T) + i, so bin order is value order; counters wrap modulo 2^32.
template <typename T> class DenseHistogram : public Histogram<T> {
    static_assert(std::is_integral_v<T> && sizeof(T) <= 2, "one bin per value of a small type");

public:
    using typename Histogram<T>::AbstractIterator;
    using IteratorHandle = std::unique_ptr<AbstractIterator>;
    static constexpr std::uint32_t binCount = std::uint32_t(1) << (8 * sizeof(T));

    static constexpr std::uint32_t binOf(T value) {
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(value) -
                                          std::numeric_limits<T>::min());
    }
    static constexpr T valueOf(std::uint32_t bin) {
        return static_cast<T>(static_cast<std::int32_t>(bin) + std::numeric_limits<T>::min());
    }

    // Iterator over the counter array: the current counter, the end of the array and the
    // value of the current bin (it moves with the pointer and wraps as T does).
    class DenseIterator : public AbstractIterator {
    public:
        DenseIterator(const std::uint32_t* current, const std::uint32_t* last, T value)
            : current_(current), end_(last), value_(value) {}
        std::unique_ptr<AbstractIterator> clone() const override;
        T value() const override;
        std::uint32_t count() const override;
        void advance() override;
        bool less(const AbstractIterator& other) const override;
        bool equal(const AbstractIterator& other) const override;

        // Moves on until the current bin is non-empty or the end is reached.
        void skipEmpty();

    private:
        const DenseIterator& dense(const AbstractIterator& other) const;

        const std::uint32_t* current_;
        const std::uint32_t* end_;
        T value_;
    };

    DenseHistogram() = default;

    void clear() override { counters_.fill(0); }
    void add(const T* samples, std::uint32_t n) override {
        for (std::uint32_t i = 0; i < n; ++i)
            ++counters_[binOf(samples[i])];
    }
    void add(T value) override { ++counters_[binOf(value)]; }
    std::unique_ptr<AbstractIterator> begin() const override;
    std::unique_ptr<AbstractIterator> end() const override;
    std::uint32_t count(T value) const override { return counters_[binOf(value)]; }

    // The counter array, bin i for value valueOf(i); handed to algorithms that work on bins.
    const std::uint32_t* counters() const { return counters_.data(); }
    std::uint32_t* counters() { return counters_.data(); }

private:
    std::array<std::uint32_t, binCount> counters_{};
};

extern template class DenseHistogram<unsigned char>;
extern template class DenseHistogram<short>;
extern template class DenseHistogram<unsigned short>;

// The first bin at which the running total of counts[0..n) exceeds target, or the last bin
// when it never does: a quantile of the counted values (target = share x total).
inline std::uint32_t firstBinBeyond(const std::uint32_t* counts, std::uint32_t n,
                                    std::uint64_t target) {
    std::uint64_t sum = 0;
    for (std::uint32_t i = 0; i + 1 < n; ++i)
        if ((sum += counts[i]) > target)
            return i;
    return n - 1;
}

} // namespace ZELK
