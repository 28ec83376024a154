// The preview: the picture with the result drawn over it, to check a run by eye (a wrong sheet
// or a lost stroke shows at a glance).
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "core/color.hpp"
#include "core/geometry.hpp"
#include "demo/rgb_image.hpp"
#include "tracing/polyline_set.hpp"

namespace ZELK {

// What the preview shows, in drawing coordinates (y up, as the polylines' view has them).
struct PreviewDrawing {
    const PolylineSet* lines = nullptr;
    const PolylineSet* clutter = nullptr;
    std::vector<Hyperrectangle<2, float>> clutterBoxes; // the clutter groups' frames
    std::optional<std::array<Point<2, float>, 4>> sheet;
};

// The colours of the preview: the drawing, the clutter with its frames, the sheet, the vertices.
inline constexpr Color previewLineColour{0.85f, 0.05f, 0.05f};
inline constexpr Color previewClutterColour{0.05f, 0.35f, 0.9f};
inline constexpr Color previewSheetColour{0.05f, 0.65f, 0.1f};
inline constexpr Color previewVertexColour{0.0f, 0.0f, 0.0f};

// Lightens the picture toward white (v' = 153 + 2 v / 5) so that the drawing stands out on it.
void dimForPreview(RgbImage& image);

// Draws over the picture (lines in y order as the drawing's y) with a drawing point p at pixel
// position p * scale + shift (pixel centres on integers): the sheet outline, the clutter frames
// and clutter, the drawing, then a square dot on every vertex. Lines are `width` pixels wide.
// Points that are not finite are left out.
void drawPreview(RgbImage& image, const PreviewDrawing& drawing, float scale, float shift,
                 float width);

} // namespace ZELK
