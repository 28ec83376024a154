// Line segmentation: thresholds from the two-class k-means on worked examples, masking of the
// histogram, the one-third rule, and the mask against a per-pixel comparison.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "strokes/line_thresholds.hpp"
#include "vs/messages.hpp"

using namespace ZELK;

namespace {

// A 20 x 10 image whose first `minority` samples (in linear order) hold b and the rest a.
Signal<2, short> twoValued(short a, short b, unsigned minority, unsigned w = 20) {
    Signal<2, short> image(Tuple<2, unsigned>(w, 10));
    image.fill(a);
    std::fill_n(image.data(), minority, b);
    return image;
}

// Keeps the data points a sink receives, each after the view it was sent to and its channels.
struct Recorder : VS::Client {
    explicit Recorder(std::vector<std::string>* items) : items(items) {}
    void send(const VS::Message& message) override {
        if (auto* v = dynamic_cast<const VS::Visualize::View*>(&message))
            view = v->name;
        if (auto* points = dynamic_cast<const VS::Visualize::DataPoints*>(&message)) {
            std::ostringstream text;
            text << view << " " << points->channels << ":";
            for (std::uint32_t i = 0; i < points->count * points->channels; ++i)
                text << " " << points->values[i];
            items->push_back(text.str());
        }
    }
    std::vector<std::string>* items;
    std::string view;
};

} // namespace

TEST(Segmentation, WorkedThresholds) {
    // 0..9 with 100 each and 50..59 with 10 each (shifted by -20): centres 4.5 and 54.5.
    Signal<2, short> spread(Tuple<2, unsigned>(1100, 1));
    for (unsigned i = 0; i < 1100; ++i)
        spread.data()[i] = short(i < 1000 ? int(i / 100) - 20 : int(i - 1000) / 10 + 30);
    // Only the masked pixels count: outside the left 10 x 10 square the image is 40, which
    // would make 0 the minority; inside, 0 is the majority. A smaller mask counts as unset
    // beyond its size.
    Signal<2, short> masked = twoValued(40, 40, 0, 40);
    BinarySignal<2, unsigned> mask(masked.sizes()), small(Tuple<2, unsigned>(10, 10)),
        none(Tuple<2, unsigned>(20, 10));
    for (unsigned y = 0; y < 10; ++y)
        for (unsigned x = 0; x < 10; ++x)
            mask.set(x, y), small.set(x, y), masked(x, y) = (x == 0 && y < 5) ? 40 : 0;
    // The lines are the minority: from the midpoint up to the largest value, or from the
    // smallest value up to the midpoint; a constant image takes its one value. No values, two
    // classes of equal weight, or a mask with nothing set: no split, the range left alone.
    const struct {
        Signal<2, short> image;
        const BinarySignal<2, unsigned>* mask;
        short low, high;
    } cases[] = {{twoValued(0, 40, 20), nullptr, 20, 40},
                 {twoValued(40, 0, 20), nullptr, 0, 20},
                 {twoValued(-100, -60, 20), nullptr, -80, -60},
                 {spread, nullptr, 9, 39},
                 {twoValued(123, 123, 0), nullptr, 123, 123},
                 {masked, &mask, 20, 40},
                 {masked, &small, 20, 40},
                 {Signal<2, short>(), nullptr, -999, -999},
                 {twoValued(0, 10, 100), nullptr, -999, -999},
                 {twoValued(0, 10, 30), &none, -999, -999}};
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        LineThresholds t{-999, -999};
        EXPECT_EQ(findThresholds(cases[k].image, t, cases[k].mask, VS::Context()),
                  cases[k].low != -999)
            << k;
        EXPECT_EQ(t.low, cases[k].low) << k;
        EXPECT_EQ(t.high, cases[k].high) << k;
    }
}

TEST(Segmentation, AtMostOneThirdMayBeLines) {
    BinarySignal<2, unsigned> mask(Tuple<2, unsigned>(9, 5));
    for (unsigned i = 0; i < 15; ++i)
        mask.set(i % 9, i / 9);
    float share = 0;
    EXPECT_TRUE(segmentedShareAcceptable(mask, share));
    mask.set(6, 1);
    EXPECT_FALSE(segmentedShareAcceptable(mask, share));
    EXPECT_FLOAT_EQ(share, 16.0f / 45.0f);
    // A constant image is segmented whole; its share prints as "1".
    segment(mask, twoValued(123, 123, 0), LineThresholds{123, 123});
    EXPECT_FALSE(segmentedShareAcceptable(mask, share));
    std::ostringstream text;
    text << share;
    EXPECT_EQ(text.str(), "1");
}

TEST(Segmentation, MaskEqualsPerPixelComparison) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-32768, 32767);
    for (unsigned width : {1u, 31u, 32u, 33u, 64u, 95u}) {
        Signal<2, short> image(Tuple<2, unsigned>(width, 3));
        for (std::uint32_t i = 0; i < image.count(); ++i)
            image.data()[i] = short(random() % 3 == 0 ? value(random) % 50 : value(random));
        BinarySignal<2, unsigned> mask(Tuple<2, unsigned>(5, 5));
        mask.data()[0] = ~0u; // stale contents must not survive the resize
        segment(mask, image, LineThresholds{-20, 17});
        ASSERT_EQ(mask.sizes(), image.sizes());
        for (unsigned y = 0; y < 3; ++y) {
            for (unsigned x = 0; x < width; ++x)
                ASSERT_EQ(mask.get(x, y), image(x, y) >= -20 && image(x, y) <= 17);
            EXPECT_EQ(mask.row(y)[mask.wordsPerRow() - 1] & ~mask.lastWordMask(), 0u);
        }
    }
}

TEST(Segmentation, HistogramAndClustersAreShown) {
    // Values 3 .. 13 trimmed to 11 bins (189, 1 and 10 samples at 3, 5 and 13); the clusters,
    // centred near 0.01 and 10, cover the whole bins from 0 and from their midpoint 5.005 up to
    // the next one, as (position, count) pairs.
    std::vector<std::string> items;
    VS::Context root;
    root.install(std::make_unique<Recorder>(&items));
    Signal<2, short> image = twoValued(3, 13, 10);
    image.data()[50] = 5;
    LineThresholds t;
    ASSERT_TRUE(findThresholds(image, t, nullptr, root.child("Segmentation")));
    ASSERT_EQ(items.size(), 3u);
    EXPECT_NE(items[0].find("Histogram 1: 189 0 1 0 0 0 0 0 0 0 10"), std::string::npos);
    EXPECT_NE(items[1].find("Clusters 2: 0 189 1 0 2 1 3 0 4 0"), std::string::npos) << items[1];
    EXPECT_NE(items[2].find("Clusters 2: 6 0 7 0 8 0 9 0"), std::string::npos) << items[2];
}
