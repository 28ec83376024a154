// The first stage: classifies the input and loads it.
#include <algorithm>
#include <cctype>
#include <iostream>

#include "app/stages.hpp"
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

} // namespace

bool loadInput(RunContext& context) {
    const std::string& input = context.inputName.value;
    switch (classify(input)) {
    case InputKind::Demo:
        if (!loadDemo(context, input.substr(5)))
            return false;
        throw SupportException("grey conversion in this build");
    case InputKind::PolygonXML:
        return loadPolygonXML(context, input);
    case InputKind::Image:
        if (!loadImage(context, input))
            return false;
        throw SupportException("grey conversion in this build");
    }
    return false;
}

} // namespace ZELK
