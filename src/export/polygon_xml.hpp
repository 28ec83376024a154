// The polygon XML format, both ways: the drawing area, the vertices and the polylines of the
// lines and of the clutter, with 1-based vertex references that run on across both parts.
#pragma once

#include <string>
#include <string_view>

#include "core/geometry.hpp"
#include "core/streams.hpp"
#include "tracing/polyline_set.hpp"

namespace ZELK {

// Writes the whole document: declaration; root "area" with "height" and "width"; the
// vertices of lines as point elements with x and y (positions through the view
// transformation), then its polylines as polygon elements (ends="open" for an open one, a
// closed one without its repeated last index); the clutter comment; the clutter set in the
// same form, its references numbered on from the last vertex of lines. Numbers use the
// default stream formatting; no white space is written.
void writePolygonXML(WriteStream& out, const Hyperrectangle<2, float>& area,
                     const PolylineSet& lines, const PolylineSet& clutter);

// What a polygon XML document holds once read: the area (origin (0, 0)) and every polyline,
// clutter included, over the vertices in file order (each its own vertex with count 1).
struct PolygonXMLDrawing {
    Hyperrectangle<2, float> area;
    PolylineSet lines{2.0f};
};

// Reads a polygon XML document. Returns false with the message in problem when a point lacks
// a coordinate ("XML point entry missing x y element.") or the document holds more than
// maxVertices vertices. Raises the reader's errors for
// malformed XML, UnexpectedValueException where an x, y or reference element does not hold
// exactly its text, Text::ConversionException for a number that is not one, and
// BoundException<int> (reference, vertex count) for a reference outside 1 .. vertex count.
// White space around the document and between tags is accepted.
bool readPolygonXML(std::string_view document, PolygonXMLDrawing& drawing, std::string& problem,
                    std::uint32_t maxVertices);

} // namespace ZELK
