// Block to samples for the JPEG decoder: dequantisation, the inverse DCT as a direct product
// with a precomputed 64 x 64 basis, and the level shift into 8-bit samples.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ZELK::Migration::JPEG {

// Natural (row-major) position of each zig-zag position.
extern const std::uint8_t zigzagToNatural[64];

// The 2-D inverse DCT as a matrix: output sample i = 8 y + x receives basis(i, k) times the
// dequantised coefficient k = 8 v + u (natural order). Entries are single-precision values of
// C(u) C(v) / 4 cos((2x + 1) u pi / 16) cos((2y + 1) v pi / 16), C(0) = 1 / sqrt(2).
class IDCTBasis {
public:
    IDCTBasis();

    float at(unsigned output, unsigned coefficient) const {
        return columns_[coefficient * 64 + output];
    }
    // The 64 outputs of coefficient k, contiguous.
    const float* column(unsigned coefficient) const { return columns_.data() + coefficient * 64; }

private:
    alignas(64) std::array<float, 64 * 64> columns_;
};

// The plain product: out[i] = sum over k = 0..63 of coefficients[k] * basis(i, k), each sum
// accumulated from 0 in increasing k.
void inverseDCTPlain(const IDCTBasis& basis, const float coefficients[64], float out[64]);

// The same outputs, bit for bit, from the non-zero coefficients only: every bit k of mask set
// where coefficients[k] may be non-zero. A zero term leaves a float sum unchanged, so summing
// the remaining terms column by column in increasing k repeats the plain sums exactly; the sums
// run in the widest vectors the processor has (core/vector_width.hpp), all widths alike.
void inverseDCTSparse(const IDCTBasis& basis, const float coefficients[64], std::uint64_t mask,
                      float out[64]);

// Level shift: out + 128.5, clamped to [0, 255] and truncated, into 8 rows of 8 samples.
void storeBlock(const float out[64], std::uint8_t* dst, std::size_t stride);

// inverseDCTSparse and storeBlock in one step.
void transformBlock(const IDCTBasis& basis, const float coefficients[64], std::uint64_t mask,
                    std::uint8_t* dst, std::size_t stride);

// Block to samples: coefficients in zig-zag order times the quantisation entries of the same
// positions, transformed and stored. zigzagMask has bit z set for every non-zero zigzag[z].
void blockToSamples(const IDCTBasis& basis, const std::int16_t zigzag[64], std::uint64_t zigzagMask,
                    const std::uint16_t quantization[64], std::uint8_t* dst, std::size_t stride);

// Bits of the non-zero entries of a zig-zag block.
std::uint64_t nonZeroMask(const std::int16_t zigzag[64]);

} // namespace ZELK::Migration::JPEG
