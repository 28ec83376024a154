// Entry functions of the PNG, inflate and deflate fuzz targets, kept apart from the fuzzer main so
// that the regression test replays saved inputs through exactly the code the fuzzer ran.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZELK::Fuzz {

// PNG import of the bytes from memory. Unless the size is a multiple of 7, the CRCs of all
// complete chunks are recomputed first, so that mutations reach the header rules, the
// inflater and the row filters instead of stopping at the first checksum. The codec's own
// errors are swallowed; a decoded image whose size disagrees with its metadata raises
// std::logic_error.
void png(const std::uint8_t* data, std::size_t size);

// The inflater on the bytes as a raw DEFLATE stream, read once in chunks from a buffer stream
// and once byte by byte from a stream that cannot seek. Both runs must give the same output,
// the same error and the same end position, the end within the input, and the output within
// what DEFLATE can expand the input to; otherwise std::logic_error.
void inflate(const std::uint8_t* data, std::size_t size);

// The bytes compressed by our deflate encoder and inflated again by our inflater: anything but
// the same bytes, read to the end of the stream, raises std::logic_error.
void deflateRoundTrip(const std::uint8_t* data, std::size_t size);

} // namespace ZELK::Fuzz
