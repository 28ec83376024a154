// Overflow-checked size arithmetic for sizes that come from files or the command line.
#pragma once

#include <cstdint>
#include <limits>

#include "core/exceptions.hpp"

namespace ZELK {

// a * b in 64 bits; raises the bound error when the product does not fit.
inline std::uint64_t checkedMul(std::uint64_t a, std::uint64_t b) {
    std::uint64_t r = 0;
    if (__builtin_mul_overflow(a, b, &r))
        throw BoundException<unsigned long long>(a, std::numeric_limits<std::uint64_t>::max() /
                                                        (b == 0 ? 1 : b));
    return r;
}

// a + b in 64 bits; raises the bound error when the sum does not fit.
inline std::uint64_t checkedAdd(std::uint64_t a, std::uint64_t b) {
    std::uint64_t r = 0;
    if (__builtin_add_overflow(a, b, &r))
        throw BoundException<unsigned long long>(a, std::numeric_limits<std::uint64_t>::max() - b);
    return r;
}

// a * b in 64 bits, or the largest 64-bit value when the product does not fit: for comparing
// a size that a header announces with what a file or a limit can hold, where an overflowing
// product is simply too large.
inline std::uint64_t saturatingMul(std::uint64_t a, std::uint64_t b) {
    std::uint64_t r = 0;
    return __builtin_mul_overflow(a, b, &r) ? std::numeric_limits<std::uint64_t>::max() : r;
}

// Narrows a checked 64-bit size to 32 bits; raises the bound error when it does not fit.
inline std::uint32_t checkedU32(std::uint64_t value) {
    if (value > std::numeric_limits<std::uint32_t>::max())
        throw BoundException<unsigned long long>(value, std::numeric_limits<std::uint32_t>::max());
    return static_cast<std::uint32_t>(value);
}

} // namespace ZELK
