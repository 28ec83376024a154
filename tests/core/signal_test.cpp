// Signals: sample layout, resizing, views and their capacity, the bit-packed binary signal,
// serialised forms, and dense histograms of samples.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "core/histogram.hpp"
#include "core/signal.hpp"
#include "core/streams.hpp"

using namespace ZELK;

namespace {

template <typename T, typename S> std::vector<T> wordsOf(const S& s) {
    return std::vector<T>(s.data(), s.data() + s.count());
}

// Serialises a value, reads the bytes back into another, and returns them as 32-bit words.
template <typename S> std::vector<std::uint32_t> roundTrip(S& value, S& read) {
    IncrementalBuffer buffer;
    BufferStream stream(buffer);
    Serializer serializer(stream);
    value.serialize(serializer);
    stream.setPosition(0);
    Deserializer reader(stream);
    read.serialize(reader);
    std::vector<std::uint32_t> words((buffer.size() + 3) / 4);
    std::memcpy(words.data(), buffer.data(), buffer.size());
    return words;
}

} // namespace

TEST(Signal, FirstCoordinateIsFastestAndResizingKeepsTheLinearOrder) {
    Signal<3, unsigned char> s(Tuple<3, unsigned>(3u, 4u, 5u));
    s(1, 2, 3) = 77;
    EXPECT_EQ(s.row(3)[1 + 3 * 2], 77);
    // Counts beyond 32 bits are refused and change nothing.
    EXPECT_THROW(s.resize(Tuple<3, unsigned>(65536u, 65536u, 1u)),
                 BoundException<unsigned long long>);

    // The same count keeps the array: sample 3 moves from (3, 0) to (0, 1). Keeping copies
    // the linear prefix; a new array otherwise starts from zero.
    Signal<2, short> image(Tuple<2, unsigned>(4u, 3u)), copy;
    image.data()[3] = 4;
    image.data()[1] = 2;
    image.resize(Tuple<2, unsigned>(3u, 4u));
    EXPECT_EQ(image(0, 1), 4);
    image.resize(Tuple<2, unsigned>(2u, 1u), true);
    image.resize(Tuple<2, unsigned>(3u, 1u), true);
    image(2, 0) = 32767;
    EXPECT_EQ(roundTrip(image, copy), (std::vector<std::uint32_t>{3, 1, 0x00020000, 0x7FFF}));
    EXPECT_EQ(wordsOf<short>(copy), (std::vector<short>{0, 2, 32767}));
}

TEST(BinarySignal, LinesStartOnWordBoundariesAndPaddingTakesPartInWordOperations) {
    BinarySignal<2, unsigned> a(Tuple<2, unsigned>(33u, 2u)), b(Tuple<2, unsigned>(33u, 2u));
    // Reads outside the sizes are clear, even where padding bits are set.
    a.clear();
    a.data()[1] = 0xFFFFFFFFu;
    for (auto [x, y] : {std::pair{33, 0}, {-1, 1}, {0, 2}, {0, -1}})
        EXPECT_FALSE(a.get(x, y)) << x << "," << y;

    // Inverting flips whole words, padding included, until the padding is cleared.
    a.clear();
    b.clear();
    a.invert();
    EXPECT_EQ(a.countSetBits(), 128u);
    a.clearPadding();
    EXPECT_EQ(a.countSetBits(), 66u);
    b.data()[1] = 0x3u; // sample (32, 0) and one padding bit
    a ^= b;
    a &= b;
    a |= b;
    EXPECT_EQ(wordsOf<std::uint32_t>(a), (std::vector<std::uint32_t>{0, 3, 0, 0}));
    // Same word count, other sizes: still a mismatch.
    EXPECT_THROW((a &= BinarySignal<2, unsigned>(Tuple<2, unsigned>(64u, 2u))),
                 SignalSizeException);

    // Another word count reallocates the words, zeroed.
    a.resize(Tuple<2, unsigned>(35u, 1u));
    a.set(34, 0);
    BinarySignal<2, unsigned> read;
    EXPECT_EQ(roundTrip(a, read), (std::vector<std::uint32_t>{35, 1, 0, 1u << 2}));
    EXPECT_TRUE((BinarySignal<2, unsigned>(read).get(34, 0)));
}

TEST(Histogram, BinsAreWalkedFromTheLowestValueToTheHighest) {
    DenseHistogram<short> h;
    const short samples[] = {32767, -32768, 7, -32768};
    h.add(samples, 4);
    using Bins = std::vector<std::pair<short, std::uint32_t>>;
    Bins bins;
    for (auto it = h.begin(), end = h.end(); !it->equal(*end); it->advance())
        bins.emplace_back(it->value(), it->count());
    EXPECT_EQ(bins, (Bins{{-32768, 2}, {7, 1}, {32767, 1}}));

    // A clone of an iterator whose bin has since become empty moves on to the next
    // non-empty bin; the original stays where it was, and goes nowhere past the end.
    auto first = h.begin();
    h.counters()[0] = 0;
    EXPECT_EQ(first->clone()->value(), 7);
    EXPECT_EQ(first->count(), 0u);
    for (int i = 0; i < 3; ++i)
        first->advance();
    EXPECT_TRUE(first->equal(*h.end()));
    EXPECT_THROW(first->advance(), IteratorException);
    EXPECT_THROW(first->count(), IteratorException);
}
