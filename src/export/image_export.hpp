// The raster side of export: colours measured under masks (for the SVG and the refined image),
// the line mask brought to the loaded image's size, and the refined image that keeps the
// strokes and pulls everything else toward the paper colour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/color.hpp"
#include "core/signal.hpp"

namespace ZELK {

// "#" and six lower-case hexadecimal digits: each channel times 255, clamped to [0, 255] and
// truncated.
std::string colorText(const Color& color);

// (1 - t) a + t b per channel.
Color mixColor(const Color& a, const Color& b, float t);

// An 8-bit image as a signal of sizes (channels, width, height), line 0 at the bottom.
using ImageView = SignalConstBorrow<3, std::uint8_t>;

// The mean of every channel of the image over the set bits of the mask, each divided by 255.
// Mask pixel (x, y) stands for image pixel (trunc((x + 0.5) W / mw), trunc((y + 0.5) H / mh)),
// the identity when the sizes agree. Returns false, leaving means alone, when no bit is set
// (or the image is empty); otherwise means holds one value per channel.
bool meanUnderMask(const ImageView& image, const BinarySignal<2, unsigned>& mask,
                   std::vector<float>& means);

// The mean colour of the image under the mask (channels 0, 1, 2 as red, green, blue; an
// image of fewer channels repeats its first). With no set bit the colour keeps its value.
void meanColorUnderMask(const ImageView& image, const BinarySignal<2, unsigned>& mask,
                        Color& color);

// The mask as 8-bit samples: 255 where the bit is set, 0 elsewhere.
Signal<2, std::uint8_t> unpackMask(const BinarySignal<2, unsigned>& mask);

// Blends every sample c of the image (channels, width, height) with the mask value m of its
// pixel (mask of size width x height) and the background value b of its channel: m = 255
// keeps c; otherwise t = b + (c - b) / 4 (truncating division), and the sample becomes t for
// m = 0, ((255 - m) t + m c) / 255 (truncated) in between. background holds one value per
// channel. Raises SignalSizeException when the sizes disagree.
void pullTowardBackground(Signal<3, std::uint8_t>& image, const Signal<2, std::uint8_t>& mask,
                          const std::vector<std::uint8_t>& background);

} // namespace ZELK
