// Signals: sample layout, resizing with and without keeping samples, views and their
// capacity, element-wise arithmetic, and the bit-packed binary signal.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "core/buffers.hpp"
#include "core/signal.hpp"
#include "core/streams.hpp"

using namespace ZELK;

namespace {

template <typename S> std::vector<typename S::Sample> samplesOf(const S& s) {
    return std::vector<typename S::Sample>(s.data(), s.data() + s.count());
}

template <unsigned N, typename T> void fillCounting(Signal<N, T>& s, int start = 1) {
    for (std::uint32_t i = 0; i < s.count(); ++i)
        s.data()[i] = static_cast<T>(start + int(i));
}

std::vector<std::uint8_t> serialised(Serializable& value) {
    IncrementalBuffer buffer;
    BufferStream stream(buffer);
    Serializer serializer(stream);
    value.serialize(serializer);
    return std::vector<std::uint8_t>(buffer.data(), buffer.data() + buffer.size());
}

} // namespace

TEST(Signal, FirstCoordinateIsFastest) {
    Signal<3, unsigned char> s(Tuple<3, unsigned>(3u, 4u, 5u));
    EXPECT_EQ(s.count(), 60u);
    EXPECT_EQ(s.rowLength(), 12u);
    EXPECT_EQ(s.index(2, 1, 0), 2u + 3u * 1u);
    EXPECT_EQ(s.index(1, 2, 3), 1u + 3u * (2u + 4u * 3u));
    s(1, 2, 3) = 77;
    EXPECT_EQ(s.data()[43], 77);
    EXPECT_EQ(s.row(3)[1 + 3 * 2], 77);

    Signal<2, short> image(Tuple<2, unsigned>(4u, 3u));
    EXPECT_EQ(image.width(), 4u);
    EXPECT_EQ(image.height(), 3u);
    image(3, 2) = -5;
    EXPECT_EQ(image.row(2)[3], -5);
    EXPECT_EQ(image.data()[11], -5);
}

TEST(Signal, ResizingToTheSameCountKeepsTheArray) {
    Signal<2, unsigned char> s(Tuple<2, unsigned>(4u, 3u));
    fillCounting(s);
    const unsigned char* before = s.data();
    const auto samples = samplesOf(s);

    s.resize(Tuple<2, unsigned>(3u, 4u));
    EXPECT_EQ(s.data(), before);
    EXPECT_EQ(s.sizes(), (Tuple<2, unsigned>(3u, 4u)));
    EXPECT_EQ(s.count(), 12u);
    EXPECT_EQ(samplesOf(s), samples);
    EXPECT_EQ(s(0, 1), 4); // linear sample 3 moved from (3, 0) to (0, 1)
}

TEST(Signal, ResizeWithKeepCopiesTheLinearPrefix) {
    Signal<2, short> s(Tuple<2, unsigned>(2u, 2u));
    fillCounting(s);
    s.resize(Tuple<2, unsigned>(3u, 2u), true);
    ASSERT_EQ(s.count(), 6u);
    EXPECT_EQ(s(0, 0), 1);
    EXPECT_EQ(s(1, 0), 2);
    EXPECT_EQ(s(2, 0), 3);
    EXPECT_EQ(s(0, 1), 4);

    s.resize(Tuple<2, unsigned>(2u, 1u), true);
    EXPECT_EQ(samplesOf(s), (std::vector<short>{1, 2}));

    // Without keep the samples of a new array are not the old ones.
    s.resize(Tuple<2, unsigned>(5u, 5u));
    EXPECT_EQ(s.count(), 25u);
    EXPECT_EQ(samplesOf(s), std::vector<short>(25, 0));

    s.resize(Tuple<2, unsigned>(0u, 7u), true);
    EXPECT_EQ(s.count(), 0u);
    EXPECT_EQ(s.data(), nullptr);
    EXPECT_EQ(s.sizes(), (Tuple<2, unsigned>(0u, 7u)));
}

TEST(Signal, SampleCountsThatDoNotFitIn32BitsAreRejected) {
    Signal<3, unsigned char> s(Tuple<3, unsigned>(2u, 2u, 2u));
    fillCounting(s);
    EXPECT_THROW(s.resize(Tuple<3, unsigned>(65536u, 65536u, 1u)),
                 BoundException<unsigned long long>);
    EXPECT_THROW(s.resize(Tuple<3, unsigned>(0xFFFFFFFFu, 0xFFFFFFFFu, 2u)),
                 BoundException<unsigned long long>);
    // Nothing changed.
    EXPECT_EQ(s.sizes(), (Tuple<3, unsigned>(2u, 2u, 2u)));
    EXPECT_EQ(samplesOf(s), (std::vector<unsigned char>{1, 2, 3, 4, 5, 6, 7, 8}));

    BinarySignal<2, unsigned> mask;
    EXPECT_THROW(mask.resize(Tuple<2, unsigned>(0xFFFFFFFFu, 0xFFFFFFFFu)),
                 BoundException<unsigned long long>);
}

TEST(Signal, ViewsStayWithinTheirMemory) {
    std::vector<unsigned char> bytes(59, 0);
    SignalBorrow<3, unsigned char> view(bytes.data(), 59);
    EXPECT_EQ(view.count(), 0u);
    try {
        view.resize(Tuple<3, unsigned>(3u, 4u, 5u));
        FAIL() << "a view grew beyond its memory";
    } catch (const SpaceException<unsigned int>& e) {
        EXPECT_EQ(e.value, 60u);
        EXPECT_EQ(e.bound, 59u);
        EXPECT_EQ(e.message(), "More space requested (60) than what is available (59). ");
    }
    EXPECT_EQ(view.count(), 0u);

    view.resize(Tuple<3, unsigned>(1u, 59u, 1u));
    EXPECT_EQ(view.count(), 59u);
    view(0, 58, 0) = 9;
    EXPECT_EQ(bytes[58], 9);

    SignalConstBorrow<3, unsigned char> reader(bytes.data(), 59, Tuple<3, unsigned>(1u, 1u, 59u));
    EXPECT_EQ(reader(0, 0, 58), 9);
    EXPECT_THROW(reader.resize(Tuple<3, unsigned>(2u, 30u, 1u)), SpaceException<unsigned int>);
    EXPECT_THROW((SignalConstBorrow<1, unsigned char>(bytes.data(), 10, Tuple<1, unsigned>(11u))),
                 SpaceException<unsigned int>);

    // A view of an owning signal shares its samples and cannot outgrow them.
    Signal<2, short> owner(Tuple<2, unsigned>(3u, 2u));
    SignalBorrow<2, short> writer(owner);
    writer(2, 1) = 300;
    EXPECT_EQ(owner(2, 1), 300);
    writer.resize(Tuple<2, unsigned>(2u, 3u));
    EXPECT_EQ(writer(1, 2), 300);
    EXPECT_THROW(writer.resize(Tuple<2, unsigned>(7u, 1u)), SpaceException<unsigned int>);
    const SignalConstBorrow<2, short> constView = owner;
    EXPECT_EQ(constView.capacity(), 6u);
    EXPECT_EQ(constView(2, 1), 300);
}

TEST(Signal, ElementWiseArithmeticInTheSampleType) {
    Signal<2, unsigned char> a(Tuple<2, unsigned>(2u, 1u)), b(Tuple<2, unsigned>(2u, 1u));
    a(0, 0) = 3;
    a(1, 0) = 200;
    b(0, 0) = 10;
    b(1, 0) = 50;
    a -= b;
    EXPECT_EQ(a(0, 0), 249);
    EXPECT_EQ(a(1, 0), 150);

    Signal<2, unsigned short> u(Tuple<2, unsigned>(1u, 2u)), v(Tuple<2, unsigned>(1u, 2u));
    u(0, 0) = 65535;
    u(0, 1) = 300;
    v(0, 0) = 2;
    v(0, 1) = 300;
    Signal<2, unsigned short> product = u;
    u += v;
    EXPECT_EQ(u(0, 0), 1);
    EXPECT_EQ(u(0, 1), 600);
    product *= v;
    EXPECT_EQ(product(0, 0), 65534);
    EXPECT_EQ(product(0, 1), 90000 % 65536);

    // A view can be the operand on either side.
    std::vector<unsigned char> raw = {1, 1};
    SignalBorrow<2, unsigned char> view(raw.data(), 2, Tuple<2, unsigned>(2u, 1u));
    view -= b;
    EXPECT_EQ(raw, (std::vector<unsigned char>{247, 207}));
}

TEST(Signal, MismatchingSizesChangeNothing) {
    Signal<2, unsigned char> a(Tuple<2, unsigned>(3u, 2u)), b(Tuple<2, unsigned>(2u, 3u));
    fillCounting(a);
    fillCounting(b, 10);
    const auto before = samplesOf(a);
    EXPECT_THROW(a -= b, SignalSizeException);
    EXPECT_EQ(samplesOf(a), before);

    Signal<2, unsigned short> c(Tuple<2, unsigned>(3u, 2u)), d(Tuple<2, unsigned>(3u, 1u));
    EXPECT_THROW(c += d, SignalSizeException);
    EXPECT_THROW(c *= d, SignalSizeException);
    EXPECT_EQ(SignalSizeException().message(), "Missmatching signal size. ");
}

TEST(Signal, AssignmentCopiesSizesAndSamples) {
    Signal<2, float> a(Tuple<2, unsigned>(3u, 2u));
    fillCounting(a);
    Signal<2, float> b;
    b = a;
    EXPECT_EQ(b.sizes(), a.sizes());
    EXPECT_EQ(samplesOf(b), samplesOf(a));
    EXPECT_NE(b.data(), a.data());
    b(0, 0) = -1.0f;
    EXPECT_EQ(a(0, 0), 1.0f);

    // From a view, including a view on the target's own samples.
    std::vector<float> raw = {7, 8, 9, 10};
    b.assign(SignalConstBorrow<2, float>(raw.data(), 4, Tuple<2, unsigned>(2u, 2u)));
    EXPECT_EQ(samplesOf(b), raw);
    b.assign(SignalConstBorrow<2, float>(b.data() + 1, 3, Tuple<2, unsigned>(3u, 1u)));
    EXPECT_EQ(samplesOf(b), (std::vector<float>{8, 9, 10}));

    Signal<2, float> moved = std::move(b);
    EXPECT_EQ(samplesOf(moved), (std::vector<float>{8, 9, 10}));
    EXPECT_EQ(b.count(), 0u);

    // Into a view: resized within its memory, then filled.
    std::vector<float> target(8, 0.0f);
    SignalBorrow<2, float> view(target.data(), 8);
    view.assign(a);
    EXPECT_EQ(view.sizes(), a.sizes());
    EXPECT_EQ(target, (std::vector<float>{1, 2, 3, 4, 5, 6, 0, 0}));
    Signal<2, float> tooLarge(Tuple<2, unsigned>(3u, 3u));
    EXPECT_THROW(view.assign(tooLarge), SpaceException<unsigned int>);
}

TEST(Signal, SerialisationRoundTrip) {
    Signal<2, short> s(Tuple<2, unsigned>(2u, 2u));
    s(0, 0) = -1;
    s(1, 0) = 2;
    s(0, 1) = -300;
    s(1, 1) = 32767;
    const auto bytes = serialised(s);
    ASSERT_EQ(bytes.size(), 8u + 4u * 2u);
    std::uint32_t sizes[2];
    std::memcpy(sizes, bytes.data(), 8);
    EXPECT_EQ(sizes[0], 2u);
    EXPECT_EQ(sizes[1], 2u);
    short first;
    std::memcpy(&first, bytes.data() + 8, 2);
    EXPECT_EQ(first, -1);

    Signal<2, short> copy;
    ConstBufferStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    Deserializer reader(in);
    copy.serialize(reader);
    EXPECT_EQ(copy.sizes(), s.sizes());
    EXPECT_EQ(samplesOf(copy), samplesOf(s));
}

TEST(BinarySignal, LinesStartOnWordBoundaries) {
    BinarySignal<2, unsigned> mask(Tuple<2, unsigned>(33u, 3u));
    EXPECT_EQ(mask.wordsPerRow(), 2u);
    EXPECT_EQ(mask.count(), 6u);
    mask.clear();

    mask.set(32, 0);
    EXPECT_EQ(mask.data()[1], 1u);
    mask.set(0, 1);
    EXPECT_EQ(mask.data()[2], 1u);
    mask.set(31, 0);
    EXPECT_EQ(mask.data()[0], 0x80000000u);
    mask.set(5, 2);
    EXPECT_EQ(mask.row(2)[0], 1u << 5);
    EXPECT_EQ(mask.countSetBits(), 4u);

    EXPECT_TRUE(mask.get(32, 0));
    EXPECT_TRUE(mask.get(0, 1));
    EXPECT_FALSE(mask.get(1, 1));
    mask.set(32, 0, false);
    EXPECT_FALSE(mask.get(32, 0));
    EXPECT_EQ(mask.data()[1], 0u);

    // Reads outside the sizes are clear, even where padding bits are set.
    mask.data()[1] = 0xFFFFFFFFu;
    EXPECT_FALSE(mask.get(33, 0));
    EXPECT_FALSE(mask.get(-1, 1));
    EXPECT_FALSE(mask.get(0, 3));
    EXPECT_FALSE(mask.get(0, -1));
    EXPECT_TRUE(mask.get(32, 0));

    EXPECT_EQ((BinarySignal<2, unsigned>::wordsFor(0)), 0u);
    EXPECT_EQ((BinarySignal<2, unsigned>::wordsFor(32)), 1u);
    EXPECT_EQ((BinarySignal<2, unsigned>::wordsFor(0xFFFFFFFFu)), 0x8000000u);
}

TEST(BinarySignal, PaddingBitsTakePartInWordOperations) {
    BinarySignal<2, unsigned> a(Tuple<2, unsigned>(33u, 2u)), b(Tuple<2, unsigned>(33u, 2u));
    a.clear();
    b.clear();
    a.invert();
    // Inverting flips whole words: padding included.
    EXPECT_EQ(a.countSetBits(), 128u);
    EXPECT_EQ(a.lastWordMask(), 1u);
    a.clearPadding();
    EXPECT_EQ(a.countSetBits(), 66u);
    EXPECT_EQ(a.row(0)[1], 1u);
    EXPECT_EQ(a.row(1)[0], 0xFFFFFFFFu);

    b.data()[1] = 0x3u; // sample (32, 0) and one padding bit
    a ^= b;
    EXPECT_EQ(a.row(0)[1], 0x2u);
    a &= b;
    EXPECT_EQ(a.row(0)[1], 0x2u);
    EXPECT_EQ(a.countSetBits(), 1u);
    a |= b;
    EXPECT_EQ(a.row(0)[1], 0x3u);

    BinarySignal<2, unsigned> wide(Tuple<2, unsigned>(64u, 2u));
    wide.clear();
    EXPECT_EQ(wide.lastWordMask(), 0xFFFFFFFFu);
    const std::vector<std::uint32_t> before(a.data(), a.data() + a.count());
    // Same word count, other sizes: still a mismatch, and nothing changes.
    EXPECT_THROW(a &= wide, SignalSizeException);
    EXPECT_THROW(a ^= wide, SignalSizeException);
    EXPECT_EQ(std::vector<std::uint32_t>(a.data(), a.data() + a.count()), before);
}

TEST(BinarySignal, ResizeReallocatesOnlyForAnotherWordCount) {
    BinarySignal<2, unsigned> mask(Tuple<2, unsigned>(33u, 2u));
    mask.clear();
    mask.set(3, 1);
    const std::uint32_t* words = mask.data();
    mask.resize(Tuple<2, unsigned>(64u, 2u));
    EXPECT_EQ(mask.data(), words);
    EXPECT_TRUE(mask.get(3, 1));
    mask.resize(Tuple<2, unsigned>(10u, 4u));
    EXPECT_EQ(mask.count(), 4u);
    EXPECT_EQ(mask.wordsPerRow(), 1u);
    mask.resize(Tuple<2, unsigned>(0u, 4u));
    EXPECT_EQ(mask.count(), 0u);
    EXPECT_FALSE(mask.get(0, 0));
    mask.clearPadding();
    mask.invert();
    EXPECT_EQ(mask.countSetBits(), 0u);

    BinarySignal<2, unsigned> copy(Tuple<2, unsigned>(40u, 3u));
    copy.clear();
    copy.set(39, 2);
    BinarySignal<2, unsigned> other = copy;
    EXPECT_NE(other.data(), copy.data());
    EXPECT_TRUE(other.get(39, 2));
    EXPECT_EQ(other.countSetBits(), 1u);
}

TEST(BinarySignal, SerialisationRoundTrip) {
    BinarySignal<2, unsigned> mask(Tuple<2, unsigned>(35u, 2u));
    mask.clear();
    mask.set(34, 1);
    mask.set(0, 0);
    const auto bytes = serialised(mask);
    ASSERT_EQ(bytes.size(), 8u + 4u * 4u);
    std::uint32_t words[6];
    std::memcpy(words, bytes.data(), bytes.size());
    EXPECT_EQ(words[0], 35u);
    EXPECT_EQ(words[1], 2u);
    EXPECT_EQ(words[2], 1u);
    EXPECT_EQ(words[5], 1u << 2);

    BinarySignal<2, unsigned> read;
    ConstBufferStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    Deserializer reader(in);
    read.serialize(reader);
    EXPECT_EQ(read.sizes(), mask.sizes());
    EXPECT_TRUE(read.get(34, 1));
    EXPECT_TRUE(read.get(0, 0));
    EXPECT_EQ(read.countSetBits(), 2u);
}
