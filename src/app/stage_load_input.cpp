// The first stage: classifies the input, loads it and conditions it into the grey image that
// the extraction stages work on.
#include <algorithm>
#include <cctype>
#include <iostream>

#include "app/stages.hpp"
#include "core/text.hpp"
#include "extract/filters.hpp"
#include "extract/grey_conversion.hpp"
#include "extract/line_thickness.hpp"
#include "extract/resize.hpp"
#include "extract/visual.hpp"
#include "migration/image.hpp"

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

// Filter sizes that the conditioning could not honour are refused before any work is done,
// so a user does not wait for loading and background detection to learn it.
bool conditioningOptionsUsable(const RunContext& context) {
    if (context.medianSize.value > maxMedianWindow) {
        std::cerr << "Median window " << context.medianSize.value
                  << " is larger than the supported maximum " << maxMedianWindow << " (-e)\n";
        return false;
    }
    if (context.localMeanSize.value > maxLocalMeanWindow) {
        std::cerr << "Local mean window " << context.localMeanSize.value
                  << " is larger than the supported maximum " << maxLocalMeanWindow << " (-n)\n";
        return false;
    }
    return true;
}

// Imports the image file; a failure is reported as one line and ends the stage.
bool loadImage(RunContext& context, const std::string& path) {
    context.status.begin("Loading image " + path);
    context.inputIsImage = false;
    ExceptionWriter writer(std::cerr);
    try {
        Migration::importImage(context.imageBuffer, context.imageMeta, path);
    } catch (const Exception& e) {
        writer.handle(e, {});
        context.status.end(false);
        return false;
    } catch (const std::exception& e) {
        writer.handle(CppException::wrap(e), {});
        context.status.end(false);
        return false;
    }
    context.inputIsImage = true;
    context.status.end(true);
    return true;
}

// Grey conversion, scaling and the two visualization items of a loaded or rendered image.
void condition(RunContext& context) {
    context.visualizationRoot.child("Image").sendImage(context.imageBuffer, context.imageMeta);

    if (isSingleChannel(context.imageMeta)) {
        copySingleChannel(context.imageBuffer, context.imageMeta, context.grey);
    } else {
        // A picture the conversion cannot view (wide or padded colour samples) raises its
        // error through to the entry point, which reports it; the step line stays open.
        context.status.begin("Converting to gray scale");
        convertColourToGrey(context.imageBuffer, context.imageMeta, context.grey);
        context.status.end(true);
    }

    const float thickness = nominalLineThickness(context.lineThicknessText.value,
                                                 context.imageMeta.width, context.imageMeta.height);
    // An image without pixels has nothing to shrink.
    if (needsScaling(thickness) && !context.grey.empty()) {
        context.status.begin("Scaling image to have nominal line thickness");
        const float scale = thicknessScale(thickness);
        Signal<2, unsigned char> scaled;
        downscale(context.grey, scaledSize(context.grey.sizes(), scale), scaled);
        context.grey = std::move(scaled);
        context.imageScaled = true;
        context.imageScale = scale;
        context.status.end(true);
    }

    context.greyView = context.visualizationRoot.child("Image gray");
    sendSignal(context.greyView, context.grey);
}

} // namespace

bool loadInput(RunContext& context) {
    const std::string& input = context.inputName.value;
    switch (classify(input)) {
    case InputKind::Demo:
        if (!conditioningOptionsUsable(context))
            return false;
        if (!loadDemo(context, input.substr(5)))
            return false;
        condition(context);
        return true;
    case InputKind::PolygonXML:
        return loadPolygonXML(context, input);
    case InputKind::Image:
        if (!conditioningOptionsUsable(context))
            return false;
        if (!loadImage(context, input))
            return false;
        condition(context);
        return true;
    }
    return false;
}

} // namespace ZELK
