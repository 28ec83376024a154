// Sample views on image buffers: ImageSignal<u8> sees a buffer of 8-bit samples as a 3-D
// signal of sizes (channels, width, height) in memory order, after checking that the metadata
// describes exactly that.
#pragma once

#include <cstdint>

#include "core/buffers.hpp"
#include "core/signal.hpp"
#include "migration/image.hpp"

namespace ZELK::Migration {

// Sizes (channels, width, height) of an 8-bit image without padding. Raises
// UnexpectedValueException (found type text, "8-bit unsigned little endian") for any other
// sample type and SupportException "image signal alignment" when an alignment adds padding.
Tuple<3, unsigned> imageSignalSizes(const ImageMetadata& meta);

template <typename T> class ImageSignal;
template <typename T> class ImageConstSignal;

// Writable view; a buffer too small for the sizes raises SpaceException<unsigned int>.
template <> class ImageSignal<std::uint8_t> : public SignalBorrow<3, std::uint8_t> {
public:
    ImageSignal(Buffer& data, const ImageMetadata& meta)
        : SignalBorrow(data.data(), data.size(), imageSignalSizes(meta)) {}
};

// Read-only view with the same checks.
template <> class ImageConstSignal<std::uint8_t> : public SignalConstBorrow<3, std::uint8_t> {
public:
    ImageConstSignal(const Buffer& data, const ImageMetadata& meta)
        : SignalConstBorrow(data.data(), data.size(), imageSignalSizes(meta)) {}
};

} // namespace ZELK::Migration
