// The refinePolylines stage: simplifies the lines, splits off the clutter and, with -lx below
// 1, snaps nearly axis-parallel edges onto the axes.
#include <vector>

#include "app/overlays.hpp"
#include "app/stages.hpp"
#include "strokes/line_thickness.hpp"
#include "strokes/stroke_width.hpp"
#include "tracing/centring.hpp"
#include "tracing/clutter.hpp"
#include "tracing/refinement.hpp"

namespace ZELK {

namespace {

void showRefined(const RunContext& context) {
    showPolylines(context.visualizationRoot.child("Connected polylines refined"),
                  context.extraction.filteredGrey, context.drawing.lines, true);
}

void showAligned(const RunContext& context) {
    const VS::Context item = context.visualizationRoot.child("Aligned polylines");
    if (!item.active())
        return;
    std::vector<float> values;
    for (std::uint32_t v = 0; v < context.drawing.lines.vertexCount(); ++v) {
        const Point<2, float> p = context.drawing.lines.position(v);
        values.push_back(p.x());
        values.push_back(p.y());
    }
    item.sendPoints(values.data(), context.drawing.lines.vertexCount(), 2);
    item.sendOverlay(polylineOverlay(context.drawing.lines, false));
}

// The strokes' width in the frame the lines were traced in: the width -a auto measured, scaled
// with the picture, or else measured now in the working grey image; without a picture (or
// without strokes to measure) the nominal thickness the extraction works at.
float tracedStrokeWidth(RunContext& context) {
    const LoadedInput& input = context.input;
    if (input.strokeWidth)
        return *input.strokeWidth * input.scale.value_or(1.0f);
    if (input.isImage && !input.grey.empty()) {
        context.status.begin("Measuring stroke width");
        const float width = measureStrokeWidth(input.grey);
        context.status.end(width > 0.0f);
        if (width > 0.0f)
            return width;
    }
    return targetLineThickness;
}

// -sc: the lines and the clutter centred on the strokes of the picture at its own size.
void centreOnPicture(RunContext& context) {
    const LoadedInput& input = context.input;
    const Signal<2, unsigned char>& picture =
        input.pictureGrey.empty() ? input.grey : input.pictureGrey;
    const float scale = input.scale.value_or(1.0f);
    context.status.begin("Centring polylines");
    float width = input.strokeWidth.value_or(0.0f);
    if (!(width > 0.0f) && context.drawing.strokeWidth)
        width = *context.drawing.strokeWidth / scale;
    if (!(width > 0.0f))
        width = measureStrokeWidth(picture);
    if (!(width > 0.0f))
        width = targetLineThickness / scale;
    const PictureMapping mapping{scale, input.offset};
    centrePolylines(context.drawing.lines, picture, mapping, width);
    centrePolylines(context.drawing.clutter, picture, mapping, width);
    context.status.end(true);
}

} // namespace

void refinePolylines(RunContext& context) {
    PolylineSet& lines = context.drawing.lines;
    if (lines.polylines().empty())
        return;

    // Lengths and distances are meant in the frame the polylines were traced in, so the view
    // transformation stays out while they are simplified.
    context.status.begin("Refining polylines");
    PolylineSet::TransformationPtr view = lines.takeTransformation();
    mergeShortEdges(lines, context.options.reduceLineLength.value);
    removeRedundantVertices(lines, context.options.reduceVertexDistance.value);
    lines.cleanUp();
    lines.setTransformation(std::move(view));
    context.status.end(true);

    if (context.input.isImage)
        showRefined(context);

    view = lines.takeTransformation();
    if (context.options.clutterLengthValue.automatic) {
        const float width = tracedStrokeWidth(context);
        context.drawing.strokeWidth = width;
        context.drawing.clutter = classifyClutterByShape(lines, width);
    } else {
        context.drawing.clutter = classifyClutter(lines, context.options.clutterLengthValue.value);
    }
    if (view) {
        context.drawing.clutter.setTransformation(view->clone());
        lines.setTransformation(std::move(view));
    }
    context.drawing.clutter.cleanUp();
    lines.cleanUp();
    if (context.options.centre.given && context.input.isImage)
        centreOnPicture(context);

    // Alignment is off unless a threshold below 1 asks for it (no unit direction has a major
    // component above 1).
    if (!(context.options.alignThreshold.value < 1.0f))
        return;
    context.status.begin("Aligning polylines");
    lines.bakeTransformation();
    context.drawing.clutter.bakeTransformation();
    alignPolylines(lines, context.options.alignThreshold.value);
    lines.cleanUp();
    context.status.end(true);
    showAligned(context);
}

} // namespace ZELK
