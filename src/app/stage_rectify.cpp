// The rectify stage: states the frame the polylines are reported in. Without -r that is the
// pixel frame of the loaded image; with -r a perspective fitted to the sheet's corners (found
// by background detection or typed on standard input) maps the sheet onto the -rs rectangle.
#include <cmath>
#include <iostream>

#include "app/stages.hpp"
#include "core/limits.hpp"
#include "rectify/rectification.hpp"

namespace ZELK {

namespace {

// The rectangle's sizes must make sense before anything is fitted to them, and the refined
// image warped into them must have a size that can be written.
bool rectangleUsable(const RunContext& context) {
    const float width = context.options.rectifyWidth.value,
                height = context.options.rectifyHeight.value;
    if (!(width > 0.0f && height > 0.0f && std::isfinite(width) && std::isfinite(height))) {
        std::cerr << "Rectification needs a positive, finite width and height, got " << width
                  << " x " << height << ".\n";
        return false;
    }
    Tuple<2, unsigned> size;
    float scale = 0.0f;
    if (context.options.imageOutput.given &&
        !rectifiedImageSize(context.input.meta.width, context.input.meta.height, width, height,
                            size, scale)) {
        std::cerr << "Rectification to " << width << " x " << height
                  << " gives a refined image side outside 1 to " << Limits::maxRectifiedSide
                  << " pixels.\n";
        return false;
    }
    return true;
}

// The point pairs: the detected sheet corners, the picture's own corners when the automatic
// finder saw no sheet, or else pairs typed on standard input after a prompt. Typed image points are
// pixels of the loaded image (the frame the program reports in without -r); they are brought into
// the frame of the processed grey image, where the polylines and the detected corners live.
bool gatherPairs(RunContext& context, CorrespondenceSystem& system) {
    if (context.background.corners) {
        addCornerPairs(system, context.background.corners->data(),
                       context.options.rectifyWidth.value, context.options.rectifyHeight.value);
        return true;
    }
    // The automatic finder saw no sheet: the picture itself is the sheet, its corner pixels
    // the rectangle's corners (carried into the grey image's frame).
    if (context.options.backgroundMethodName.value == "auto") {
        const float width = context.options.rectifyWidth.value;
        const float height = context.options.rectifyHeight.value;
        const float last[2] = {float(context.input.meta.width) - 1.0f,
                               float(context.input.meta.height) - 1.0f};
        const float scale = context.input.scale.value_or(1.0f), offset = context.input.offset;
        const Point<2, float> rectangle[4] = {
            {0.0f, 0.0f}, {width, 0.0f}, {width, height}, {0.0f, height}};
        const Point<2, float> picture[4] = {
            {0.0f, 0.0f}, {last[0], 0.0f}, {last[0], last[1]}, {0.0f, last[1]}};
        for (unsigned k = 0; k < 4; ++k)
            system.add(rectangle[k], Point<2, float>(picture[k][0] * scale + offset,
                                                     picture[k][1] * scale + offset));
        return true;
    }
    // The prompt is for a person at a terminal, so -q does not silence it; it must be out
    // before the program waits for input.
    std::cout << "Enter corresponding points on a line as: rectified x, rectified y, image x, "
                 "image y. End with EOF.\n"
              << std::flush;
    const float scale = context.input.scale.value_or(1.0f);
    const PointPairReading reading =
        readPointPairs(std::cin, scale, system, Limits::maxPointPairs, context.input.offset);
    if (reading.tooMany) {
        std::cerr << "Rectification takes at most " << Limits::maxPointPairs << " point pairs.\n";
        return false;
    }
    if (reading.pairs < 4) {
        std::cerr << "Rectification needs at least four point pairs, got " << reading.pairs
                  << ".\n";
        return false;
    }
    return true;
}

// The map from the grey image's frame back to the picture's (grey = picture * scale + offset).
std::unique_ptr<Transformation<2, float>::Base> toPictureFrame(const LoadedInput& input) {
    using T = Transformation<2, float>;
    const float scale = *input.scale;
    if (input.offset == 0.0f)
        return std::make_unique<T::Scale>(1.0f / scale);
    auto map = std::make_unique<T::Composite>();
    map->add(std::make_unique<T::Translation>(Vector<2, float>(-input.offset, -input.offset)));
    map->add(std::make_unique<T::Scale>(1.0f / scale));
    return map;
}

// Whether every vertex of the set is seen at a finite position.
bool allFinite(const PolylineSet& set) {
    for (std::uint32_t v = 0; v < set.vertexCount(); ++v) {
        const Point<2, float> p = set.position(v);
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]))
            return false;
    }
    return true;
}

} // namespace

bool rectify(RunContext& context) {
    if (!context.options.rectification.given) {
        if (context.input.scale)
            context.drawing.lines.setTransformation(toPictureFrame(context.input));
        return true;
    }

    if (!rectangleUsable(context))
        return false;
    CorrespondenceSystem system;
    if (!gatherPairs(context, system))
        return false;
    // Repeated pairs or points on a line leave the system singular, and its solution is then
    // noise (finite or not); no drawing made of it is ever exported.
    const MatrixSquareLight<3, float> toImage = system.fit();
    const MatrixSquareLight<3, float> toRectified = toImage.inverse();
    if (!system.determined() || !isFinite(toImage) || !isFinite(toRectified)) {
        if (context.background.corners)
            std::cerr << "Rectification failed: the sheet corners found do not determine a "
                         "perspective.\n";
        else
            std::cerr << "Rectification failed: the point pairs do not determine a perspective "
                         "(are three of them on a line?).\n";
        return false;
    }
    context.drawing.rectifyTransform =
        std::make_unique<PerspectiveTransformation<2, float>>(toImage);
    context.drawing.lines.setTransformation(
        std::make_unique<PerspectiveTransformation<2, float>>(toRectified));
    if (!allFinite(context.drawing.lines)) {
        std::cerr << "Rectification failed: a vertex of the drawing maps to infinity (it lies "
                     "on the horizon of the perspective).\n";
        return false;
    }

    const float width = context.options.rectifyWidth.value,
                height = context.options.rectifyHeight.value;
    // A margin of 0.1 on every side keeps strokes along the sheet's edges inside the view.
    context.drawing.area = Hyperrectangle<2, float>(Point<2, float>(-0.1f, -0.1f),
                                                    Tuple<2, float>(width + 0.2f, height + 0.2f));
    return true;
}

} // namespace ZELK
