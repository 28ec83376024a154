#include "fuzz/entries/point_pairs.hpp"

#include <sstream>
#include <stdexcept>
#include <string>

#include "rectify/rectification.hpp"

namespace ZELK::Fuzz {

namespace {

void check(bool condition, const char* what) {
    if (!condition)
        throw std::logic_error(std::string("point pair invariant broken: ") + what);
}

// Few pairs keep each run fast; the limit itself is what is checked.
constexpr std::uint32_t fuzzPairLimit = 64;

} // namespace

void pointPairs(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    CorrespondenceSystem system;
    // A loading scale as a run on a large photo would have it.
    const PointPairReading reading = readPointPairs(in, 0.2887f, system, fuzzPairLimit);
    check(reading.pairs == system.pairs(), "the count differs from the pairs appended");
    check(reading.pairs <= fuzzPairLimit, "more pairs than the limit");
    check(!reading.tooMany || reading.pairs == fuzzPairLimit, "too many before the limit");

    const MatrixSquareLight<3, float> toImage = system.fit();
    const bool determined = system.determined();
    check(!determined || reading.pairs >= 4, "determined by fewer than four pairs");
    const MatrixSquareLight<3, float> toRectified = toImage.inverse();
    (void)isFinite(toRectified);

    // The warp of a 5 x 4 picture onto a rectangle of 3 x 2 through whatever came out.
    Signal<3, std::uint8_t> picture(Tuple<3, unsigned>(3, 5, 4));
    for (std::uint32_t i = 0; i < picture.count(); ++i)
        picture.data()[i] = static_cast<std::uint8_t>(i * 37);
    Tuple<2, unsigned> outSize;
    float scale = 0.0f;
    check(rectifiedImageSize(5, 4, 3.0f, 2.0f, outSize, scale), "a 3 x 2 rectangle refused");
    for (const MatrixSquareLight<3, float>& m : {toImage, toRectified}) {
        const Signal<3, std::uint8_t> out = warpPerspective(
            picture, rectifiedImageProjection(m, scale, 0.2887f), outSize[0], outSize[1]);
        check(out.sizes() == Tuple<3, unsigned>(3, outSize[0], outSize[1]), "warp size");
    }
}

} // namespace ZELK::Fuzz
