// Colours as three floats in [0, 1]: the demo renderer paints with them and the SVG export
// writes them.
#pragma once

namespace ZELK {

// Red, green and blue in [0, 1]; the default is black.
struct Color {
    float red = 0.0f;
    float green = 0.0f;
    float blue = 0.0f;

    friend constexpr bool operator==(const Color&, const Color&) = default;
};

} // namespace ZELK
