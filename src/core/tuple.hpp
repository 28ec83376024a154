// Small fixed-size numeric values: plain tuples (sizes, indices), points (positions) and
// vectors (displacements), each as an owning value or as a view on numbers stored elsewhere.
#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "core/streams.hpp"

namespace ZELK {

// Converts one component to another component type. Integers convert as the language does;
// floating point to integer truncates toward zero, with NaN giving 0 and values beyond the
// target's range clamped to it, so that non-finite geometry can never cause undefined
// behaviour when it is turned into pixel coordinates.
template <typename To, typename From> constexpr To convertComponent(From value) {
    if constexpr (std::is_floating_point_v<From> && std::is_integral_v<To>) {
        if (value != value)
            return To(0);
        // Both bounds are exact in float and double for every integer type used here
        // (powers of two or their negatives).
        constexpr From lowest = static_cast<From>(std::numeric_limits<To>::min());
        constexpr From beyond = static_cast<From>(std::numeric_limits<To>::max() / 2 + 1) * 2;
        if (value <= lowest)
            return std::numeric_limits<To>::min();
        if (value >= beyond)
            return std::numeric_limits<To>::max();
        return static_cast<To>(value);
    } else {
        return static_cast<To>(value);
    }
}

// Where the N components live: inline in the object (owning), or behind a pointer to
// writable or read-only numbers owned elsewhere (views).
namespace TupleStorage {
template <unsigned N, typename T> struct Inline {
    static constexpr bool owning = true;
    static constexpr bool writable = true;
    T values[N] = {};
    constexpr T* data() { return values; }
    constexpr const T* data() const { return values; }
};
// Copying a view copies the binding; assigning one view to another writes the numbers
// through it, since a view stays bound to the numbers it was made for.
template <unsigned N, typename T> struct Borrow {
    static constexpr bool owning = false;
    static constexpr bool writable = true;
    T* values;
    constexpr explicit Borrow(T* values) : values(values) {}
    constexpr Borrow(const Borrow&) = default;
    constexpr Borrow& operator=(const Borrow& other) {
        T copy[N]; // the two views may overlap
        for (unsigned i = 0; i < N; ++i)
            copy[i] = other.values[i];
        for (unsigned i = 0; i < N; ++i)
            values[i] = copy[i];
        return *this;
    }
    constexpr T* data() const { return values; }
};
template <unsigned N, typename T> struct ConstBorrow {
    static constexpr bool owning = false;
    static constexpr bool writable = false;
    const T* values;
    constexpr explicit ConstBorrow(const T* values) : values(values) {}
    constexpr ConstBorrow(const ConstBorrow&) = default;
    ConstBorrow& operator=(const ConstBorrow&) = delete;
    constexpr const T* data() const { return values; }
};
} // namespace TupleStorage

// The kind says what a value means, so that the type system keeps positions and
// displacements apart: point - point is a vector, point + vector a point.
enum class TupleKind { Tuple, Point, Vector };

// N components of type T of one kind, held by storage S. The aliases below (Tuple, Point,
// Vector and their Borrow and ConstBorrow views) are the names to use.
template <TupleKind K, unsigned N, typename T, typename S> class Coordinates {
    static_assert(N > 0, "a tuple has at least one component");

public:
    static constexpr TupleKind kind = K;
    static constexpr unsigned dimension = N;
    using Component = T;
    using Storage = S;

    // Owning forms: all components 0, or the N given values.
    constexpr Coordinates() requires S::owning = default;
    template <typename... A>
    requires S::owning &&(sizeof...(A) == N) &&
        (std::convertible_to<A, T> && ...) constexpr explicit(N == 1) Coordinates(A... values)
        : storage_{{convertComponent<T>(values)...}} {}

    // Owning forms from any tuple of the same dimension: component-wise conversion (float
    // to integer truncates toward zero). Implicit only for the same kind and type.
    template <TupleKind K2, typename T2, typename S2>
    requires S::owning constexpr explicit(K2 != K || !std::is_same_v<T, T2>)
        Coordinates(const Coordinates<K2, N, T2, S2>& other) {
        for (unsigned i = 0; i < N; ++i)
            storage_.values[i] = convertComponent<T>(other[i]);
    }

    // Views: bound once, to N numbers at the given address.
    constexpr explicit Coordinates(T* values) requires(!S::owning && S::writable)
        : storage_{values} {}
    constexpr explicit Coordinates(const T* values) requires(!S::owning && !S::writable)
        : storage_{values} {}
    // A writable view of an owning value of the same kind. (A template, so that it never
    // counts as a copy constructor of the owning form, which stays trivially copyable.)
    template <typename S2>
    requires(!S::owning && S::writable &&
             S2::owning) constexpr Coordinates(Coordinates<K, N, T, S2>& owner)
        : storage_{owner.data()} {}
    // A read-only view of any value of the same kind.
    template <typename S2>
    requires(!S::owning &&
             !S::writable) constexpr Coordinates(const Coordinates<K, N, T, S2>& other)
        : storage_{other.data()} {}

    // Copy and assignment follow the storage: owning values copy their numbers, views copy
    // their binding and write through on assignment. Assigning from another storage of the
    // same kind writes the numbers.
    template <typename S2>
    requires S::writable constexpr Coordinates& operator=(const Coordinates<K, N, T, S2>& other) {
        T copy[N]; // the two may overlap
        for (unsigned i = 0; i < N; ++i)
            copy[i] = other[i];
        for (unsigned i = 0; i < N; ++i)
            storage_.data()[i] = copy[i];
        return *this;
    }

    constexpr auto data() const { return storage_.data(); }
    constexpr T* data() requires S::writable { return storage_.data(); }

    constexpr const T& operator[](unsigned i) const { return storage_.data()[i]; }
    constexpr T& operator[](unsigned i) requires S::writable { return storage_.data()[i]; }

    constexpr const T& x() const { return (*this)[0]; }
    constexpr const T& y() const requires(N >= 2) { return (*this)[1]; }
    constexpr const T& z() const requires(N >= 3) { return (*this)[2]; }
    constexpr T& x() requires S::writable { return (*this)[0]; }
    constexpr T& y() requires(S::writable&& N >= 2) { return (*this)[1]; }
    constexpr T& z() requires(S::writable&& N >= 3) { return (*this)[2]; }

    // Read-only view of L components starting at O; L = 0 takes the rest.
    template <unsigned O, unsigned L = 0> constexpr auto slice() const {
        constexpr unsigned length = L == 0 ? N - O : L;
        static_assert(O + length <= N && length > 0, "slice outside the tuple");
        return Coordinates<K, length, T, TupleStorage::ConstBorrow<length, T>>(data() + O);
    }

    // Visits the N components in order with the visitor's operation for T.
    void serialize(Serialization& visitor) requires S::writable {
        for (unsigned i = 0; i < N; ++i)
            visitor.visit(storage_.data()[i]);
    }

private:
    S storage_;
};

template <unsigned N, typename T>
using Tuple = Coordinates<TupleKind::Tuple, N, T, TupleStorage::Inline<N, T>>;
template <unsigned N, typename T>
using TupleConstBorrow = Coordinates<TupleKind::Tuple, N, T, TupleStorage::ConstBorrow<N, T>>;
template <unsigned N, typename T>
using Point = Coordinates<TupleKind::Point, N, T, TupleStorage::Inline<N, T>>;
template <unsigned N, typename T>
using PointBorrow = Coordinates<TupleKind::Point, N, T, TupleStorage::Borrow<N, T>>;
template <unsigned N, typename T>
using PointConstBorrow = Coordinates<TupleKind::Point, N, T, TupleStorage::ConstBorrow<N, T>>;
template <unsigned N, typename T>
using Vector = Coordinates<TupleKind::Vector, N, T, TupleStorage::Inline<N, T>>;
template <unsigned N, typename T>
using VectorBorrow = Coordinates<TupleKind::Vector, N, T, TupleStorage::Borrow<N, T>>;
template <unsigned N, typename T>
using VectorConstBorrow = Coordinates<TupleKind::Vector, N, T, TupleStorage::ConstBorrow<N, T>>;

// Component-wise equality of two values of the same kind, whatever holds their numbers.
template <TupleKind K, unsigned N, typename T, typename S1, typename S2>
constexpr bool operator==(const Coordinates<K, N, T, S1>& a, const Coordinates<K, N, T, S2>& b) {
    for (unsigned i = 0; i < N; ++i)
        if (!(a[i] == b[i]))
            return false;
    return true;
}

// The arithmetic works component by component in T's own arithmetic (small integer types
// wrap as T does). Results are always owning values.
namespace TupleDetail {
template <typename T> using Scalar = std::type_identity_t<T>;
template <TupleKind R, unsigned N, typename T, typename A, typename B, typename Op>
constexpr Coordinates<R, N, T, TupleStorage::Inline<N, T>> combine(const A& a, const B& b, Op op) {
    Coordinates<R, N, T, TupleStorage::Inline<N, T>> result;
    for (unsigned i = 0; i < N; ++i)
        result[i] = static_cast<T>(op(a[i], b[i]));
    return result;
}
} // namespace TupleDetail

template <unsigned N, typename T, typename S1, typename S2>
constexpr Vector<N, T> operator-(const Coordinates<TupleKind::Point, N, T, S1>& a,
                                 const Coordinates<TupleKind::Point, N, T, S2>& b) {
    return TupleDetail::combine<TupleKind::Vector, N, T>(a, b, [](T u, T v) { return u - v; });
}
template <unsigned N, typename T, typename S1, typename S2>
constexpr Point<N, T> operator+(const Coordinates<TupleKind::Point, N, T, S1>& p,
                                const Coordinates<TupleKind::Vector, N, T, S2>& v) {
    return TupleDetail::combine<TupleKind::Point, N, T>(p, v, [](T u, T w) { return u + w; });
}
template <unsigned N, typename T, typename S1, typename S2>
constexpr Point<N, T> operator-(const Coordinates<TupleKind::Point, N, T, S1>& p,
                                const Coordinates<TupleKind::Vector, N, T, S2>& v) {
    return TupleDetail::combine<TupleKind::Point, N, T>(p, v, [](T u, T w) { return u - w; });
}
template <unsigned N, typename T, typename S1, typename S2>
constexpr Vector<N, T> operator+(const Coordinates<TupleKind::Vector, N, T, S1>& a,
                                 const Coordinates<TupleKind::Vector, N, T, S2>& b) {
    return TupleDetail::combine<TupleKind::Vector, N, T>(a, b, [](T u, T v) { return u + v; });
}
template <unsigned N, typename T, typename S1, typename S2>
constexpr Vector<N, T> operator-(const Coordinates<TupleKind::Vector, N, T, S1>& a,
                                 const Coordinates<TupleKind::Vector, N, T, S2>& b) {
    return TupleDetail::combine<TupleKind::Vector, N, T>(a, b, [](T u, T v) { return u - v; });
}
template <unsigned N, typename T, typename S>
constexpr Vector<N, T> operator-(const Coordinates<TupleKind::Vector, N, T, S>& v) {
    Vector<N, T> result;
    for (unsigned i = 0; i < N; ++i)
        result[i] = static_cast<T>(-v[i]);
    return result;
}
template <unsigned N, typename T, typename S>
constexpr Vector<N, T> operator*(const Coordinates<TupleKind::Vector, N, T, S>& v,
                                 TupleDetail::Scalar<T> s) {
    Vector<N, T> result;
    for (unsigned i = 0; i < N; ++i)
        result[i] = static_cast<T>(v[i] * s);
    return result;
}
template <unsigned N, typename T, typename S>
constexpr Vector<N, T> operator*(TupleDetail::Scalar<T> s,
                                 const Coordinates<TupleKind::Vector, N, T, S>& v) {
    return v * s;
}
template <unsigned N, typename T, typename S>
constexpr Vector<N, T> operator/(const Coordinates<TupleKind::Vector, N, T, S>& v,
                                 TupleDetail::Scalar<T> s) {
    Vector<N, T> result;
    for (unsigned i = 0; i < N; ++i)
        result[i] = static_cast<T>(v[i] / s);
    return result;
}

template <TupleKind K, unsigned N, typename T, typename S1, typename S2>
requires(S1::writable&& K != TupleKind::Tuple) constexpr Coordinates<K, N, T, S1>&
operator+=(Coordinates<K, N, T, S1>& a, const Coordinates<TupleKind::Vector, N, T, S2>& v) {
    for (unsigned i = 0; i < N; ++i)
        a[i] = static_cast<T>(a[i] + v[i]);
    return a;
}
template <TupleKind K, unsigned N, typename T, typename S1, typename S2>
requires(S1::writable&& K != TupleKind::Tuple) constexpr Coordinates<K, N, T, S1>&
operator-=(Coordinates<K, N, T, S1>& a, const Coordinates<TupleKind::Vector, N, T, S2>& v) {
    for (unsigned i = 0; i < N; ++i)
        a[i] = static_cast<T>(a[i] - v[i]);
    return a;
}
template <unsigned N, typename T, typename S>
requires S::writable constexpr Coordinates<TupleKind::Vector, N, T, S>&
operator*=(Coordinates<TupleKind::Vector, N, T, S>& v, TupleDetail::Scalar<T> s) {
    for (unsigned i = 0; i < N; ++i)
        v[i] = static_cast<T>(v[i] * s);
    return v;
}
template <unsigned N, typename T, typename S>
requires S::writable constexpr Coordinates<TupleKind::Vector, N, T, S>&
operator/=(Coordinates<TupleKind::Vector, N, T, S>& v, TupleDetail::Scalar<T> s) {
    for (unsigned i = 0; i < N; ++i)
        v[i] = static_cast<T>(v[i] / s);
    return v;
}

// Sum of the component products, in index order, in T. Works across kinds, since the
// pipeline takes products of normals with points (n . p = c).
template <TupleKind K1, TupleKind K2, unsigned N, typename T, typename S1, typename S2>
constexpr T dot(const Coordinates<K1, N, T, S1>& a, const Coordinates<K2, N, T, S2>& b) {
    T sum = static_cast<T>(a[0] * b[0]);
    for (unsigned i = 1; i < N; ++i)
        sum = static_cast<T>(sum + a[i] * b[i]);
    return sum;
}

// z component of the 3-D cross product of two plane vectors: a.x * b.y - a.y * b.x.
template <typename T, typename S1, typename S2>
constexpr T cross(const Coordinates<TupleKind::Vector, 2, T, S1>& a,
                  const Coordinates<TupleKind::Vector, 2, T, S2>& b) {
    return static_cast<T>(a[0] * b[1] - a[1] * b[0]);
}

template <unsigned N, typename T, typename S>
constexpr T squaredLength(const Coordinates<TupleKind::Vector, N, T, S>& v) {
    return dot(v, v);
}

// Euclidean length: the sum of squares is formed in T, its square root taken in double.
template <unsigned N, typename T, typename S>
requires std::is_floating_point_v<T> T length(const Coordinates<TupleKind::Vector, N, T, S>& v) {
    return static_cast<T>(std::sqrt(static_cast<double>(squaredLength(v))));
}

template <unsigned N, typename T, typename S1, typename S2>
constexpr T squaredDistance(const Coordinates<TupleKind::Point, N, T, S1>& a,
                            const Coordinates<TupleKind::Point, N, T, S2>& b) {
    return squaredLength(a - b);
}

// Euclidean distance between two positions: square root (in double) of the sum of squared
// component differences (in T).
template <unsigned N, typename T, typename S1, typename S2>
requires std::is_floating_point_v<T> T distance(const Coordinates<TupleKind::Point, N, T, S1>& a,
                                                const Coordinates<TupleKind::Point, N, T, S2>& b) {
    return length(a - b);
}

} // namespace ZELK
