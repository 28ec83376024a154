// The line extraction stage: from the grey image to the lines polyline set, through
// conditioning, segmentation, closing and opening, thinning, tracing and connection.
#include <iostream>
#include <vector>

#include "app/stages.hpp"
#include "extract/line_tracing.hpp"
#include "extract/mask_cleaning.hpp"
#include "extract/polyline_connection.hpp"
#include "extract/segmentation.hpp"
#include "extract/thinning.hpp"
#include "extract/visual.hpp"
#include "vs/messages.hpp"

namespace ZELK {

namespace {

// The conditioned grey image with pieces drawn over it.
void showOverGrey(const VS::Context& item, const Signal<2, unsigned char>& grey,
                  const VS::Visualize::Overlay& overlay) {
    if (!item.active())
        return;
    item.sendGrey(grey.data(), grey.width(), grey.height());
    item.sendOverlay(overlay);
}

void showSegments(const VS::Context& item, const Signal<2, unsigned char>& grey,
                  const std::vector<LineSegment>& segments) {
    if (!item.active())
        return;
    VS::Visualize::Overlay overlay;
    for (const LineSegment& s : segments) {
        const Point<2, float> end = s.end();
        overlay.add({{s.origin.x(), s.origin.y()}, {end.x(), end.y()}});
    }
    showOverGrey(item, grey, overlay);
}

void showPolylines(const VS::Context& item, const Signal<2, unsigned char>& grey,
                   const PolylineSet& set) {
    if (!item.active())
        return;
    VS::Visualize::Overlay overlay;
    for (const Polyline& polyline : set.polylines()) {
        std::vector<VS::OverlayPoint> points;
        for (std::uint32_t v : polyline) {
            const Point<2, float> p = set.position(v);
            points.push_back({p.x(), p.y()});
        }
        overlay.add(points);
    }
    showOverGrey(item, grey, overlay);
}

// Segmentation into context.lineMask; false after its message when the stage must stop.
bool segmentLines(RunContext& context, const Signal<2, short>& filtered) {
    const VS::Context& view = context.visualizationRoot;
    context.status.begin("Segmenting lines");
    const BinarySignal<2, unsigned>* mask =
        context.backgroundFound ? &context.backgroundMask : nullptr;
    LineThresholds range;
    if (!findThresholds(filtered, range, mask, view)) {
        std::cerr << "Unable to find thresholds to segment lines." << std::endl;
        context.status.end(false);
        return false;
    }
    segment(context.lineMask, filtered, range);
    if (mask)
        context.lineMask &= *mask;
    context.status.end(true);
    sendMask(view.child("Segmentation"), context.lineMask);

    float share = 0.0f;
    if (!segmentedShareAcceptable(context.lineMask, share)) {
        std::cerr << share << " of image was segmented as lines." << std::endl;
        return false;
    }
    return true;
}

// Closing, opening and thinning; false after its message when thinning does not settle.
bool skeletonize(RunContext& context, BinarySignal<2, unsigned>& skeleton) {
    const VS::Context& view = context.visualizationRoot;
    BinarySignal<2, unsigned> work;
    if (const unsigned n = context.closingSize.value; n != 0) {
        context.status.begin("Morphological closing");
        closeMask(context.lineMask, work, n);
        context.status.end(true);
        sendMask(view.child("Morphological closing"), context.lineMask);
    }
    if (const unsigned n = context.openingSize.value; n != 0) {
        context.status.begin("Morphological opening");
        openMask(context.lineMask, work, n);
        context.status.end(true);
        sendMask(view.child("Morphological opening"), context.lineMask);
    }
    context.status.begin("Thinning to skeleton");
    const unsigned limit = context.thinningIterations.value;
    if (!thin(context.lineMask, work, skeleton, limit)) {
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
    conditionForExtraction(context, filtered);
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
    showSegments(view.child("Seeded lines"), context.grey, segments);

    context.status.begin("Refining lines");
    Signal<2, unsigned short> labels;
    labelSkeletonRegions(skeleton, labels);
    reassignPixels(skeleton, labels, segments, context.reassignIterations.value);
    connectNeighbours(segments, context.snapDistance.value, context.segmentDistance.value);
    context.status.end(true);
    showSegments(view.child("Refined lines"), context.grey, segments);

    context.status.begin("Connecting polylines");
    context.drawingArea = Hyperrectangle<2, float>(
        Point<2, float>(0.0f, 0.0f), Tuple<2, float>(static_cast<float>(context.imageMeta.width),
                                                     static_cast<float>(context.imageMeta.height)));
    addSegmentPolylines(context.lines, segments);
    segments = std::vector<LineSegment>();
    joinPolylines(context.lines.polylines());
    context.lines.cleanUp();
    context.status.end(true);
    showPolylines(view.child("Connected polylines"), context.grey, context.lines);
    return true;
}

} // namespace ZELK
