// The exportResults stage: writes, each when asked for and in this order, the SVG drawing,
// the polygon XML file, the line mask and the refined image.
#include <cmath>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "app/stages.hpp"
#include "core/atomic_file.hpp"
#include "export/image_export.hpp"
#include "export/polygon_xml.hpp"
#include "export/svg_export.hpp"
#include "migration/image.hpp"
#include "migration/image_signal.hpp"
#include "raster/resize.hpp"
#include "rectify/rectification.hpp"

namespace ZELK {

namespace {

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
    writeFileAtomically(context.options.svgFile.value, [&](std::ostream& file) {
        CppOutStream stream(file);
        writeSVG(stream, context.drawing.lines, context.drawing.clutter, style);
        stream.flush();
    });
}

void exportPolygonXML(const RunContext& context) {
    writeFileAtomically(context.options.xmlFile.value, [&](std::ostream& file) {
        CppOutStream stream(file);
        writePolygonXML(stream, context.drawing.area, context.drawing.lines,
                        context.drawing.clutter);
        stream.flush();
    });
}

void exportSignal(const Signal<3, std::uint8_t>& image, const Migration::ImageMetadata& meta,
                  const std::string& path) {
    const BorrowConstBuffer buffer(image.data(), image.count());
    Migration::exportImage(buffer, meta, path);
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

} // namespace

bool exportResults(RunContext& context) {
    // A drawing that cannot be written in finite numbers is refused before any file is touched.
    const DrawingResult& drawing = context.drawing;
    const SVGStyle style = context.options.svgOutput.given ? svgStyle(context) : SVGStyle();
    if ((context.options.svgOutput.given && !svgIsFinite(drawing.lines, drawing.clutter, style)) ||
        (context.options.xmlOutput.given &&
         !(positionsAreFinite(drawing.lines) && positionsAreFinite(drawing.clutter) &&
           std::isfinite(drawing.area.size[0]) && std::isfinite(drawing.area.size[1])))) {
        std::cerr << "Drawing coordinates are not finite or lie too far apart to be written.\n";
        return false;
    }
    if (context.options.svgOutput.given)
        exportSVG(context, style);
    if (context.options.xmlOutput.given)
        exportPolygonXML(context);
    if (!context.options.maskOutput.given && !context.options.imageOutput.given)
        return true;
    if (!context.input.isImage) {
        std::cerr << "No image provided.\n";
        return false;
    }

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
        Migration::exportImage(buffer, meta, context.options.maskFile.value);
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
