// libFuzzer target: any byte string through the XML reader and back through the writer.
#include <cstddef>
#include <cstdint>

#include "fuzz/entries/xml_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZELK::Fuzz::xmlReader(data, size);
    return 0;
}
