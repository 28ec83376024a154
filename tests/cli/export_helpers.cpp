#include "export_helpers.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>

#include "export/polygon_xml.hpp"
#include "support/run_binary.hpp"

namespace PenvexTest {

namespace {

std::string number(float value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

std::string quoted(const std::filesystem::path& path) {
    std::string text(1, '\'');
    text += path.string();
    text += '\'';
    return text;
}

// The value of attribute name inside the tag text.
std::string attributeIn(const std::string& tag, const std::string& name) {
    const std::size_t at = tag.find(" " + name + "=\"");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + name.size() + 3;
    return tag.substr(start, tag.find('"', start) - start);
}

std::vector<P2> parsePoints(const std::string& text) {
    std::vector<P2> points;
    std::istringstream in(text);
    std::string pair;
    while (in >> pair) {
        const std::size_t comma = pair.find(',');
        points.emplace_back(std::stof(pair.substr(0, comma)), std::stof(pair.substr(comma + 1)));
    }
    return points;
}

// Reads a binary NetPBM header (magic already known) and returns the width and height.
void readHeader(std::istream& in, const std::string& magic, unsigned& width, unsigned& height) {
    std::string found;
    in >> found;
    if (found != magic)
        throw std::runtime_error("not a " + magic + " file");
    unsigned values[3];
    for (unsigned& value : values) {
        in >> std::ws;
        while (in.peek() == '#') {
            std::string comment;
            std::getline(in, comment);
            in >> std::ws;
        }
        in >> value;
    }
    if (values[2] != 255)
        throw std::runtime_error("not an 8-bit NetPBM file");
    in.get(); // the single white-space byte before the samples
    width = values[0];
    height = values[1];
}

} // namespace

std::string polygonDocument(float width, float height, const std::vector<P2>& points,
                            const std::vector<InputPolygon>& polygons) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<area width=\"" +
                       number(width) + "\" height=\"" + number(height) + "\">\n";
    for (const P2& p : points)
        text += "  <point><x>" + number(p.x()) + "</x><y>" + number(p.y()) + "</y></point>\n";
    for (const InputPolygon& polygon : polygons) {
        text += polygon.open ? "  <polygon ends=\"open\">" : "  <polygon>";
        for (int reference : polygon.references)
            text += "<point>" + std::to_string(reference) + "</point>";
        text += "</polygon>\n";
    }
    return text + "</area>\n";
}

std::string polylinesDocument(float width, float height,
                              const std::vector<std::vector<P2>>& polylines) {
    std::vector<P2> points;
    std::vector<InputPolygon> polygons;
    for (const std::vector<P2>& polyline : polylines) {
        InputPolygon polygon;
        for (const P2& p : polyline) {
            points.push_back(p);
            polygon.references.push_back(static_cast<int>(points.size()));
        }
        polygons.push_back(polygon);
    }
    return polygonDocument(width, height, points, polygons);
}

WrittenDrawing readWrittenDrawing(const std::string& document) {
    const std::size_t comment = document.find("<!--");
    if (comment == std::string::npos)
        throw std::runtime_error("polygon XML without the clutter comment");
    std::size_t linesCount = 0;
    for (std::size_t at = document.find("<polygon"); at < comment;
         at = document.find("<polygon", at + 1))
        ++linesCount;

    ZELK::PolygonXMLDrawing drawing;
    std::string problem;
    if (!ZELK::readPolygonXML(document, drawing, problem))
        throw std::runtime_error(problem);
    WrittenDrawing written;
    written.width = drawing.area.width();
    written.height = drawing.area.height();
    const auto& polylines = drawing.lines.polylines();
    for (std::size_t i = 0; i < polylines.size(); ++i) {
        std::vector<P2> points;
        for (std::uint32_t v : polylines[i])
            points.push_back(drawing.lines.position(v));
        (i < linesCount ? written.lines : written.clutter).push_back(points);
    }
    return written;
}

SVGDrawing readSVG(const std::string& document) {
    SVGDrawing drawing;
    const std::size_t svg = document.find("<svg ");
    if (svg == std::string::npos)
        throw std::runtime_error("no svg element");
    std::istringstream box(
        attributeIn(document.substr(svg, document.find('>', svg) - svg), "viewBox"));
    for (float& value : drawing.viewBox)
        box >> value;
    const std::size_t rect = document.find("<rect fill=");
    drawing.background =
        attributeIn(document.substr(rect, document.find('>', rect) - rect), "fill");

    for (std::size_t g = document.find("<g "); g != std::string::npos;
         g = document.find("<g ", g + 1)) {
        const std::string tag = document.substr(g, document.find('>', g) - g);
        SVGGroup group;
        group.stroke = attributeIn(tag, "stroke");
        drawing.strokeWidth = std::stof(attributeIn(tag, "stroke-width"));
        const std::size_t end = document.find("</g>", g);
        for (std::size_t shape = document.find("<poly", g); shape < end;
             shape = document.find("<poly", shape + 1)) {
            const std::string shapeTag = document.substr(shape, document.find('>', shape) - shape);
            std::vector<P2> points = parsePoints(attributeIn(shapeTag, "points"));
            if (shapeTag.rfind("<polygon", 0) == 0 && !points.empty())
                points.push_back(points.front());
            group.shapes.push_back(points);
        }
        drawing.groups.push_back(group);
    }
    for (std::size_t at = document.find("<rect class=\"clutter\""); at != std::string::npos;
         at = document.find("<rect class=\"clutter\"", at + 1))
        ++drawing.clutterFrames;
    return drawing;
}

GreyRaster readPGM(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    GreyRaster raster;
    readHeader(in, "P5", raster.width, raster.height);
    raster.samples.resize(std::size_t(raster.width) * raster.height);
    in.read(reinterpret_cast<char*>(raster.samples.data()),
            static_cast<std::streamsize>(raster.samples.size()));
    if (!in)
        throw std::runtime_error("short PGM file " + path.string());
    return raster;
}

ColourRaster readPPM(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    ColourRaster raster;
    readHeader(in, "P6", raster.width, raster.height);
    raster.samples.resize(std::size_t(raster.width) * raster.height * 3);
    in.read(reinterpret_cast<char*>(raster.samples.data()),
            static_cast<std::streamsize>(raster.samples.size()));
    if (!in)
        throw std::runtime_error("short PPM file " + path.string());
    return raster;
}

ColourRaster renderSVG(const std::filesystem::path& svg, const std::filesystem::path& scratch) {
    const std::filesystem::path png = scratch / "rendered.png";
    const std::filesystem::path ppm = scratch / "rendered.ppm";
    if (shell("rsvg-convert " + quoted(svg) + " -o " + quoted(png)) != 0)
        throw std::runtime_error("rsvg-convert failed on " + svg.string() +
                                 " (is librsvg2-bin installed? make test installs it)");
    if (shell("/usr/bin/convert " + quoted(png) +
              " -background white -flatten -depth 8 ppm:" + quoted(ppm)) != 0)
        throw std::runtime_error("ImageMagick could not convert the rendered PNG");
    return readPPM(ppm);
}

float segmentDistance(const P2& p, const P2& a, const P2& b) {
    const double dx = double(b.x()) - a.x(), dy = double(b.y()) - a.y();
    const double px = double(p.x()) - a.x(), py = double(p.y()) - a.y();
    const double span = dx * dx + dy * dy;
    const double t = span > 0 ? std::clamp((px * dx + py * dy) / span, 0.0, 1.0) : 0.0;
    return static_cast<float>(std::hypot(px - t * dx, py - t * dy));
}

float distanceToPolylines(const P2& p, const std::vector<std::vector<P2>>& polylines) {
    float best = std::numeric_limits<float>::infinity();
    for (const std::vector<P2>& polyline : polylines) {
        if (polyline.size() == 1)
            best = std::min(best, segmentDistance(p, polyline[0], polyline[0]));
        for (std::size_t k = 1; k < polyline.size(); ++k)
            best = std::min(best, segmentDistance(p, polyline[k - 1], polyline[k]));
    }
    return best;
}

int shell(const std::string& command) {
    const int status = std::system((command + " > /dev/null 2>&1").c_str());
    return status == -1 ? -1 : WEXITSTATUS(status);
}

} // namespace PenvexTest
