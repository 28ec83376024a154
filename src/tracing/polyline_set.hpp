// The vector drawing the pipeline builds, refines and exports: shared vertices that merge
// nearby insertions, polylines as lists of vertex indices, and an optional view transformation.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/geometry.hpp"
#include "core/transformation.hpp"
#include "core/tuple.hpp"
#include "tracing/point_grid.hpp"

namespace ZELK {

// A vertex: the sum of the positions merged into it and how many there were.
struct PositionAccumulator {
    Point<2, float> sum;
    std::uint32_t count = 0;

    // sum / count, computed as sum x (1 / count) in single precision.
    Point<2, float> position() const {
        const float inverse = 1.0f / static_cast<float>(count);
        return Point<2, float>(sum.x() * inverse, sum.y() * inverse);
    }
    void add(const Point<2, float>& p) {
        sum += p - Point<2, float>();
        ++count;
    }
};

using Polyline = std::vector<std::uint32_t>;

// The bounding box of a sequence of positions: the first gives the origin and size (0, 0);
// per axis, a later position below the origin moves the origin down and grows the size by the
// difference, any other one makes the size at least (position - origin + 1). No position gives
// origin (0, 0) and size (0, 0).
class BoundingBoxBuilder {
public:
    void add(const Point<2, float>& p);
    const Hyperrectangle<2, float>& box() const { return box_; }

private:
    Hyperrectangle<2, float> box_;
    bool first_ = true;
};

class PolylineSet {
public:
    using TransformationPtr = std::unique_ptr<Transformation<2, float>::Base>;

    explicit PolylineSet(float mergeDistance = 2.0f);
    // Copies vertices and polylines and clones the view transformation.
    PolylineSet(const PolylineSet& other);
    PolylineSet& operator=(const PolylineSet& other);
    PolylineSet(PolylineSet&&) noexcept = default;
    PolylineSet& operator=(PolylineSet&&) noexcept = default;
    ~PolylineSet();

    float mergeDistance() const { return mergeDistance_; }

    // Finds the lowest-numbered vertex whose stored position lies closer than the merge
    // distance to p, adds p to it and returns its index; when there is none, appends a new
    // vertex holding p alone. Non-finite points never merge and are never merged into.
    std::uint32_t insertVertex(const Point<2, float>& p);
    // Inserts a, then b, and appends the polyline of the two indices (they may be equal).
    void addSegment(const Point<2, float>& a, const Point<2, float>& b);

    // Vertices as stored. The writable form is for stages that rewrite vertices directly;
    // insertion notices the change and re-indexes before its next search.
    const std::vector<PositionAccumulator>& vertices() const { return vertices_; }
    std::vector<PositionAccumulator>& vertices();
    std::uint32_t vertexCount() const { return static_cast<std::uint32_t>(vertices_.size()); }
    // The position of vertex i as readers see it: sum / count through the view transformation.
    Point<2, float> position(std::uint32_t i) const;

    const std::vector<Polyline>& polylines() const { return polylines_; }
    std::vector<Polyline>& polylines() { return polylines_; }

    // Bounding box of all vertex positions (through the view transformation) in index order.
    Hyperrectangle<2, float> boundingBox() const;
    // Bounding box of one polyline's vertices in polyline order.
    Hyperrectangle<2, float> boundingBox(const Polyline& polyline) const;

    // Removes back-to-back repeated indices, then polylines of fewer than 2 indices, then the
    // vertices no polyline uses (each replaced by the current last vertex), and renumbers the
    // indices so that every polyline still refers to the same vertex data.
    void cleanUp();
    // When a view transformation is attached: replaces every vertex by its transformed
    // position with count 1 and drops the transformation. Without one nothing changes.
    void bakeTransformation();

    // The view transformation (or null); taking it out leaves the set without one; setting a
    // new one destroys the previous one.
    const Transformation<2, float>::Base* transformation() const { return view_.get(); }
    TransformationPtr takeTransformation() { return std::move(view_); }
    void setTransformation(TransformationPtr transformation) { view_ = std::move(transformation); }

    // Removes every vertex and polyline; keeps the merge distance and the transformation.
    void clear();

private:
    bool gridUsable() const;
    void rebuildGrid();

    float mergeDistance_;
    std::vector<PositionAccumulator> vertices_;
    std::vector<Polyline> polylines_;
    TransformationPtr view_;
    // Vertices by the cell of their stored position, so that insertion compares a point only
    // with the vertices near it; null when stale or when the plain scan serves.
    std::unique_ptr<PointGrid> grid_;
};

} // namespace ZELK
