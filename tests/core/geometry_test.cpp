// Points, vectors and their views, serialised point lists, and the matrix solve.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "core/geometry.hpp"
#include "core/matrix.hpp"
#include "core/stl_serializable.hpp"
#include "core/streams.hpp"

using namespace ZELK;
using P = Point<2, float>;
using V = Vector<2, float>;

namespace {

// Read through a volatile, so that the compiler cannot fold an out-of-range conversion: it
// must be decided at run time, as it is for non-finite geometry from a singular fit.
float atRunTime(float value) {
    volatile float v = value;
    return v;
}

} // namespace

TEST(Tuple, ArithmeticKeepsTheKindAndConversionSaturates) {
    const P a(3.0f, 4.0f), b(1.0f, 1.0f);
    static_assert(std::is_same_v<decltype(a - b), V> && std::is_same_v<decltype(b + V()), P>);
    static_assert(!std::is_convertible_v<V, P> && !std::is_convertible_v<P, Point<2, int>>);
    EXPECT_EQ(b + 0.5f * (a - b) - (a - b) / 2.0f, b);
    EXPECT_EQ((Vector<3, std::uint8_t>(250, 1, 0) + Vector<3, std::uint8_t>(10, 2, 0)),
              (Vector<3, std::uint8_t>(4, 3, 0)));

    // Truncation toward zero; values no integer can hold stay defined.
    const float inf = atRunTime(std::numeric_limits<float>::infinity());
    const float nan = atRunTime(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ((Point<2, unsigned>(P(atRunTime(-5.0f), atRunTime(1e20f)))),
              (Point<2, unsigned>(0u, 4294967295u)));
    EXPECT_EQ((Point<2, int>(P(nan, -inf))), (Point<2, int>(0, -2147483647 - 1)));
    EXPECT_EQ((Point<2, int>(P(-2.7f, 2147483520.0f))), (Point<2, int>(-2, 2147483520)));
    EXPECT_EQ(convertComponent<std::uint8_t>(255.9f), 255);
    EXPECT_EQ(convertComponent<short>(-32768.9f), -32768);

    // Overlapping views: the numbers are read before any is written.
    float row[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    PointBorrow<2, float> shifted(row + 1);
    shifted = PointBorrow<2, float>(row);
    shifted += V(1.0f, 0.5f);
    EXPECT_EQ(std::vector<float>(row, row + 4), (std::vector<float>{1, 2, 2.5f, 4}));
}

TEST(Serialisation, PointListsCarryTheirCountAndACorruptCountFailsWithoutAllocating) {
    IncrementalBuffer buffer;
    BufferStream stream(buffer);
    Serializer out(stream);
    std::vector<P> polyline = {P(1, 2), P(3, 4)}, read;
    STLVectorSerializable<P>(polyline).serialize(out);
    const std::uint32_t words[5] = {2, 0x3F800000, 0x40000000, 0x40400000, 0x40800000};
    ASSERT_EQ(buffer.size(), sizeof words);
    EXPECT_EQ(std::memcmp(buffer.data(), words, sizeof words), 0);
    // Four billion points claimed, two present: the read stops at the end of the data.
    std::memset(buffer.data(), 0xFF, 4);
    stream.setPosition(0);
    Deserializer in(stream);
    EXPECT_THROW(STLVectorSerializable<P>(read).serialize(in), StreamException);
    EXPECT_EQ(read, polyline);
}

TEST(Matrix, LUSolveExchangesRowsForAZeroOrTinyPivot) {
    Matrix<float> rhs(0, 1);
    // A zero in the leading position: only a row exchange lets the elimination start.
    MatrixSquare<float> square(3);
    const float m[9] = {0, 2, 1, 1, 1, 1, 2, 1, 3};
    std::copy(m, m + 9, square.row(0));
    for (float v : {7.0f, 6.0f, 13.0f})
        rhs.appendRow({v});
    const Matrix<float> x = square.solve(rhs);
    EXPECT_EQ(MatrixSquare<float>::identity(3).solve(rhs)(2, 0), 13.0f);
    for (unsigned r = 0; r < 3; ++r)
        EXPECT_NEAR(x(r, 0), r + 1.0f, 1e-5f) << r;
    EXPECT_THROW(square.solve(Matrix<float>(2, 1)), MatrixDimensionException);

    // A tiny leading pivot: eliminating with it in single precision loses x0 entirely (it
    // would come out 0), the row exchange keeps it: x = (1, 1).
    MatrixSquare<float> tiny(2);
    const float t[4] = {1e-8f, 1, 1, 1};
    std::copy(t, t + 4, tiny.row(0));
    Matrix<float> oneTwo(2, 1, 1.0f);
    oneTwo(1, 0) = 2.0f;
    const Matrix<float> one = tiny.solve(oneTwo);
    EXPECT_NEAR(one(0, 0), 1.0f, 1e-6f);
    EXPECT_NEAR(one(1, 0), 1.0f, 1e-6f);
}
