// libFuzzer target: any byte string as the point pairs typed for rectification.
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/point_pairs.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZELK::Fuzz::pointPairs(data, size);
    return 0;
}
