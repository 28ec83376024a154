// The filtering step of line extraction, driven through RunContext as the run drives it.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/stages.hpp"
#include "raster/filters.hpp"
#include "strokes/enhance.hpp"

namespace ZELK {
namespace {

using Image = Signal<2, unsigned char>;

TEST(FilterStage, StepsFollowTheOptions) {
    Image grey(Tuple<2, unsigned>(24u, 16u));
    for (std::uint32_t i = 0; i < grey.count(); ++i)
        grey.data()[i] = static_cast<unsigned char>((i * 37) % 251);

    // -e 0 -n 0 without -h: the filtered image is the grey image as short.
    {
        RunContext context;
        context.input.grey = grey;
        context.options.medianSize.value = 0;
        context.options.localMeanSize.value = 0;
        Signal<2, short> filtered;
        filterForSegmentation(context, filtered);
        ASSERT_EQ(filtered.sizes(), grey.sizes());
        EXPECT_TRUE(std::equal(grey.data(), grey.data() + grey.count(), filtered.data()));
    }
    // Defaults: 3 x 3 median into the grey image, then the 50 x 50 local mean.
    {
        RunContext context;
        context.input.grey = grey;
        Signal<2, short> filtered;
        filterForSegmentation(context, filtered);
        Image median;
        medianFilter(grey, Tuple<2, unsigned>(3u, 3u), median);
        const Image& filteredGrey = context.extraction.filteredGrey;
        EXPECT_TRUE(std::equal(median.data(), median.data() + median.count(), filteredGrey.data()));
        // The working grey image keeps its meaning: the picture before filtering.
        EXPECT_TRUE(std::equal(grey.data(), grey.data() + grey.count(), context.input.grey.data()));
        Signal<2, short> expected;
        subtractLocalMean(median, Tuple<2, unsigned>(50u, 50u), expected);
        EXPECT_TRUE(
            std::equal(expected.data(), expected.data() + expected.count(), filtered.data()));
    }
    // With a background, pixels outside the mask enter the mean as the ring mean.
    {
        RunContext context;
        context.input.grey = grey;
        context.options.medianSize.value = 0;
        context.options.localMeanSize.value = 5;
        context.background.corners.emplace();
        context.background.mask.resize(grey.sizes());
        context.background.mask.clear();
        for (unsigned y = 4; y < 12; ++y)
            for (unsigned x = 6; x < 18; ++x)
                context.background.mask.set(x, y);
        Signal<2, short> filtered;
        filterForSegmentation(context, filtered);
        Image source;
        ASSERT_TRUE(fillOutsideWithBorderMean(grey, context.background.mask, source));
        Signal<2, short> expected;
        subtractLocalMean(source, Tuple<2, unsigned>(5u, 5u), expected);
        EXPECT_TRUE(
            std::equal(expected.data(), expected.data() + expected.count(), filtered.data()));
        // The grey image itself keeps its desk.
        EXPECT_EQ(context.input.grey(0u, 0u), grey(0u, 0u));
    }
}

} // namespace
} // namespace ZELK
