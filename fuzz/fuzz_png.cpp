// libFuzzer target: arbitrary bytes through PNG import (see ZELK::Fuzz::png).
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/png.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZELK::Fuzz::png(data, size);
    return 0;
}
