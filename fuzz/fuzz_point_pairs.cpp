// libFuzzer target: any byte string as the point pairs typed for rectification.
#include <cstddef>
#include <cstdint>

#include "extract/rectification_fuzz_entry.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZELK::Fuzz::pointPairs(data, size);
    return 0;
}
