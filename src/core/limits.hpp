// Size limits applied to data that comes from outside the program, each with its reason.
#pragma once

#include <cstdint>

namespace ZELK::Limits {

// Buffers hold their size in 32 bits; nothing larger can be addressed by a buffer stream.
inline constexpr std::uint64_t maxBufferBytes = 0xFFFFFFFFull;

// Largest JPEG frame we decode: 2^28 pixels is far beyond any phone photo and keeps every
// plane size comfortably inside 32-bit buffer sizes.
inline constexpr std::uint64_t maxJpegPixels = 1ull << 28;

} // namespace ZELK::Limits
