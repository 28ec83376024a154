// Helpers of the end-to-end tests (see cli_support.hpp).
#include "cli_support.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

std::string statusOf(const std::string& out, const std::string& message) {
    // The first line of exactly that message: a longer one has no blank or end after the head.
    const std::string head = "* " + message;
    std::size_t at = out.find(head);
    while (at != std::string::npos && at + head.size() < out.size() &&
           !std::isspace(out[at + head.size()]))
        at = out.find(head, at + 1);
    if (at == std::string::npos)
        return "";
    const std::string line = out.substr(at, out.find('\n', at) - at);
    return line.ends_with("FAIL") ? "FAIL" : line.ends_with("OK") ? "OK" : "?";
}

std::string polygonDocument(float width, float height, const Polylines& open,
                            const Polylines& closed) {
    std::ostringstream text;
    text << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<area width=\"" << width << "\" height=\""
         << height << "\">\n  <!-- drawn by hand -->\n";
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
    const std::size_t comment = text.find("<!--");
    for (std::size_t at = text.find("<p"); at != std::string::npos; at = text.find("<p", at + 1)) {
        if (text.compare(at, 10, "<point><x>") == 0) {
            w.vertices.emplace_back(numberAfter(text, "<x>", at), numberAfter(text, "<y>", at));
        } else if (text.compare(at, 8, "<polygon") == 0) {
            const std::size_t end = text.find("</polygon>", at);
            std::vector<P2>& polyline = (at < comment ? w.lines : w.clutter).emplace_back();
            for (std::size_t p = text.find("<point>", at); p < end; p = text.find("<point>", p + 1))
                polyline.push_back(w.vertices.at(std::strtoul(&text[p + 7], nullptr, 10) - 1));
            if (text.compare(at, 21, "<polygon ends=\"open\">") != 0 && !polyline.empty())
                polyline.push_back(polyline.front());
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
        svg.strokes.push_back(attribute(text, "stroke", g));
        svg.strokeWidth = std::stof(attribute(text, "stroke-width", g));
    }
    return svg;
}

Raster readNetpbm(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    unsigned maximum = 0;
    Raster raster;
    in >> magic >> raster.width >> raster.height >> maximum;
    in.get(); // the single white-space byte before the samples
    raster.channels = magic == "P6" ? 3 : 1;
    raster.samples.resize(std::size_t(raster.width) * raster.height * raster.channels);
    in.read(reinterpret_cast<char*>(raster.samples.data()),
            static_cast<std::streamsize>(raster.samples.size()));
    if ((magic != "P5" && magic != "P6") || maximum != 255 || !in)
        throw std::runtime_error(path.string() + " is not a whole 8-bit binary PGM or PPM");
    return raster;
}

Polylines readStrokes(const std::string& fixture) {
    std::ifstream in(dataPath(fixture));
    Polylines strokes;
    for (std::string line; std::getline(in, line);) {
        std::istringstream values(line);
        std::vector<P2>& stroke = strokes.emplace_back();
        for (float x, y; values >> x >> y;)
            stroke.emplace_back(x, y);
    }
    return strokes;
}

std::string runTool(const std::vector<std::string>& argv, const std::filesystem::path& dir) {
    const RunResult r = runProgram(argv, dir);
    if (r.exitCode != 0)
        throw std::runtime_error(argv[0] + " failed (" + std::to_string(r.exitCode) +
                                 "; tools/ensure-deps.sh installs it): " + r.err);
    return r.out;
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
