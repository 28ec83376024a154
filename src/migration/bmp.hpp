// BMP import: uncompressed 1-, 4-, 8-, 16-, 24- and 32-bit files, bottom-up or top-down, with
// colour masks, and run-length coded 8- and 4-bit files; every kind becomes 8-bit RGB.
#pragma once

#include "migration/image.hpp"

namespace ZELK::Migration {

class BMPImporter : public DataImporter {
public:
    // Reads one BMP file from the attached stream into 8-bit RGB, the bottom picture line at
    // buffer line 0. Raises FormatException("bmp", ...) for malformed files, SupportException for
    // kinds we do not read and for pictures above the pixel limit, before allocating for them.
    void importData(IncrementalBuffer& data, ImageMetadata& meta) override;
};

} // namespace ZELK::Migration
