// The built-in demo figures: each is a list of straight segments in the unit square, drawn
// with start/continue primitives, looked up by name.
#pragma once

#include <string>
#include <vector>

#include "core/tuple.hpp"

namespace ZELK {

// A straight piece of a figure: origin, unit direction and length.
struct Segment {
    Point<2, float> origin;
    Vector<2, float> direction;
    float length = 0.0f;

    // The segment from p to q; a zero-length one points along the diagonal (1/sqrt 2, 1/sqrt 2)
    // so that its direction is still a unit vector.
    static Segment between(const Point<2, float>& p, const Point<2, float>& q);
    // origin + length * direction.
    Point<2, float> end() const;
};

// An ordered list of segments in drawing coordinates ([0, 1] x [0, 1], y up).
class DemoDrawing {
public:
    // Appends the segment from (x0, y0) to (x1, y1).
    void start(float x0, float y0, float x1, float y1);
    // Appends the segment from the end of the last segment to (x, y). With no segment yet it
    // starts from the origin.
    void continueTo(float x, float y);

    const std::vector<Segment>& segments() const { return segments_; }
    // Number of strokes: a start with the continues that follow it is one stroke.
    std::size_t strokeCount() const { return strokes_; }

private:
    std::vector<Segment> segments_;
    std::size_t strokes_ = 0;
};

// Fills drawing with the figure of that name (exact, case-sensitive) and returns true; returns
// false and leaves drawing alone when no figure has the name.
bool findDemoFigure(const std::string& name, DemoDrawing& drawing);

// Every figure name, in catalogue order.
std::vector<std::string> demoFigureNames();

// a reduced to [-pi, pi) by whole turns, before sine and cosine are taken of it.
float reduceAngle(float a);

} // namespace ZELK
