// Points, vectors, tuples and their views; boxes, lines and their serialised form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "core/buffers.hpp"
#include "core/geometry.hpp"
#include "core/stl_serializable.hpp"
#include "core/streams.hpp"
#include "core/tuple.hpp"

using namespace ZELK;

namespace {

// Serialises one value and returns the bytes written.
template <typename V> std::vector<std::uint8_t> bytesOf(V& value) {
    IncrementalBuffer buffer;
    BufferStream stream(buffer);
    Serializer serializer(stream);
    value.serialize(serializer);
    return std::vector<std::uint8_t>(buffer.data(), buffer.data() + buffer.size());
}

template <typename T> std::vector<std::uint8_t> rawBytes(std::initializer_list<T> values) {
    std::vector<std::uint8_t> out(values.size() * sizeof(T));
    std::size_t at = 0;
    for (T v : values) {
        std::memcpy(out.data() + at, &v, sizeof(T));
        at += sizeof(T);
    }
    return out;
}

// The value read back through a volatile, so that the compiler cannot fold a conversion of it
// (out-of-range conversions are exactly what must be decided at run time).
float atRunTime(float value) {
    volatile float v = value;
    return v;
}

template <typename A, typename B>
concept Addable = requires(const A& a, const B& b) {
    a + b;
};
template <typename A>
concept Scalable = requires(const A& a) {
    a * 2.0f;
};
template <typename A, typename B>
concept AddAssignable = requires(A& a, const B& b) {
    a += b;
};

} // namespace

TEST(Tuple, PointsAndVectorsKeepTheirKindThroughArithmetic) {
    const Point<2, float> a(3.0f, 4.0f), b(1.0f, 1.0f);
    const auto v = a - b;
    static_assert(std::is_same_v<decltype(v), const Vector<2, float>>);
    EXPECT_EQ(v, (Vector<2, float>(2.0f, 3.0f)));

    const auto back = b + v;
    static_assert(std::is_same_v<decltype(back), const Point<2, float>>);
    EXPECT_EQ(back, a);
    EXPECT_EQ(a - v, b);

    // The types refuse what has no meaning: adding two positions, or scaling one.
    static_assert(!Addable<Point<2, float>, Point<2, float>>);
    static_assert(!Scalable<Point<2, float>>);
    static_assert(!AddAssignable<Vector<2, float>, Point<2, float>>);
    static_assert(Addable<Point<2, float>, Vector<2, float>>);

    EXPECT_EQ(v * 2.0f, (Vector<2, float>(4.0f, 6.0f)));
    EXPECT_EQ(0.5f * v, (Vector<2, float>(1.0f, 1.5f)));
    EXPECT_EQ(v / 2.0f, (Vector<2, float>(1.0f, 1.5f)));
    EXPECT_EQ(-v, (Vector<2, float>(-2.0f, -3.0f)));
    EXPECT_EQ(v + v - v, v);

    Point<2, float> p = b;
    p += v;
    EXPECT_EQ(p, a);
    p -= v;
    EXPECT_EQ(p, b);

    EXPECT_EQ(dot(Vector<2, float>(0.6f, 0.8f), a), 0.6f * 3.0f + 0.8f * 4.0f);
    EXPECT_EQ(cross(Vector<2, float>(10, 0), Vector<2, float>(2, 3)), 30.0f);
    EXPECT_EQ(cross(Vector<2, float>(0, 10), Vector<2, float>(2, 3)), -20.0f);
}

TEST(Tuple, SmallIntegerComponentsWrapAsTheirType) {
    const Vector<3, std::uint8_t> a(250, 1, 0), b(10, 2, 0);
    EXPECT_EQ(a + b, (Vector<3, std::uint8_t>(4, 3, 0)));
    EXPECT_EQ(b - a, (Vector<3, std::uint8_t>(16, 1, 0)));
    const Vector<3, short> s(32767, -32768, 0);
    EXPECT_EQ((s + Vector<3, short>(1, -1, 0)), (Vector<3, short>(-32768, 32767, 0)));
}

TEST(Tuple, ConversionTruncatesTowardZeroAndNeverOverflows) {
    const Vector<2, float> f(2.9f, 0.5f);
    EXPECT_EQ((Vector<2, unsigned>(f)), (Vector<2, unsigned>(2u, 0u)));
    EXPECT_EQ((Vector<2, unsigned>(f + Vector<2, float>(0.5f, 0.5f))),
              (Vector<2, unsigned>(3u, 1u)));
    EXPECT_EQ((Point<2, int>(Point<2, float>(-2.7f, 2.7f))), (Point<2, int>(-2, 2)));

    // Values no integer can hold (non-finite geometry from a singular fit) stay defined.
    const float inf = atRunTime(std::numeric_limits<float>::infinity());
    const float nan = atRunTime(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ((Point<2, unsigned>(Point<2, float>(atRunTime(-5.0f), atRunTime(1e20f)))),
              (Point<2, unsigned>(0u, 4294967295u)));
    EXPECT_EQ((Point<2, int>(Point<2, float>(nan, -inf))), (Point<2, int>(0, -2147483647 - 1)));
    EXPECT_EQ((Point<2, int>(Point<2, float>(inf, 2147483520.0f))),
              (Point<2, int>(2147483647, 2147483520)));
    EXPECT_EQ(convertComponent<std::uint8_t>(255.9f), 255);
    EXPECT_EQ(convertComponent<std::uint8_t>(256.0f), 255);
    EXPECT_EQ(convertComponent<short>(-32768.9f), -32768);

    // Integer to float and between kinds is explicit but possible.
    EXPECT_EQ((Point<2, float>(Point<2, int>(3, -4))), (Point<2, float>(3.0f, -4.0f)));
    EXPECT_EQ((Vector<2, float>(Tuple<2, unsigned>(7u, 9u))), (Vector<2, float>(7.0f, 9.0f)));
    static_assert(!std::is_convertible_v<Vector<2, float>, Point<2, float>>);
    static_assert(!std::is_convertible_v<Point<2, float>, Point<2, int>>);
}

TEST(Tuple, ViewsReadAndWriteTheNumbersTheyAreBoundTo) {
    float storage[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    PointBorrow<2, float> second(storage + 2);
    EXPECT_EQ(second, (Point<2, float>(3.0f, 4.0f)));

    second += Vector<2, float>(1.0f, 1.0f);
    EXPECT_EQ(storage[2], 4.0f);
    EXPECT_EQ(storage[3], 5.0f);

    // Assigning to a view writes through it; it never rebinds.
    PointBorrow<2, float> first(storage);
    first = second;
    EXPECT_EQ(storage[0], 4.0f);
    EXPECT_EQ(storage[1], 5.0f);
    first.x() = 9.0f;
    EXPECT_EQ(storage[0], 9.0f);
    EXPECT_EQ(storage[2], 4.0f);

    // Overlapping views: the numbers are read before any is written.
    float row[3] = {1.0f, 2.0f, 3.0f};
    PointBorrow<2, float> shifted(row + 1);
    shifted = PointBorrow<2, float>(row);
    EXPECT_EQ(row[1], 1.0f);
    EXPECT_EQ(row[2], 2.0f);

    // A view of an owning point follows it.
    Point<2, float> owner(1.0f, 1.0f);
    PointBorrow<2, float> writer(owner);
    const PointConstBorrow<2, float> reader(owner);
    writer[1] = 7.0f;
    EXPECT_EQ(reader.y(), 7.0f);
    EXPECT_EQ(owner - reader, (Vector<2, float>(0.0f, 0.0f)));
    static_assert(!std::is_assignable_v<PointConstBorrow<2, float>&, Point<2, float>>);

    // One axis of a size tuple, without copying.
    const Tuple<3, unsigned> sizes(3u, 640u, 480u);
    const auto plane = sizes.slice<1>();
    static_assert(std::is_same_v<decltype(plane), const TupleConstBorrow<2, unsigned>>);
    EXPECT_EQ(plane[0], 640u);
    EXPECT_EQ(plane[1], 480u);
    EXPECT_EQ((sizes.slice<0, 2>()), (Tuple<2, unsigned>(3u, 640u)));
}

TEST(Tuple, DistancesAndLengths) {
    EXPECT_EQ(distance(Point<2, float>(1, 1), Point<2, float>(4, 5)), 5.0f);
    EXPECT_EQ(length(Vector<3, float>(2, 3, 6)), 7.0f);
    EXPECT_EQ(squaredDistance(Point<2, int>(-1, 2), Point<2, int>(2, -2)), 25);
    // sqrt(2) rounded once to float.
    EXPECT_EQ(distance(Point<2, float>(0, 0), Point<2, float>(1, 1)), 1.41421354f);
    // Owning values stay plain numbers so that inner loops can create them freely.
    static_assert(sizeof(Point<2, float>) == 2 * sizeof(float));
    static_assert(std::is_trivially_copyable_v<Point<2, float>>);
}

TEST(Geometry, BoxesAndLines) {
    const Hyperrectangle<2, float> area(Point<2, float>(0, 0), Tuple<2, float>(800, 600));
    EXPECT_EQ(area.width(), 800.0f);
    EXPECT_EQ(area.height(), 600.0f);

    const Hyperplane<2, float> line(Vector<2, float>(0.0f, 1.0f), 3.0f);
    EXPECT_EQ(line.signedDistance(Point<2, float>(5.0f, 10.0f)), 7.0f);
    EXPECT_EQ(line.signedDistance(Point<2, float>(-5.0f, 1.0f)), -2.0f);
}

TEST(Geometry, LineIntersection) {
    Point<2, float> p(-1, -1);
    const Hyperplane<2, float> vertical(Vector<2, float>(1, 0), 2.0f);
    const Hyperplane<2, float> horizontal(Vector<2, float>(0, 1), 3.0f);
    ASSERT_TRUE(intersect(vertical, horizontal, p));
    EXPECT_EQ(p, (Point<2, float>(2, 3)));

    // x + y = 4 meets x - y = 0 at (2, 2), with normals that are not unit length.
    ASSERT_TRUE(intersect(Hyperplane<2, float>(Vector<2, float>(1, 1), 4.0f),
                          Hyperplane<2, float>(Vector<2, float>(1, -1), 0.0f), p));
    EXPECT_FLOAT_EQ(p[0], 2.0f);
    EXPECT_FLOAT_EQ(p[1], 2.0f);

    // Parallel lines (also with opposite normals) have no intersection; the result is left
    // alone.
    p = Point<2, float>(-1, -1);
    EXPECT_FALSE(intersect(vertical, Hyperplane<2, float>(Vector<2, float>(-1, 0), 5.0f), p));
    EXPECT_EQ(p, (Point<2, float>(-1, -1)));
    // Determinant 1e-7, just below single-precision epsilon: parallel. 2e-7: they meet.
    EXPECT_FALSE(intersect(vertical, Hyperplane<2, float>(Vector<2, float>(1, 1e-7f), 5.0f), p));
    EXPECT_TRUE(intersect(vertical, Hyperplane<2, float>(Vector<2, float>(1, 2e-7f), 5.0f), p));
    EXPECT_FALSE(intersect(vertical, vertical, p));
}

TEST(Serialisation, ValuesAreWrittenComponentByComponent) {
    Point<2, float> p(1.5f, -2.0f);
    EXPECT_EQ(bytesOf(p), rawBytes<float>({1.5f, -2.0f}));

    Hyperrectangle<2, int> box(Point<2, int>(-1, 2), Tuple<2, int>(30, 40));
    const auto boxBytes = bytesOf(box);
    EXPECT_EQ(boxBytes, rawBytes<std::int32_t>({-1, 2, 30, 40}));
    Hyperrectangle<2, int> boxRead;
    ConstBufferStream boxStream(boxBytes.data(), static_cast<std::uint32_t>(boxBytes.size()));
    Deserializer boxReader(boxStream);
    boxRead.serialize(boxReader);
    EXPECT_EQ(boxRead, box);
    EXPECT_NE(boxRead, (Hyperrectangle<2, int>()));

    Hyperplane<2, float> line(Vector<2, float>(0.0f, 1.0f), 3.0f);
    EXPECT_EQ(bytesOf(line), rawBytes<float>({0.0f, 1.0f, 3.0f}));

    // A writable view serialises the numbers it refers to; a reader fills them.
    float storage[2] = {0, 0};
    PointBorrow<2, float> view(storage);
    const auto bytes = rawBytes<float>({4.0f, 8.0f});
    ConstBufferStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    Deserializer reader(in);
    view.serialize(reader);
    EXPECT_EQ(storage[0], 4.0f);
    EXPECT_EQ(storage[1], 8.0f);
}

TEST(Serialisation, PointVectorsCarryTheirCountFirst) {
    std::vector<Point<2, float>> polyline = {Point<2, float>(1, 2), Point<2, float>(3, 4)};
    STLVectorSerializable<Point<2, float>> out(polyline);
    const auto bytes = bytesOf(out);
    std::vector<std::uint8_t> expected = rawBytes<std::uint32_t>({2});
    const auto coordinates = rawBytes<float>({1, 2, 3, 4});
    expected.insert(expected.end(), coordinates.begin(), coordinates.end());
    EXPECT_EQ(bytes, expected);

    std::vector<Point<2, float>> read;
    STLVectorSerializable<Point<2, float>> in(read);
    ConstBufferStream stream(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    Deserializer reader(stream);
    in.serialize(reader);
    EXPECT_EQ(read, polyline);

    std::vector<std::uint32_t> indices = {0, 5, 5, 7};
    STLVectorSerializable<std::uint32_t> pairs(indices);
    EXPECT_EQ(bytesOf(pairs), rawBytes<std::uint32_t>({4, 0, 5, 5, 7}));
}

TEST(Serialisation, ACorruptCountFailsAtTheEndOfTheDataInsteadOfAllocating) {
    // Claims four billion points but carries two.
    auto bytes = rawBytes<std::uint32_t>({0xFFFFFFFFu});
    const auto coordinates = rawBytes<float>({1, 2, 3, 4});
    bytes.insert(bytes.end(), coordinates.begin(), coordinates.end());
    std::vector<Point<2, float>> read;
    STLVectorSerializable<Point<2, float>> in(read);
    ConstBufferStream stream(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    Deserializer reader(stream);
    EXPECT_THROW(in.serialize(reader), StreamException);
    EXPECT_EQ(read.size(), 2u);
}
