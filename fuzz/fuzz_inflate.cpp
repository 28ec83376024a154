// libFuzzer target: arbitrary bytes through the inflater, read in chunks and byte by byte (see
// ZELK::Fuzz::inflate).
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/png.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZELK::Fuzz::inflate(data, size);
    return 0;
}
