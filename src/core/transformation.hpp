// Plane transformations attached to polyline sets as view transformations, composed for export
// and image warping, and produced by rectification (the perspective kind).
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/exceptions.hpp"
#include "core/matrix.hpp"
#include "core/tuple.hpp"

namespace ZELK {

template <unsigned N, typename T> struct Transformation;

template <> struct Transformation<2, float> {
    // Kind codes; only the kinds this program creates have classes here.
    enum class Kind : std::uint32_t {
        Custom = 0,
        Identity = 1,
        Matrix = 2,
        MatrixAffine = 3,
        Rotation = 4,
        Scale = 5,
        Translation = 8,
        PlaneProjection = 9,
        Composite = 10,
        CompositeAffine = 11,
        CompositeAffineInvertible = 12,
        CompositeLinear = 13,
        CompositeLinearInvertible = 14,
    };

    class Base {
    public:
        virtual ~Base() = default;
        virtual Kind kind() const = 0;
        virtual std::unique_ptr<Base> clone() const = 0;
        // Transforms the point that the view refers to.
        virtual void applyInPlace(PointBorrow<2, float> p) const = 0;
        // The transformed copy of p.
        Point<2, float> apply(const Point<2, float>& p) const {
            Point<2, float> q = p;
            applyInPlace(q);
            return q;
        }
    };

    // Base of the program-defined kinds (code 0).
    class Custom : public Base {
    public:
        Kind kind() const override { return Kind::Custom; }
    };

    class Identity final : public Base {
    public:
        Kind kind() const override { return Kind::Identity; }
        std::unique_ptr<Base> clone() const override { return std::make_unique<Identity>(); }
        void applyInPlace(PointBorrow<2, float>) const override {}
    };

    // (x, y) -> (sx x, sy y).
    class Scale final : public Base {
    public:
        explicit Scale(float factor) : factors_(factor, factor) {}
        explicit Scale(const Vector<2, float>& factors) : factors_(factors) {}
        Kind kind() const override { return Kind::Scale; }
        std::unique_ptr<Base> clone() const override { return std::make_unique<Scale>(*this); }
        void applyInPlace(PointBorrow<2, float> p) const override {
            p[0] *= factors_[0];
            p[1] *= factors_[1];
        }
        const Vector<2, float>& factors() const { return factors_; }

    private:
        Vector<2, float> factors_;
    };

    // (x, y) -> (x, y) + t.
    class Translation final : public Base {
    public:
        explicit Translation(const Vector<2, float>& offset) : offset_(offset) {}
        Kind kind() const override { return Kind::Translation; }
        std::unique_ptr<Base> clone() const override {
            return std::make_unique<Translation>(*this);
        }
        void applyInPlace(PointBorrow<2, float> p) const override { p += offset_; }
        const Vector<2, float>& offset() const { return offset_; }

    private:
        Vector<2, float> offset_;
    };

    // Owned members applied one after another in the order they were added; with no member
    // it maps every point to itself.
    class Composite : public Base {
    public:
        Composite() = default;
        Composite(const Composite& other);
        Composite& operator=(const Composite&) = delete;

        // Appends a member, taking ownership.
        virtual void add(std::unique_ptr<Base> member);
        Kind kind() const override { return Kind::Composite; }
        std::unique_ptr<Base> clone() const override;
        void applyInPlace(PointBorrow<2, float> p) const override;

        std::size_t size() const { return members_.size(); }
        const Base& member(std::size_t i) const { return *members_[i]; }

    private:
        std::vector<std::unique_ptr<Base>> members_;
    };

    // A transformation of another class where a particular class was expected.
    class ClassException : public ExceptionImpl<ClassException, Exception> {
    public:
        ClassException(std::string found, std::string expected)
            : found(std::move(found)), expected(std::move(expected)) {}
        void write(std::ostream& out) const override;
        std::string found, expected;
    };

    // The class name of a composite transformation, "not composite" for every other kind.
    static std::string compositeName(const Base& t);
    // t as a composite; raises ClassException when it is of another kind.
    static Composite& asComposite(Base& t);
};

template <unsigned N, typename T> class PerspectiveTransformation;

// Plane projection by a 3 x 3 matrix H: (x, y) -> (u / w, v / w) with (u, v, w) = H (x, y, 1),
// computed as u and v each multiplied by 1 / w. A point with w = 0 maps to non-finite
// coordinates; no error is raised.
template <>
class PerspectiveTransformation<2, float> final : public Transformation<2, float>::Custom {
public:
    explicit PerspectiveTransformation(const MatrixSquareLight<3, float>& h) : h_(h) {}
    std::unique_ptr<Transformation<2, float>::Base> clone() const override {
        return std::make_unique<PerspectiveTransformation>(*this);
    }
    void applyInPlace(PointBorrow<2, float> p) const override;
    const MatrixSquareLight<3, float>& matrix() const { return h_; }

private:
    MatrixSquareLight<3, float> h_;
};

} // namespace ZELK
