// The filtering step of line extraction, driven through RunContext as the run drives it; the
// working grey image keeps its meaning throughout: the picture before filtering.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/stages.hpp"
#include "raster/filters.hpp"
#include "strokes/enhance.hpp"

using namespace ZELK;
using Image = Signal<2, unsigned char>;

TEST(FilterStage, StepsFollowTheOptions) {
    auto sameSamples = [](const auto& a, const auto& b) {
        return a.sizes() == b.sizes() && std::equal(a.data(), a.data() + a.count(), b.data());
    };
    Image grey(Tuple<2, unsigned>(24u, 16u));
    for (std::uint32_t i = 0; i < grey.count(); ++i)
        grey.data()[i] = static_cast<unsigned char>((i * 37) % 251);
    auto run = [&](RunContext& context) {
        context.input.grey = grey;
        Signal<2, short> filtered;
        filterForSegmentation(context, filtered);
        EXPECT_TRUE(sameSamples(context.input.grey, grey));
        return filtered;
    };

    // -e 0 -n 0 without -h: the filtered image is the grey image as short.
    RunContext plain;
    plain.options.medianSize.value = plain.options.localMeanSize.value = 0;
    EXPECT_TRUE(sameSamples(run(plain), grey));

    // Defaults: 3 x 3 median into the grey image, then the 50 x 50 local mean.
    RunContext defaults;
    const Signal<2, short> filtered = run(defaults);
    Image median;
    medianFilter(grey, Tuple<2, unsigned>(3u, 3u), median);
    EXPECT_TRUE(sameSamples(defaults.extraction.filteredGrey, median));
    Signal<2, short> expected;
    subtractLocalMean(median, Tuple<2, unsigned>(50u, 50u), expected);
    EXPECT_TRUE(sameSamples(filtered, expected));

    // With a background, pixels outside the mask enter the mean as the ring mean.
    RunContext sheet;
    sheet.options.medianSize.value = 0;
    sheet.options.localMeanSize.value = 5;
    sheet.background.corners.emplace();
    sheet.background.mask.resize(grey.sizes());
    sheet.background.mask.clear();
    for (unsigned i = 0; i < 12 * 8; ++i)
        sheet.background.mask.set(6 + i % 12, 4 + i / 12); // the sheet: x 6 to 17, y 4 to 11
    Image source;
    ASSERT_TRUE(fillOutsideWithBorderMean(grey, sheet.background.mask, source));
    subtractLocalMean(source, Tuple<2, unsigned>(5u, 5u), expected);
    EXPECT_TRUE(sameSamples(run(sheet), expected));
}
