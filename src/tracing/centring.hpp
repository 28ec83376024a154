// Centring: moves traced polylines across their strokes onto the strokes' centre in the
// full-resolution picture. The skeleton of an even-width stroke lies half a pixel to one side,
// and a picture traced at a reduced size comes back off by a fraction of its pixels; the
// picture itself tells where the ink is.
#pragma once

#include "core/signal.hpp"
#include "tracing/polyline_set.hpp"

namespace ZELK {

// Where the set's stored positions lie in the picture: picture = (stored - offset) / scale.
struct PictureMapping {
    float scale = 1.0f;
    float offset = 0.0f;
};

// The centre of the dark stroke that crosses the line through `at` (picture coordinates,
// pixel centres on integers) along the unit `normal`, as a signed distance along the normal:
// midway between the two places, interpolated between profile samples, where the intensity
// crosses halfway from the darkest sample within half the reach of `at` to the surrounding
// paper. Within `reach` of at; NaN when there is no such stroke (too little contrast, or not
// all of it within reach).
// The weighted mean of the ink along the profile would be pulled by the pixel steps of a slanted
// edge; the two half-way crossings are not.
// With brightInk the strokes are lighter than the paper (chalk, a negative) and the profile
// is read upside down.
double strokeCentreOffset(const Signal<2, unsigned char>& picture, double atX, double atY,
                          double normalX, double normalY, double reach, bool brightInk = false);

// Centres every polyline of the set on the strokes of picture (grey, the picture's own size):
// each polyline is densified to points half a stroke width apart, every point away from the
// polyline's corners and from vertices shared with other polylines moves along the polyline's
// normal to strokeCentreOffset (looking up to two widths and a pixel to either side, moving by
// at most one and a half widths: simplification leaves traced lines up to a width off), and
// the points
// are simplified again to within a sixth of a stroke width. Shared vertices and corners (a turn
// above 30 degrees) stay where they are and remain vertices; the set is cleaned up. Reads and
// writes stored positions (the view transformation is not used). strokeWidth is in picture
// pixels and must be positive. The strokes count as lighter than the paper when the picture
// under the middles of the polylines' edges is, at the median, lighter than two stroke widths
// to either side of them.
void centrePolylines(PolylineSet& set, const Signal<2, unsigned char>& picture,
                     PictureMapping mapping, float strokeWidth);

} // namespace ZELK
