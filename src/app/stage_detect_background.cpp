// The background detection stage: method dispatch on -b, its status line and messages, the
// outline on the grey image's view, and the background mask.
#include <array>
#include <cmath>
#include <iostream>
#include <sstream>
#include <vector>

#include "app/stages.hpp"
#include "background/mask.hpp"
#include "background/outline.hpp"
#include "core/exceptions.hpp"
#include "raster/visual.hpp"

namespace ZELK {

bool detectBackground(RunContext& context) {
    const std::string& method = context.options.backgroundMethodName.value;
    const VS::Context& view = context.visualizationRoot;
    if (method == "lines" || method == "segment") {
        const bool lines = method == "lines";
        context.status.begin(lines ? "Detecting background outline"
                                   : "Detecting background segmentation");
        std::array<Point<2, int>, 4> corners;
        const bool found =
            lines ? detectOutlineByLines(context.input.grey, view, corners.data())
                  : detectOutlineBySegmentation(context.input.grey, view, corners.data());
        if (found)
            context.background.corners = corners;
        context.status.end(found);
        if (!found) {
            if (context.options.backgroundMethod.given) {
                std::cerr << "Unable to detect background.\n";
                return false;
            }
            // With the default method a picture without a sheet is still vectorized.
            return true;
        }
    } else if (method == "auto") {
        context.status.begin("Finding the sheet");
        std::array<Point<2, int>, 4> corners;
        const bool found = detectOutlineAuto(context.input.grey, view, corners.data());
        context.status.end(true);
        if (!found) {
            // Not an error: a scan, or a board or note filling the frame, is its own sheet.
            context.status.begin("No sheet found: the picture is the sheet");
            context.status.end(true);
            return true;
        }
        context.background.corners = corners;
        // The share of the picture the sheet covers (shoelace area of the corners).
        double area = 0.0;
        for (std::size_t i = 0; i < 4; ++i) {
            const Point<2, int>& a = corners[i];
            const Point<2, int>& b = corners[(i + 1) % 4];
            area += double(a[0]) * b[1] - double(b[0]) * a[1];
        }
        const double pixels = double(context.input.grey.width()) * context.input.grey.height();
        std::ostringstream message;
        message << "Sheet found: " << std::lround(50.0 * std::fabs(area) / pixels)
                << "% of the picture";
        context.status.begin(message.str());
        context.status.end(true);
    } else if (method == "none") {
        // Corners supplied by an earlier stage still make a mask; otherwise nothing to do.
        if (!context.background.corners)
            return true;
    } else {
        std::cerr << "Invalid background detection method " << echoed(method) << "\n";
        return false;
    }

    std::vector<Point<2, float>> outline;
    const std::array<Point<2, int>, 4>& corners = *context.background.corners;
    for (const Point<2, int>& c : corners)
        outline.emplace_back(float(c[0]), float(c[1]));
    sendClosedPolyline(context.input.greyView, outline);
    buildBackgroundMask(corners.data(), context.input.grey.width(), context.input.grey.height(),
                        context.background.mask);
    return true;
}

} // namespace ZELK
