// The rectify stage. Without -r it only states the frame of the results: polylines traced on
// a grey image that input loading scaled down are reported in the pixel frame of the loaded
// image, through a scale view transformation.
#include "app/stages.hpp"

namespace ZELK {

void rectify(RunContext& context) {
    // Fitting the drawing onto a rectangle is not part of this build; a run asking for it
    // stops here rather than silently exporting an unrectified drawing.
    if (context.rectification.given)
        throw SupportException("rectification with -r of image input in this build");
    if (context.imageScaled)
        context.lines.setTransformation(
            std::make_unique<Transformation<2, float>::Scale>(1.0f / context.imageScale));
}

} // namespace ZELK
