// Plane transformations: the simple kinds, composites and their order, the perspective kind.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "core/transformation.hpp"

using namespace ZELK;
using T2 = Transformation<2, float>;

TEST(Transformation, SimpleKinds) {
    const Point<2, float> p(3, -2);
    EXPECT_EQ(T2::Identity().apply(p), p);
    EXPECT_EQ(T2::Scale(0.5f).apply(p), (Point<2, float>(1.5f, -1)));
    EXPECT_EQ(T2::Scale(Vector<2, float>(1, -1)).apply(p), (Point<2, float>(3, 2)));
    EXPECT_EQ(T2::Translation(Vector<2, float>(-3, 2)).apply(p), (Point<2, float>(0, 0)));

    EXPECT_EQ(T2::Identity().kind(), T2::Kind::Identity);
    EXPECT_EQ(static_cast<std::uint32_t>(T2::Scale(1).kind()), 5u);
    EXPECT_EQ(static_cast<std::uint32_t>(T2::Translation(Vector<2, float>()).kind()), 8u);
    EXPECT_EQ(static_cast<std::uint32_t>(T2::Composite().kind()), 10u);
    EXPECT_EQ(
        static_cast<std::uint32_t>(
            PerspectiveTransformation<2, float>(MatrixSquareLight<3, float>::identity()).kind()),
        0u);

    // In place through a view on stored coordinates.
    float stored[2] = {1, 2};
    T2::Scale(Vector<2, float>(2, 3)).applyInPlace(PointBorrow<2, float>(stored));
    EXPECT_EQ(stored[0], 2.0f);
    EXPECT_EQ(stored[1], 6.0f);
}

TEST(Transformation, CompositeAppliesMembersInTheOrderAdded) {
    T2::Composite empty;
    EXPECT_EQ(empty.apply(Point<2, float>(7, -8)), (Point<2, float>(7, -8)));

    T2::Composite shiftThenScale;
    shiftThenScale.add(std::make_unique<T2::Translation>(Vector<2, float>(1, 0)));
    shiftThenScale.add(std::make_unique<T2::Scale>(2.0f));
    EXPECT_EQ(shiftThenScale.apply(Point<2, float>(3, 4)), (Point<2, float>(8, 8)));

    T2::Composite scaleThenShift;
    scaleThenShift.add(std::make_unique<T2::Scale>(2.0f));
    scaleThenShift.add(std::make_unique<T2::Translation>(Vector<2, float>(1, 0)));
    EXPECT_EQ(scaleThenShift.apply(Point<2, float>(3, 4)), (Point<2, float>(7, 8)));

    // Mirroring about the horizontal line y = cy after an earlier transformation:
    // y' = 2 cy - (earlier y).
    const float cy = 300;
    T2::Composite flip;
    flip.add(std::make_unique<T2::Scale>(2.0f));
    flip.add(std::make_unique<T2::Translation>(Vector<2, float>(0, -cy)));
    flip.add(std::make_unique<T2::Scale>(Vector<2, float>(1, -1)));
    flip.add(std::make_unique<T2::Translation>(Vector<2, float>(0, cy)));
    EXPECT_EQ(flip.apply(Point<2, float>(5, 10)), (Point<2, float>(10, 580)));
    EXPECT_EQ(flip.apply(Point<2, float>(0, 150)), (Point<2, float>(0, 300)));

    // Composites nest.
    T2::Composite outer;
    outer.add(shiftThenScale.clone());
    outer.add(std::make_unique<T2::Translation>(Vector<2, float>(0, -8)));
    EXPECT_EQ(outer.apply(Point<2, float>(3, 4)), (Point<2, float>(8, 0)));
}

TEST(Transformation, CloneCopiesMembersDeeply) {
    auto original = std::make_unique<T2::Composite>();
    original->add(std::make_unique<T2::Translation>(Vector<2, float>(1, 1)));
    std::unique_ptr<T2::Base> copy = original->clone();
    original->add(std::make_unique<T2::Scale>(10.0f));
    EXPECT_EQ(copy->apply(Point<2, float>(0, 0)), (Point<2, float>(1, 1)));
    EXPECT_EQ(original->apply(Point<2, float>(0, 0)), (Point<2, float>(10, 10)));

    // The copy keeps working after the original and its members are gone.
    original.reset();
    EXPECT_EQ(copy->apply(Point<2, float>(2, 3)), (Point<2, float>(3, 4)));
    EXPECT_EQ(T2::asComposite(*copy).size(), 1u);
}

TEST(Transformation, PerspectiveDividesByTheThirdCoordinate) {
    // u = x + 2, v = 2y, w = 0.5x + 1.
    const MatrixSquareLight<3, float> h{1, 0, 2, 0, 2, 0, 0.5f, 0, 1};
    const PerspectiveTransformation<2, float> perspective(h);
    EXPECT_EQ(perspective.apply(Point<2, float>(2, 3)), (Point<2, float>(2, 3)));
    EXPECT_EQ(perspective.apply(Point<2, float>(0, 1)), (Point<2, float>(2, 2)));
    EXPECT_EQ(perspective.apply(Point<2, float>(6, 1)), (Point<2, float>(2, 0.5f)));

    // w = 0: non-finite coordinates, no error.
    const Point<2, float> far = perspective.apply(Point<2, float>(-2, 1));
    EXPECT_FALSE(std::isfinite(far[0]));
    EXPECT_FALSE(std::isfinite(far[1]));

    // Output pixel (x, y) of an image warped at scale s maps to H (x / s, y / s).
    const float s = 4;
    T2::Composite warp;
    warp.add(std::make_unique<T2::Scale>(1.0f / s));
    warp.add(perspective.clone());
    EXPECT_EQ(warp.apply(Point<2, float>(8, 12)), perspective.apply(Point<2, float>(2, 3)));
    EXPECT_EQ(warp.apply(Point<2, float>(24, 4)), (Point<2, float>(2, 0.5f)));

    auto copy = perspective.clone();
    EXPECT_EQ(copy->kind(), T2::Kind::Custom);
    EXPECT_EQ(copy->apply(Point<2, float>(6, 1)), (Point<2, float>(2, 0.5f)));
}

TEST(Transformation, ExpectingACompositeChecksTheKind) {
    T2::Scale scale(2.0f);
    try {
        T2::asComposite(scale);
        FAIL() << "a scale was taken for a composite";
    } catch (const T2::ClassException& e) {
        EXPECT_EQ(e.found, "not composite");
        EXPECT_EQ(e.message(),
                  "Class not composite detected where " + e.expected + " was expected. ");
        EXPECT_NE(e.expected.find("ZELK::Transformation<"), std::string::npos);
        EXPECT_NE(e.expected.find(">::Composite"), std::string::npos);
    }
    T2::Composite composite;
    EXPECT_EQ(T2::compositeName(composite), demangledTypeName(typeid(T2::Composite)));
    EXPECT_EQ(&T2::asComposite(composite), &composite);
}
