// Asking the processor for its vector extensions.
#include "core/vector_width.hpp"

#include <atomic>

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

std::atomic<VectorWidth> limit{VectorWidth::Bits512};

} // namespace

VectorWidth widestVectors() {
    static const VectorWidth processor = ask();
    const VectorWidth cap = limit.load(std::memory_order_relaxed);
    return cap < processor ? cap : processor;
}

void limitVectors(VectorWidth width) {
    limit.store(width, std::memory_order_relaxed);
}

} // namespace ZELK
