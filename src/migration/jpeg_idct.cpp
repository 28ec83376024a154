// Dequantisation, inverse DCT and level shift of 8 x 8 blocks.
#include "migration/jpeg_idct.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/vector_width.hpp"

namespace ZELK::Migration::JPEG {

const std::uint8_t zigzagToNatural[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

IDCTBasis::IDCTBasis() {
    // The value of pi the decoder has always used; the basis only has to be the same in every
    // build, which computing in double and rounding once guarantees.
    const double pi = 3.1415927;
    double factor[8][8]; // factor[frequency][position]
    for (int f = 0; f < 8; ++f)
        for (int p = 0; p < 8; ++p)
            factor[f][p] = (f == 0 ? std::sqrt(0.5) : 1.0) * std::cos((2 * p + 1) * f * pi / 16.0);
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u)
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    columns_[(v * 8 + u) * 64 + y * 8 + x] =
                        static_cast<float>(0.25 * factor[u][x] * factor[v][y]);
}

void inverseDCTPlain(const IDCTBasis& basis, const float coefficients[64], float out[64]) {
    for (unsigned i = 0; i < 64; ++i) {
        float sum = 0.0f;
        for (unsigned k = 0; k < 64; ++k)
            sum += coefficients[k] * basis.at(i, k);
        out[i] = sum;
    }
}

namespace {

// The sparse sums with the 64 accumulators held in vectors of lanes floats: the same products
// and the same additions in the same order as the scalar loop, only several outputs at a time,
// so every output is the same bits whatever the vector width.
template <unsigned lanes>
[[gnu::always_inline]] inline void sparseSums(const IDCTBasis& basis, const float* coefficients,
                                              std::uint64_t mask, float* out) {
    typedef float Lanes __attribute__((vector_size(lanes * sizeof(float))));
    constexpr unsigned count = 64 / lanes;
    Lanes acc[count] = {};
    while (mask != 0) {
        const unsigned k = static_cast<unsigned>(__builtin_ctzll(mask));
        mask &= mask - 1;
        const float c = coefficients[k];
        const float* column = basis.column(k);
        for (unsigned i = 0; i < count; ++i) {
            Lanes terms;
            std::memcpy(&terms, column + i * lanes, sizeof terms);
            acc[i] += c * terms;
        }
    }
    std::memcpy(out, acc, sizeof acc);
}

// Level shift of storeBlock, for inlining into the transforms.
[[gnu::always_inline]] inline void levelShift(const float* out, std::uint8_t* dst,
                                              std::size_t stride) {
    // Truncating first and clamping the integer gives the same byte as clamping the float, and
    // vectorizes better. |out| < 64 * 32768 * 255 / 4 keeps the conversion inside 32 bits.
    std::uint8_t bytes[64];
    for (unsigned i = 0; i < 64; ++i) {
        auto v = static_cast<std::int32_t>(out[i] + 128.5f);
        v = v < 0 ? 0 : v;
        v = v > 255 ? 255 : v;
        bytes[i] = static_cast<std::uint8_t>(v);
    }
    for (unsigned y = 0; y < 8; ++y, dst += stride)
        std::memcpy(dst, bytes + 8 * y, 8);
}

// Sums and level shift in one step, the 64 sums never leaving the registers when they fit.
template <unsigned lanes>
[[gnu::always_inline]] inline void sparseSamples(const IDCTBasis& basis, const float* coefficients,
                                                 std::uint64_t mask, std::uint8_t* dst,
                                                 std::size_t stride) {
    alignas(64) float out[64];
    sparseSums<lanes>(basis, coefficients, mask, out);
    levelShift(out, dst, stride);
}

void sparseSamples4(const IDCTBasis& basis, const float* coefficients, std::uint64_t mask,
                    std::uint8_t* dst, std::size_t stride) {
    sparseSamples<4>(basis, coefficients, mask, dst, stride);
}

void sparseSums4(const IDCTBasis& basis, const float* coefficients, std::uint64_t mask,
                 float* out) {
    sparseSums<4>(basis, coefficients, mask, out);
}

#if ZELK_WIDE_VECTORS
// Wider registers where the processor has them: the transform is most of a photo's decoding.
ZELK_TARGET_256 void sparseSums8(const IDCTBasis& basis, const float* coefficients,
                                 std::uint64_t mask, float* out) {
    sparseSums<8>(basis, coefficients, mask, out);
}

ZELK_TARGET_256 void sparseSamples8(const IDCTBasis& basis, const float* coefficients,
                                    std::uint64_t mask, std::uint8_t* dst, std::size_t stride) {
    sparseSamples<8>(basis, coefficients, mask, dst, stride);
}

ZELK_TARGET_512 void sparseSamples16(const IDCTBasis& basis, const float* coefficients,
                                     std::uint64_t mask, std::uint8_t* dst, std::size_t stride) {
    sparseSamples<16>(basis, coefficients, mask, dst, stride);
}

ZELK_TARGET_512 void sparseSums16(const IDCTBasis& basis, const float* coefficients,
                                  std::uint64_t mask, float* out) {
    sparseSums<16>(basis, coefficients, mask, out);
}
#endif

} // namespace

void inverseDCTSparse(const IDCTBasis& basis, const float coefficients[64], std::uint64_t mask,
                      float out[64]) {
#if ZELK_WIDE_VECTORS
    switch (widestVectors()) {
    case VectorWidth::Bits512:
        return sparseSums16(basis, coefficients, mask, out);
    case VectorWidth::Bits256:
        return sparseSums8(basis, coefficients, mask, out);
    case VectorWidth::Bits128:
        break;
    }
#endif
    sparseSums4(basis, coefficients, mask, out);
}

void storeBlock(const float out[64], std::uint8_t* dst, std::size_t stride) {
    levelShift(out, dst, stride);
}

void transformBlock(const IDCTBasis& basis, const float coefficients[64], std::uint64_t mask,
                    std::uint8_t* dst, std::size_t stride) {
#if ZELK_WIDE_VECTORS
    switch (widestVectors()) {
    case VectorWidth::Bits512:
        return sparseSamples16(basis, coefficients, mask, dst, stride);
    case VectorWidth::Bits256:
        return sparseSamples8(basis, coefficients, mask, dst, stride);
    case VectorWidth::Bits128:
        break;
    }
#endif
    sparseSamples4(basis, coefficients, mask, dst, stride);
}

void blockToSamples(const IDCTBasis& basis, const std::int16_t zigzag[64], std::uint64_t zigzagMask,
                    const std::uint16_t quantization[64], std::uint8_t* dst, std::size_t stride) {
    float coefficients[64] = {};
    std::uint64_t mask = 0;
    while (zigzagMask != 0) {
        const unsigned z = static_cast<unsigned>(__builtin_ctzll(zigzagMask));
        zigzagMask &= zigzagMask - 1;
        const unsigned k = zigzagToNatural[z];
        // Exact in float: |16-bit value * 8-bit entry| < 2^24.
        coefficients[k] =
            static_cast<float>(static_cast<std::int32_t>(zigzag[z]) * quantization[z]);
        mask |= 1ull << k;
    }
    transformBlock(basis, coefficients, mask, dst, stride);
}

std::uint64_t nonZeroMask(const std::int16_t zigzag[64]) {
    std::uint64_t mask = 0;
    for (unsigned z = 0; z < 64; ++z)
        mask |= std::uint64_t(zigzag[z] != 0) << z;
    return mask;
}

} // namespace ZELK::Migration::JPEG
