// The nominal line thickness of an input picture (the -a setting) and the reduction that
// brings thick lines down to the thickness the extraction is tuned for.
#pragma once

#include <cstdint>
#include <string>

namespace ZELK {

// Lines thicker than this many pixels are worth shrinking the image for.
inline constexpr float largestUnscaledThickness = 6.0f;
// The thickness lines get after shrinking.
inline constexpr float targetLineThickness = 5.0f;

// The nominal thickness in pixels: "P%" is P percent of the square root of the pixel count
// (a 32-bit product, root in double precision), any other text a thickness in pixels. Text is
// read as by stream extraction; a text that does not start with a number raises
// Text::ConversionException.
float nominalLineThickness(const std::string& text, std::uint32_t width, std::uint32_t height);

// True when lines of this thickness call for shrinking (6 itself does not).
inline bool needsScaling(float thickness) {
    return thickness > largestUnscaledThickness;
}

// The factor that brings the thickness to 5 pixels.
inline float thicknessScale(float thickness) {
    return targetLineThickness / thickness;
}

} // namespace ZELK
