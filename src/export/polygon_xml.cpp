#include "export/polygon_xml.hpp"

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "core/exceptions.hpp"
#include "core/text.hpp"
#include "xml/xml_reader.hpp"
#include "xml/xml_writer.hpp"

namespace ZELK {

namespace {

const char* const clutterComment = "The following polylines are classified as clutter.";

// Writes the vertices of the set as point elements, then its polylines as polygon elements
// whose references are 1-based and shifted by offset.
void writeSet(XMLWriter& writer, const PolylineSet& set, std::uint64_t offset) {
    for (std::uint32_t v = 0; v < set.vertexCount(); ++v) {
        const Point<2, float> p = set.position(v);
        writer.startElement("point");
        writer.startElement("x");
        writer.writeText(Text::format(p.x()));
        writer.endElement();
        writer.startElement("y");
        writer.writeText(Text::format(p.y()));
        writer.endElement();
        writer.endElement();
    }
    for (const Polyline& polyline : set.polylines()) {
        const bool closed = !polyline.empty() && polyline.front() == polyline.back();
        writer.startElement("polygon", closed ? XMLAttributes{} : xmlAttribute("ends", "open"));
        // A closed polyline is written without its repeated last index.
        const std::size_t count = closed ? polyline.size() - 1 : polyline.size();
        for (std::size_t k = 0; k < count; ++k) {
            writer.startElement("point");
            writer.writeText(Text::format(offset + polyline[k] + 1));
            writer.endElement();
        }
        writer.endElement();
    }
}

// Reads the text element that the reader has just entered (an "x", "y" or reference "point"
// start at level), leaving the reader on its end tag.
std::string elementText(XMLReader& reader, std::string_view name, std::size_t level) {
    reader.advance();
    reader.expect(XMLKind::Text, level + 1);
    std::string text = reader.text();
    reader.advance();
    reader.expect(XMLKind::ElementEnd, name, level);
    return text;
}

// A vertex: the reader is on the start of a "point" at level 1 and ends on its end tag (or at
// the end of the document). Returns false with the message when a coordinate is missing.
bool readVertex(XMLReader& reader, std::vector<Point<2, float>>& points, std::string& problem) {
    float coordinate[2] = {0.0f, 0.0f};
    bool seen[2] = {false, false};
    reader.advance();
    while (reader.hasMore() && !reader.is(XMLKind::ElementEnd, "point", 1)) {
        for (unsigned axis = 0; axis < 2; ++axis) {
            const char* name = axis == 0 ? "x" : "y";
            if (reader.is(XMLKind::ElementStart, name, 2)) {
                // A coordinate given twice keeps the later value.
                coordinate[axis] = Text::convert<float>(elementText(reader, name, 2));
                seen[axis] = true;
                break;
            }
        }
        reader.advance();
    }
    if (!seen[0] || !seen[1]) {
        problem = std::string("XML point entry missing ") + (seen[0] ? "" : "x ") +
                  (seen[1] ? "" : "y ") + "element.";
        return false;
    }
    points.emplace_back(coordinate[0], coordinate[1]);
    return true;
}

// A polyline: the reader is on the start of a "polygon" at level 1 and ends on its end tag
// (or at the end of the document). References are kept as written (1-based).
std::vector<int> readPolygon(XMLReader& reader) {
    bool open = false;
    for (const XMLAttribute& attribute : reader.attributes())
        if (attribute.name == "ends" && attribute.value == "open")
            open = true;
    std::vector<int> references;
    reader.advance();
    while (reader.hasMore() && !reader.is(XMLKind::ElementEnd, "polygon", 1)) {
        if (reader.is(XMLKind::ElementStart, "point", 2))
            references.push_back(Text::convert<int>(elementText(reader, "point", 2)));
        reader.advance();
    }
    if (!open && !references.empty())
        references.push_back(references.front());
    return references;
}

} // namespace

void writePolygonXML(WriteStream& out, const Hyperrectangle<2, float>& area,
                     const PolylineSet& lines, const PolylineSet& clutter) {
    XMLWriter writer(out);
    writer.startElement("area", mergeAttributes(xmlAttribute("height", Text::format(area.height())),
                                                xmlAttribute("width", Text::format(area.width()))));
    writeSet(writer, lines, 0);
    writer.comment(clutterComment);
    writeSet(writer, clutter, lines.vertexCount());
    writer.endElement();
}

bool readPolygonXML(std::string_view document, PolygonXMLDrawing& drawing, std::string& problem,
                    std::uint32_t maxVertices) {
    XMLReader reader(document);
    Hyperrectangle<2, float> area;
    while (reader.hasMore() && !reader.is(XMLKind::ElementStart, "area", 0))
        reader.advance();
    if (reader.hasMore()) {
        for (const XMLAttribute& attribute : reader.attributes()) {
            if (attribute.name == "width")
                area.size[0] = Text::convert<float>(attribute.value);
            else if (attribute.name == "height")
                area.size[1] = Text::convert<float>(attribute.value);
        }
        reader.advance();
    }

    std::vector<Point<2, float>> points;
    std::vector<std::vector<int>> references;
    while (reader.hasMore()) {
        if (reader.is(XMLKind::ElementStart, "point", 1)) {
            if (points.size() == maxVertices) {
                problem = "Polygon XML input has more vertices than the supported maximum " +
                          std::to_string(maxVertices);
                return false;
            }
            if (!readVertex(reader, points, problem))
                return false;
        } else if (reader.is(XMLKind::ElementStart, "polygon", 1)) {
            references.push_back(readPolygon(reader));
        }
        reader.advance();
    }

    // Vertex indices are 32-bit; a document cannot hold that many points within the size of a
    // string we read, but the check keeps the conversion below honest.
    if (points.size() >= 0xFFFFFFFFu)
        throw BoundException<unsigned int>(0xFFFFFFFFu, 0xFFFFFFFEu);
    const int count = points.size() > std::size_t(INT_MAX) ? INT_MAX : int(points.size());
    PolylineSet lines(2.0f);
    std::vector<PositionAccumulator>& vertices = lines.vertices();
    vertices.reserve(points.size());
    for (const Point<2, float>& p : points)
        vertices.push_back(PositionAccumulator{p, 1});
    std::vector<Polyline>& polylines = lines.polylines();
    polylines.reserve(references.size());
    for (const std::vector<int>& written : references) {
        Polyline polyline;
        polyline.reserve(written.size());
        for (int n : written) {
            // The writer never refers outside the vertices; a hand-edited file might.
            if (n < 1 || std::size_t(n) > points.size())
                throw BoundException<int>(n, count);
            polyline.push_back(static_cast<std::uint32_t>(n - 1));
        }
        polylines.push_back(std::move(polyline));
    }

    drawing.area = area;
    drawing.lines = std::move(lines);
    return true;
}

} // namespace ZELK
