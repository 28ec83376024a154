// The line extraction stage: from the grey image to the lines polyline set, through
// filtering, segmentation, closing and opening, thinning, tracing and connection.
#include <iostream>
#include <vector>

#include "app/overlays.hpp"
#include "app/stages.hpp"
#include "raster/visual.hpp"
#include "strokes/line_thresholds.hpp"
#include "strokes/mask_cleaning.hpp"
#include "strokes/thinning.hpp"
#include "tracing/line_tracing.hpp"
#include "tracing/polyline_connection.hpp"
#include "vs/messages.hpp"

namespace ZELK {

namespace {

// Segmentation into context.extraction.lineMask; false after its message when the stage must stop.
bool segmentLines(RunContext& context, const Signal<2, short>& filtered) {
    const VS::Context& view = context.visualizationRoot;
    context.status.begin("Segmenting lines");
    const BinarySignal<2, unsigned>* mask =
        context.background.corners ? &context.background.mask : nullptr;
    LineThresholds range;
    if (!findThresholds(filtered, range, mask, view)) {
        std::cerr << "Unable to find thresholds to segment lines." << std::endl;
        context.status.end(false);
        return false;
    }
    segment(context.extraction.lineMask, filtered, range);
    if (mask)
        context.extraction.lineMask &= *mask;
    context.status.end(true);
    sendMask(view.child("Segmentation"), context.extraction.lineMask);

    float share = 0.0f;
    if (!segmentedShareAcceptable(context.extraction.lineMask, share)) {
        std::cerr << share << " of image was segmented as lines." << std::endl;
        return false;
    }
    return true;
}

// Closing, opening and thinning; false after its message when thinning does not settle.
bool skeletonize(RunContext& context, BinarySignal<2, unsigned>& skeleton) {
    const VS::Context& view = context.visualizationRoot;
    BinarySignal<2, unsigned> work;
    if (const unsigned n = context.options.closingSize.value; n != 0) {
        context.status.begin("Morphological closing");
        closeMask(context.extraction.lineMask, work, n);
        context.status.end(true);
        sendMask(view.child("Morphological closing"), context.extraction.lineMask);
    }
    if (const unsigned n = context.options.openingSize.value; n != 0) {
        context.status.begin("Morphological opening");
        openMask(context.extraction.lineMask, work, n);
        context.status.end(true);
        sendMask(view.child("Morphological opening"), context.extraction.lineMask);
    }
    context.status.begin("Thinning to skeleton");
    const unsigned limit = context.options.thinningIterations.value;
    if (!thin(context.extraction.lineMask, work, skeleton, limit)) {
        std::cerr << "Thinning did not complete in limited number of iterations " << limit
                  << std::endl;
        context.status.end(false);
        return false;
    }
    context.status.end(true);
    sendMask(view.child("Line map"), skeleton);
    return true;
}

} // namespace

bool extractLines(RunContext& context) {
    const VS::Context& view = context.visualizationRoot;
    Signal<2, short> filtered;
    filterForSegmentation(context, filtered);
    if (!segmentLines(context, filtered))
        return false;
    filtered = Signal<2, short>();

    BinarySignal<2, unsigned> skeleton;
    if (!skeletonize(context, skeleton))
        return false;

    std::vector<LineSegment> segments;
    context.status.begin("Extracting lines");
    seedSegments(skeleton, segments);
    context.status.end(true);
    showSegments(view.child("Seeded lines"), context.extraction.filteredGrey, segments);

    context.status.begin("Refining lines");
    Signal<2, unsigned short> labels;
    labelSkeletonRegions(skeleton, labels);
    reassignPixels(skeleton, labels, segments, context.options.reassignIterations.value);
    connectNeighbours(segments, context.options.snapDistance.value,
                      context.options.segmentDistance.value);
    context.status.end(true);
    showSegments(view.child("Refined lines"), context.extraction.filteredGrey, segments);

    context.status.begin("Connecting polylines");
    context.drawing.area =
        Hyperrectangle<2, float>(Point<2, float>(0.0f, 0.0f),
                                 Tuple<2, float>(static_cast<float>(context.input.meta.width),
                                                 static_cast<float>(context.input.meta.height)));
    addSegmentPolylines(context.drawing.lines, segments);
    segments = std::vector<LineSegment>();
    joinPolylines(context.drawing.lines.polylines());
    context.drawing.lines.cleanUp();
    context.status.end(true);
    showPolylines(view.child("Connected polylines"), context.extraction.filteredGrey,
                  context.drawing.lines, false);
    return true;
}

} // namespace ZELK
