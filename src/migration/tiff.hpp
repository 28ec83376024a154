// TIFF import as scanners write it: the first image of a baseline file, in strips or tiles,
// uncompressed, PackBits, LZW or Deflate (with the horizontal predictor), bilevel and grey of
// either photometric sense, palette and RGB; everything becomes 8-bit grey or 8-bit RGB.
#pragma once

#include <cstdint>
#include <vector>

#include "migration/image.hpp"
#include "migration/inflate.hpp"

namespace ZELK::Migration {

class TIFFImporter : public DataImporter {
public:
    // Reads the first image of the attached TIFF file: 1 channel for bilevel and grey files,
    // RGB for palette and RGB files, the top row at the last buffer line. Raises
    // FormatException("tiff", ...) for malformed files, SupportException for kinds we do not
    // read and pictures above the pixel limit. Nothing is allocated for the picture before its
    // strips or tiles are known to lie in the file and to be able to hold it.
    void importData(IncrementalBuffer& data, ImageMetadata& meta) override;

private:
    Inflater inflater_;
};

// TIFF's LZW (codes of 9 to 12 bits, most significant bit first, the code width growing one
// code early): decodes `in` into out until out holds `want` bytes or the stream ends; returns
// the number of bytes produced. Raises FormatException("tiff", ...) for codes beyond the table
// and for a table that would grow past 4096 entries.
std::uint64_t decodeLZW(const std::uint8_t* in, std::uint64_t size, std::uint8_t* out,
                        std::uint64_t want);

} // namespace ZELK::Migration
