// Entry functions of the BMP, TIFF and Exif fuzz targets, kept apart from the fuzzer main so
// that the regression test replays saved inputs through exactly the code the fuzzer ran.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZELK::Fuzz {

// BMP import of the bytes from memory. The codec's own errors are swallowed; a decoded image
// whose buffer differs from its 8-bit RGB layout raises std::logic_error.
void bmp(const std::uint8_t* data, std::size_t size);

// TIFF import of the bytes from memory, as bmp() checks it.
void tiff(const std::uint8_t* data, std::size_t size);

// The bytes as an APP1 payload for the Exif orientation reader (which never raises and must
// answer 1 to 8), and that orientation applied to a small image drawn from the bytes and then
// undone, which must give the image back; otherwise std::logic_error.
void exif(const std::uint8_t* data, std::size_t size);

} // namespace ZELK::Fuzz
