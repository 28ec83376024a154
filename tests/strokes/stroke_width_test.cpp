// The stroke-width measure on drawn strokes of known width.
#include <gtest/gtest.h>

#include "raster/resize.hpp"
#include "strokes/line_thickness.hpp"
#include "strokes/stroke_width.hpp"

namespace ZELK {
namespace {

using Image = Signal<2, unsigned char>;

// Paper at 220 with a grid of dark strokes of the given width (pixel-exact edges), three
// across and three down, on a picture big enough for the strokes to be long.
Image gridOfStrokes(unsigned width, unsigned size) {
    Image image(Tuple<2, unsigned>(size, size));
    image.fill(220);
    for (unsigned k = 1; k <= 3; ++k) {
        const unsigned at = k * size / 4 - width / 2;
        for (unsigned y = 0; y < size; ++y)
            for (unsigned x = 0; x < size; ++x)
                if ((x >= at && x < at + width) || (y >= at && y < at + width))
                    image(x, y) = 40;
    }
    return image;
}

TEST(StrokeWidth, MeasuresDrawnStrokesWithinATenth) {
    for (unsigned width : {1u, 2u, 3u, 5u, 8u, 12u, 20u}) {
        SCOPED_TRACE(width);
        // Large enough that the strokes are long against their width, and for the widest,
        // large enough that the picture is measured on a halved copy.
        const unsigned size = width <= 5 ? 400 : 1600;
        const float measured = measureStrokeWidth(gridOfStrokes(width, size));
        EXPECT_NEAR(measured, float(width), 0.1f * float(width));
    }
    // An area-averaged reduction keeps the ink a stroke holds; bright strokes on dark paper (a
    // blackboard) count as well; blank paper and a tiny picture hold no strokes.
    Image reduced, bright = gridOfStrokes(4, 400), blank(Tuple<2, unsigned>(300u, 200u));
    resampleCentred(gridOfStrokes(8, 800), 0.5f, reduced);
    for (std::uint32_t i = 0; i < bright.count(); ++i)
        bright.data()[i] = static_cast<unsigned char>(255 - bright.data()[i]);
    blank.fill(200);
    EXPECT_NEAR(measureStrokeWidth(reduced), 4.0f, 0.4f);
    EXPECT_NEAR(measureStrokeWidth(bright), 4.0f, 0.4f);
    EXPECT_EQ(measureStrokeWidth(blank), 0.0f);
    EXPECT_EQ(measureStrokeWidth(Image(Tuple<2, unsigned>(4u, 4u))), 0.0f);
}

TEST(StrokeWidth, ScaleBringsStrokesToTheWorkingThicknessWithinCaps) {
    // Thick strokes are reduced, thin ones enlarged at most four times and within the 48
    // megapixel cap; near five pixels, or with nothing measured, nothing changes.
    EXPECT_FLOAT_EQ(measuredThicknessScale(10.0f, 1'000'000), 0.5f);
    EXPECT_FLOAT_EQ(measuredThicknessScale(2.5f, 1'000'000), 2.0f);
    EXPECT_FLOAT_EQ(measuredThicknessScale(0.5f, 1'000'000), 4.0f);
    EXPECT_FLOAT_EQ(measuredThicknessScale(1.0f, 12'000'000), 2.0f);
    EXPECT_FLOAT_EQ(measuredThicknessScale(5.2f, 1'000'000), 1.0f);
    EXPECT_FLOAT_EQ(measuredThicknessScale(0.0f, 1'000'000), 1.0f);
}

} // namespace
} // namespace ZELK
