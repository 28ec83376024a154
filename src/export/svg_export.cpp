#include "export/svg_export.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/text.hpp"
#include "core/transformation.hpp"
#include "tracing/clutter.hpp"
#include "xml/xml_writer.hpp"

namespace ZELK {

namespace {

using Transform = Transformation<2, float>;

std::string number(float value) {
    return Text::format(value);
}

// The smallest box holding both.
Hyperrectangle<2, float> join(const Hyperrectangle<2, float>& a,
                              const Hyperrectangle<2, float>& b) {
    Hyperrectangle<2, float> box;
    for (unsigned axis = 0; axis < 2; ++axis) {
        const float low = std::min(a.origin[axis], b.origin[axis]);
        const float high = std::max(a.origin[axis] + a.size[axis], b.origin[axis] + b.size[axis]);
        box.origin[axis] = low;
        box.size[axis] = high - low;
    }
    return box;
}

Hyperrectangle<2, float> viewBox(const PolylineSet& lines, const PolylineSet& clutter,
                                 const SVGStyle& style) {
    if (style.areaIsViewBox)
        return style.area;
    const bool hasLines = lines.vertexCount() > 0, hasClutter = clutter.vertexCount() > 0;
    if (!hasLines && !hasClutter)
        return style.area;
    Hyperrectangle<2, float> box = hasLines ? lines.boundingBox() : clutter.boundingBox();
    if (hasLines && hasClutter)
        box = join(box, clutter.boundingBox());
    // A margin of a tenth of the larger extent keeps strokes at the edge inside the picture.
    const float margin = 0.1f * std::max(box.size[0], box.size[1]);
    box.origin += Vector<2, float>(-margin, -margin);
    box.size[0] += 2.0f * margin;
    box.size[1] += 2.0f * margin;
    return box;
}

// The mirror about the horizontal middle of the area, applied after the lines' own view.
std::unique_ptr<Transform::Base> flipTransformation(const PolylineSet& lines,
                                                    const Hyperrectangle<2, float>& area) {
    const float cy = area.origin.y() + area.size[1] / 2.0f;
    auto flip = std::make_unique<Transform::Composite>();
    if (lines.transformation())
        flip->add(lines.transformation()->clone());
    flip->add(std::make_unique<Transform::Translation>(Vector<2, float>(0.0f, -cy)));
    flip->add(std::make_unique<Transform::Scale>(Vector<2, float>(1.0f, -1.0f)));
    flip->add(std::make_unique<Transform::Translation>(Vector<2, float>(0.0f, cy)));
    return flip;
}

XMLAttributes boxAttributes(const Hyperrectangle<2, float>& box) {
    return XMLAttributes{{"height", number(box.size[1])},
                         {"width", number(box.size[0])},
                         {"x", number(box.origin.x())},
                         {"y", number(box.origin.y())}};
}

// One "g" of the given colour holding every polyline of the set: a closed one as a polygon
// without its repeated last index, any other as a polyline.
void writeGroup(XMLWriter& writer, const PolylineSet& set, const Color& color,
                const std::string& strokeWidth) {
    writer.startElement("g",
                        XMLAttributes{{"stroke", colorText(color)}, {"stroke-width", strokeWidth}});
    for (const Polyline& polyline : set.polylines()) {
        const bool closed = polyline.size() > 1 && polyline.front() == polyline.back();
        const std::size_t count = closed ? polyline.size() - 1 : polyline.size();
        std::string points;
        for (std::size_t k = 0; k < count; ++k) {
            const Point<2, float> p = set.position(polyline[k]);
            if (k > 0)
                points += ' ';
            points += number(p.x());
            points += ',';
            points += number(p.y());
        }
        writer.emptyElement(closed ? "polygon" : "polyline",
                            XMLAttributes{{"fill", "none"}, {"points", points}});
    }
    writer.endElement();
}

} // namespace

namespace {

// The sets as the SVG shows them (copies carrying the flip; the caller's sets keep their own
// view transformations) and the view box around them.
struct Shown {
    PolylineSet lines, clutter;
    Hyperrectangle<2, float> box;
};

Shown shown(const PolylineSet& lines, const PolylineSet& clutter, const SVGStyle& style) {
    Shown drawing{lines, clutter, {}};
    std::unique_ptr<Transform::Base> flip = flipTransformation(lines, style.area);
    drawing.clutter.setTransformation(flip->clone());
    drawing.lines.setTransformation(std::move(flip));
    drawing.box = viewBox(drawing.lines, drawing.clutter, style);
    return drawing;
}

bool finite(const Hyperrectangle<2, float>& box) {
    return std::isfinite(box.origin.x()) && std::isfinite(box.origin.y()) &&
           std::isfinite(box.size[0]) && std::isfinite(box.size[1]);
}

} // namespace

bool positionsAreFinite(const PolylineSet& set) {
    for (std::uint32_t v = 0; v < set.vertexCount(); ++v) {
        const Point<2, float> p = set.position(v);
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            return false;
    }
    return true;
}

bool svgIsFinite(const PolylineSet& lines, const PolylineSet& clutter, const SVGStyle& style) {
    const Shown drawing = shown(lines, clutter, style);
    // Every frame and label of a clutter group lies within the view box, which is finite only
    // when the extent of the positions around it is.
    return finite(style.area) && finite(drawing.box) && positionsAreFinite(drawing.lines) &&
           positionsAreFinite(drawing.clutter);
}

void writeSVG(WriteStream& out, const PolylineSet& lines, const PolylineSet& clutter,
              const SVGStyle& style) {
    const Shown drawing = shown(lines, clutter, style);
    const PolylineSet& shownLines = drawing.lines;
    const PolylineSet& shownClutter = drawing.clutter;
    const Hyperrectangle<2, float>& box = drawing.box;
    XMLWriter writer(out);
    const float strokeWidth = 0.005f * std::max(style.area.size[0], style.area.size[1]);
    const float fontSize = 5.0f * strokeWidth;
    const std::string stroke = number(strokeWidth);

    writer.startElement(
        "svg", XMLAttributes{{"version", "1.1"},
                             {"viewBox", number(box.origin.x()) + " " + number(box.origin.y()) +
                                             " " + number(box.size[0]) + " " + number(box.size[1])},
                             {"xmlns", "http://www.w3.org/2000/svg"}});
    writer.startElement("style");
    writer.writeText("text.clutter{ font-size: " + number(fontSize) +
                     "px; text-anchor: middle; dominant-baseline: middle; display: none; }"
                     "rect.clutter{ stroke: gray; stroke-width: 1; stroke-dasharray: 5,5; "
                     "fill: none; display: none; }");
    writer.endElement();
    writer.emptyElement("rect", mergeAttributes(boxAttributes(box),
                                                xmlAttribute("fill", colorText(style.background))));

    writeGroup(writer, shownLines, style.line, stroke);

    if (shownClutter.vertexCount() > 0) {
        const std::vector<PolylineSet> groups = groupClutter(shownClutter, style.clutterDistance);
        const Color clutterColor = mixColor(style.background, style.line, 0.7f);
        for (std::size_t i = 0; i < groups.size(); ++i) {
            writeGroup(writer, groups[i], clutterColor, stroke);
            // The last group gathers the short noise strokes; it gets no frame or label.
            if (i + 1 == groups.size())
                break;
            const Hyperrectangle<2, float> frame = groups[i].boundingBox();
            writer.emptyElement(
                "rect", mergeAttributes(boxAttributes(frame), xmlAttribute("class", "clutter")));
            const Point<2, float> centre(frame.origin.x() + frame.size[0] * 0.5f,
                                         frame.origin.y() + frame.size[1] * 0.5f);
            writer.startElement("text", XMLAttributes{{"class", "clutter"},
                                                      {"x", number(centre.x())},
                                                      {"y", number(centre.y())}});
            writer.writeText(std::to_string(i));
            writer.endElement();
        }
    }
    writer.endElement();
}

} // namespace ZELK
