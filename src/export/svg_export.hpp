// The SVG drawing of a run: lines as polylines and polygons on a background rectangle, y
// mirrored so that the drawing stands upright, and clutter in hidden, labelled groups.
#pragma once

#include "core/geometry.hpp"
#include "core/streams.hpp"
#include "export/image_export.hpp"
#include "tracing/polyline_set.hpp"

namespace ZELK {

struct SVGStyle {
    // The drawing area: the flip axis, the stroke width, and with areaIsViewBox the view box.
    Hyperrectangle<2, float> area;
    bool areaIsViewBox = false;
    Color background{1.0f, 1.0f, 1.0f};
    Color line{0.0f, 0.0f, 0.0f};
    // Clutter polylines whose boxes lie closer than this are grouped together.
    float clutterDistance = 30.0f;
};

// Writes the SVG document. Positions pass through the lines' view transformation (which the
// clutter is drawn with as well) and are then mirrored about the middle of the area:
// y' = 2 cy - y. The view box is the area when asked for, or when both sets are empty;
// otherwise the box around the non-empty sets grown by a tenth of its larger extent on every
// side. The stroke width is 0.005 of the area's larger extent, the clutter label font five
// times that. The sets are read only.
void writeSVG(WriteStream& out, const PolylineSet& lines, const PolylineSet& clutter,
              const SVGStyle& style);

// Whether writeSVG would write only finite numbers: every position it shows, the area and the
// view box (whose extent overflows for positions near both ends of the float range).
bool svgIsFinite(const PolylineSet& lines, const PolylineSet& clutter, const SVGStyle& style);

// Whether every vertex position of the set, read through its view transformation, is finite.
bool positionsAreFinite(const PolylineSet& set);

} // namespace ZELK
