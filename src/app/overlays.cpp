// Segments and polylines as viewer overlays.
#include "app/overlays.hpp"

namespace ZELK {

VS::Visualize::Overlay polylineOverlay(const PolylineSet& set, bool raw) {
    VS::Visualize::Overlay overlay;
    std::vector<VS::OverlayPoint> points;
    for (const Polyline& polyline : set.polylines()) {
        points.clear();
        for (std::uint32_t v : polyline) {
            const Point<2, float> p = raw ? set.vertices()[v].position() : set.position(v);
            points.push_back(VS::OverlayPoint{p.x(), p.y()});
        }
        overlay.add(points);
    }
    return overlay;
}

void showOverGrey(const VS::Context& item, const Signal<2, unsigned char>& grey,
                  const VS::Visualize::Overlay& overlay) {
    if (!item.active())
        return;
    item.sendGrey(grey.data(), grey.width(), grey.height());
    item.sendOverlay(overlay);
}

void showSegments(const VS::Context& item, const Signal<2, unsigned char>& grey,
                  const std::vector<LineSegment>& segments) {
    if (!item.active())
        return;
    VS::Visualize::Overlay overlay;
    for (const LineSegment& s : segments) {
        const Point<2, float> end = s.end();
        overlay.add({{s.origin.x(), s.origin.y()}, {end.x(), end.y()}});
    }
    showOverGrey(item, grey, overlay);
}

void showPolylines(const VS::Context& item, const Signal<2, unsigned char>& grey,
                   const PolylineSet& set, bool raw) {
    if (!item.active())
        return;
    showOverGrey(item, grey, polylineOverlay(set, raw));
}

} // namespace ZELK
