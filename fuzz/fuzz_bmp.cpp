// libFuzzer target: arbitrary bytes through ZELK::Fuzz::bmp (see fuzz/entries/scanner_formats.hpp).
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/scanner_formats.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZELK::Fuzz::bmp(data, size);
    return 0;
}
