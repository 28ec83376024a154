// The first stage: classifies the input, loads it and makes the grey image that the
// extraction stages work on.
#include <algorithm>
#include <cctype>
#include <iostream>
#include <sstream>

#include "app/stages.hpp"
#include "core/text.hpp"
#include "migration/image.hpp"
#include "raster/filters.hpp"
#include "raster/grey_conversion.hpp"
#include "raster/resize.hpp"
#include "raster/visual.hpp"
#include "strokes/line_thickness.hpp"
#include "strokes/stroke_width.hpp"

namespace ZELK {

namespace {

enum class InputKind { Demo, PolygonXML, Image };

InputKind classify(const std::string& input) {
    if (input.rfind("demo:", 0) == 0)
        return InputKind::Demo;
    if (input.size() >= 4) {
        std::string tail = input.substr(input.size() - 4);
        std::transform(tail.begin(), tail.end(), tail.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (tail == ".xml")
            return InputKind::PolygonXML;
    }
    return InputKind::Image;
}

// Filter sizes that the extraction could not honour are refused before any work is done,
// so a user does not wait for loading and background detection to learn it.
bool filterOptionsUsable(const RunContext& context) {
    if (context.options.medianSize.value > maxMedianWindow) {
        std::cerr << "Median window " << context.options.medianSize.value
                  << " is larger than the supported maximum " << maxMedianWindow << " (-e)\n";
        return false;
    }
    if (context.options.localMeanSize.value > maxLocalMeanWindow) {
        std::cerr << "Local mean window " << context.options.localMeanSize.value
                  << " is larger than the supported maximum " << maxLocalMeanWindow << " (-n)\n";
        return false;
    }
    return true;
}

// Standard input larger than this is refused rather than held in memory.
constexpr std::uint64_t maxStandardInputBytes = std::uint64_t(1) << 30;

// The picture on standard input ("-"), its format found by content.
void importStandardInput(IncrementalBuffer& data, Migration::ImageMetadata& meta) {
    std::string bytes;
    char chunk[1 << 16];
    while (std::cin.read(chunk, sizeof chunk) || std::cin.gcount() > 0) {
        if (bytes.size() + std::uint64_t(std::cin.gcount()) > maxStandardInputBytes)
            throw BoundException<std::uint64_t>(bytes.size() + std::cin.gcount(),
                                                maxStandardInputBytes);
        bytes.append(chunk, std::size_t(std::cin.gcount()));
    }
    std::istringstream in(std::move(bytes));
    CppInStream stream(in);
    Migration::importImage(data, meta, "standard input", stream);
}

// Imports the image file; a failure is reported as one line and ends the stage.
bool loadImage(RunContext& context, const std::string& path) {
    context.status.begin("Loading image " + path);
    context.input.isImage = false;
    ExceptionWriter writer(std::cerr);
    try {
        if (path == "-")
            importStandardInput(context.input.buffer, context.input.meta);
        else
            Migration::importImage(context.input.buffer, context.input.meta, path);
    } catch (const Exception& e) {
        writer.handle(e, {});
        context.status.end(false);
        return false;
    } catch (const std::exception& e) {
        writer.handle(CppException::wrap(e), {});
        context.status.end(false);
        return false;
    }
    context.input.isImage = true;
    context.status.end(true);
    return true;
}

void scaleToMeasuredWidth(RunContext& context);
void scaleToNominalThickness(RunContext& context);

// Grey conversion, scaling and the two visualization items of a loaded or rendered image.
void makeWorkingGrey(RunContext& context) {
    context.visualizationRoot.child("Image").sendImage(context.input.buffer, context.input.meta);

    if (isSingleChannel(context.input.meta)) {
        copySingleChannel(context.input.buffer, context.input.meta, context.input.grey);
    } else {
        // A picture the conversion cannot view (wide or padded colour samples) raises its
        // error through to the entry point, which reports it; the step line stays open.
        context.status.begin("Converting to gray scale");
        convertColourToGrey(context.input.buffer, context.input.meta, context.input.grey);
        context.status.end(true);
    }

    if (context.options.lineThicknessText.value == measuredThicknessText) {
        scaleToMeasuredWidth(context);
    } else {
        scaleToNominalThickness(context);
    }

    context.input.greyView = context.visualizationRoot.child("Image gray");
    sendSignal(context.input.greyView, context.input.grey);
}

// -a auto: the strokes' width measured in the grey image, and the image resized (either way)
// so that they come out at the working thickness, pixel centres kept on pixel centres.
void scaleToMeasuredWidth(RunContext& context) {
    LoadedInput& input = context.input;
    context.status.begin("Measuring stroke width");
    const float width = measureStrokeWidth(input.grey);
    context.status.end(width > 0.0f);
    if (width > 0.0f)
        input.strokeWidth = width;
    const float scale = measuredThicknessScale(width, input.grey.count());
    std::ostringstream message;
    if (scale == 1.0f) {
        if (width > 0.0f) {
            message << "Stroke width " << width << " pixels: the picture keeps its size";
            context.status.begin(message.str());
            context.status.end(true);
        }
        return;
    }
    message << "Scaling image from stroke width " << width << " to " << targetLineThickness
            << " pixels";
    context.status.begin(message.str());
    Signal<2, unsigned char> scaled;
    resampleCentred(input.grey, scale, scaled);
    if (context.options.centre.given)
        input.pictureGrey = std::move(input.grey);
    input.grey = std::move(scaled);
    input.scale = scale;
    input.offset = 0.5f * scale - 0.5f;
    context.status.end(true);
}

// The nominal thickness of -a (a share of the picture's size or pixels): the image is reduced
// when lines of that thickness are thicker than the extraction wants.
void scaleToNominalThickness(RunContext& context) {
    const float thickness =
        nominalLineThickness(context.options.lineThicknessText.value, context.input.meta.width,
                             context.input.meta.height);
    // An image without pixels has nothing to shrink.
    if (needsScaling(thickness) && !context.input.grey.empty()) {
        context.status.begin("Scaling image to have nominal line thickness");
        const float scale = thicknessScale(thickness);
        Signal<2, unsigned char> scaled;
        downscale(context.input.grey, scaledSize(context.input.grey.sizes(), scale), scaled);
        if (context.options.centre.given)
            context.input.pictureGrey = std::move(context.input.grey);
        context.input.grey = std::move(scaled);
        context.input.scale = scale;
        context.status.end(true);
    }
}

} // namespace

bool loadInput(RunContext& context) {
    const std::string& input = context.options.inputName.value;
    switch (classify(input)) {
    case InputKind::Demo:
        if (!filterOptionsUsable(context))
            return false;
        if (!loadDemo(context, input.substr(5)))
            return false;
        makeWorkingGrey(context);
        return true;
    case InputKind::PolygonXML:
        return loadPolygonXML(context, input);
    case InputKind::Image:
        if (!filterOptionsUsable(context))
            return false;
        if (!loadImage(context, input))
            return false;
        makeWorkingGrey(context);
        return true;
    }
    return false;
}

} // namespace ZELK
