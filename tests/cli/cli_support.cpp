// Helpers of the end-to-end tests (see cli_support.hpp).
#include "cli_support.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace PenvexTest {

namespace {

// The value of the first attribute name at or after from.
std::string attribute(const std::string& text, const std::string& name, std::size_t from) {
    const std::size_t at = text.find(" " + name + "=\"", from);
    if (at == std::string::npos)
        throw std::runtime_error("no attribute " + name);
    const std::size_t start = at + name.size() + 3;
    return text.substr(start, text.find('"', start) - start);
}

float numberAfter(const std::string& text, const std::string& key, std::size_t from) {
    return std::strtof(text.c_str() + text.find(key, from) + key.size(), nullptr);
}

} // namespace

// A message that reaches the result's column is followed directly by the time, and one
// beyond it has its result on the next line (file names of fixtures are long).
std::string statusOf(const std::string& out, const std::string& message) {
    const std::string head = "* " + message;
    std::size_t at = out.find(head);
    auto endsHere = [&](std::size_t after) {
        return after == out.size() || out[after] == ' ' || out[after] == '\n' ||
               std::isdigit(out[after]) != 0;
    };
    while (at != std::string::npos && !endsHere(at + head.size()))
        at = out.find(head, at + 1);
    if (at == std::string::npos)
        return "";
    std::size_t from = at + head.size();
    if (out[from] == '\n')
        ++from;
    const std::size_t end = out.find('\n', from);
    const std::string line = out.substr(from, end == std::string::npos ? end : end - from);
    return line.ends_with("FAIL") ? "FAIL" : line.ends_with("OK") ? "OK" : "?";
}

std::string polygonDocument(float width, float height, const Polylines& open,
                            const Polylines& closed) {
    std::ostringstream text;
    text << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<area width=\"" << width << "\" height=\""
         << height << "\">\n";
    std::size_t count = 0;
    for (const Polylines* set : {&open, &closed})
        for (const std::vector<P2>& polyline : *set) {
            for (const P2& p : polyline)
                text << "  <point><x>" << p.x() << "</x><y>" << p.y() << "</y></point>\n";
            text << (set == &open ? "  <polygon ends=\"open\">" : "  <polygon>");
            for (std::size_t k = 0; k < polyline.size(); ++k)
                text << "<point>" << ++count << "</point>";
            text << "</polygon>\n";
        }
    return text.str() + "</area>\n";
}

Written readWritten(const std::filesystem::path& path) {
    const std::string text = readFile(path);
    Written w;
    w.width = numberAfter(text, " width=\"", 0);
    w.height = numberAfter(text, " height=\"", 0);
    const std::size_t comment = text.find("<!--");
    for (std::size_t at = text.find("<p"); at != std::string::npos; at = text.find("<p", at + 1)) {
        if (text.compare(at, 10, "<point><x>") == 0) {
            w.vertices.emplace_back(numberAfter(text, "<x>", at), numberAfter(text, "<y>", at));
        } else if (text.compare(at, 8, "<polygon") == 0) {
            const std::size_t end = text.find("</polygon>", at);
            std::vector<P2> polyline;
            for (std::size_t p = text.find("<point>", at); p < end; p = text.find("<point>", p + 1))
                polyline.push_back(
                    w.vertices.at(std::strtoul(text.c_str() + p + 7, nullptr, 10) - 1));
            if (text.compare(at, 21, "<polygon ends=\"open\">") != 0 && !polyline.empty())
                polyline.push_back(polyline.front());
            (at < comment ? w.lines : w.clutter).push_back(polyline);
            at = end;
        }
    }
    return w;
}

SVGDrawing readSVG(const std::filesystem::path& path) {
    const std::string text = readFile(path);
    SVGDrawing svg;
    std::istringstream box(attribute(text, "viewBox", 0));
    for (float& value : svg.viewBox)
        box >> value;
    svg.background = attribute(text, "fill", text.find("<rect "));
    for (std::size_t g = text.find("<g "); g != std::string::npos; g = text.find("<g ", g + 1)) {
        const std::size_t end = text.find("</g>", g);
        Polylines shapes;
        for (std::size_t s = text.find("<poly", g); s < end; s = text.find("<poly", s + 1)) {
            std::istringstream points(attribute(text, "points", s));
            std::vector<P2> shape;
            float x, y;
            char comma;
            while (points >> x >> comma >> y)
                shape.emplace_back(x, y);
            if (text.compare(s, 8, "<polygon") == 0 && !shape.empty())
                shape.push_back(shape.front());
            shapes.push_back(shape);
        }
        svg.groups.emplace_back(attribute(text, "stroke", g), shapes);
    }
    for (std::size_t at = text.find("<rect class=\"clutter\""); at != std::string::npos;
         at = text.find("<rect class=\"clutter\"", at + 1))
        ++svg.clutterFrames;
    return svg;
}

Raster readNetpbm(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    unsigned maximum = 0;
    Raster raster;
    in >> magic >> raster.width >> raster.height >> maximum;
    in.get(); // the single white-space byte before the samples
    if ((magic != "P5" && magic != "P6") || maximum != 255)
        throw std::runtime_error(path.string() + " is not an 8-bit binary PGM or PPM");
    raster.channels = magic == "P5" ? 1 : 3;
    raster.samples.resize(std::size_t(raster.width) * raster.height * raster.channels);
    if (!in.read(reinterpret_cast<char*>(raster.samples.data()),
                 static_cast<std::streamsize>(raster.samples.size())))
        throw std::runtime_error("short file " + path.string());
    return raster;
}

std::string runTool(const std::vector<std::string>& argv, const std::filesystem::path& dir) {
    const RunResult r = runProgram(argv, dir);
    if (r.exitCode != 0)
        throw std::runtime_error(argv[0] + " failed (" + std::to_string(r.exitCode) +
                                 "; tools/ensure-deps.sh installs it): " + r.err);
    return r.out;
}

Raster renderSVG(const std::filesystem::path& svg, const std::filesystem::path& scratch) {
    const std::string png = (scratch / "rendered.png").string();
    const std::string ppm = (scratch / "rendered.ppm").string();
    runTool({"/usr/bin/rsvg-convert", svg.string(), "-o", png}, scratch);
    runTool(
        {"/usr/bin/convert", png, "-background", "white", "-flatten", "-depth", "8", "ppm:" + ppm},
        scratch);
    return readNetpbm(ppm);
}

float distanceToPolylines(const P2& p, const Polylines& polylines) {
    double best = std::numeric_limits<double>::infinity();
    for (const std::vector<P2>& polyline : polylines)
        for (std::size_t k = 0; k < polyline.size(); ++k) {
            const P2 a = polyline[k == 0 ? 0 : k - 1], b = polyline[k];
            const double dx = double(b.x()) - a.x(), dy = double(b.y()) - a.y();
            const double px = double(p.x()) - a.x(), py = double(p.y()) - a.y();
            const double span = dx * dx + dy * dy;
            const double t = span > 0 ? std::clamp((px * dx + py * dy) / span, 0.0, 1.0) : 0.0;
            best = std::min(best, std::hypot(px - t * dx, py - t * dy));
        }
    return float(best);
}

std::vector<P2> samples(const Polylines& polylines, float step) {
    std::vector<P2> points;
    for (const std::vector<P2>& polyline : polylines)
        for (std::size_t k = 0; k < polyline.size(); ++k) {
            const P2 a = polyline[k == 0 ? 0 : k - 1], b = polyline[k];
            const int n =
                std::max(1, int(std::ceil(std::hypot(b.x() - a.x(), b.y() - a.y()) / step)));
            for (int i = k == 0 ? n : 1; i <= n; ++i) {
                const float t = float(i) / float(n);
                points.emplace_back(a.x() + t * (b.x() - a.x()), a.y() + t * (b.y() - a.y()));
            }
        }
    return points;
}

} // namespace PenvexTest
