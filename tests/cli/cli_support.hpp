// Helpers of the end-to-end tests: polygon XML input, reading back what the program wrote, and
// the outside tools (rsvg-convert, ImageMagick) that look at its pictures.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "core/tuple.hpp"
#include "support/run_binary.hpp"

namespace PenvexTest {

using P2 = ZELK::Point<2, float>;
using Polylines = std::vector<std::vector<P2>>;

std::vector<std::string> words(const std::string& text);

// "OK" or "FAIL" ending the status line of message, "?" for one left open, "" for none. Messages
// must end before the time's column.
std::string statusOf(const std::string& out, const std::string& message);

// A polygon XML document: the open polylines, then the closed ones, each with its own points.
std::string polygonDocument(float width, float height, const Polylines& open,
                            const Polylines& closed = {});

// A written polygon XML file read by hand (the program's reader merges close vertices): every
// vertex in file order, and the polylines before and after the clutter comment.
struct Written {
    std::vector<P2> vertices;
    Polylines lines, clutter;
};
Written readWritten(const std::filesystem::path& path);

// An SVG's view box, background, stroke width, and group colours (the lines, then clutter).
struct SVGDrawing {
    std::array<float, 4> viewBox{};
    std::string background;
    float strokeWidth = 0.0f;
    std::vector<std::string> strokes;
};
SVGDrawing readSVG(const std::filesystem::path& path);

// A binary 8-bit PGM or PPM, top row first.
struct Raster {
    unsigned width = 0, height = 0, channels = 1;
    std::vector<unsigned char> samples;
    const unsigned char* at(unsigned x, unsigned y) const {
        return &samples[(y * width + x) * channels];
    }
};
Raster readNetpbm(const std::filesystem::path& path);

// The strokes a fixture picture was drawn with: one polyline a line as "x y x y ...".
Polylines readStrokes(const std::string& fixture);

// An outside tool's standard output; std::runtime_error when it is missing or fails.
std::string runTool(const std::vector<std::string>& argv, const std::filesystem::path& dir);

float distanceToPolylines(const P2& p, const Polylines& polylines);
// Points at most step apart along the polylines.
std::vector<P2> samples(const Polylines& polylines, float step = 0.5f);

} // namespace PenvexTest
