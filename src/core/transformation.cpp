// Composite and perspective transformations and the transformation class check.
#include "core/transformation.hpp"

namespace ZELK {

using Transformation2 = Transformation<2, float>;

Transformation2::Composite::Composite(const Composite& other) : Base() {
    members_.reserve(other.members_.size());
    for (const auto& member : other.members_)
        members_.push_back(member->clone());
}

void Transformation2::Composite::add(std::unique_ptr<Base> member) {
    members_.push_back(std::move(member));
}

std::unique_ptr<Transformation2::Base> Transformation2::Composite::clone() const {
    return std::make_unique<Composite>(*this);
}

void Transformation2::Composite::applyInPlace(PointBorrow<2, float> p) const {
    for (const auto& member : members_)
        member->applyInPlace(p);
}

void Transformation2::ClassException::write(std::ostream& out) const {
    out << "Class " << found << " detected where " << expected << " was expected. ";
}

std::string Transformation2::compositeName(const Base& t) {
    const auto code = static_cast<std::uint32_t>(t.kind());
    if (code >= static_cast<std::uint32_t>(Kind::Composite) &&
        code <= static_cast<std::uint32_t>(Kind::CompositeLinearInvertible))
        return demangledTypeName(typeid(t));
    return "not composite";
}

Transformation2::Composite& Transformation2::asComposite(Base& t) {
    if (t.kind() != Kind::Composite)
        throw ClassException(compositeName(t), demangledTypeName(typeid(Composite)));
    return dynamic_cast<Composite&>(t);
}

void PerspectiveTransformation<2, float>::applyInPlace(PointBorrow<2, float> p) const {
    const float x = p[0];
    const float y = p[1];
    const float u = h_(0, 0) * x + h_(0, 1) * y + h_(0, 2);
    const float v = h_(1, 0) * x + h_(1, 1) * y + h_(1, 2);
    const float w = h_(2, 0) * x + h_(2, 1) * y + h_(2, 2);
    const float reciprocal = 1.0f / w;
    p[0] = u * reciprocal;
    p[1] = v * reciprocal;
}

} // namespace ZELK
