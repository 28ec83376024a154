// The demo branch of input loading: parses "name[,key=value...]", renders the figure as a
// photograph into the run's image, and writes name.svg and name.png beside it.
#include <fstream>
#include <iostream>

#include "app/stages.hpp"
#include "demo/catalogue.hpp"
#include "demo/parameters.hpp"
#include "demo/render.hpp"
#include "migration/image.hpp"

namespace ZELK {

namespace {

std::vector<std::string> splitAtCommas(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        pieces.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return pieces;
        start = comma + 1;
    }
}

template <typename Items> std::string joined(const Items& items, const std::string& separator) {
    std::string text;
    for (const auto& item : items) {
        if (!text.empty())
            text += separator;
        text += item;
    }
    return text;
}

// Applies one "key" or "key=value" piece; a key the defaults do not know is reported with the
// list of known keys and stops the stage.
bool applyOverride(Parameters& parameters, const std::string& piece) {
    const std::size_t equals = piece.find('=');
    const std::string key = piece.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : piece.substr(equals + 1);
    if (!parameters.has(key)) {
        std::cerr << "Parameter " << key
                  << " is not available to be overridden, available parameters are: "
                  << joined(parameters.names(), ", ") << "\n";
        return false;
    }
    parameters.set(key, value.empty() ? std::string("true") : value);
    return true;
}

} // namespace

bool loadDemo(RunContext& context, const std::string& demo) {
    const std::vector<std::string> pieces = splitAtCommas(demo);
    const std::string& name = pieces.front();
    Parameters parameters = defaultDemoParameters();
    for (std::size_t i = 1; i < pieces.size(); ++i)
        if (!applyOverride(parameters, pieces[i]))
            return false;
    // Presets and the parameter checks come before the status line, so that a rejected value
    // is reported on its own line and not in the middle of an open status line.
    applyDemoPresets(parameters);
    const DemoSettings settings = DemoSettings::from(parameters);

    context.status.begin("Generate demo " + name);
    DemoDrawing drawing;
    if (!findDemoFigure(name, drawing)) {
        context.status.end(false);
        std::cerr << "Demo " << name << ", must be one of: ";
        for (const std::string& known : demoFigureNames())
            std::cerr << known << " ";
        std::cerr << "\n";
        return false;
    }
    try {
        renderDemo(drawing, settings, context.imageBuffer, context.imageMeta);
    } catch (...) {
        context.status.end(false);
        throw;
    }
    context.status.end(true);

    std::ofstream svgFile(name + ".svg", std::ios::binary | std::ios::trunc);
    CppOutStream svg(svgFile);
    writeDemoSVG(drawing, settings.size, svg);
    svg.flush();
    Migration::exportImage(context.imageBuffer, context.imageMeta, name + ".png");
    context.inputIsImage = true;
    return true;
}

} // namespace ZELK
