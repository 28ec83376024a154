// libFuzzer target: any byte string through the JPEG importer.
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/jpeg.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZELK::Fuzz::jpeg(data, size);
    return 0;
}
