// The record of one run: the options with their defaults, the status reporter, and the results
// that the stages hand on to each other, grouped by the stage that makes them.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "app/status_reporter.hpp"
#include "args/argument_processor.hpp"
#include "core/buffers.hpp"
#include "core/geometry.hpp"
#include "core/signal.hpp"
#include "core/transformation.hpp"
#include "migration/image.hpp"
#include "tracing/polyline_set.hpp"
#include "vs/sink.hpp"

namespace ZELK {

// Every option record with its values, in the order the record keeps them; each value holds its
// default until the command line assigns it. Switches without values are read through `given`.
struct RunOptions {
    Option input;
    DirectValue inputName{"image"};
    Option visualization; // declared but never registered: no command line turns it on
    Option backgroundMethod;
    DirectValue backgroundMethodName{"method", "lines"};
    Option lineThickness;
    DirectValue lineThicknessText{"N/N%", "0.5%"};
    Option localMean;
    SimpleValue<unsigned> localMeanSize{"N", 50};
    Option median;
    SimpleValue<unsigned> medianSize{"N", 3};
    Option topHat;
    Option closing;
    SimpleValue<unsigned> closingSize{"N", 1};
    Option opening;
    SimpleValue<unsigned> openingSize{"N", 1};
    Option thinning;
    SimpleValue<unsigned> thinningIterations{"N", 20};
    Option reassign;
    SimpleValue<unsigned> reassignIterations{"N", 3};
    Option connect;
    SimpleValue<float> snapDistance{"snap distance", 2.0f};
    SimpleValue<float> segmentDistance{"segment distance", 5.0f};
    Option clutterLength;
    NumberOrWord<float> clutterLengthValue{"N", 50.0f, "auto"};
    Option clutterGroup;
    SimpleValue<float> clutterGroupDistance{"N", 30.0f};
    Option reduce;
    SimpleValue<float> reduceLineLength{"line length", 5.0f};
    SimpleValue<float> reduceVertexDistance{"vertex distance", 5.0f};
    Option rectification;
    Option rectifySize;
    SimpleValue<float> rectifyWidth{"width", 1.0f};
    SimpleValue<float> rectifyHeight{"height", 1.0f};
    Option svgOutput;
    DirectValue svgFile{"filename"};
    Option align;
    SimpleValue<float> alignThreshold{"X", 1.0f};
    Option xmlOutput;
    DirectValue xmlFile{"filename"};
    Option maskOutput;
    DirectValue maskFile{"filename"};
    Option imageOutput;
    DirectValue imageFile{"filename"};
    Option quiet;
    Option centre;                             // -sc
    Option automatic;                          // -auto
    Option dxfOutput;
    DirectValue dxfFile{"filename"};
    Option editorSvgOutput;
    DirectValue editorSvgFile{"filename"};
    Option rectifyUnit;
    DirectValue rectifyUnitName{"unit", "px"};
    Option previewOutput;
    DirectValue previewFile{"filename"};
    Option threads;                            // -j
    SimpleValue<unsigned> threadCount{"N", 0}; // 0: one thread per core
};

// What loadInput leaves for an image or demo input: the picture as loaded (interleaved, line 0
// at the bottom), and the grey image the extraction works on, converted from it and, when the
// lines are thick, reduced by `scale`.
struct LoadedInput {
    bool isImage = false;
    IncrementalBuffer buffer;
    Migration::ImageMetadata meta;
    Signal<2, unsigned char> grey;
    VS::Context greyView; // "Image gray", kept so later stages can draw on it
    // The factor grey was resized by; absent when grey has the picture's own size.
    std::optional<float> scale;
    // Where a picture position p lands in grey: p * scale + offset. 0 after the reduction for
    // a nominal thickness, which maps pixel corners to pixel corners; scale / 2 - 1 / 2 after
    // -a auto, which maps pixel centres to pixel centres.
    float offset = 0.0f;
    // The strokes' width measured in the picture (-a auto), in the picture's pixels.
    std::optional<float> strokeWidth;
    // The grey picture at its own size, kept for -sc when grey was resized (else empty).
    Signal<2, unsigned char> pictureGrey;
};

// What detectBackground leaves, in the grey image's frame: the sheet's four corners when one
// was found (counter-clockwise, y up) and the mask of the pixels well inside it.
struct BackgroundResult {
    std::optional<std::array<Point<2, int>, 4>> corners;
    BinarySignal<2, unsigned> mask;
};

// What extractLines leaves besides the lines: the grey image after the median and top-hat
// filters (what segmentation measured) and the segmented, cleaned line mask.
struct ExtractionResult {
    Signal<2, unsigned char> filteredGrey;
    BinarySignal<2, unsigned> lineMask;
};

// The drawing that refinement and export work on: its area, the lines (extracted or loaded
// from polygon XML) and the clutter split off from them, and the perspective that maps the
// rectified rectangle into the grey image when -r rectified the drawing.
struct DrawingResult {
    Hyperrectangle<2, float> area;
    PolylineSet lines{2.0f};
    PolylineSet clutter{2.0f};
    std::unique_ptr<Transformation<2, float>::Base> rectifyTransform;
    // The stroke width in the frame the lines were traced in, when -cl auto needed it.
    std::optional<float> strokeWidth;
};

struct RunContext {
    RunContext() = default;
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    RunOptions options;
    StatusReporter status;
    // The visualization root (a sink that discards everything unless a client is installed).
    VS::Context visualizationRoot;

    // Stage results, in the order the stages produce them.
    LoadedInput input;
    BackgroundResult background;
    ExtractionResult extraction;
    DrawingResult drawing;
};

// Fills the option records with their help texts and values and registers them, in the
// order of the help listing.
void declareOptions(RunOptions& options, ArgumentProcessor& processor);

// -auto after parsing: -a auto, -b auto, -cl auto and -sc, each unless given on its own.
void applyAutomaticMode(RunOptions& options);

} // namespace ZELK
