// Thinning of the line mask to a one-pixel-wide skeleton by four rotated peeling passes per
// iteration, each pass deciding every pixel from the same input image.
#pragma once

#include "core/signal.hpp"

namespace ZELK {

// Thins lineMask into skeleton, using work for the intermediate passes (both are resized to
// the mask's size; neither may be lineMask itself, which is not changed). An iteration is four
// passes, each peeling one layer from one side; the padding bits of lineMask are ignored and
// those of the results are 0. Returns true as soon as an iteration deletes nothing, false when
// iterationLimit iterations have deleted something and one more still does.
bool thin(const BinarySignal<2, unsigned>& lineMask, BinarySignal<2, unsigned>& work,
          BinarySignal<2, unsigned>& skeleton, unsigned iterationLimit);

// One peeling pass (0 to 3) from source into destination (resized; not the source). Returns
// whether any pixel was deleted. Exposed for the tests of the pattern rotations.
bool thinningPass(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination,
                  unsigned pass);

} // namespace ZELK
