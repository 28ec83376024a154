// The orientation tag of a JPEG's Exif segment, and the turn or mirror that brings a decoded
// picture upright, as image viewers show it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/buffers.hpp"
#include "migration/image.hpp"

namespace ZELK::Migration {

// The orientation (1 to 8) that an APP1 segment's payload (the bytes after its length) records
// in its first image directory. Anything that is not a well-formed Exif orientation tag gives 1,
// upright: a damaged Exif segment must not cost the user the picture.
unsigned exifOrientation(const std::uint8_t* payload, std::size_t size);

// Turns or mirrors the image in data (buffer line 0 at the bottom, no alignment padding) so that
// a picture stored with the given orientation comes out upright; orientations 5 to 8 swap width
// and height in meta. Orientation 1 and values outside 1 to 8 leave the image alone.
void applyOrientation(IncrementalBuffer& data, ImageMetadata& meta, unsigned orientation);

} // namespace ZELK::Migration
