// DXF, the drawing exchange format that CAD programs, laser cutters and plotters read: the lines
// and the clutter as polylines on two layers, in the plain text form of release 12.
#pragma once

#include <string_view>

#include "core/streams.hpp"
#include "tracing/polyline_set.hpp"

namespace ZELK {

// The unit a drawing's coordinates are meant in, as -ru names it.
enum class DrawingUnit { Pixel, Millimetre, Centimetre, Inch };

// The unit named by text ("px", "mm", "cm", "in"); false for any other text.
bool parseDrawingUnit(std::string_view text, DrawingUnit& unit);

// Writes an ASCII DXF file (AC1009): a header with the drawing units ($INSUNITS: unitless for
// pixels), the line type CONTINUOUS, the layers DRAWING and CLUTTER, and every polyline of
// lines and then of clutter as a POLYLINE entity with its VERTEX entities and SEQEND, flagged
// closed when it ends on its first vertex (which is then not repeated). Positions go through
// the view transformations, y up as DXF has it. Coordinates are written with enough digits to
// give the same float back; non-finite ones raise UnexpectedValueException before anything is
// written.
void writeDXF(WriteStream& out, const PolylineSet& lines, const PolylineSet& clutter,
              DrawingUnit unit);

} // namespace ZELK
