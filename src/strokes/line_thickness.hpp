// The nominal line thickness of an input picture (the -a setting) and the reduction that
// brings thick lines down to the thickness the extraction is tuned for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// The -a text that asks for the stroke width to be measured in the picture instead.
inline constexpr std::string_view measuredThicknessText = "auto";
// Strokes are never enlarged more than this: thinner ones are too faint to trace anyway.
inline constexpr float maxEnlargement = 4.0f;

// The factor that brings strokes measured at this width (in pixels of a picture with this many
// pixels) to the working thickness: at most maxEnlargement, and never so large that the result
// exceeds Limits::maxEnlargedPixels. 1 when nothing was measured (width 0) or when the strokes
// are already within a tenth of the working thickness.
float measuredThicknessScale(float width, std::uint64_t pixels);

} // namespace ZELK
