// Rendering a demo figure as a degraded photograph (sheet, strokes, clutter, lens, light,
// contrast, noise) into an image buffer, and writing its reference drawing as SVG.
#pragma once

#include <cstdint>
#include <memory>

#include "core/buffers.hpp"
#include "core/color.hpp"
#include "core/matrix.hpp"
#include "core/streams.hpp"
#include "core/transformation.hpp"
#include "demo/catalogue.hpp"
#include "demo/parameters.hpp"
#include "migration/image.hpp"

namespace ZELK {

// The effective demo parameters as typed values, checked for what the renderer can draw.
struct DemoSettings {
    bool background = false;
    bool backgroundBorder = false;
    bool perspective = false;
    std::uint32_t size = 256;
    float thickness = 5.0f;
    float clutter = 0.0f;
    float contrast = 1.0f;
    float r2 = 0.0f;
    float noise = 0.0f;
    float gradient = 0.0f;
    Color clear;
    Color sheet;
    Color stroke;

    // Reads every parameter (after the presets were applied). A size outside 1 to the demo size
    // limit, a negative thickness or a clutter above 1 raise UnexpectedValueException naming
    // the parameter; unreadable text raises the conversion error.
    static DemoSettings from(const Parameters& effective);
};

// The homography that shows the sheet in perspective: the identity turned by 10 degrees about
// the x axis, then by 10 degrees about the y axis (M = Ry Rx), each rotation the matrix of the
// unit quaternion (cos(t / 2), axis sin(t / 2)).
MatrixSquareLight<3, float> demoPerspectiveMatrix();

// Maps drawing coordinates (the unit square, y up) to pixel coordinates (x along buffer
// columns, y along buffer lines): translation by (-0.5, -0.5), scale 1 / (m + 0.5) with m = 0.5
// for a sheet and 0.1 otherwise, with perspective the projection, a scale by 0.85 and a
// translation by (-0.3, 0.3), then a translation by (1, 1) and a scale by size / 2.
std::unique_ptr<Transformation<2, float>::Composite>
drawingToPixel(bool background, bool perspective, std::uint32_t size);

// Renders the drawing into buffer (resized) and meta: size x size pixels, 3 channels of 8 bits
// in RGBA order, line 0 at the bottom.
void renderDemo(const DemoDrawing& drawing, const DemoSettings& settings, IncrementalBuffer& buffer,
                Migration::ImageMetadata& meta);

// Writes the reference drawing: one line element per segment, mapped by x' = 0.8 size x +
// 0.1 size (y alike, not mirrored, so it appears upside down against the picture), in an svg
// root whose viewBox is 0 0 size size.
void writeDemoSVG(const DemoDrawing& drawing, std::uint32_t size, WriteStream& out);

} // namespace ZELK
