// Shapes built on points and vectors: the axis-aligned box (drawing areas, bounding boxes)
// and the hyperplane (a line in the plane), with the intersection of two lines.
#pragma once

#include "core/streams.hpp"
#include "core/tuple.hpp"

namespace ZELK {

// Axis-aligned box: origin and extent per axis (width = size[0], height = size[1]).
template <unsigned N, typename T> struct Hyperrectangle {
    Point<N, T> origin;
    Tuple<N, T> size;

    constexpr Hyperrectangle() = default;
    constexpr Hyperrectangle(const Point<N, T>& origin, const Tuple<N, T>& size)
        : origin(origin), size(size) {}

    constexpr T width() const { return size[0]; }
    constexpr T height() const requires(N >= 2) { return size[1]; }

    // Visits the origin, then the size.
    void serialize(Serialization& visitor) {
        origin.serialize(visitor);
        size.serialize(visitor);
    }

    friend constexpr bool operator==(const Hyperrectangle&, const Hyperrectangle&) = default;
};

// The points p with normal . p = offset; for N = 2 a line. With a unit normal,
// signedDistance() is the distance of a point from the line, positive on the normal's side.
template <unsigned N, typename T> struct Hyperplane {
    Vector<N, T> normal;
    T offset = T(0);

    constexpr Hyperplane() = default;
    constexpr Hyperplane(const Vector<N, T>& normal, T offset) : normal(normal), offset(offset) {}

    template <typename S>
    constexpr T signedDistance(const Coordinates<TupleKind::Point, N, T, S>& p) const {
        return static_cast<T>(dot(normal, p) - offset);
    }

    // Visits the normal, then the offset.
    void serialize(Serialization& visitor) {
        normal.serialize(visitor);
        visitor.visit(offset);
    }

    friend constexpr bool operator==(const Hyperplane&, const Hyperplane&) = default;
};

// Intersection of two lines. Returns false, leaving result alone, when the lines are parallel
// (the determinant of their normals is below single-precision epsilon in magnitude);
// otherwise true with the common point in result.
bool intersect(const Hyperplane<2, float>& a, const Hyperplane<2, float>& b,
               Point<2, float>& result);

} // namespace ZELK
