// Line segmentation: thresholds from the two-class k-means on worked examples, the mask
// (against a per-pixel comparison), masking of the histogram and the one-third rule.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "strokes/line_thresholds.hpp"
#include "vs/messages.hpp"

using namespace ZELK;

namespace {

// An image whose first `minority` samples (in linear order) hold b and the rest a.
Signal<2, short> twoValued(unsigned width, unsigned height, short a, short b, unsigned minority) {
    Signal<2, short> image(Tuple<2, unsigned>(width, height));
    image.fill(a);
    for (unsigned i = 0; i < minority; ++i)
        image.data()[i] = b;
    return image;
}

LineThresholds thresholdsOf(const Signal<2, short>& image,
                            const BinarySignal<2, unsigned>* mask = nullptr) {
    LineThresholds t;
    t.low = t.high = -999;
    EXPECT_TRUE(findThresholds(image, t, mask, VS::Context()));
    return t;
}

// Keeps the data-point items a sink receives, by the view they were sent to.
class Recorder : public VS::Client {
public:
    struct Item {
        std::string view;
        std::vector<float> values;
        std::uint32_t channels;
    };
    explicit Recorder(std::vector<Item>* items) : items_(items) {}
    void send(const VS::Message& message) override {
        if (auto* view = dynamic_cast<const VS::Visualize::View*>(&message))
            view_ = view->name;
        if (auto* points = dynamic_cast<const VS::Visualize::DataPoints*>(&message))
            items_->push_back(
                Item{view_,
                     std::vector<float>(points->values,
                                        points->values + points->count * points->channels),
                     points->channels});
    }

private:
    std::vector<Item>* items_;
    std::string view_;
};

} // namespace

TEST(Segmentation, ThresholdsOfTwoValuedAndConstantImages) {
    // 90 % at 0 and 10 % at 40: the lines are the bright minority, from the midpoint up.
    const Signal<2, short> bright = twoValued(20, 10, 0, 40, 20);
    LineThresholds t = thresholdsOf(bright);
    EXPECT_EQ(t.low, 20);
    EXPECT_EQ(t.high, 40);
    BinarySignal<2, unsigned> mask;
    segment(mask, bright, t);
    EXPECT_EQ(mask.countSetBits(), 20u);
    float share = 0;
    EXPECT_TRUE(segmentedShareAcceptable(mask, share));
    EXPECT_FLOAT_EQ(share, 0.1f);

    // The majority at 40 and the minority at 0: from the smallest value up to the midpoint.
    t = thresholdsOf(twoValued(20, 10, 40, 0, 20));
    EXPECT_EQ(t.low, 0);
    EXPECT_EQ(t.high, 20);

    // Shifted into negative values: the range moves with the smallest value present.
    t = thresholdsOf(twoValued(20, 10, -100, -60, 20));
    EXPECT_EQ(t.low, -80);
    EXPECT_EQ(t.high, -60);

    // Constant image: the empty second cluster is chosen, covering the one value; the whole
    // image is segmented and the share prints as "1".
    const Signal<2, short> flat = twoValued(7, 5, 123, 123, 0);
    t = thresholdsOf(flat);
    EXPECT_EQ(t.low, 123);
    EXPECT_EQ(t.high, 123);
    segment(mask, flat, t);
    EXPECT_FALSE(segmentedShareAcceptable(mask, share));
    std::ostringstream text;
    text << share;
    EXPECT_EQ(text.str(), "1");
}

TEST(Segmentation, ThresholdsOfSpreadClasses) {
    // 0..9 with 100 each and 50..59 with 10 each: centres 4.5 and 54.5, midpoint 29.5.
    Signal<2, short> image(Tuple<2, unsigned>(1100, 1));
    unsigned at = 0;
    for (short v = 0; v < 10; ++v)
        for (int i = 0; i < 100; ++i)
            image.data()[at++] = static_cast<short>(v - 20);
    for (short v = 50; v < 60; ++v)
        for (int i = 0; i < 10; ++i)
            image.data()[at++] = static_cast<short>(v - 20);
    const LineThresholds t = thresholdsOf(image);
    EXPECT_EQ(t.low, 29 - 20);
    EXPECT_EQ(t.high, 59 - 20);
}

TEST(Segmentation, NoSplitWithoutValuesOrWithEqualClasses) {
    LineThresholds t;
    EXPECT_FALSE(findThresholds(Signal<2, short>(), t, nullptr, VS::Context()));
    // Half at 0, half at 10: both classes weigh the same.
    EXPECT_FALSE(findThresholds(twoValued(10, 2, 0, 10, 10), t, nullptr, VS::Context()));
    // A mask with no set pixel leaves nothing to count.
    BinarySignal<2, unsigned> none(Tuple<2, unsigned>(10, 2));
    EXPECT_FALSE(findThresholds(twoValued(10, 2, 0, 10, 3), t, &none, VS::Context()));
}

TEST(Segmentation, MaskedPixelsStayOutOfTheHistogram) {
    // Outside the mask the image is mostly 40, which would make 0 the minority; inside it
    // 0 is the majority and 40 the lines.
    Signal<2, short> image = twoValued(40, 10, 40, 40, 0);
    BinarySignal<2, unsigned> mask(Tuple<2, unsigned>(40, 10));
    for (unsigned y = 0; y < 10; ++y)
        for (unsigned x = 0; x < 10; ++x) {
            mask.set(x, y);
            image(x, y) = (x == 0 && y < 5) ? 40 : 0;
        }
    LineThresholds t = thresholdsOf(image, &mask);
    EXPECT_EQ(t.low, 20);
    EXPECT_EQ(t.high, 40);

    // A mask smaller than the image: positions beyond it count as not set.
    BinarySignal<2, unsigned> small(Tuple<2, unsigned>(10, 10));
    for (unsigned y = 0; y < 10; ++y)
        for (unsigned x = 0; x < 10; ++x)
            small.set(x, y);
    t = thresholdsOf(image, &small);
    EXPECT_EQ(t.low, 20);
    EXPECT_EQ(t.high, 40);
}

TEST(Segmentation, OneThirdExactlyPasses) {
    BinarySignal<2, unsigned> mask(Tuple<2, unsigned>(9, 5));
    for (unsigned i = 0; i < 15; ++i)
        mask.set(i % 9, i / 9);
    float share = 0;
    EXPECT_TRUE(segmentedShareAcceptable(mask, share));
    mask.set(6, 1);
    EXPECT_FALSE(segmentedShareAcceptable(mask, share));
    EXPECT_FLOAT_EQ(share, 16.0f / 45.0f);
}

TEST(Segmentation, MaskEqualsPerPixelComparison) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-32768, 32767);
    for (unsigned width : {1u, 31u, 32u, 33u, 64u, 95u}) {
        Signal<2, short> image(Tuple<2, unsigned>(width, 3));
        for (std::uint32_t i = 0; i < image.count(); ++i)
            image.data()[i] =
                static_cast<short>(random() % 3 == 0 ? value(random) % 50 : value(random));
        const LineThresholds range{-20, 17};
        BinarySignal<2, unsigned> mask(Tuple<2, unsigned>(5, 5));
        mask.data()[0] = ~0u; // stale contents must not survive the resize
        segment(mask, image, range);
        ASSERT_EQ(mask.width(), width);
        ASSERT_EQ(mask.height(), 3u);
        for (unsigned y = 0; y < 3; ++y) {
            for (unsigned x = 0; x < width; ++x)
                ASSERT_EQ(mask.get(x, y), image(x, y) >= -20 && image(x, y) <= 17);
            EXPECT_EQ(mask.row(y)[mask.wordsPerRow() - 1] & ~mask.lastWordMask(), 0u);
        }
    }
}

TEST(Segmentation, TrimStripsSelectedValuesAtTheChosenEnds) {
    const std::uint32_t data[] = {0, 0, 5, 0, 7, 0};
    const std::uint32_t* start = data;
    std::uint32_t length = 6;
    Trim<std::uint32_t>({0}, Trim<std::uint32_t>::Mode::Front).apply(start, length);
    EXPECT_EQ(start, data + 2);
    EXPECT_EQ(length, 4u);
    start = data;
    length = 6;
    Trim<std::uint32_t>({0}, Trim<std::uint32_t>::Mode::Back).apply(start, length);
    EXPECT_EQ(start, data);
    EXPECT_EQ(length, 5u);
    start = data;
    length = 6;
    Trim<std::uint32_t>({0, 5, 7}, Trim<std::uint32_t>::Mode::Both).apply(start, length);
    EXPECT_EQ(length, 0u);
}

TEST(Segmentation, HistogramAndClustersAreShown) {
    std::vector<Recorder::Item> items;
    VS::Context root;
    root.install(std::make_unique<Recorder>(&items));
    Signal<2, short> image = twoValued(10, 10, 3, 13, 10);
    image.data()[50] = 5;
    LineThresholds t;
    ASSERT_TRUE(findThresholds(image, t, nullptr, root.child("Segmentation")));
    ASSERT_GE(items.size(), 1u);
    EXPECT_NE(items[0].view.find("Histogram"), std::string::npos);
    // Values 3 .. 13 trimmed to 11 bins.
    ASSERT_EQ(items[0].values.size(), 11u);
    EXPECT_EQ(items[0].values[0], 89.0f);
    EXPECT_EQ(items[0].values[2], 1.0f);
    EXPECT_EQ(items[0].values[10], 10.0f);
    ASSERT_EQ(items.size(), 3u);
    // Two clusters: [0, midpoint) and [midpoint, 10), as (position, count) pairs.
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_NE(items[i].view.find("Clusters"), std::string::npos);
        EXPECT_EQ(items[i].channels, 2u);
    }
    EXPECT_EQ(items[1].values[0], 0.0f);
    EXPECT_EQ(items[1].values[1], 89.0f);
}
