// Dense matrices: growth by rows, transposed products, the pivoted LU solve and inverses.
#include <gtest/gtest.h>

#include <cmath>

#include "core/matrix.hpp"
#include "core/transformation.hpp"

using namespace ZELK;

namespace {

template <unsigned N>
void expectNear(const MatrixLight<N, N, float>& a, const MatrixLight<N, N, float>& b,
                float tolerance) {
    for (unsigned r = 0; r < N; ++r)
        for (unsigned c = 0; c < N; ++c)
            EXPECT_NEAR(a(r, c), b(r, c), tolerance) << "at " << r << "," << c;
}

} // namespace

TEST(Matrix, GrowsByWholeRows) {
    Matrix<float> a(0, 8);
    EXPECT_EQ(a.rows(), 0u);
    EXPECT_EQ(a.columns(), 8u);
    a.appendRow({1, 2, 3, 4, 5, 6, 7, 8});
    a.appendRow({0, 0, 0, 1, 1, 1, -1, -2});
    EXPECT_EQ(a.rows(), 2u);
    EXPECT_EQ(a(1, 7), -2.0f);
    EXPECT_EQ(a.row(1)[3], 1.0f);

    try {
        a.appendRow({1, 2, 3});
        FAIL() << "a short row was accepted";
    } catch (const MatrixDimensionException& e) {
        EXPECT_EQ(e.message(), "Got matrix dimension 1x3 while expecting 1x8.");
    }
    EXPECT_EQ(a.rows(), 2u);

    const Matrix<float> filled(2, 3, 1.5f);
    EXPECT_EQ(filled(1, 2), 1.5f);
    filled.expectDimensions(2, MatrixDimensionException::Any);
    EXPECT_THROW(filled.expectDimensions(3, 3), MatrixDimensionException);
}

TEST(Matrix, TransposedProducts) {
    Matrix<float> a(0, 2);
    a.appendRow({1, 2});
    a.appendRow({3, 4});
    a.appendRow({5, 6});
    const MatrixSquare<float> ata = transposedProduct(a);
    ASSERT_EQ(ata.rows(), 2u);
    EXPECT_EQ(ata(0, 0), 35.0f);
    EXPECT_EQ(ata(0, 1), 44.0f);
    EXPECT_EQ(ata(1, 0), 44.0f);
    EXPECT_EQ(ata(1, 1), 56.0f);

    Matrix<float> b(0, 1);
    b.appendRow({1});
    b.appendRow({0});
    b.appendRow({2});
    const Matrix<float> atb = transposedProduct(a, b);
    ASSERT_EQ(atb.rows(), 2u);
    ASSERT_EQ(atb.columns(), 1u);
    EXPECT_EQ(atb(0, 0), 11.0f);
    EXPECT_EQ(atb(1, 0), 14.0f);

    try {
        transposedProduct(a, Matrix<float>(2, 1));
        FAIL() << "a right-hand side of the wrong height was accepted";
    } catch (const MatrixDimensionException& e) {
        EXPECT_EQ(e.message(), "Got matrix dimension 2x1 while expecting 3x[ANY].");
    }
}

TEST(Matrix, LUSolveOfAKnownSystem) {
    // A zero in the leading position: only a row exchange lets the elimination start.
    MatrixSquare<float> m(3);
    const float values[3][3] = {{0, 2, 1}, {1, 1, 1}, {2, 1, 3}};
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned c = 0; c < 3; ++c)
            m(r, c) = values[r][c];
    Matrix<float> y(3, 2);
    // Columns: x = (1, 2, 3) and x = (-1, 0, 4).
    const float rhs[3][2] = {{7, 4}, {6, 3}, {13, 10}};
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned c = 0; c < 2; ++c)
            y(r, c) = rhs[r][c];
    const Matrix<float> x = m.solve(y);
    ASSERT_EQ(x.rows(), 3u);
    ASSERT_EQ(x.columns(), 2u);
    EXPECT_NEAR(x(0, 0), 1.0f, 1e-5f);
    EXPECT_NEAR(x(1, 0), 2.0f, 1e-5f);
    EXPECT_NEAR(x(2, 0), 3.0f, 1e-5f);
    EXPECT_NEAR(x(0, 1), -1.0f, 1e-5f);
    EXPECT_NEAR(x(1, 1), 0.0f, 1e-5f);
    EXPECT_NEAR(x(2, 1), 4.0f, 1e-5f);

    // A tiny leading pivot: eliminating with it in single precision loses x0 entirely
    // (it would come out 0), the row exchange keeps it.
    MatrixSquare<float> tiny(2);
    tiny(0, 0) = 1e-8f;
    tiny(0, 1) = 1.0f;
    tiny(1, 0) = 1.0f;
    tiny(1, 1) = 1.0f;
    Matrix<float> b(0, 1);
    b.appendRow({1});
    b.appendRow({2});
    const Matrix<float> t = tiny.solve(b);
    EXPECT_NEAR(t(0, 0), 1.0f, 1e-6f);
    EXPECT_NEAR(t(1, 0), 1.0f, 1e-6f);

    EXPECT_THROW(m.solve(b), MatrixDimensionException);

    const MatrixSquare<float> identity = MatrixSquare<float>::identity(3);
    const Matrix<float> same = identity.solve(y);
    EXPECT_EQ(same(2, 1), 10.0f);
}

TEST(Matrix, SingularSystemsGiveNonFiniteValuesNotErrors) {
    MatrixSquare<float> m(2);
    m(0, 0) = 1;
    m(0, 1) = 2;
    m(1, 0) = 2;
    m(1, 1) = 4;
    Matrix<float> y(2, 1, 1.0f);
    const Matrix<float> x = m.solve(y);
    EXPECT_FALSE(std::isfinite(x(0, 0)) && std::isfinite(x(1, 0)));

    // Too few correspondences for a perspective fit: an all-zero system.
    const MatrixSquare<float> empty = transposedProduct(Matrix<float>(0, 8));
    const Matrix<float> h =
        empty.solve(transposedProduct(Matrix<float>(0, 8), Matrix<float>(0, 1)));
    EXPECT_FALSE(std::isfinite(h(0, 0)));
}

TEST(Matrix, PerspectiveFitFromFourCorrespondences) {
    // Rectified corner (X, Y) and image point (x, y); two equations per pair.
    const float pairs[4][4] = {{0, 0, 10, 10}, {1, 0, 110, 12}, {1, 1, 108, 95}, {0, 1, 12, 90}};
    Matrix<float> a(0, 8);
    Matrix<float> b(0, 1);
    for (const auto& p : pairs) {
        const float X = p[0], Y = p[1], x = p[2], y = p[3];
        a.appendRow({X, Y, 1, 0, 0, 0, -X * x, -Y * x});
        b.appendRow({x});
        a.appendRow({0, 0, 0, X, Y, 1, -X * y, -Y * y});
        b.appendRow({y});
    }
    const MatrixSquare<float> n = transposedProduct(a);
    n.expectDimensions(8, 8);
    const Matrix<float> h = n.solve(transposedProduct(a, b));
    const MatrixSquareLight<3, float> hm{h(0, 0), h(1, 0), h(2, 0), h(3, 0), h(4, 0),
                                         h(5, 0), h(6, 0), h(7, 0), 1.0f};
    const PerspectiveTransformation<2, float> toImage(hm);
    const PerspectiveTransformation<2, float> toRectified(hm.inverse());
    for (const auto& p : pairs) {
        const Point<2, float> image = toImage.apply(Point<2, float>(p[0], p[1]));
        EXPECT_NEAR(image[0], p[2], 0.01f);
        EXPECT_NEAR(image[1], p[3], 0.01f);
        const Point<2, float> rectified = toRectified.apply(Point<2, float>(p[2], p[3]));
        EXPECT_NEAR(rectified[0], p[0], 1e-4f);
        EXPECT_NEAR(rectified[1], p[1], 1e-4f);
    }
}

TEST(Matrix, InverseOfAQuarterTurnNeedsPivoting) {
    const MatrixSquareLight<3, float> turn{0, -1, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(turn.inverse(), (MatrixSquareLight<3, float>{0, 1, 0, -1, 0, 0, 0, 0, 1}));

    // The homography of the exact pairs (0,0)->(5,2), (1,0)->(5,3), (1,1)->(4,3),
    // (0,1)->(4,2): a quarter turn plus a shift.
    const MatrixSquareLight<3, float> h{0, -1, 5, 1, 0, 2, 0, 0, 1};
    const MatrixSquareLight<3, float> inverse = h.inverse();
    EXPECT_EQ(inverse, (MatrixSquareLight<3, float>{0, 1, -2, -1, 0, 5, 0, 0, 1}));
    const PerspectiveTransformation<2, float> back(inverse);
    EXPECT_EQ(back.apply(Point<2, float>(4, 3)), (Point<2, float>(1, 1)));

    const MatrixSquareLight<3, float> general{2, -1, 0.5f, 0.25f, 3, -2, 0.001f, 0.002f, 1};
    expectNear<3>(general * general.inverse(), MatrixSquareLight<3, float>::identity(), 1e-6f);
    expectNear<3>(general.inverse() * general, MatrixSquareLight<3, float>::identity(), 1e-6f);
}

TEST(Matrix, TwoByTwoDeterminantAndCheckedInverse) {
    const MatrixSquareLight<2, float> m{3, 1, 4, 2};
    EXPECT_EQ(m.determinant(), 2.0f);
    EXPECT_EQ(inverseNonSingular(m), (MatrixSquareLight<2, float>{1, -0.5f, -2, 1.5f}));
    const Vector<2, float> v = m * Vector<2, float>(1, 1);
    EXPECT_EQ(v, (Vector<2, float>(4, 6)));

    EXPECT_THROW(inverseNonSingular(MatrixSquareLight<2, float>{1, 2, 2, 4}),
                 MatrixSingularException);
    EXPECT_THROW(inverseNonSingular(MatrixSquareLight<2, float>{1e-4f, 0, 0, 1e-4f}),
                 MatrixSingularException);
    EXPECT_NO_THROW(inverseNonSingular(MatrixSquareLight<2, float>{1e-3f, 0, 0, 1e-3f}));
    EXPECT_EQ(MatrixSingularException().message(), "Non-singular matrix. ");
}
