// Rectification: the perspective fit that maps an upright rectangle onto the photographed sheet,
// from point pairs, and the warp that brings an image of the sheet into that rectangle.
#pragma once

#include <cstdint>
#include <istream>

#include "core/limits.hpp"
#include "core/matrix.hpp"
#include "core/signal.hpp"
#include "core/tuple.hpp"

namespace ZELK {

// The least-squares system of a perspective fit. Each pair of a rectified point (X, Y) and an
// image point (x, y) adds the rows (X, Y, 1, 0, 0, 0, -X x, -Y x) = x and
// (0, 0, 0, X, Y, 1, -X y, -Y y) = y, the linear form of
// x = (h1 X + h2 Y + h3) / (h7 X + h8 Y + 1), y = (h4 X + h5 Y + h6) / (h7 X + h8 Y + 1).
class CorrespondenceSystem {
public:
    void add(const Point<2, float>& rectified, const Point<2, float>& image);
    std::uint32_t pairs() const { return a_.rows() / 2; }

    // Solves the normal equations (A^T A) h = A^T b by LU decomposition with row pivoting and
    // returns H = (h1 h2 h3; h4 h5 h6; h7 h8 1), which maps rectified points to image points.
    // Four pairs in general position give the exact fit. Fewer pairs, or pairs on a line, make
    // the system singular: the result then holds non-finite values (no error is raised).
    MatrixSquareLight<3, float> fit() const;

    // Whether the pairs pin the perspective down: at least four of them, and no direction in
    // which the fit could move without changing how well it matches the pairs (as with
    // repeated pairs, or three of four points on a line). A system that is not determined may
    // still give a finite fit, made of rounding noise.
    bool determined() const;

private:
    Matrix<float> a_{0, 8};
    Matrix<float> b_{0, 1};
};

// Appends the four sheet corners, in the order background detection gives them, as the images
// of the rectangle's corners (0, 0), (width, 0), (width, height), (0, height).
void addCornerPairs(CorrespondenceSystem& system, const Point<2, int> corners[4], float width,
                    float height);

// The result of reading typed point pairs.
struct PointPairReading {
    std::uint32_t pairs = 0; // pairs appended
    bool tooMany = false;    // a further pair followed the last one allowed
};

// Reads groups of four numbers (rectified x, rectified y, image x, image y) from the stream by
// float extraction, so blanks and line ends both separate numbers, and appends each complete
// group with its image point multiplied by imageScale. Stops at the first number that cannot
// be read (end of input, or text that is not a number); the numbers of an incomplete group are
// dropped. Appends no more than maxPairs pairs: a complete group after those sets tooMany.
PointPairReading readPointPairs(std::istream& in, float imageScale, CorrespondenceSystem& system,
                                std::uint32_t maxPairs = Limits::maxPointPairs,
                                float imageOffset = 0.0f);

// Whether every entry is a finite number.
bool isFinite(const MatrixSquareLight<3, float>& m);

// Size of the image of a rectangle of rectWidth x rectHeight that keeps about the pixel count
// of a width x height image: s = sqrt(width height / (rectWidth rectHeight)), sizes
// trunc(s rectWidth) x trunc(s rectHeight). Returns false, leaving the outputs alone, when
// either size would fall outside 1 .. Limits::maxRectifiedSide (also for non-positive or
// non-finite rectangle sizes).
bool rectifiedImageSize(unsigned width, unsigned height, float rectWidth, float rectHeight,
                        Tuple<2, unsigned>& size, float& scale);

// The projection from a pixel of the rectified image to a pixel of the loaded image: the scale
// by 1 / scale (rectified image to rectangle units), then h (rectangle to the grey image that
// line extraction used), then 1 / imageScale (grey image to loaded image; 1 when loading did
// not resize), after taking imageOffset off (the grey image's position of the loaded image's
// origin, 0 unless -a auto resized it). The same map as those transformations one after
// another.
MatrixSquareLight<3, float> rectifiedImageProjection(const MatrixSquareLight<3, float>& h,
                                                     float scale, float imageScale,
                                                     float imageOffset = 0.0f);

// The image (channels, width, height) seen through the projection: output pixel (x, y) of
// every channel takes the bilinear interpolation of the source at projection (x, y); source
// samples outside the image (and points that are not finite) count as 0. Results are clamped
// to [0, 255] and truncated. The output has the given width and height and the source's
// channels; its sample count must fit the signal limits (else the bound error).
Signal<3, std::uint8_t> warpPerspective(const SignalConstBorrow<3, std::uint8_t>& source,
                                        const MatrixSquareLight<3, float>& projection,
                                        unsigned width, unsigned height);

} // namespace ZELK
