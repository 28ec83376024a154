// The record of one run: every option with its default, the status reporter and the results
// that the stages hand on to each other.
#pragma once

#include <string>

#include "app/status_reporter.hpp"
#include "args/argument_processor.hpp"
#include "core/buffers.hpp"
#include "core/geometry.hpp"
#include "core/signal.hpp"
#include "core/transformation.hpp"
#include "extract/polyline_set.hpp"
#include "vs/client.hpp"
#include "migration/image.hpp"

namespace ZELK {

struct RunContext {
    RunContext() = default;
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    // Options, in the order the record keeps them; values hold their defaults until parsed.
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
    SimpleValue<float> clutterLengthValue{"N", 50.0f};
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

    StatusReporter status;

    // The visualization root (a sink that discards everything unless a client is installed).
    VS::Context visualizationRoot;

    // Stage results, in the order the stages produce them.
    bool inputIsImage = false;
    IncrementalBuffer imageBuffer;
    Migration::ImageMetadata imageMeta;
    Signal<2, unsigned char> grey;
    VS::Context greyView; // "Image gray", kept so later stages can draw on it
    bool imageScaled = false;
    float imageScale = 0.0f;
    std::unique_ptr<Transformation<2, float>::Base> rectifyTransform;
    Point<2, int> backgroundCorners[4];
    BinarySignal<2, unsigned> backgroundMask;
    bool backgroundFound = false;
    BinarySignal<2, unsigned> lineMask;
    Hyperrectangle<2, float> drawingArea;
    PolylineSet lines{2.0f};
    PolylineSet clutter{2.0f};
};

// Fills the option records with their help texts and values and registers them, in the
// order of the help listing.
void declareOptions(RunContext& context, ArgumentProcessor& processor);

} // namespace ZELK
