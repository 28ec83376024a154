// A borrowed view of an interleaved 8-bit RGB picture, line 0 at the bottom, as the demo
// renderer paints and degrades it.
#pragma once

#include <cstdint>

namespace ZELK {

struct RgbImage {
    static constexpr std::uint32_t channels = 3;

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // width * height * 3 bytes, line after line without padding; not owned.
    std::uint8_t* pixels = nullptr;

    std::uint8_t* line(std::uint32_t y) const {
        return pixels + static_cast<std::uint64_t>(y) * width * channels;
    }
    std::uint64_t byteCount() const {
        return static_cast<std::uint64_t>(width) * height * channels;
    }
};

} // namespace ZELK
