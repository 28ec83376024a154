// Entry of the JPEG fuzz target, kept apart from the fuzzer main so that the test suite can replay
// the inputs that once failed through the same code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZELK::Fuzz {

// Frames above this many pixels are refused while fuzzing: a few bytes of frame header would
// otherwise make every run allocate the gigabytes that the real limit allows.
inline constexpr std::uint64_t jpegFuzzMaxPixels = 1u << 20;

// Decodes the bytes as a JPEG file; the decoder's own exceptions are the expected outcome of
// malformed input, anything else escapes.
void jpeg(const std::uint8_t* data, std::size_t size);

} // namespace ZELK::Fuzz
