// Helpers of the end-to-end tests of polygon XML input, refinement and export: building input
// documents, reading back what the program wrote, and rendering its SVG with a real renderer.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/tuple.hpp"

namespace PenvexTest {

using P2 = ZELK::Point<2, float>;

// A polygon of a hand-made input: 1-based references into the points, open or closed.
struct InputPolygon {
    std::vector<int> references;
    bool open = true;
};

// A polygon XML document with the given area, points and polygons, laid out with line ends
// and indentation as a person would write it.
std::string polygonDocument(float width, float height, const std::vector<P2>& points,
                            const std::vector<InputPolygon>& polygons);

// One open polyline per point list, each with its own points.
std::string polylinesDocument(float width, float height,
                              const std::vector<std::vector<P2>>& polylines);

// What a polygon XML output holds: the area and the polylines before and after the clutter
// comment, as point lists (a closed polyline repeats its first point at the end).
struct WrittenDrawing {
    float width = 0.0f;
    float height = 0.0f;
    std::vector<std::vector<P2>> lines;
    std::vector<std::vector<P2>> clutter;
};
WrittenDrawing readWrittenDrawing(const std::string& document);

// The polylines and polygons of one "g" element of an SVG, in SVG coordinates, with the
// group's stroke colour.
struct SVGGroup {
    std::string stroke;
    std::vector<std::vector<P2>> shapes;
};
struct SVGDrawing {
    float viewBox[4] = {0, 0, 0, 0};
    std::string background;
    float strokeWidth = 0.0f;
    std::vector<SVGGroup> groups; // the lines first, then the clutter groups
    std::size_t clutterFrames = 0;
};
SVGDrawing readSVG(const std::string& document);

// A grey raster read from a binary PGM, top row first.
struct GreyRaster {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<unsigned char> samples;
    unsigned char at(unsigned x, unsigned y) const { return samples[std::size_t(y) * width + x]; }
};
GreyRaster readPGM(const std::filesystem::path& path);
// An RGB raster read from a binary PPM, top row first, three samples per pixel.
struct ColourRaster {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<unsigned char> samples;
    const unsigned char* at(unsigned x, unsigned y) const {
        return samples.data() + (std::size_t(y) * width + x) * 3;
    }
};
ColourRaster readPPM(const std::filesystem::path& path);

// Renders the SVG with rsvg-convert at its natural size (one pixel per user unit, pixel
// (0, 0) at the view box origin) and returns the picture flattened onto white. Raises
// std::runtime_error when a tool is missing or fails, so a test cannot pass without them.
ColourRaster renderSVG(const std::filesystem::path& svg, const std::filesystem::path& scratch);

// Distance from p to the segment a-b.
float segmentDistance(const P2& p, const P2& a, const P2& b);
// Distance from p to the nearest of the polylines.
float distanceToPolylines(const P2& p, const std::vector<std::vector<P2>>& polylines);

// Runs a shell command; returns its exit status.
int shell(const std::string& command);

} // namespace PenvexTest
