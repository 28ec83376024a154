// Measuring how thick the strokes of a picture are, so that the picture can be brought to the
// scale the extraction is tuned for (`-a auto`).
#pragma once

#include "core/signal.hpp"

namespace ZELK {

// Below this many pixels a picture is measured at its own size; larger ones are halved until
// they fit, which keeps the measure to a few tens of milliseconds.
inline constexpr std::uint64_t strokeMeasurePixels = 1'000'000;
// Strokes measured thinner than this on a halved copy are measured again at twice the
// resolution: the copy may have blurred them away.
inline constexpr float finestTrustedWidth = 3.0f;

// The typical stroke width of the picture in its own pixels, or 0 when no strokes were found.
// A large picture is measured on a halved copy (see above).
//
// The paper is estimated by a wide median on an eighth-size copy, so that strokes and gentle
// shading do not count as ink. Ink is what differs from the paper on the side (darker or
// brighter) whose extreme tail is stronger. Strokes are the connected regions above half a
// class-split threshold that hold a pixel above it; each region is thinned to its skeleton,
// and its width is the ink it holds (each pixel's ink over the region's typical ink along the
// skeleton, at most 1, over the region and its one-pixel rim) per pixel of skeleton. The
// result is the median of the region widths weighted by skeleton length, over regions with a
// skeleton of at least 8 pixels.
float measureStrokeWidth(const Signal<2, unsigned char>& grey);

} // namespace ZELK
