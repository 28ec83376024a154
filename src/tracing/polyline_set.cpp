#include "tracing/polyline_set.hpp"

#include <algorithm>
#include <cmath>

namespace ZELK {

namespace {

// Search radius that safely covers every vertex the distance test can accept: rounding in the
// single-precision distance is far below this relative slack.
double searchRadius(float mergeDistance) {
    return double(mergeDistance) * 1.001 + 1e-6;
}

// Beyond this merge distance the grid would need a huge number of cells per search, and a
// drawing's few vertices are cheaper to scan one by one.
constexpr float largestGridMergeDistance = 1.0e6f;

} // namespace

void BoundingBoxBuilder::add(const Point<2, float>& p) {
    if (first_) {
        box_ = Hyperrectangle<2, float>(p, Tuple<2, float>(0.0f, 0.0f));
        first_ = false;
        return;
    }
    for (unsigned axis = 0; axis < 2; ++axis) {
        float& origin = box_.origin[axis];
        float& size = box_.size[axis];
        if (origin > p[axis]) {
            size += origin - p[axis];
            origin = p[axis];
        } else {
            size = std::max(size, p[axis] - origin + 1.0f);
        }
    }
}

PolylineSet::PolylineSet(float mergeDistance) : mergeDistance_(mergeDistance) {}

PolylineSet::PolylineSet(const PolylineSet& other)
    : mergeDistance_(other.mergeDistance_), vertices_(other.vertices_),
      polylines_(other.polylines_), view_(other.view_ ? other.view_->clone() : nullptr) {}

PolylineSet& PolylineSet::operator=(const PolylineSet& other) {
    if (this != &other) {
        PolylineSet copy(other);
        *this = std::move(copy);
    }
    return *this;
}

PolylineSet::~PolylineSet() = default;

std::vector<PositionAccumulator>& PolylineSet::vertices() {
    grid_.reset();
    return vertices_;
}

bool PolylineSet::gridUsable() const {
    return std::isfinite(mergeDistance_) && mergeDistance_ > 0.0f &&
           mergeDistance_ <= largestGridMergeDistance;
}

void PolylineSet::rebuildGrid() {
    grid_ = std::make_unique<PointGrid>(std::max(searchRadius(mergeDistance_), 1.0 / 1024));
    for (std::uint32_t v = 0; v < vertices_.size(); ++v)
        grid_->insert(v, vertices_[v].position());
}

std::uint32_t PolylineSet::insertVertex(const Point<2, float>& p) {
    constexpr std::uint32_t none = 0xFFFFFFFFu;
    std::uint32_t best = none;
    if (gridUsable()) {
        if (!grid_)
            rebuildGrid();
        grid_->forNear(p, searchRadius(mergeDistance_), [&](std::uint32_t v) {
            if (v < best && distance(vertices_[v].position(), p) < mergeDistance_)
                best = v;
        });
    } else {
        // A merge distance of 0, below 0 or NaN accepts nothing; a huge or infinite one is
        // served by the plain scan in index order.
        for (std::uint32_t v = 0; v < vertices_.size() && best == none; ++v)
            if (distance(vertices_[v].position(), p) < mergeDistance_)
                best = v;
    }

    if (best == none) {
        if (vertices_.size() >= none)
            throw BoundException<unsigned int>(none, none - 1);
        best = static_cast<std::uint32_t>(vertices_.size());
        vertices_.push_back(PositionAccumulator{p, 1});
        if (grid_)
            grid_->insert(best, p);
        return best;
    }
    PositionAccumulator& vertex = vertices_[best];
    const Point<2, float> before = vertex.position();
    vertex.add(p);
    if (grid_)
        grid_->move(best, before, vertex.position());
    return best;
}

void PolylineSet::addSegment(const Point<2, float>& a, const Point<2, float>& b) {
    const std::uint32_t first = insertVertex(a);
    const std::uint32_t second = insertVertex(b);
    polylines_.push_back(Polyline{first, second});
}

Point<2, float> PolylineSet::position(std::uint32_t i) const {
    const Point<2, float> stored = vertices_[i].position();
    return view_ ? view_->apply(stored) : stored;
}

Hyperrectangle<2, float> PolylineSet::boundingBox() const {
    BoundingBoxBuilder builder;
    for (std::uint32_t v = 0; v < vertices_.size(); ++v)
        builder.add(position(v));
    return builder.box();
}

Hyperrectangle<2, float> PolylineSet::boundingBox(const Polyline& polyline) const {
    BoundingBoxBuilder builder;
    for (std::uint32_t v : polyline) {
        if (v >= vertices_.size())
            throw BoundException<unsigned int>(v, vertexCount());
        builder.add(position(v));
    }
    return builder.box();
}

void PolylineSet::cleanUp() {
    // Back-to-back repeats go, then polylines too short to draw anything.
    for (Polyline& polyline : polylines_)
        polyline.erase(std::unique(polyline.begin(), polyline.end()), polyline.end());
    std::erase_if(polylines_, [](const Polyline& polyline) { return polyline.size() < 2; });

    std::vector<bool> used(vertices_.size(), false);
    for (const Polyline& polyline : polylines_)
        for (std::uint32_t v : polyline) {
            if (v >= vertices_.size())
                throw BoundException<unsigned int>(v, vertexCount());
            used[v] = true;
        }

    // An unused vertex takes the last vertex's data; source[v] remembers which original
    // vertex now sits in slot v, so that the indices can be rewritten afterwards.
    const std::size_t originalCount = vertices_.size();
    std::vector<std::uint32_t> source(originalCount);
    for (std::uint32_t v = 0; v < source.size(); ++v)
        source[v] = v;
    std::size_t v = 0;
    while (v < vertices_.size()) {
        if (used[v]) {
            ++v;
            continue;
        }
        const std::size_t last = vertices_.size() - 1;
        vertices_[v] = vertices_[last];
        used[v] = used[last];
        source[v] = source[last];
        vertices_.pop_back();
        used.pop_back();
        source.pop_back();
    }

    std::vector<std::uint32_t> renumber(originalCount, 0);
    for (std::uint32_t slot = 0; slot < source.size(); ++slot)
        renumber[source[slot]] = slot;
    for (Polyline& polyline : polylines_)
        for (std::uint32_t& index : polyline)
            index = renumber[index];
    grid_.reset();
}

void PolylineSet::bakeTransformation() {
    TransformationPtr view = takeTransformation();
    if (!view)
        return;
    for (PositionAccumulator& vertex : vertices_)
        vertex = PositionAccumulator{view->apply(vertex.position()), 1};
    grid_.reset();
}

void PolylineSet::clear() {
    vertices_.clear();
    polylines_.clear();
    grid_.reset();
}

} // namespace ZELK
