// The widest vector registers this processor offers, for the few hot loops that keep a form
// compiled for each width. The default build runs on every x86-64; the wider forms are the same
// source compiled for more lanes, without fused multiply-add, so every form gives the same bits.
#pragma once

namespace ZELK {

enum class VectorWidth { Bits128, Bits256, Bits512 };

// 512 with AVX-512 (F and BW), 256 with AVX2, else 128 (the processor is asked once), at most
// the limit below.
VectorWidth widestVectors();

// Caps the width that the hot loops choose from their next call on, so that a test can run every
// form on one machine; the program never calls it.
void limitVectors(VectorWidth width);

} // namespace ZELK

// Marks a function compiled for 256-bit or 512-bit registers (x86-64 only).
#if defined(__x86_64__)
#define ZELK_TARGET_256 [[gnu::target("avx2")]]
#define ZELK_TARGET_512 [[gnu::target("avx512f,avx512bw,avx2")]]
#define ZELK_WIDE_VECTORS 1
#else
#define ZELK_WIDE_VECTORS 0
#endif
