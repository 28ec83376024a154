#include "demo/render.hpp"

#include <cmath>
#include <numbers>

#include "core/checked.hpp"
#include "core/exceptions.hpp"
#include "core/limits.hpp"
#include "core/text.hpp"
#include "demo/coverage_canvas.hpp"
#include "demo/degradations.hpp"
#include "demo/mosaic.hpp"
#include "xml/xml_writer.hpp"

namespace ZELK {

namespace {

using Transformation2 = Transformation<2, float>;

// Thickness in pixels of the outline drawn around the sheet.
constexpr float sheetBorderThickness = 10.0f;

// Rotation matrix of the unit quaternion (w, x, y, z) = (cos(t/2), axis sin(t/2)), in the
// homogeneous plane coordinates that the perspective transformation uses.
MatrixSquareLight<3, float> rotation(float degrees, float ax, float ay, float az) {
    const float half = degrees * std::numbers::pi_v<float> / 180.0f / 2.0f;
    const float w = std::cos(half);
    const float s = std::sin(half);
    const float x = ax * s, y = ay * s, z = az * s;
    return MatrixSquareLight<3, float>{
        1 - 2 * (y * y + z * z), 2 * (x * y - z * w),     2 * (x * z + y * w),
        2 * (x * y + z * w),     1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
        2 * (x * z - y * w),     2 * (y * z + x * w),     1 - 2 * (x * x + y * y)};
}

UnexpectedValueException badParameter(const std::string& name, const Parameters& p,
                                      const std::string& expected) {
    return UnexpectedValueException(name + "=" + p.text(name), expected);
}

std::uint8_t byteOf(float channel) {
    const float v = channel * 255.0f;
    if (!(v > 0.0f))
        return 0;
    return v >= 255.0f ? 255 : static_cast<std::uint8_t>(v);
}

} // namespace

DemoSettings DemoSettings::from(const Parameters& p) {
    DemoSettings s;
    s.background = p.boolean("background");
    s.backgroundBorder = p.boolean("backgroundborder");
    s.perspective = p.boolean("perspective");
    const int size = p.integer("size");
    if (size < 1 || static_cast<std::uint32_t>(size) > Limits::maxDemoSize)
        throw badParameter("size", p,
                           "a size from 1 to " + std::to_string(Limits::maxDemoSize) + " pixels");
    s.size = static_cast<std::uint32_t>(size);
    s.thickness = p.real("thickness");
    if (!(s.thickness >= 0.0f))
        throw badParameter("thickness", p, "a thickness of 0 or more pixels");
    s.clutter = p.real("clutter");
    if (s.clutter > 1.0f)
        throw badParameter("clutter", p, "a clutter amount of at most 1");
    s.contrast = p.real("contrast");
    s.r2 = p.real("r2");
    s.noise = p.real("noise");
    s.gradient = p.real("gradient");
    s.clear = p.color("colorclear");
    s.sheet = p.color("colorbackground");
    s.stroke = p.color("colorstroke");
    return s;
}

MatrixSquareLight<3, float> demoPerspectiveMatrix() {
    MatrixSquareLight<3, float> m = MatrixSquareLight<3, float>::identity();
    m = rotation(10.0f, 1, 0, 0) * m;
    m = rotation(10.0f, 0, 1, 0) * m;
    return m;
}

std::unique_ptr<Transformation2::Composite> drawingToPixel(bool background, bool perspective,
                                                           std::uint32_t size) {
    const float margin = background ? 0.5f : 0.1f;
    auto t = std::make_unique<Transformation2::Composite>();
    t->add(std::make_unique<Transformation2::Translation>(Vector<2, float>(-0.5f, -0.5f)));
    t->add(std::make_unique<Transformation2::Scale>(1.0f / (margin + 0.5f)));
    if (perspective) {
        t->add(std::make_unique<PerspectiveTransformation<2, float>>(demoPerspectiveMatrix()));
        t->add(std::make_unique<Transformation2::Scale>(0.85f));
        t->add(std::make_unique<Transformation2::Translation>(Vector<2, float>(-0.3f, 0.3f)));
    }
    t->add(std::make_unique<Transformation2::Translation>(Vector<2, float>(1.0f, 1.0f)));
    t->add(std::make_unique<Transformation2::Scale>(static_cast<float>(size) / 2.0f));
    return t;
}

void renderDemo(const DemoDrawing& drawing, const DemoSettings& settings, IncrementalBuffer& buffer,
                Migration::ImageMetadata& meta) {
    const std::uint32_t size = settings.size;
    if (size < 1 || size > Limits::maxDemoSize)
        throw BoundException<unsigned int>(size, Limits::maxDemoSize);
    meta = Migration::ImageMetadata();
    meta.width = size;
    meta.height = size;
    meta.channels = RgbImage::channels;
    meta.type = Migration::unsigned8();
    meta.format = Migration::ImageMetadata::Format::RGBA;
    buffer.resize(checkedU32(checkedMul(checkedMul(size, size), RgbImage::channels)));
    RgbImage image{size, size, buffer.data()};

    const std::uint8_t clear[3] = {byteOf(settings.clear.red), byteOf(settings.clear.green),
                                   byteOf(settings.clear.blue)};
    for (std::uint64_t i = 0; i < image.byteCount(); i += 3) {
        image.pixels[i] = clear[0];
        image.pixels[i + 1] = clear[1];
        image.pixels[i + 2] = clear[2];
    }

    if (settings.clutter > 0.0f)
        paintMosaic(image, settings.clutter);

    const auto toPixel = drawingToPixel(settings.background, settings.perspective, size);
    CoverageCanvas canvas(size, size);
    if (settings.background) {
        const float margin = 0.5f;
        const float a = -margin / 2, b = 1 + margin / 2;
        const Point<2, float> corners[4] = {
            toPixel->apply(Point<2, float>(a, a)), toPixel->apply(Point<2, float>(b, a)),
            toPixel->apply(Point<2, float>(b, b)), toPixel->apply(Point<2, float>(a, b))};
        canvas.addConvexPolygon(corners);
        canvas.paint(image, settings.sheet);
        if (settings.backgroundBorder) {
            canvas.reset();
            for (unsigned i = 0; i < 4; ++i) {
                const Segment edge = Segment::between(corners[(i + 3) % 4], corners[i]);
                canvas.addThickSegment(edge.origin, edge.direction, edge.length,
                                       sheetBorderThickness);
            }
            canvas.paint(image, Color{});
        }
    }

    canvas.reset();
    for (const Segment& segment : drawing.segments()) {
        const Segment mapped =
            Segment::between(toPixel->apply(segment.origin), toPixel->apply(segment.end()));
        canvas.addThickSegment(mapped.origin, mapped.direction, mapped.length, settings.thickness);
    }
    canvas.paint(image, settings.stroke);

    distortLens(image, settings.r2);
    applyGradient(image, settings.gradient);
    applyContrast(image, settings.contrast);
    addNoise(image, settings.noise);
}

void writeDemoSVG(const DemoDrawing& drawing, std::uint32_t size, WriteStream& out) {
    const auto extent = static_cast<float>(size);
    Transformation2::Composite toSVG;
    toSVG.add(std::make_unique<Transformation2::Scale>(0.8f * extent));
    toSVG.add(std::make_unique<Transformation2::Translation>(
        Vector<2, float>(0.1f * extent, 0.1f * extent)));

    const std::string side = Text::format(size);
    XMLWriter xml(out);
    xml.startElement("svg", {{"version", "1.1"},
                             {"viewBox", "0 0 " + side + " " + side},
                             {"xmlns", "http://www.w3.org/2000/svg"}});
    xml.startElement("g", {{"stroke", "black"}, {"stroke-width", "2"}});
    for (const Segment& segment : drawing.segments()) {
        const Point<2, float> p = toSVG.apply(segment.origin);
        const Point<2, float> q = toSVG.apply(segment.end());
        xml.emptyElement("line", {{"x1", Text::format(p.x())},
                                  {"x2", Text::format(q.x())},
                                  {"y1", Text::format(p.y())},
                                  {"y2", Text::format(q.y())}});
    }
    xml.endElement();
    xml.endElement();
}

} // namespace ZELK
