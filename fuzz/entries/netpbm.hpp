// Entry function of the NetPBM and Native fuzz target, kept apart from the fuzzer main so that the
// regression test replays saved inputs through exactly the code the fuzzer ran.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZELK::Fuzz {

// The bytes imported from memory by the NetPBM importer and by the Native importer. The codecs'
// own errors are swallowed; a decoded image whose buffer is smaller than its layout claims,
// or an image that does not survive export and re-import unchanged, raises std::logic_error.
void netpbm(const std::uint8_t* data, std::size_t size);

} // namespace ZELK::Fuzz
