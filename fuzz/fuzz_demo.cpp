// libFuzzer target: any text as the argument after "demo:", through parsing, presets, checks
// and rendering.
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/demo.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZELK::Fuzz::demo(data, size);
    return 0;
}
