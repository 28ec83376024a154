#include "export/preview.hpp"

#include <cmath>

#include "demo/coverage_canvas.hpp"

namespace ZELK {

namespace {

class Painter {
public:
    Painter(RgbImage& image, float scale, float shift, float width)
        : image_(image), canvas_(image.width, image.height), scale_(scale), shift_(shift),
          width_(width) {}

    // The canvas puts pixel (x, y) over [x, x + 1], half a pixel from the pixel centres.
    Point<2, float> at(const Point<2, float>& p) const {
        return Point<2, float>(p.x() * scale_ + shift_ + 0.5f, p.y() * scale_ + shift_ + 0.5f);
    }

    void segment(const Point<2, float>& from, const Point<2, float>& to) {
        const Point<2, float> a = at(from), b = at(to);
        if (!std::isfinite(a.x()) || !std::isfinite(a.y()) || !std::isfinite(b.x()) ||
            !std::isfinite(b.y()))
            return;
        const float dx = b.x() - a.x(), dy = b.y() - a.y();
        const float length = std::hypot(dx, dy);
        // Each end is extended by half the width so that joints show no notch.
        const float h = width_ / 2;
        const Vector<2, float> d = length > 0.0f ? Vector<2, float>(dx / length, dy / length)
                                                 : Vector<2, float>(1.0f, 0.0f);
        canvas_.addThickSegment(a - h * d, d, length + width_, width_);
    }

    void polylines(const PolylineSet& set) {
        for (const Polyline& polyline : set.polylines())
            for (std::size_t k = 1; k < polyline.size(); ++k)
                segment(set.position(polyline[k - 1]), set.position(polyline[k]));
    }

    void dots(const PolylineSet& set) {
        const float h = 0.75f * width_;
        for (const Polyline& polyline : set.polylines())
            for (std::uint32_t v : polyline) {
                const Point<2, float> c = at(set.position(v));
                if (!std::isfinite(c.x()) || !std::isfinite(c.y()))
                    continue;
                const Point<2, float> square[4] = {
                    Point<2, float>(c.x() - h, c.y() - h), Point<2, float>(c.x() + h, c.y() - h),
                    Point<2, float>(c.x() + h, c.y() + h), Point<2, float>(c.x() - h, c.y() + h)};
                canvas_.addConvexPolygon(square);
            }
    }

    void loop(const std::vector<Point<2, float>>& corners) {
        for (std::size_t k = 0; k < corners.size(); ++k)
            segment(corners[k], corners[(k + 1) % corners.size()]);
    }

    void paint(const Color& colour) {
        canvas_.paint(image_, colour);
        canvas_.reset();
    }

private:
    RgbImage& image_;
    CoverageCanvas canvas_;
    float scale_, shift_, width_;
};

} // namespace

void dimForPreview(RgbImage& image) {
    const std::uint64_t bytes = image.byteCount();
    for (std::uint64_t i = 0; i < bytes; ++i)
        image.pixels[i] = static_cast<std::uint8_t>(153 + image.pixels[i] * 2 / 5);
}

void drawPreview(RgbImage& image, const PreviewDrawing& drawing, float scale, float shift,
                 float width) {
    Painter painter(image, scale, shift, width);
    if (drawing.sheet) {
        painter.loop({drawing.sheet->begin(), drawing.sheet->end()});
        painter.paint(previewSheetColour);
    }
    if (drawing.clutter) {
        for (const Hyperrectangle<2, float>& box : drawing.clutterBoxes) {
            const float x = box.origin.x(), y = box.origin.y();
            painter.loop({Point<2, float>(x, y), Point<2, float>(x + box.size[0], y),
                          Point<2, float>(x + box.size[0], y + box.size[1]),
                          Point<2, float>(x, y + box.size[1])});
        }
        painter.polylines(*drawing.clutter);
        painter.paint(previewClutterColour);
    }
    if (drawing.lines) {
        painter.polylines(*drawing.lines);
        painter.paint(previewLineColour);
        painter.dots(*drawing.lines);
        painter.paint(previewVertexColour);
    }
}

} // namespace ZELK
