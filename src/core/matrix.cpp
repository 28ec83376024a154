// Dense matrices: construction, growth by rows, transposed products, the LU solve and the
// checked 2 x 2 inverse.
#include "core/matrix.hpp"

#include <algorithm>
#include <cmath>

#include "core/checked.hpp"

namespace ZELK {

template <typename T>
MatrixBase<T>::MatrixBase(std::uint32_t rows, std::uint32_t columns, T fill)
    : rows_(rows), columns_(columns), values_(checkedMul(rows, columns), fill) {}

template <typename T>
void MatrixBase<T>::expectDimensions(std::uint32_t rows, std::uint32_t columns) const {
    const bool rowsMatch = rows == MatrixDimensionException::Any || rows == rows_;
    const bool columnsMatch = columns == MatrixDimensionException::Any || columns == columns_;
    if (!rowsMatch || !columnsMatch)
        throw MatrixDimensionException(rows_, columns_, rows, columns);
}

template <typename T> void Matrix<T>::appendRow(std::span<const T> values) {
    if (values.size() != this->columns_)
        throw MatrixDimensionException(1, static_cast<std::uint32_t>(values.size()), 1,
                                       this->columns_);
    checkedU32(checkedAdd(this->rows_, 1));
    this->values_.insert(this->values_.end(), values.begin(), values.end());
    ++this->rows_;
}

template <typename T> MatrixSquare<T> MatrixSquare<T>::identity(std::uint32_t size) {
    MatrixSquare m(size);
    for (std::uint32_t i = 0; i < size; ++i)
        m(i, i) = T(1);
    return m;
}

template <typename T> Matrix<T> MatrixSquare<T>::solve(const MatrixBase<T>& y) const {
    const std::uint32_t n = this->rows_;
    y.expectDimensions(n, MatrixDimensionException::Any);

    // In-place LU decomposition: below the diagonal the multipliers of L (unit diagonal
    // implied), on and above it U. order[i] is the original row now at position i.
    MatrixSquare lu = *this;
    std::vector<std::uint32_t> order(n);
    for (std::uint32_t i = 0; i < n; ++i)
        order[i] = i;
    for (std::uint32_t k = 0; k < n; ++k) {
        std::uint32_t pivot = k;
        for (std::uint32_t r = k + 1; r < n; ++r)
            if (std::fabs(lu(r, k)) > std::fabs(lu(pivot, k)))
                pivot = r;
        if (pivot != k) {
            std::swap_ranges(lu.row(k), lu.row(k) + n, lu.row(pivot));
            std::swap(order[k], order[pivot]);
        }
        for (std::uint32_t r = k + 1; r < n; ++r) {
            const T factor = lu(r, k) / lu(k, k);
            lu(r, k) = factor;
            for (std::uint32_t c = k + 1; c < n; ++c)
                lu(r, c) -= factor * lu(k, c);
        }
    }

    Matrix<T> x(n, y.columns());
    for (std::uint32_t column = 0; column < y.columns(); ++column) {
        for (std::uint32_t i = 0; i < n; ++i) {
            T sum = y(order[i], column);
            for (std::uint32_t j = 0; j < i; ++j)
                sum -= lu(i, j) * x(j, column);
            x(i, column) = sum;
        }
        for (std::uint32_t i = n; i-- > 0;) {
            T sum = x(i, column);
            for (std::uint32_t j = i + 1; j < n; ++j)
                sum -= lu(i, j) * x(j, column);
            x(i, column) = sum / lu(i, i);
        }
    }
    return x;
}

template <typename T> MatrixSquare<T> transposedProduct(const MatrixBase<T>& a) {
    const std::uint32_t n = a.columns();
    MatrixSquare<T> result(n);
    for (std::uint32_t i = 0; i < n; ++i)
        for (std::uint32_t j = 0; j < n; ++j) {
            T sum = T(0);
            for (std::uint32_t r = 0; r < a.rows(); ++r)
                sum += a(r, i) * a(r, j);
            result(i, j) = sum;
        }
    return result;
}

template <typename T> Matrix<T> transposedProduct(const MatrixBase<T>& a, const MatrixBase<T>& b) {
    b.expectDimensions(a.rows(), MatrixDimensionException::Any);
    Matrix<T> result(a.columns(), b.columns());
    for (std::uint32_t i = 0; i < a.columns(); ++i)
        for (std::uint32_t j = 0; j < b.columns(); ++j) {
            T sum = T(0);
            for (std::uint32_t r = 0; r < a.rows(); ++r)
                sum += a(r, i) * b(r, j);
            result(i, j) = sum;
        }
    return result;
}

template class MatrixBase<float>;
template class Matrix<float>;
template class MatrixSquare<float>;
template MatrixSquare<float> transposedProduct(const MatrixBase<float>&);
template Matrix<float> transposedProduct(const MatrixBase<float>&, const MatrixBase<float>&);

MatrixSquareLight<2, float> inverseNonSingular(const MatrixSquareLight<2, float>& m) {
    const float det = m.determinant();
    if (!(std::fabs(det) >= matrixSingularEpsilon))
        throw MatrixSingularException();
    const float f = 1.0f / det;
    return MatrixSquareLight<2, float>{m(1, 1) * f, -m(0, 1) * f, -m(1, 0) * f, m(0, 0) * f};
}

} // namespace ZELK
