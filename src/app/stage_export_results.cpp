// The exportResults stage: writes, each when asked for and in this order, the SVG drawing,
// the polygon XML file, the line mask and the refined image.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/stages.hpp"
#include "extract/image_export.hpp"
#include "extract/polygon_xml.hpp"
#include "extract/rectification.hpp"
#include "extract/svg_export.hpp"
#include "migration/image.hpp"
#include "migration/image_signal.hpp"

namespace ZELK {

namespace {

// The loaded image as 8-bit samples (channels, width, height), with the checks of the image
// signal view.
ImageView loadedImage(const RunContext& context) {
    const Migration::ImageConstSignal<std::uint8_t> image(context.imageBuffer, context.imageMeta);
    return ImageView(image);
}

// The pixels that show the paper: outside the line mask, and inside the sheet when background
// detection found one.
BinarySignal<2, unsigned> paperMask(const RunContext& context) {
    BinarySignal<2, unsigned> paper = context.lineMask;
    paper.invert();
    if (context.backgroundFound)
        paper &= context.backgroundMask;
    return paper;
}

void exportSVG(const RunContext& context) {
    SVGStyle style;
    style.area = context.drawingArea;
    style.areaIsViewBox = context.rectification.given;
    style.clutterDistance = context.clutterGroupDistance.value;
    if (context.inputIsImage && context.imageMeta.channels == 3) {
        const ImageView image = loadedImage(context);
        meanColorUnderMask(image, paperMask(context), style.background);
        meanColorUnderMask(image, context.lineMask, style.line);
    }
    std::ofstream file(context.svgFile.value, std::ios::binary | std::ios::trunc);
    CppOutStream stream(file);
    writeSVG(stream, context.lines, context.clutter, style);
    stream.flush();
}

void exportPolygonXML(const RunContext& context) {
    std::ofstream file(context.xmlFile.value, std::ios::binary | std::ios::trunc);
    CppOutStream stream(file);
    writePolygonXML(stream, context.drawingArea, context.lines, context.clutter);
    stream.flush();
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
    const auto* perspective =
        dynamic_cast<const PerspectiveTransformation<2, float>*>(context.rectifyTransform.get());
    if (perspective == nullptr)
        throw UnexpectedValueException("another transformation", "a perspective rectification");
    Tuple<2, unsigned> size;
    float scale = 0.0f;
    if (!rectifiedImageSize(context.imageMeta.width, context.imageMeta.height,
                            context.rectifyWidth.value, context.rectifyHeight.value, size, scale))
        throw UnexpectedValueException(std::to_string(context.rectifyWidth.value) + " x " +
                                           std::to_string(context.rectifyHeight.value),
                                       "a rectangle of a usable image size");
    const float imageScale = context.imageScaled ? context.imageScale : 1.0f;
    return warpPerspective(refined,
                           rectifiedImageProjection(perspective->matrix(), scale, imageScale),
                           size[0], size[1]);
}

} // namespace

bool exportResults(RunContext& context) {
    if (context.svgOutput.given)
        exportSVG(context);
    if (context.xmlOutput.given)
        exportPolygonXML(context);
    if (!context.maskOutput.given && !context.imageOutput.given)
        return true;
    if (!context.inputIsImage) {
        std::cerr << "No image provided.\n";
        return false;
    }

    const unsigned width = context.imageMeta.width, height = context.imageMeta.height;
    context.status.begin("Exporting line mask");
    const Signal<2, std::uint8_t> mask =
        resampleBilinear(unpackMask(context.lineMask), width, height);
    if (context.maskOutput.given) {
        Migration::ImageMetadata meta;
        meta.width = width;
        meta.height = height;
        meta.channels = 1;
        meta.type = Migration::unsigned8();
        meta.format = Migration::ImageMetadata::Format::INTENSITY;
        const BorrowConstBuffer buffer(mask.data(), mask.count());
        Migration::exportImage(buffer, meta, context.maskFile.value);
    }
    context.status.end(true);

    if (context.imageOutput.given) {
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
        if (context.rectifyTransform)
            refined = rectifiedImage(context, refined);
        Migration::ImageMetadata meta = context.imageMeta;
        meta.width = refined.size(1);
        meta.height = refined.size(2);
        exportSignal(refined, meta, context.imageFile.value);
        context.status.end(true);
    }
    return true;
}

} // namespace ZELK
