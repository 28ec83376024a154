// The demo branch of input loading: parses "name[,key=value...]", renders the figure as a
// photograph into the run's image, and writes name.svg and name.png beside it.
#include <iostream>
#include <ostream>

#include "app/stages.hpp"
#include "core/atomic_file.hpp"
#include "core/exceptions.hpp"
#include "demo/catalogue.hpp"
#include "demo/parameters.hpp"
#include "demo/render.hpp"
#include "migration/image.hpp"

namespace ZELK {

bool loadDemo(RunContext& context, const std::string& demo) {
    const DemoRequest request = DemoRequest::parse(demo);
    Parameters parameters = defaultDemoParameters();
    std::string unknownKey;
    if (!applyDemoOverrides(parameters, request, unknownKey)) {
        std::cerr << "Parameter " << echoed(unknownKey)
                  << " is not available to be overridden, available parameters are: ";
        const std::vector<std::string> names = parameters.names();
        for (std::size_t i = 0; i < names.size(); ++i)
            std::cerr << (i > 0 ? ", " : "") << names[i];
        std::cerr << "\n";
        return false;
    }

    context.status.begin("Generate demo " + request.name);
    DemoDrawing drawing;
    if (!findDemoFigure(request.name, drawing)) {
        context.status.end(false);
        std::cerr << "Demo " << echoed(request.name) << ", must be one of: ";
        for (const std::string& known : demoFigureNames())
            std::cerr << known << " ";
        std::cerr << "\n";
        return false;
    }
    // The presets and the reading of the values belong to generating a known figure: an
    // unknown name is reported as such whatever the values say. A rejected preset or value
    // raises its error through to the entry point like any error inside a stage, leaving the
    // status line open.
    applyDemoPresets(parameters);
    const DemoSettings settings = DemoSettings::from(parameters);
    renderDemo(drawing, settings, context.input.buffer, context.input.meta);
    context.status.end(true);

    writeFileAtomically(request.name + ".svg", [&](std::ostream& file) {
        CppOutStream svg(file);
        writeDemoSVG(drawing, settings.size, svg);
        svg.flush();
    });
    Migration::exportImage(context.input.buffer, context.input.meta, request.name + ".png");
    context.input.isImage = true;
    return true;
}

} // namespace ZELK
