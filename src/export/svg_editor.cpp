#include "export/svg_editor.hpp"

#include <cmath>
#include <sstream>
#include <string>

#include "core/exceptions.hpp"
#include "core/text.hpp"

namespace ZELK {

namespace {

const char* unitName(DrawingUnit unit) {
    switch (unit) {
    case DrawingUnit::Millimetre:
        return "mm";
    case DrawingUnit::Centimetre:
        return "cm";
    case DrawingUnit::Inch:
        return "in";
    default:
        return "px";
    }
}

std::string number(float value) {
    if (!std::isfinite(value))
        throw UnexpectedValueException("a coordinate that is not finite", "finite coordinates");
    return Text::format(value);
}

class Writer {
public:
    explicit Writer(const EditorPage& page) : page_(page) {}

    // One layer: its group and, inside, the polylines of the set.
    void layer(const char* name, const PolylineSet& set, const Color& colour, const char* prefix) {
        out_ << "  <g id=\"" << name << "\" inkscape:groupmode=\"layer\" inkscape:label=\"" << name
             << "\" fill=\"none\" stroke=\"" << colorText(colour) << "\" stroke-width=\""
             << number(page_.strokeWidth)
             << "\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";
        std::size_t n = 0;
        for (const Polyline& polyline : set.polylines()) {
            if (polyline.size() < 2)
                continue;
            const bool closed = polyline.front() == polyline.back();
            const std::size_t count = closed ? polyline.size() - 1 : polyline.size();
            out_ << "    <" << (closed ? "polygon" : "polyline") << " id=\"" << prefix << '-' << ++n
                 << "\" points=\"";
            for (std::size_t k = 0; k < count; ++k)
                point(set.position(polyline[k]), k == 0);
            out_ << "\"/>\n";
        }
        out_ << "  </g>\n";
    }

    void sheet(const std::array<Point<2, float>, 4>& corners) {
        out_ << "  <g id=\"sheet\" inkscape:groupmode=\"layer\" inkscape:label=\"sheet\" "
                "style=\"display:none\">\n    <polygon id=\"sheet-outline\" fill=\"none\" "
                "stroke=\"#ff0000\" stroke-width=\""
             << number(page_.strokeWidth) << "\" points=\"";
        for (std::size_t k = 0; k < corners.size(); ++k)
            point(corners[k], k == 0);
        out_ << "\"/>\n  </g>\n";
    }

    std::string document(const PolylineSet& lines, const PolylineSet& clutter) {
        const Hyperrectangle<2, float>& f = page_.frame;
        const char* unit = unitName(page_.unit);
        out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             << "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                "xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" version=\"1.1\"\n"
             << "     width=\"" << number(f.size[0]) << unit << "\" height=\"" << number(f.size[1])
             << unit << "\" viewBox=\"0 0 " << number(f.size[0]) << ' ' << number(f.size[1])
             << "\">\n";
        if (page_.sheet)
            sheet(*page_.sheet);
        layer("drawing", lines, page_.line, "line");
        layer("clutter", clutter, page_.clutter, "clutter");
        out_ << "</svg>\n";
        return out_.str();
    }

private:
    void point(const Point<2, float>& p, bool first) {
        const Hyperrectangle<2, float>& f = page_.frame;
        out_ << (first ? "" : " ") << number(p.x() - f.origin.x()) << ','
             << number(f.origin.y() + f.size[1] - p.y());
    }

    const EditorPage& page_;
    std::ostringstream out_;
};

} // namespace

void writeEditorSVG(WriteStream& out, const PolylineSet& lines, const PolylineSet& clutter,
                    const EditorPage& page) {
    const std::string text = Writer(page).document(lines, clutter);
    out.write(text.data(), text.size());
}

} // namespace ZELK
