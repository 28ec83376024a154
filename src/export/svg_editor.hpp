// The SVG drawing for people who edit it: one layer per kind of line as SVG editors know
// layers, an id on every polyline, round caps and joins, a page of physical size, and line
// breaks and indentation so that the file reads as text.
#pragma once

#include <array>
#include <optional>

#include "core/geometry.hpp"
#include "core/streams.hpp"
#include "export/dxf.hpp"
#include "export/image_export.hpp"
#include "tracing/polyline_set.hpp"

namespace ZELK {

struct EditorPage {
    // The page in drawing coordinates (y up): the polylines are drawn with y' = top - y,
    // x' = x - left, so that the page's top left corner is the SVG origin.
    Hyperrectangle<2, float> frame;
    DrawingUnit unit = DrawingUnit::Pixel; // of width and height
    float strokeWidth = 1.0f;              // in drawing units
    Color line{0.0f, 0.0f, 0.0f};
    Color clutter{0.5f, 0.5f, 0.5f};
    // The sheet's outline in drawing coordinates, drawn in a hidden layer when known.
    std::optional<std::array<Point<2, float>, 4>> sheet;
};

// Writes the document: the root with width and height in the page's unit and a view box of the
// frame's size; the layers "drawing" and "clutter" (groups with id, inkscape:groupmode="layer"
// and inkscape:label), each polyline a polyline element (a polygon when it ends on its first
// vertex) with an id (line-N, clutter-N); the sheet outline as a hidden layer "sheet". Positions
// go through each set's view transformation. A coordinate that is not finite raises
// UnexpectedValueException before anything is written.
void writeEditorSVG(WriteStream& out, const PolylineSet& lines, const PolylineSet& clutter,
                    const EditorPage& page);

} // namespace ZELK
