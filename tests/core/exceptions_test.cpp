// Messages of the exceptions that carry values, as the error line prints them.
#include <gtest/gtest.h>

#include <sstream>

#include "core/exceptions.hpp"

using namespace ZELK;

TEST(ExceptionMessages, BoundsPrintTheirNumbersInDecimal) {
    EXPECT_EQ(BoundException<unsigned int>(7, 5).message(), "Value (7) out of bound (5). ");
    // Byte-sized values are numbers, not characters.
    EXPECT_EQ(BoundException<unsigned char>(200, 65).message(), "Value (200) out of bound (65). ");
    EXPECT_EQ(BoundException<int>(-3, 0).message(), "Value (-3) out of bound (0). ");
    EXPECT_EQ(BoundException<unsigned long long>(4294967296ull, 4294967295ull).message(),
              "Value (4294967296) out of bound (4294967295). ");
}

TEST(ExceptionMessages, SpaceIsABoundWithItsOwnWording) {
    const SpaceException<unsigned int> space(60, 59);
    EXPECT_EQ(space.message(), "More space requested (60) than what is available (59). ");
    const BoundException<unsigned int>& asBound = space;
    EXPECT_EQ(asBound.value, 60u);
    EXPECT_EQ(asBound.bound, 59u);
    // A copy made to outlive the throw keeps the class and its message.
    EXPECT_EQ(space.clone()->message(), space.message());
    EXPECT_EQ(ExceptionWriter::format(space), "ZELK ZELK::SpaceException<unsigned int>: More space "
                                              "requested (60) than what is available (59). \n");
}

TEST(ExceptionMessages, MatrixDimensionsWriteAnyForTheWildcard) {
    constexpr std::uint32_t any = MatrixDimensionException::Any;
    EXPECT_EQ(MatrixDimensionException(3, 3, any, 1).message(),
              "Got matrix dimension 3x3 while expecting [ANY]x1.");
    EXPECT_EQ(MatrixDimensionException(7, 8, 8, 8).message(),
              "Got matrix dimension 7x8 while expecting 8x8.");
    EXPECT_EQ(MatrixDimensionException(any, 2, 0, 0, "a square matrix").message(),
              "Got matrix dimension [ANY]x2 while expecting a square matrix.");
}
