// Serialisation of standard containers through the Serialization visitor: a vector is its
// element count as an unsigned 32-bit number, then each element.
#pragma once

#include <cstdint>
#include <vector>

#include "core/checked.hpp"
#include "core/streams.hpp"

namespace ZELK {

// Visits one value: numbers through the visitor's operation for their type, everything else
// (points, tuples, boxes) through its own serialize().
template <typename T> void serializeValue(Serialization& visitor, T& value) {
    if constexpr (requires { visitor.visit(value); })
        visitor.visit(value);
    else
        value.serialize(visitor);
}

// Serializable view of a vector that it does not own.
template <typename T> class STLVectorSerializable : public Serializable {
public:
    explicit STLVectorSerializable(std::vector<T>& items) : items_(items) {}

    // Writing visits the count and the elements in place. When a reading visitor delivers a
    // different count, the vector is refilled one element at a time as the elements arrive,
    // so a corrupt count cannot make it allocate ahead of the data actually read.
    void serialize(Serialization& visitor) override {
        std::uint32_t n = checkedU32(items_.size());
        visitor.visit(n);
        if (n == items_.size()) {
            for (T& item : items_)
                serializeValue(visitor, item);
            return;
        }
        items_.clear();
        for (std::uint32_t i = 0; i < n; ++i) {
            T item{};
            serializeValue(visitor, item);
            items_.push_back(item);
        }
    }

private:
    std::vector<T>& items_;
};

} // namespace ZELK
