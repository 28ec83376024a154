// Byte buffers: range checks and the growth rule of owning buffers.
#include "core/buffers.hpp"

#include <algorithm>
#include <cstring>

namespace ZELK {

const std::uint8_t* Buffer::range(std::uint64_t offset, std::uint64_t length) const {
    if (offset + length < offset || offset + length > size_)
        throw BoundException<unsigned long long>(offset + length, size_);
    return dataAt(static_cast<std::uint32_t>(offset));
}

std::uint8_t* Buffer::range(std::uint64_t offset, std::uint64_t length) {
    if (offset + length < offset || offset + length > size_)
        throw BoundException<unsigned long long>(offset + length, size_);
    return dataAt(static_cast<std::uint32_t>(offset));
}

std::uint8_t* BorrowConstBuffer::data() {
    throw AccessException("buffer fully", "it is const");
}

IncrementalBuffer::IncrementalBuffer(std::uint32_t size, std::uint32_t capacity) {
    capacity = std::max(capacity, size);
    if (capacity > 0)
        data_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    capacity_ = capacity;
    size_ = size;
}

void DynamicBuffer::grow(std::uint32_t size, bool keep) {
    if (size > capacity_) {
        std::uint64_t doubled = 2ull * capacity_;
        std::uint32_t newCapacity = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(std::max<std::uint64_t>(doubled, size), 0xFFFFFFFFull));
        auto fresh = std::make_unique_for_overwrite<std::uint8_t[]>(newCapacity);
        if (keep && size_ > 0)
            std::memcpy(fresh.get(), data_.get(), size_);
        data_ = std::move(fresh);
        capacity_ = newCapacity;
    }
    size_ = size;
}

void DynamicBuffer::resize(std::uint32_t size) {
    grow(size, false);
}
void DynamicBuffer::resizeKeep(std::uint32_t size) {
    grow(size, true);
}

void DynamicBuffer::assign(const std::uint8_t* bytes, std::uint32_t count) {
    resize(count);
    if (count > 0)
        std::memmove(data_.get(), bytes, count);
}

std::uint8_t* DynamicBuffer::appendSpace(std::uint32_t n) {
    std::uint64_t total = std::uint64_t(size_) + n;
    if (total > 0xFFFFFFFFull)
        throw BoundException<unsigned long long>(total, 0xFFFFFFFFull);
    std::uint32_t old = size_;
    resizeKeep(static_cast<std::uint32_t>(total));
    return data_.get() + old;
}

void DynamicBuffer::append(const std::uint8_t* bytes, std::uint32_t count) {
    // The source may live inside this buffer; copy its offset before growing.
    if (count == 0)
        return;
    if (bytes >= data_.get() && bytes < data_.get() + size_) {
        std::uint32_t offset = static_cast<std::uint32_t>(bytes - data_.get());
        std::uint8_t* dest = appendSpace(count);
        std::memmove(dest, data_.get() + offset, count);
        return;
    }
    std::uint8_t* dest = appendSpace(count);
    std::memcpy(dest, bytes, count);
}

} // namespace ZELK
