// Dense histograms: iteration over the non-empty bins.
#include "core/histogram.hpp"

#include <functional>

#include "core/exceptions.hpp"

namespace ZELK {

template <typename T> typename DenseHistogram<T>::IteratorHandle DenseHistogram<T>::begin() const {
    auto it =
        std::make_unique<DenseIterator>(counters_.data(), counters_.data() + binCount, valueOf(0));
    it->skipEmpty();
    return it;
}

template <typename T> typename DenseHistogram<T>::IteratorHandle DenseHistogram<T>::end() const {
    // The end position holds the value of the last bin.
    return std::make_unique<DenseIterator>(counters_.data() + binCount, counters_.data() + binCount,
                                           valueOf(binCount - 1));
}

template <typename T> void DenseHistogram<T>::DenseIterator::skipEmpty() {
    while (current_ != end_ && *current_ == 0) {
        ++current_;
        value_ = static_cast<T>(value_ + 1);
    }
}

template <typename T>
typename DenseHistogram<T>::IteratorHandle DenseHistogram<T>::DenseIterator::clone() const {
    auto copy = std::make_unique<DenseIterator>(*this);
    copy->skipEmpty();
    return copy;
}

template <typename T> T DenseHistogram<T>::DenseIterator::value() const {
    if (current_ == end_)
        throw IteratorException();
    return value_;
}

template <typename T> std::uint32_t DenseHistogram<T>::DenseIterator::count() const {
    if (current_ == end_)
        throw IteratorException();
    return *current_;
}

template <typename T> void DenseHistogram<T>::DenseIterator::advance() {
    if (current_ == end_)
        throw IteratorException();
    ++current_;
    value_ = static_cast<T>(value_ + 1);
    skipEmpty();
}

template <typename T>
const typename DenseHistogram<T>::DenseIterator&
DenseHistogram<T>::DenseIterator::dense(const AbstractIterator& other) const {
    const auto* it = dynamic_cast<const DenseIterator*>(&other);
    if (it == nullptr)
        throw IteratorException();
    return *it;
}

template <typename T>
bool DenseHistogram<T>::DenseIterator::less(const AbstractIterator& other) const {
    return std::less<const std::uint32_t*>()(current_, dense(other).current_);
}

template <typename T>
bool DenseHistogram<T>::DenseIterator::equal(const AbstractIterator& other) const {
    return current_ == dense(other).current_;
}

template class DenseHistogram<unsigned char>;
template class DenseHistogram<short>;
template class DenseHistogram<unsigned short>;

} // namespace ZELK
