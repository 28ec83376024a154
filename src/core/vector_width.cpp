// Asking the processor for its vector extensions.
#include "core/vector_width.hpp"

namespace ZELK {

namespace {

VectorWidth ask() {
#if ZELK_WIDE_VECTORS
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
        return VectorWidth::Bits512;
    if (__builtin_cpu_supports("avx2"))
        return VectorWidth::Bits256;
#endif
    return VectorWidth::Bits128;
}

} // namespace

VectorWidth widestVectors() {
    static const VectorWidth width = ask();
    return width;
}

} // namespace ZELK
