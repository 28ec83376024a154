// Small dense row-major matrices for the few linear systems of the program: the normal
// equations of the perspective fit, 3 x 3 inversions and 2 x 2 line intersections.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <utility>
#include <vector>

#include "core/exceptions.hpp"
#include "core/tuple.hpp"

namespace ZELK {

// Single-precision machine epsilon: below it a 2 x 2 determinant counts as zero.
inline constexpr float matrixSingularEpsilon = 1.1920929e-07f;

// Dense matrix of any size, stored row by row.
template <typename T> class MatrixBase {
public:
    std::uint32_t rows() const { return rows_; }
    std::uint32_t columns() const { return columns_; }

    const T& operator()(std::uint32_t row, std::uint32_t column) const {
        return values_[std::size_t(row) * columns_ + column];
    }
    T& operator()(std::uint32_t row, std::uint32_t column) {
        return values_[std::size_t(row) * columns_ + column];
    }
    const T* row(std::uint32_t r) const { return values_.data() + std::size_t(r) * columns_; }
    T* row(std::uint32_t r) { return values_.data() + std::size_t(r) * columns_; }
    const T* data() const { return values_.data(); }

    // Raises MatrixDimensionException unless the matrix has the given size;
    // MatrixDimensionException::Any matches every count.
    void expectDimensions(std::uint32_t rows, std::uint32_t columns) const;

protected:
    MatrixBase() = default;
    MatrixBase(std::uint32_t rows, std::uint32_t columns, T fill);

    std::uint32_t rows_ = 0;
    std::uint32_t columns_ = 0;
    std::vector<T> values_;
};

template <typename T> class MatrixSquare;

// Matrix of any size that can grow by whole rows; 0 rows and n columns is a valid empty
// system to which equations are appended.
template <typename T> class Matrix : public MatrixBase<T> {
public:
    Matrix() = default;
    Matrix(std::uint32_t rows, std::uint32_t columns, T fill = T(0))
        : MatrixBase<T>(rows, columns, fill) {}

    // Appends one row of exactly columns() values; another length raises
    // MatrixDimensionException (found 1 x length, expected 1 x columns).
    void appendRow(std::span<const T> values);
    void appendRow(std::initializer_list<T> values) {
        appendRow(std::span<const T>(values.begin(), values.size()));
    }
};

// Square matrix of any size, with the linear solve by LU decomposition.
template <typename T> class MatrixSquare : public MatrixBase<T> {
public:
    MatrixSquare() = default;
    explicit MatrixSquare(std::uint32_t size, T fill = T(0)) : MatrixBase<T>(size, size, fill) {}
    static MatrixSquare identity(std::uint32_t size);

    // Solves M x = y for every column of y by LU decomposition with row pivoting (the largest
    // magnitude in the column, the first on ties) and forward and back substitution. No
    // pivot is tested against zero: a singular M gives non-finite values, not an error.
    // y must have rows() rows (else MatrixDimensionException); the result has y's size.
    Matrix<T> solve(const MatrixBase<T>& y) const;
};

// A^T A: the columns x columns matrix whose entry (i, j) is the dot product of columns i and j.
template <typename T> MatrixSquare<T> transposedProduct(const MatrixBase<T>& a);
// A^T b: entry (i, j) is the dot product of column i of A and column j of b. b must have as
// many rows as A (else MatrixDimensionException).
template <typename T> Matrix<T> transposedProduct(const MatrixBase<T>& a, const MatrixBase<T>& b);

extern template class MatrixBase<float>;
extern template class Matrix<float>;
extern template class MatrixSquare<float>;
extern template MatrixSquare<float> transposedProduct(const MatrixBase<float>&);
extern template Matrix<float> transposedProduct(const MatrixBase<float>&, const MatrixBase<float>&);

// Fixed-size matrix with inline storage, for the 2 x 2 to 4 x 4 work inside transformations.
template <unsigned R, unsigned C, typename T> class MatrixLight {
public:
    static constexpr unsigned rows = R;
    static constexpr unsigned columns = C;

    constexpr MatrixLight() = default;
    // Values row by row; missing trailing values stay 0.
    constexpr MatrixLight(std::initializer_list<T> values) {
        unsigned i = 0;
        for (T v : values)
            if (i < R * C)
                values_[i++] = v;
    }

    constexpr const T& operator()(unsigned row, unsigned column) const {
        return values_[row * C + column];
    }
    constexpr T& operator()(unsigned row, unsigned column) { return values_[row * C + column]; }
    constexpr const T* data() const { return values_.data(); }

    friend constexpr bool operator==(const MatrixLight&, const MatrixLight&) = default;

protected:
    std::array<T, R * C> values_{};
};

template <unsigned R, unsigned K, unsigned C, typename T>
constexpr MatrixLight<R, C, T> operator*(const MatrixLight<R, K, T>& a,
                                         const MatrixLight<K, C, T>& b) {
    MatrixLight<R, C, T> result;
    for (unsigned r = 0; r < R; ++r)
        for (unsigned c = 0; c < C; ++c) {
            T sum = a(r, 0) * b(0, c);
            for (unsigned k = 1; k < K; ++k)
                sum += a(r, k) * b(k, c);
            result(r, c) = sum;
        }
    return result;
}

template <unsigned N, typename T> class MatrixSquareLight : public MatrixLight<N, N, T> {
public:
    using MatrixLight<N, N, T>::MatrixLight;
    constexpr MatrixSquareLight() = default;
    constexpr MatrixSquareLight(const MatrixLight<N, N, T>& m) : MatrixLight<N, N, T>(m) {}

    static constexpr MatrixSquareLight identity() {
        MatrixSquareLight m;
        for (unsigned i = 0; i < N; ++i)
            m(i, i) = T(1);
        return m;
    }

    constexpr T determinant() const requires(N == 2) {
        const auto& m = *this;
        return m(0, 0) * m(1, 1) - m(0, 1) * m(1, 0);
    }

    // Inverse by Gauss-Jordan elimination starting from the identity, with partial pivoting
    // (the row of largest magnitude in the column, the first on ties): matrices with a zero on
    // the diagonal, such as a quarter turn, invert exactly. A singular matrix is not detected
    // and gives non-finite values.
    MatrixSquareLight inverse() const;
};

template <unsigned N, typename T> MatrixSquareLight<N, T> MatrixSquareLight<N, T>::inverse() const {
    MatrixSquareLight a = *this;
    MatrixSquareLight inv = identity();
    for (unsigned k = 0; k < N; ++k) {
        unsigned pivot = k;
        for (unsigned r = k + 1; r < N; ++r)
            if (std::fabs(a(r, k)) > std::fabs(a(pivot, k)))
                pivot = r;
        if (pivot != k)
            for (unsigned c = 0; c < N; ++c) {
                std::swap(a(k, c), a(pivot, c));
                std::swap(inv(k, c), inv(pivot, c));
            }
        const T scale = T(1) / a(k, k);
        for (unsigned c = 0; c < N; ++c) {
            a(k, c) *= scale;
            inv(k, c) *= scale;
        }
        for (unsigned r = 0; r < N; ++r) {
            if (r == k)
                continue;
            const T factor = a(r, k);
            for (unsigned c = 0; c < N; ++c) {
                a(r, c) -= factor * a(k, c);
                inv(r, c) -= factor * inv(k, c);
            }
        }
    }
    return inv;
}

// Inverse of a 2 x 2 matrix; raises MatrixSingularException when the determinant's magnitude
// is below single-precision epsilon (or is not a number).
MatrixSquareLight<2, float> inverseNonSingular(const MatrixSquareLight<2, float>& m);

// M (x, y, ...) for a column vector.
template <unsigned N, typename T, typename S>
constexpr Vector<N, T> operator*(const MatrixSquareLight<N, T>& m,
                                 const Coordinates<TupleKind::Vector, N, T, S>& v) {
    Vector<N, T> result;
    for (unsigned r = 0; r < N; ++r) {
        T sum = m(r, 0) * v[0];
        for (unsigned c = 1; c < N; ++c)
            sum += m(r, c) * v[c];
        result[r] = sum;
    }
    return result;
}

} // namespace ZELK
