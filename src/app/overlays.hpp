// Drawing the run's geometry for the viewer: segments and polylines as overlays over a grey
// image. Nothing is built while the sink discards.
#pragma once

#include <vector>

#include "core/signal.hpp"
#include "tracing/line_segment.hpp"
#include "tracing/polyline_set.hpp"
#include "vs/messages.hpp"
#include "vs/sink.hpp"

namespace ZELK {

// The polylines of the set, from the stored positions when raw is set (the frame they were
// traced in) and through the set's view transformation otherwise.
VS::Visualize::Overlay polylineOverlay(const PolylineSet& set, bool raw);

// The grey image, then the overlay over it, as the item.
void showOverGrey(const VS::Context& item, const Signal<2, unsigned char>& grey,
                  const VS::Visualize::Overlay& overlay);

void showSegments(const VS::Context& item, const Signal<2, unsigned char>& grey,
                  const std::vector<LineSegment>& segments);

// The polylines through the view transformation (raw = false) or as stored, over the grey image.
void showPolylines(const VS::Context& item, const Signal<2, unsigned char>& grey,
                   const PolylineSet& set, bool raw);

} // namespace ZELK
