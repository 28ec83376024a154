// Publishing extraction work images to the visualization sink: signals of any sample type,
// masks and histograms, built into messages only when the sink listens.
#pragma once

#include <cstdint>
#include <vector>

#include "core/signal.hpp"
#include "core/tuple.hpp"
#include "vs/sink.hpp"

namespace ZELK {

// A 2-D signal as a one-channel image item (8/16-bit unsigned, 16-bit two's complement or
// 32-bit float samples).
void sendSignal(const VS::Context& context, const Signal<2, unsigned char>& signal);
void sendSignal(const VS::Context& context, const Signal<2, short>& signal);
void sendSignal(const VS::Context& context, const Signal<2, float>& signal);
// A mask as an 8-bit image, 255 for set pixels.
void sendMask(const VS::Context& context, const BinarySignal<2, unsigned>& mask);
// Bin counts as a one-line image of 32-bit unsigned samples.
void sendHistogram(const VS::Context& context, const std::uint32_t* counts, std::uint32_t bins);
// One closed polyline through the points (the first point repeated at the end).
void sendClosedPolyline(const VS::Context& context, const std::vector<Point<2, float>>& points);
// Every point as its own one-point piece.
void sendPointOverlay(const VS::Context& context, const std::vector<Point<2, float>>& points);

} // namespace ZELK
