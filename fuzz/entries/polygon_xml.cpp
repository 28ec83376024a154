#include "fuzz/entries/polygon_xml.hpp"

#include <cmath>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/exceptions.hpp"
#include "core/limits.hpp"
#include "core/streams.hpp"
#include "export/polygon_xml.hpp"
#include "export/svg_export.hpp"
#include "tracing/clutter.hpp"
#include "tracing/refinement.hpp"

namespace ZELK::Fuzz {

namespace {

void check(bool condition, const char* what) {
    if (!condition)
        throw std::logic_error(std::string("polygon XML invariant broken: ") + what);
}

class StringWriteStream : public WriteStream {
public:
    void write(const void* src, std::uint64_t count) override {
        text.append(static_cast<const char*>(src), count);
    }
    std::string text;
};

void checkIndices(const PolylineSet& set) {
    for (const Polyline& polyline : set.polylines())
        for (std::uint32_t v : polyline)
            check(v < set.vertexCount(), "an index refers past the vertices");
}

bool allFinite(const PolylineSet& set) {
    for (std::uint32_t v = 0; v < set.vertexCount(); ++v) {
        const Point<2, float> p = set.position(v);
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            return false;
    }
    return true;
}

// Reads a document; false when the reader refused it with one of its documented errors.
bool read(std::string_view document, PolygonXMLDrawing& drawing) {
    std::string problem;
    try {
        if (!readPolygonXML(document, drawing, problem, Limits::maxPolygonXMLVertices)) {
            check(problem.rfind("XML point entry missing ", 0) == 0 ||
                      problem.rfind("Polygon XML input has more vertices", 0) == 0,
                  "unexpected problem text");
            return false;
        }
        return true;
    } catch (const XMLEntityIterationException&) {
    } catch (const XMLAttributeIterationException&) {
    } catch (const UnexpectedValueException&) {
    } catch (const Text::ConversionException&) {
    } catch (const BoundException<int>&) {
    }
    return false;
}

} // namespace

void polygonXML(const std::uint8_t* data, std::size_t size) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    PolygonXMLDrawing drawing;
    if (!read(document, drawing))
        return;
    PolylineSet& lines = drawing.lines;
    checkIndices(lines);
    for (const PositionAccumulator& vertex : lines.vertices())
        check(vertex.count == 1, "a read vertex merged with another");

    // What refinePolylines does, with alignment on.
    mergeShortEdges(lines, 5.0f);
    removeRedundantVertices(lines, 5.0f);
    lines.cleanUp();
    checkIndices(lines);
    PolylineSet clutter = classifyClutter(lines, 50.0f);
    clutter.cleanUp();
    lines.cleanUp();
    alignPolylines(lines, 0.9f);
    lines.cleanUp();
    checkIndices(lines);
    checkIndices(clutter);
    for (const Polyline& polyline : lines.polylines())
        check(polyline.size() >= 2, "a cleaned-up polyline has fewer than 2 indices");

    StringWriteStream svg;
    SVGStyle style;
    style.area = drawing.area;
    writeSVG(svg, lines, clutter, style);
    check(svg.text.size() >= 6 && svg.text.compare(svg.text.size() - 6, 6, "</svg>") == 0,
          "the SVG is not closed");

    StringWriteStream xml;
    writePolygonXML(xml, drawing.area, lines, clutter);
    // Coordinates that overflowed while refining are written as text that does not read back.
    if (!allFinite(lines) || !allFinite(clutter) || !std::isfinite(drawing.area.width()) ||
        !std::isfinite(drawing.area.height()))
        return;
    PolygonXMLDrawing again;
    check(read(xml.text, again), "the written polygon XML does not read back");
    check(again.lines.polylines().size() == lines.polylines().size() + clutter.polylines().size(),
          "the written polygon XML reads back with another number of polylines");
    check(again.lines.vertexCount() == lines.vertexCount() + clutter.vertexCount(),
          "the written polygon XML reads back with another number of vertices");
}

} // namespace ZELK::Fuzz
