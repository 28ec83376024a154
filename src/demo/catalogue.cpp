#include "demo/catalogue.hpp"

#include <cmath>
#include <numbers>

namespace ZELK {

namespace {

constexpr float pi = std::numbers::pi_v<float>;
// sqrt(3) / 4: half the width of a unit stroke turned by 60 degrees.
constexpr float sqrt3Quarter = 0.4330127f;

float reducedCos(float a) {
    return std::cos(reduceAngle(a));
}
float reducedSin(float a) {
    return std::sin(reduceAngle(a));
}

void diagonal(DemoDrawing& d) {
    d.start(0, 0, 1, 1);
}

void doubleLine(DemoDrawing& d) {
    d.start(0, 0.05f, 0.95f, 1);
    d.start(0.05f, 0, 1, 0.95f);
}

void ell(DemoDrawing& d) {
    d.start(0, 1, 0, 0);
    d.continueTo(1, 0);
}

void plus(DemoDrawing& d) {
    d.start(0, 0.5f, 1, 0.5f);
    d.start(0.5f, 0, 0.5f, 1);
}

void cross(DemoDrawing& d) {
    d.start(0, 0, 1, 1);
    d.start(1, 0, 0, 1);
}

void asterisk(DemoDrawing& d) {
    d.start(0.5f, 0, 0.5f, 1);
    d.start(0.5f - sqrt3Quarter, 0.25f, 0.5f + sqrt3Quarter, 0.75f);
    d.start(0.5f - sqrt3Quarter, 0.75f, 0.5f + sqrt3Quarter, 0.25f);
}

void tee(DemoDrawing& d) {
    d.start(0, 1, 1, 1);
    d.start(0.5f, 0, 0.5f, 1);
}

void square(DemoDrawing& d) {
    d.start(0, 0, 1, 0);
    d.continueTo(1, 1);
    d.continueTo(0, 1);
    d.continueTo(0, 0);
}

void circle(DemoDrawing& d) {
    d.start(0.5f + 0.5f * reducedCos(-pi / 8), 0.5f + 0.5f * reducedSin(-pi / 8), 1, 0.5f);
    for (int k = 1; k <= 15; ++k) {
        const float a = 2 * pi * static_cast<float>(k) / 16;
        d.continueTo(0.5f + 0.5f * reducedCos(a), 0.5f + 0.5f * reducedSin(a));
    }
}

void wave(DemoDrawing& d) {
    d.start(0, 0, 0.1f, 0);
    for (int k = 1; k <= 8; ++k) {
        const float t = static_cast<float>(k) / 8;
        d.continueTo(0.1f + 0.8f * t, 0.5f - 0.5f * reducedCos(2 * pi * t));
    }
    d.continueTo(1, 0);
}

void wobbly(DemoDrawing& d) {
    for (int i = 0; i <= 4; ++i) {
        const float y = static_cast<float>(i) / 5;
        d.start(0, y, 0.1f, y);
        for (int k = 1; k <= 32; ++k) {
            const float t = static_cast<float>(k) / 32;
            const float amplitude = static_cast<float>(i + 1) * 0.01f;
            d.continueTo(0.1f + 0.8f * t,
                         y + amplitude * (0.5f - 0.5f * reducedCos(2 * pi * 3 * t)));
        }
        d.continueTo(1, y);
    }
}

void spiral(DemoDrawing& d) {
    d.start(1, 0, 1, 0.5f);
    for (int k = 0; k <= 31; ++k) {
        const float t = static_cast<float>(k) / 32;
        const float a = 2 * pi * 2 * t;
        const float r = 0.5f * (1 - t);
        d.continueTo(0.5f + r * reducedCos(a), 0.5f + r * reducedSin(a));
    }
}

void gaps(DemoDrawing& d) {
    d.start(0, 0, 1, 0);
    for (int k = 1; k <= 3; ++k) {
        const float y = static_cast<float>(k) / 3;
        const float g = 0.025f * y * y;
        d.start(0, y, 0.5f - g, y);
        d.start(0.5f + g, y, 1, y);
    }
}

struct Figure {
    const char* name;
    void (*draw)(DemoDrawing&);
};

// Searched in this order; the order is also the order of the names in listings.
constexpr Figure catalogue[] = {
    {"diagonal", diagonal}, {"double", doubleLine}, {"L", ell},         {"plus", plus},
    {"X", cross},           {"asterisk", asterisk}, {"T", tee},         {"square", square},
    {"circle", circle},     {"wave", wave},         {"wobbly", wobbly}, {"spiral", spiral},
    {"gaps", gaps},
};

} // namespace

Segment Segment::between(const Point<2, float>& p, const Point<2, float>& q) {
    Segment s;
    s.origin = p;
    s.length = distance(q, p);
    if (s.length == 0.0f) {
        const float diagonal = static_cast<float>(1.0 / std::sqrt(2.0));
        s.direction = Vector<2, float>(diagonal, diagonal);
    } else {
        s.direction = (q - p) / s.length;
    }
    return s;
}

Point<2, float> Segment::end() const {
    return origin + length * direction;
}

void DemoDrawing::start(float x0, float y0, float x1, float y1) {
    segments_.push_back(Segment::between(Point<2, float>(x0, y0), Point<2, float>(x1, y1)));
    ++strokes_;
}

void DemoDrawing::continueTo(float x, float y) {
    if (segments_.empty()) {
        start(0, 0, x, y);
        return;
    }
    segments_.push_back(Segment::between(segments_.back().end(), Point<2, float>(x, y)));
}

float reduceAngle(float a) {
    constexpr float turn = 2 * pi;
    return a - turn * std::floor((a + pi) / turn);
}

bool findDemoFigure(const std::string& name, DemoDrawing& drawing) {
    for (const Figure& figure : catalogue)
        if (name == figure.name) {
            figure.draw(drawing);
            return true;
        }
    return false;
}

std::vector<std::string> demoFigureNames() {
    std::vector<std::string> names;
    for (const Figure& figure : catalogue)
        names.push_back(figure.name);
    return names;
}

} // namespace ZELK
