// libFuzzer target: arbitrary bytes through NetPBM and Native import (see ZELK::Fuzz::netpbm).
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/netpbm.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZELK::Fuzz::netpbm(data, size);
    return 0;
}
