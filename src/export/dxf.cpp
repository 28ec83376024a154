#include "export/dxf.hpp"

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "core/exceptions.hpp"

namespace ZELK {

namespace {

// Group code and value, each on its own line, as DXF pairs them.
void pair(std::ostringstream& out, int code, std::string_view value) {
    out << code << '\n' << value << '\n';
}

void pair(std::ostringstream& out, int code, float value) {
    out << code << '\n' << value << '\n';
}

void layer(std::ostringstream& out, std::string_view name, int colour) {
    pair(out, 0, "LAYER");
    pair(out, 2, name);
    pair(out, 70, "0");
    pair(out, 62, std::to_string(colour));
    pair(out, 6, "CONTINUOUS");
}

void polylines(std::ostringstream& out, const PolylineSet& set, std::string_view layerName) {
    for (const Polyline& polyline : set.polylines()) {
        if (polyline.size() < 2)
            continue;
        const bool closed = polyline.front() == polyline.back();
        const std::size_t count = closed ? polyline.size() - 1 : polyline.size();
        pair(out, 0, "POLYLINE");
        pair(out, 8, layerName);
        pair(out, 66, "1");
        pair(out, 70, closed ? "1" : "0");
        for (std::size_t k = 0; k < count; ++k) {
            const Point<2, float> p = set.position(polyline[k]);
            if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
                throw UnexpectedValueException("a coordinate that is not finite",
                                               "finite coordinates");
            pair(out, 0, "VERTEX");
            pair(out, 8, layerName);
            pair(out, 10, p.x());
            pair(out, 20, p.y());
            pair(out, 30, "0");
        }
        pair(out, 0, "SEQEND");
        pair(out, 8, layerName);
    }
}

} // namespace

bool parseDrawingUnit(std::string_view text, DrawingUnit& unit) {
    constexpr std::pair<std::string_view, DrawingUnit> names[] = {{"px", DrawingUnit::Pixel},
                                                                  {"mm", DrawingUnit::Millimetre},
                                                                  {"cm", DrawingUnit::Centimetre},
                                                                  {"in", DrawingUnit::Inch}};
    for (const auto& [name, value] : names)
        if (text == name) {
            unit = value;
            return true;
        }
    return false;
}

void writeDXF(WriteStream& out, const PolylineSet& lines, const PolylineSet& clutter,
              DrawingUnit unit) {
    // Built whole first, so that a refused coordinate leaves nothing written.
    std::ostringstream text;
    text.precision(std::numeric_limits<float>::max_digits10);
    // $INSUNITS: 0 unitless, 1 inches, 4 millimetres, 5 centimetres.
    const char* units = unit == DrawingUnit::Inch         ? "1"
                        : unit == DrawingUnit::Millimetre ? "4"
                        : unit == DrawingUnit::Centimetre ? "5"
                                                          : "0";
    pair(text, 0, "SECTION");
    pair(text, 2, "HEADER");
    pair(text, 9, "$ACADVER");
    pair(text, 1, "AC1009");
    pair(text, 9, "$INSUNITS");
    pair(text, 70, units);
    pair(text, 0, "ENDSEC");

    pair(text, 0, "SECTION");
    pair(text, 2, "TABLES");
    pair(text, 0, "TABLE");
    pair(text, 2, "LTYPE");
    pair(text, 70, "1");
    pair(text, 0, "LTYPE");
    pair(text, 2, "CONTINUOUS");
    pair(text, 70, "0");
    pair(text, 3, "Solid line");
    pair(text, 72, "65");
    pair(text, 73, "0");
    pair(text, 40, "0.0");
    pair(text, 0, "ENDTAB");
    pair(text, 0, "TABLE");
    pair(text, 2, "LAYER");
    pair(text, 70, "2");
    layer(text, "DRAWING", 7); // black on white, white on black
    layer(text, "CLUTTER", 8); // grey
    pair(text, 0, "ENDTAB");
    pair(text, 0, "ENDSEC");

    pair(text, 0, "SECTION");
    pair(text, 2, "ENTITIES");
    polylines(text, lines, "DRAWING");
    polylines(text, clutter, "CLUTTER");
    pair(text, 0, "ENDSEC");
    pair(text, 0, "EOF");

    const std::string bytes = text.str();
    out.write(bytes.data(), bytes.size());
}

} // namespace ZELK
