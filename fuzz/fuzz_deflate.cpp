// libFuzzer target: arbitrary bytes deflated and inflated again (see ZELK::Fuzz::deflateRoundTrip).
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/png.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZELK::Fuzz::deflateRoundTrip(data, size);
    return 0;
}
