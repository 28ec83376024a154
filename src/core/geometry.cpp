// Intersection of two lines given as hyperplanes.
#include "core/geometry.hpp"

#include "core/matrix.hpp"

namespace ZELK {

bool intersect(const Hyperplane<2, float>& a, const Hyperplane<2, float>& b,
               Point<2, float>& result) {
    // The common point solves [a.normal; b.normal] p = (a.offset, b.offset); parallel lines
    // make that system singular, which is the ordinary "no intersection" answer here.
    const MatrixSquareLight<2, float> normals{a.normal[0], a.normal[1], b.normal[0], b.normal[1]};
    MatrixSquareLight<2, float> inverse;
    try {
        inverse = inverseNonSingular(normals);
    } catch (const MatrixSingularException&) {
        return false;
    }
    const Vector<2, float> p = inverse * Vector<2, float>(a.offset, b.offset);
    result = Point<2, float>(p[0], p[1]);
    return true;
}

} // namespace ZELK
