// Byte buffers: owning growable buffers and borrowed views, with checked ranges.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "core/exceptions.hpp"

namespace ZELK {

class Buffer {
public:
    virtual ~Buffer() = default;

    std::uint32_t size() const { return size_; }

    virtual const std::uint8_t* data() const = 0;
    virtual std::uint8_t* data() = 0;
    const std::uint8_t* dataAt(std::uint32_t offset) const { return data() + offset; }
    std::uint8_t* dataAt(std::uint32_t offset) { return data() + offset; }

    // Range [offset, offset + length) of the buffer; raises the bound error when it does not
    // lie inside the buffer.
    const std::uint8_t* range(std::uint64_t offset, std::uint64_t length) const;
    std::uint8_t* range(std::uint64_t offset, std::uint64_t length);

protected:
    std::uint32_t size_ = 0;
};

// Writable view of memory owned elsewhere.
class BorrowBuffer : public Buffer {
public:
    BorrowBuffer(std::uint8_t* data, std::uint32_t size) : data_(data) { size_ = size; }
    const std::uint8_t* data() const override { return data_; }
    std::uint8_t* data() override { return data_; }

private:
    std::uint8_t* data_;
};

// Read-only view; asking it for writable memory is an access error.
class BorrowConstBuffer : public Buffer {
public:
    BorrowConstBuffer(const std::uint8_t* data, std::uint32_t size) : data_(data) { size_ = size; }
    const std::uint8_t* data() const override { return data_; }
    std::uint8_t* data() override;

private:
    const std::uint8_t* data_;
};

// Owning buffer with a size and a capacity.
class DynamicBuffer : public Buffer {
public:
    const std::uint8_t* data() const override { return data_.get(); }
    std::uint8_t* data() override { return data_.get(); }
    std::uint32_t capacity() const { return capacity_; }

    // New size; contents are not kept. Growth doubles the capacity at least.
    virtual void resize(std::uint32_t size);
    // New size keeping the common prefix.
    virtual void resizeKeep(std::uint32_t size);
    void assign(const Buffer& other) { assign(other.data(), other.size()); }
    void assign(const std::uint8_t* bytes, std::uint32_t count);
    // Grows by n bytes (keeping the content) and returns the first new byte.
    std::uint8_t* appendSpace(std::uint32_t n);
    void append(const Buffer& other) { append(other.data(), other.size()); }
    void append(const std::uint8_t* bytes, std::uint32_t count);

protected:
    void grow(std::uint32_t size, bool keep);

    std::unique_ptr<std::uint8_t[]> data_;
    std::uint32_t capacity_ = 0;
};

class IncrementalBuffer : public DynamicBuffer {
public:
    IncrementalBuffer() = default;
    IncrementalBuffer(std::uint32_t size, std::uint32_t capacity);
    IncrementalBuffer(const IncrementalBuffer& other) { assign(other); }
    IncrementalBuffer& operator=(const IncrementalBuffer& other) {
        if (this != &other)
            assign(other);
        return *this;
    }
    IncrementalBuffer(IncrementalBuffer&& other) noexcept { swap(other); }
    IncrementalBuffer& operator=(IncrementalBuffer&& other) noexcept {
        IncrementalBuffer moved;
        moved.swap(other);
        swap(moved);
        return *this;
    }
    void swap(IncrementalBuffer& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(capacity_, other.capacity_);
        std::swap(size_, other.size_);
    }
};

// Fixed owned array of N bytes.
template <std::size_t N> class ArrayBuffer : public Buffer {
public:
    ArrayBuffer() { size_ = N; }
    const std::uint8_t* data() const override { return bytes_.data(); }
    std::uint8_t* data() override { return bytes_.data(); }

private:
    std::array<std::uint8_t, N> bytes_{};
};

} // namespace ZELK
