// The background detection stage: method dispatch on -b, its status line and messages, the
// outline on the grey image's view, and the background mask.
#include <iostream>
#include <vector>

#include "app/stages.hpp"
#include "extract/background.hpp"
#include "extract/background_mask.hpp"
#include "extract/visual.hpp"

namespace ZELK {

bool detectBackground(RunContext& context) {
    const std::string& method = context.backgroundMethodName.value;
    const VS::Context& view = context.visualizationRoot;
    if (method == "lines" || method == "segment") {
        const bool lines = method == "lines";
        context.status.begin(lines ? "Detecting background outline"
                                   : "Detecting background segmentation");
        const bool found =
            lines ? detectOutlineByLines(context.grey, view, context.backgroundCorners)
                  : detectOutlineBySegmentation(context.grey, view, context.backgroundCorners);
        context.backgroundFound = found;
        context.status.end(found);
        if (!found) {
            if (context.backgroundMethod.given) {
                std::cerr << "Unable to detect background.\n";
                return false;
            }
            // With the default method a picture without a sheet is still vectorized.
            return true;
        }
    } else if (method == "none") {
        // Corners supplied by an earlier stage still make a mask; otherwise nothing to do.
        if (!context.backgroundFound)
            return true;
    } else {
        std::cerr << "Invalid background detection method " << method << "\n";
        return false;
    }

    std::vector<Point<2, float>> outline;
    for (const Point<2, int>& c : context.backgroundCorners)
        outline.emplace_back(float(c[0]), float(c[1]));
    sendClosedPolyline(context.greyView, outline);
    buildBackgroundMask(context.backgroundCorners, context.grey.width(), context.grey.height(),
                        context.backgroundMask);
    return true;
}

} // namespace ZELK
