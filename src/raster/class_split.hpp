// The class-split threshold search over a histogram (Otsu's criterion), shared by the top-hat
// decision and both background detection methods.
#pragma once

#include <cstdint>

namespace ZELK {

// Splits bins 0..n-1 into a lower class (bins up to and including the split) and an upper
// class so that w0 * w1 * (mean0 - mean1)^2 is largest, in single precision from counts and
// weighted sums kept in unsigned 32 bits (wrapping modulo 2^32); the first maximum wins. Returns
// the split bin, or 0 when no split with two non-empty classes exists. lowerIsLarger is written
// only when a split is found: true when the lower class holds more counts than the upper one.
std::uint32_t findClassSplit(const std::uint32_t* counts, std::uint32_t n, bool& lowerIsLarger);

} // namespace ZELK
