// Finding the drawing surface: the coarse working copy shared by both methods, and the two
// methods that return the four corners of the sheet in the grey image's pixel frame.
#pragma once

#include "core/signal.hpp"
#include "core/tuple.hpp"
#include "vs/sink.hpp"

namespace ZELK {

// Width of the coarse copy that both background methods work on.
inline constexpr unsigned coarseWidth = 128;

// grey reduced by downscale() to the given width when it is wider (trunc(w f + 0.5) x
// trunc(h f + 0.5) with f = width / w, each at least 1), else grey itself. Returns f (1 when
// no reduction happened). grey must not be empty.
float reducedCopy(const Signal<2, unsigned char>& grey, unsigned width,
                  Signal<2, unsigned char>& reduced);

// The coarse copy K of grey that both methods start from: with f = 128 / width, K is grey
// itself when f >= 1, otherwise grey reduced by downscale() to trunc(w f + 0.5) x
// trunc(h f + 0.5) (each at least 1); then median-filtered 5 x 5 and shown to the view as
// "Background coarse". Returns f (1 when no reduction happened). grey must not be empty.
float coarseCopy(const Signal<2, unsigned char>& grey, const VS::Context& view,
                 Signal<2, unsigned char>& coarse);

// Corners of a coarse-frame point scaled back by 1/f and rounded half up toward zero, kept
// within the int range (a meeting point of nearly parallel edges can lie far outside).
Point<2, int> scaleCorner(float x, float y, float f);

// The method form: given the grey image and the stage's visualization context, returns true
// and writes four corners counter-clockwise (x right, y up) in grey pixel coordinates, or
// returns false and leaves corners alone.
//
// Segmentation: coarse copy, 5 x 5 median, class split into the larger class, opening and
// closing, labelling of the class and its complement, the region most present in the centre,
// the convex hull of its boundary with short edges merged, and its four sharpest vertices,
// starting with the one of smallest x + y.
bool detectOutlineBySegmentation(const Signal<2, unsigned char>& grey, const VS::Context& view,
                                 Point<2, int> corners[4]);

// Lines: coarse copy, 5 x 5 median, Sobel gradients, non-maximum suppression, hysteresis
// between two class-split thresholds, a Hough accumulator of lines, the four strongest
// well-separated peaks paired into two roughly parallel pairs, and the four intersections
// ordered by angle around their centroid.
bool detectOutlineByLines(const Signal<2, unsigned char>& grey, const VS::Context& view,
                          Point<2, int> corners[4]);

// Automatic: candidate regions of the coarse copy's brightness splits (the main class split and
// one on either side of it, bright and dark regions alike) are judged as sheets: the four
// sharpest vertices of a region's hull must make a convex quadrilateral that the region fills,
// covering 4 to 92 % of the picture, with contrast between inside and outside along every
// side (a side along the picture's border has none). The best by contrast, fill and size wins;
// its sides are then moved onto the strongest edge nearby in the grey image itself. Corners
// come counter-clockwise from the one nearest the bottom left. False when no region looks like
// a sheet, which is a normal answer: the picture is the sheet.
bool detectOutlineAuto(const Signal<2, unsigned char>& grey, const VS::Context& view,
                       Point<2, int> corners[4]);

} // namespace ZELK
