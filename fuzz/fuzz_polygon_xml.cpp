// libFuzzer target: any byte string as a polygon XML input, then refined and written again.
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/polygon_xml.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZELK::Fuzz::polygonXML(data, size);
    return 0;
}
