// Declaration of the option table.
#include "app/run_context.hpp"

namespace ZELK {

namespace {

void describe(Option& option, std::string help, std::vector<Value*> values) {
    option.help = std::move(help);
    option.values = std::move(values);
}

} // namespace

void declareOptions(RunOptions& c, ArgumentProcessor& p) {
    describe(c.input, "image file | polygon XML file | demo:name", {&c.inputName});
    c.input.required = true;
    describe(c.visualization, "visualization", {});
    describe(c.backgroundMethod, "background detection method: lines | segment | auto | none",
             {&c.backgroundMethodName});
    describe(c.lineThickness, "thickness of lines in % of image size or pixels | auto",
             {&c.lineThicknessText});
    describe(c.localMean, "subtract NxN local mean", {&c.localMeanSize});
    describe(c.median, "apply NxN median filter", {&c.medianSize});
    describe(c.topHat, "top-hat transform", {});
    describe(c.closing, "apply NxN morphological closing", {&c.closingSize});
    describe(c.opening, "apply NxN morphological opening", {&c.openingSize});
    describe(c.thinning, "maximum number of iterations in thinning of segmented lines",
             {&c.thinningIterations});
    describe(c.reassign,
             "iterations to reassign points to lines after seed to balance line segments along "
             "paths",
             {&c.reassignIterations});
    describe(c.connect, "attempt to connect lines to their neighbors seeded from the same region",
             {&c.snapDistance, &c.segmentDistance});
    describe(c.clutterLength,
             "lines not connected to lines longer than this is considered clutter | auto",
             {&c.clutterLengthValue});
    describe(c.clutterGroup, "clutter lines within this distance is grouped together",
             {&c.clutterGroupDistance});
    describe(c.reduce, "remove redundant lines and vertices in connected polylines",
             {&c.reduceLineLength, &c.reduceVertexDistance});
    describe(c.rectification, "rectify drawing", {});
    describe(c.rectifySize, "rectify result to specified area",
             {&c.rectifyWidth, &c.rectifyHeight});
    describe(c.svgOutput, "SVG filename", {&c.svgFile});
    describe(c.align,
             "align lines whose major normalized direction component projected in each axis is "
             "greater than X",
             {&c.alignThreshold});
    describe(c.xmlOutput, "polygon XML filename", {&c.xmlFile});
    describe(c.maskOutput, "mask image filename", {&c.maskFile});
    describe(c.imageOutput, "refined image filename", {&c.imageFile});
    describe(c.quiet, "no status messages, only errors", {});
    describe(c.centre, "centre polylines on the strokes of the full-resolution image", {});
    describe(c.automatic, "automatic mode: -a auto -b auto -cl auto -sc", {});
    describe(c.dxfOutput, "DXF filename", {&c.dxfFile});
    describe(c.editorSvgOutput, "SVG filename, laid out for editing in an SVG editor",
             {&c.editorSvgFile});
    describe(c.previewOutput, "preview image filename: the picture with the result drawn on it",
             {&c.previewFile});
    describe(c.rectifyUnit, "unit of the -rs size: px | mm | cm | in", {&c.rectifyUnitName});
    describe(c.threads, "number of threads; default one per core, 0 likewise", {&c.threadCount});

    p.addPositional(c.input);
    p.addNamed("-auto", c.automatic);
    p.addNamed("-b", c.backgroundMethod);
    p.addNamed("-a", c.lineThickness);
    p.addNamed("-n", c.localMean);
    p.addNamed("-e", c.median);
    p.addNamed("-h", c.topHat);
    p.addNamed("-mc", c.closing);
    p.addNamed("-mo", c.opening);
    p.addNamed("-mt", c.thinning);
    p.addNamed("-tn", c.reassign);
    p.addNamed("-tc", c.connect);
    p.addNamed("-tr", c.reduce);
    p.addNamed("-cl", c.clutterLength);
    p.addNamed("-cg", c.clutterGroup);
    p.addNamed("-r", c.rectification);
    p.addNamed("-rs", c.rectifySize);
    p.addNamed("-ru", c.rectifyUnit);
    p.addNamed("-lx", c.align);
    p.addNamed("-sc", c.centre);
    p.addNamed("-os", c.svgOutput);
    p.addNamed("-ox", c.xmlOutput);
    p.addNamed("-se", c.editorSvgOutput);
    p.addNamed("-od", c.dxfOutput);
    p.addNamed("-op", c.previewOutput);
    p.addNamed("-om", c.maskOutput);
    p.addNamed("-oi", c.imageOutput);
    p.addNamed("-q", c.quiet);
    p.addNamed("-j", c.threads);
}

void applyAutomaticMode(RunOptions& c) {
    if (!c.automatic.given)
        return;
    if (!c.lineThickness.given)
        c.lineThicknessText.value = "auto";
    if (!c.backgroundMethod.given)
        c.backgroundMethodName.value = "auto";
    if (!c.clutterLength.given)
        c.clutterLengthValue.automatic = true;
    c.centre.given = true;
}

} // namespace ZELK
