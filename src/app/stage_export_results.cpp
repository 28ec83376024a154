// The exportResults stage: writes, each when asked for and in this order, the SVG drawing,
// the polygon XML file, the line mask and the refined image.
#include <cmath>
#include <functional>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "app/stages.hpp"
#include "core/atomic_file.hpp"
#include "export/dxf.hpp"
#include "export/image_export.hpp"
#include "export/polygon_xml.hpp"
#include "export/preview.hpp"
#include "export/svg_editor.hpp"
#include "export/svg_export.hpp"
#include "migration/image.hpp"
#include "migration/image_signal.hpp"
#include "raster/resize.hpp"
#include "rectify/rectification.hpp"
#include "tracing/clutter.hpp"

namespace ZELK {

namespace {

// Writes an output through write(stream): to standard output for "-", else to the named file,
// which appears under its name only when complete.
void writeOutput(const std::string& path, const std::function<void(std::ostream&)>& write) {
    if (path == "-") {
        write(std::cout);
        std::cout.flush();
    } else {
        writeFileAtomically(path, write);
    }
}

// An image output by the format of its file name's extension, or as PNG on standard output.
void exportImageTo(const Buffer& data, const Migration::ImageMetadata& meta,
                   const std::string& path) {
    if (path != "-") {
        Migration::exportImage(data, meta, path);
        return;
    }
    std::unique_ptr<Migration::DataExporter> exporter = Migration::selectExporter("-.png");
    CppOutStream stream(std::cout);
    exporter->attach(stream);
    exporter->exportData(data, meta);
    exporter->detach();
    stream.flush();
}

// The loaded image as 8-bit samples (channels, width, height), with the checks of the image
// signal view.
ImageView loadedImage(const RunContext& context) {
    const Migration::ImageConstSignal<std::uint8_t> image(context.input.buffer, context.input.meta);
    return ImageView(image);
}

// The pixels that show the paper: outside the line mask, and inside the sheet when background
// detection found one.
BinarySignal<2, unsigned> paperMask(const RunContext& context) {
    BinarySignal<2, unsigned> paper = context.extraction.lineMask;
    paper.invert();
    if (context.background.corners)
        paper &= context.background.mask;
    return paper;
}

SVGStyle svgStyle(const RunContext& context) {
    SVGStyle style;
    style.area = context.drawing.area;
    style.areaIsViewBox = context.options.rectification.given;
    style.clutterDistance = context.options.clutterGroupDistance.value;
    // -cl auto groups clutter at six stroke widths (30 at the working thickness of 5) unless
    // -cg says otherwise.
    if (context.drawing.strokeWidth && !context.options.clutterGroup.given)
        style.clutterDistance = 6.0f * *context.drawing.strokeWidth;
    if (context.input.isImage && context.input.meta.channels == 3) {
        const ImageView image = loadedImage(context);
        meanColorUnderMask(image, paperMask(context), style.background);
        meanColorUnderMask(image, context.extraction.lineMask, style.line);
    }
    return style;
}

void exportSVG(const RunContext& context, const SVGStyle& style) {
    writeOutput(context.options.svgFile.value, [&](std::ostream& file) {
        CppOutStream stream(file);
        writeSVG(stream, context.drawing.lines, context.drawing.clutter, style);
        stream.flush();
    });
}

void exportPolygonXML(const RunContext& context) {
    writeOutput(context.options.xmlFile.value, [&](std::ostream& file) {
        CppOutStream stream(file);
        writePolygonXML(stream, context.drawing.area, context.drawing.lines,
                        context.drawing.clutter);
        stream.flush();
    });
}

// The unit the drawing's coordinates are in: -ru's with -r, pixels of the picture without.
DrawingUnit drawingUnit(const RunContext& context) {
    DrawingUnit unit = DrawingUnit::Pixel;
    if (context.options.rectification.given)
        parseDrawingUnit(context.options.rectifyUnitName.value, unit);
    return unit;
}

void exportDXF(const RunContext& context) {
    writeOutput(context.options.dxfFile.value, [&](std::ostream& file) {
        CppOutStream stream(file);
        writeDXF(stream, context.drawing.lines, context.drawing.clutter, drawingUnit(context));
        stream.flush();
    });
}

// The page of the editor SVG: the -rs rectangle with -r, else the picture (pixel centres on
// integers, so the picture spans -0.5 .. size - 0.5), else the drawing area. Strokes are the
// width the automatic mode measured where it did, else 0.005 of the page's larger side.
EditorPage editorPage(const RunContext& context) {
    EditorPage page;
    page.unit = drawingUnit(context);
    const RunOptions& o = context.options;
    const LoadedInput& input = context.input;
    float pixelsPerUnit = 1.0f;
    if (o.rectification.given) {
        page.frame = {Point<2, float>(0.0f, 0.0f),
                      Tuple<2, float>(o.rectifyWidth.value, o.rectifyHeight.value)};
        Tuple<2, unsigned> size;
        if (!input.isImage ||
            !rectifiedImageSize(input.meta.width, input.meta.height, o.rectifyWidth.value,
                                o.rectifyHeight.value, size, pixelsPerUnit))
            pixelsPerUnit = 0.0f;
        page.sheet = {{Point<2, float>(0, 0), Point<2, float>(o.rectifyWidth.value, 0),
                       Point<2, float>(o.rectifyWidth.value, o.rectifyHeight.value),
                       Point<2, float>(0, o.rectifyHeight.value)}};
    } else if (input.isImage) {
        page.frame = {Point<2, float>(-0.5f, -0.5f),
                      Tuple<2, float>(float(input.meta.width), float(input.meta.height))};
        if (context.background.corners) {
            // Corners are in the working grey image; the picture is that divided by the scale.
            std::array<Point<2, float>, 4> sheet;
            const float scale = input.scale.value_or(1.0f);
            for (unsigned k = 0; k < 4; ++k) {
                const Point<2, int>& c = (*context.background.corners)[k];
                sheet[k] =
                    Point<2, float>((c[0] - input.offset) / scale, (c[1] - input.offset) / scale);
            }
            page.sheet = sheet;
        }
    } else {
        page.frame = context.drawing.area;
    }
    page.strokeWidth = 0.005f * std::max(page.frame.size[0], page.frame.size[1]);
    if (input.strokeWidth && pixelsPerUnit > 0.0f)
        page.strokeWidth = *input.strokeWidth / pixelsPerUnit;
    if (input.isImage && input.meta.channels == 3) {
        const ImageView image = loadedImage(context);
        meanColorUnderMask(image, context.extraction.lineMask, page.line);
        page.clutter = mixColor(Color{1.0f, 1.0f, 1.0f}, page.line, 0.7f);
    }
    return page;
}

void exportEditorSVG(const RunContext& context) {
    const EditorPage page = editorPage(context);
    writeOutput(context.options.editorSvgFile.value, [&](std::ostream& file) {
        CppOutStream stream(file);
        writeEditorSVG(stream, context.drawing.lines, context.drawing.clutter, page);
        stream.flush();
    });
}

void exportSignal(const Signal<3, std::uint8_t>& image, const Migration::ImageMetadata& meta,
                  const std::string& path) {
    const BorrowConstBuffer buffer(image.data(), image.count());
    exportImageTo(buffer, meta, path);
}

// The refined image warped into the -rs rectangle at about the pixel count of the loaded image.
// The rectification maps the rectangle into the grey image that line extraction used, which
// differs from the loaded image by the loading scale. The rectify stage has checked the size.
Signal<3, std::uint8_t> rectifiedImage(const RunContext& context,
                                       const Signal<3, std::uint8_t>& refined) {
    const auto* perspective = dynamic_cast<const PerspectiveTransformation<2, float>*>(
        context.drawing.rectifyTransform.get());
    if (perspective == nullptr)
        throw UnexpectedValueException("another transformation", "a perspective rectification");
    Tuple<2, unsigned> size;
    float scale = 0.0f;
    if (!rectifiedImageSize(context.input.meta.width, context.input.meta.height,
                            context.options.rectifyWidth.value, context.options.rectifyHeight.value,
                            size, scale))
        throw UnexpectedValueException(std::to_string(context.options.rectifyWidth.value) + " x " +
                                           std::to_string(context.options.rectifyHeight.value),
                                       "a rectangle of a usable image size");
    const float imageScale = context.input.scale.value_or(1.0f);
    return warpPerspective(
        refined,
        rectifiedImageProjection(perspective->matrix(), scale, imageScale, context.input.offset),
        size[0], size[1]);
}

// Longest side of the preview: larger pictures are reduced to it.
constexpr unsigned previewSide = 2048;

// The preview: the picture (or with -r the picture warped onto the rectangle), at most
// previewSide on its longer side, lightened, with the result drawn on it.
void exportPreview(const RunContext& context) {
    const ImageView loaded = loadedImage(context);
    Signal<3, std::uint8_t> rgb(Tuple<3, unsigned>(3u, loaded.size(1), loaded.size(2)));
    const unsigned channels = loaded.size(0);
    for (std::uint32_t p = 0, n = loaded.size(1) * loaded.size(2); p < n; ++p)
        for (unsigned c = 0; c < 3; ++c)
            rgb.data()[3 * p + c] = loaded.data()[channels * p + (channels >= 3 ? c : 0)];
    PreviewDrawing drawing;
    drawing.lines = &context.drawing.lines;
    drawing.clutter = &context.drawing.clutter;
    float scale = 1.0f, shift = 0.0f;
    if (context.drawing.rectifyTransform) {
        rgb = rectifiedImage(context, rgb);
        Tuple<2, unsigned> size;
        rectifiedImageSize(context.input.meta.width, context.input.meta.height,
                           context.options.rectifyWidth.value, context.options.rectifyHeight.value,
                           size, scale);
    } else if (context.background.corners) {
        const float s = context.input.scale.value_or(1.0f);
        std::array<Point<2, float>, 4> sheet;
        for (unsigned k = 0; k < 4; ++k) {
            const Point<2, int>& c = (*context.background.corners)[k];
            sheet[k] = Point<2, float>((c[0] - context.input.offset) / s,
                                       (c[1] - context.input.offset) / s);
        }
        drawing.sheet = sheet;
    }
    float groupDistance = context.options.clutterGroupDistance.value;
    if (context.drawing.strokeWidth && !context.options.clutterGroup.given)
        groupDistance = 6.0f * *context.drawing.strokeWidth;
    std::vector<PolylineSet> groups = groupClutter(context.drawing.clutter, groupDistance);
    groups.pop_back(); // the catch-all group of short specks has no frame
    for (const PolylineSet& group : groups)
        drawing.clutterBoxes.push_back(group.boundingBox());

    // Reduced channel by channel, pixel centres on pixel centres.
    const unsigned longer = std::max(rgb.size(1), rgb.size(2));
    if (longer > previewSide) {
        const float factor = float(previewSide) / float(longer);
        Signal<3, std::uint8_t> reduced;
        Signal<2, unsigned char> plane(Tuple<2, unsigned>(rgb.size(1), rgb.size(2))), small;
        for (unsigned c = 0; c < 3; ++c) {
            for (std::uint32_t p = 0; p < plane.count(); ++p)
                plane.data()[p] = rgb.data()[3 * p + c];
            resampleCentred(plane, factor, small);
            if (c == 0)
                reduced.resize(Tuple<3, unsigned>(3u, small.width(), small.height()));
            for (std::uint32_t p = 0; p < small.count(); ++p)
                reduced.data()[3 * p + c] = small.data()[p];
        }
        rgb = std::move(reduced);
        shift = shift * factor + 0.5f * factor - 0.5f;
        scale *= factor;
    }
    RgbImage image{rgb.size(1), rgb.size(2), rgb.data()};
    dimForPreview(image);
    const float lineWidth = std::max(2.0f, float(std::max(image.width, image.height)) / 500.0f);
    drawPreview(image, drawing, scale, shift, lineWidth);
    Migration::ImageMetadata meta;
    meta.width = image.width;
    meta.height = image.height;
    meta.channels = 3;
    meta.type = Migration::unsigned8();
    meta.format = Migration::ImageMetadata::Format::RGBA;
    exportSignal(rgb, meta, context.options.previewFile.value);
}

} // namespace

bool exportResults(RunContext& context) {
    // A drawing that cannot be written in finite numbers is refused before any file is touched.
    const DrawingResult& drawing = context.drawing;
    const SVGStyle style = context.options.svgOutput.given ? svgStyle(context) : SVGStyle();
    if ((context.options.svgOutput.given && !svgIsFinite(drawing.lines, drawing.clutter, style)) ||
        ((context.options.xmlOutput.given || context.options.editorSvgOutput.given ||
          context.options.dxfOutput.given) &&
         !(positionsAreFinite(drawing.lines) && positionsAreFinite(drawing.clutter) &&
           std::isfinite(drawing.area.size[0]) && std::isfinite(drawing.area.size[1])))) {
        std::cerr << "Drawing coordinates are not finite or lie too far apart to be written.\n";
        return false;
    }
    if (context.options.svgOutput.given)
        exportSVG(context, style);
    if (context.options.xmlOutput.given)
        exportPolygonXML(context);
    if (context.options.editorSvgOutput.given)
        exportEditorSVG(context);
    if (context.options.dxfOutput.given)
        exportDXF(context);
    if (!context.options.maskOutput.given && !context.options.imageOutput.given &&
        !context.options.previewOutput.given)
        return true;
    if (!context.input.isImage) {
        std::cerr << "No image provided.\n";
        return false;
    }

    if (context.options.previewOutput.given) {
        context.status.begin("Exporting preview");
        exportPreview(context);
        context.status.end(true);
    }
    if (!context.options.maskOutput.given && !context.options.imageOutput.given)
        return true;
    const unsigned width = context.input.meta.width, height = context.input.meta.height;
    context.status.begin("Exporting line mask");
    Signal<2, std::uint8_t> mask;
    resampleBilinear(unpackMask(context.extraction.lineMask), Tuple<2, unsigned>(width, height),
                     mask, BilinearForm::Difference);
    if (context.options.maskOutput.given) {
        Migration::ImageMetadata meta;
        meta.width = width;
        meta.height = height;
        meta.channels = 1;
        meta.type = Migration::unsigned8();
        meta.format = Migration::ImageMetadata::Format::INTENSITY;
        const BorrowConstBuffer buffer(mask.data(), mask.count());
        exportImageTo(buffer, meta, context.options.maskFile.value);
    }
    context.status.end(true);

    if (context.options.imageOutput.given) {
        context.status.begin("Exporting refined image");
        const ImageView loaded = loadedImage(context);
        Signal<3, std::uint8_t> refined(loaded.sizes());
        std::copy_n(loaded.data(), loaded.count(), refined.data());
        // Paper colour per channel; black when no pixel shows paper.
        std::vector<float> means(loaded.size(0), 0.0f);
        meanUnderMask(loaded, paperMask(context), means);
        std::vector<std::uint8_t> background(means.size());
        for (std::size_t c = 0; c < means.size(); ++c)
            background[c] = static_cast<std::uint8_t>(means[c] * 255.0f);
        pullTowardBackground(refined, mask, background);
        if (context.drawing.rectifyTransform)
            refined = rectifiedImage(context, refined);
        Migration::ImageMetadata meta = context.input.meta;
        meta.width = refined.size(1);
        meta.height = refined.size(2);
        exportSignal(refined, meta, context.options.imageFile.value);
        context.status.end(true);
    }
    return true;
}

} // namespace ZELK
