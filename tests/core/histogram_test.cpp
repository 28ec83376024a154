// Dense histograms: bin placement per sample type and iteration over the non-empty bins.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/exceptions.hpp"
#include "core/histogram.hpp"

using namespace ZELK;

namespace {

// (value, count) of every non-empty bin, walked with the iterator interface.
template <typename T> std::vector<std::pair<T, std::uint32_t>> walk(const Histogram<T>& h) {
    std::vector<std::pair<T, std::uint32_t>> bins;
    auto end = h.end();
    for (auto it = h.begin(); !it->equal(*end); it->advance())
        bins.emplace_back(it->value(), it->count());
    return bins;
}

} // namespace

TEST(Histogram, EmptyHistogramBeginsAtItsEnd) {
    DenseHistogram<unsigned char> h;
    auto begin = h.begin();
    auto end = h.end();
    EXPECT_TRUE(begin->equal(*end));
    EXPECT_FALSE(begin->less(*end));
    EXPECT_THROW(begin->value(), IteratorException);
    EXPECT_THROW(begin->count(), IteratorException);
    EXPECT_THROW(begin->advance(), IteratorException);
    EXPECT_EQ(IteratorException().message(), "Invalid iterator. ");
}

TEST(Histogram, ShortValuesFromTheLowestBinToTheHighest) {
    DenseHistogram<short> h;
    static_assert(DenseHistogram<short>::binCount == 65536);
    h.add(32767);
    h.add(-32768);
    h.add(-32768);
    EXPECT_EQ(h.counters()[0], 2u);
    EXPECT_EQ(h.counters()[65535], 1u);
    EXPECT_EQ(h.count(-32768), 2u);
    EXPECT_EQ(h.count(0), 0u);

    auto it = h.begin();
    EXPECT_EQ(it->value(), -32768);
    EXPECT_EQ(it->count(), 2u);
    it->advance();
    EXPECT_EQ(it->value(), 32767);
    EXPECT_EQ(it->count(), 1u);
    // From the last non-empty bin to the end position, and no further.
    it->advance();
    EXPECT_TRUE(it->equal(*h.end()));
    EXPECT_THROW(it->advance(), IteratorException);
    EXPECT_THROW(it->value(), IteratorException);

    h.clear();
    h.add(-5);
    auto single = h.begin();
    EXPECT_EQ(single->value(), -5);
    EXPECT_EQ(single->count(), 1u);
    EXPECT_EQ(walk<short>(h), (std::vector<std::pair<short, std::uint32_t>>{{-5, 1u}}));
}

TEST(Histogram, RunsAreCountedPerValueInValueOrder) {
    DenseHistogram<unsigned char> grey;
    const unsigned char samples[] = {255, 0, 7, 255, 7, 7};
    grey.add(samples, 6);
    EXPECT_EQ(walk<unsigned char>(grey),
              (std::vector<std::pair<unsigned char, std::uint32_t>>{{0, 1}, {7, 3}, {255, 2}}));
    EXPECT_EQ(grey.counters()[7], 3u);

    DenseHistogram<unsigned short> wide;
    const unsigned short values[] = {65535, 511, 0, 511};
    wide.add(values, 4);
    EXPECT_EQ(wide.counters()[65535], 1u);
    EXPECT_EQ(walk<unsigned short>(wide), (std::vector<std::pair<unsigned short, std::uint32_t>>{
                                              {0, 1}, {511, 2}, {65535, 1}}));

    // Counters are plain array entries that callers may read and adjust.
    wide.counters()[0] = 0;
    EXPECT_EQ(wide.begin()->value(), 511);
}

TEST(Histogram, IteratorsCompareAndCloneByPosition) {
    DenseHistogram<unsigned char> h;
    h.add(3);
    h.add(5);
    auto first = h.begin();
    auto second = first->clone();
    second->advance();
    EXPECT_EQ(second->value(), 5);
    EXPECT_TRUE(first->less(*second));
    EXPECT_FALSE(second->less(*first));
    EXPECT_FALSE(first->equal(*second));
    EXPECT_TRUE(first->equal(*first->clone()));
    EXPECT_TRUE(second->less(*h.end()));

    // A clone of an iterator whose bin has since become empty moves on to the next
    // non-empty bin; the original stays where it was.
    h.counters()[3] = 0;
    auto moved = first->clone();
    EXPECT_EQ(moved->value(), 5);
    EXPECT_EQ(first->value(), 3);
    EXPECT_EQ(first->count(), 0u);
}

TEST(Histogram, IteratorsOfAnotherKindAreRejected) {
    struct Foreign : Histogram<unsigned char>::AbstractIterator {
        std::unique_ptr<AbstractIterator> clone() const override { return nullptr; }
        unsigned char value() const override { return 0; }
        std::uint32_t count() const override { return 0; }
        void advance() override {}
        bool less(const AbstractIterator&) const override { return false; }
        bool equal(const AbstractIterator&) const override { return false; }
    };
    DenseHistogram<unsigned char> h;
    Foreign other;
    EXPECT_THROW(h.begin()->equal(other), IteratorException);
    EXPECT_THROW(h.begin()->less(other), IteratorException);
}
