// Size limits applied to data that comes from outside the program, each with its reason.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZELK::Limits {

// Buffers hold their size in 32 bits; nothing larger can be addressed by a buffer stream.
inline constexpr std::uint64_t maxBufferBytes = 0xFFFFFFFFull;

// Largest picture any importer decodes: 2^28 pixels is far beyond any phone photo or scan and
// keeps every plane and 8-bit RGBA buffer inside 32-bit buffer sizes.
inline constexpr std::uint64_t maxImagePixels = 1ull << 28;

// No format we read has more than four channels; the cap keeps the channel-order table of a
// layout small whatever a hostile Native header claims.
inline constexpr std::uint32_t maxChannels = 256;

// A Native header holds seven short metadata lines; anything near this size is not one.
inline constexpr std::uint64_t maxNativeHeaderBytes = 1u << 20;

// A DEFLATE stream expands at most 1032-fold (a 258-byte match coded in two bits), so output
// buffers reserved up front never exceed this multiple of the compressed size.
inline constexpr std::uint64_t maxDeflateExpansion = 1032;

// NetPBM header lines hold a magic number or two decimals; a longer line is not a header.
inline constexpr std::uint32_t maxNetPBMHeaderLine = 4096;

// Largest demo image side: 8192 x 8192 RGB is 192 MiB, about what a run may spend on a test
// picture, and keeps the buffer size inside 32 bits.
inline constexpr std::uint32_t maxDemoSize = 8192;

// Largest median window side (-e): the median's work memory grows with the window, and wider
// medians are of no use on line drawings.
inline constexpr std::uint32_t maxMedianWindow = 255;

// Largest local-mean window side (-n): keeps every clamped window sum exact in 64 bits
// (N^2 * 255 < 2^56) and each row's window sum within 32 bits.
inline constexpr std::uint32_t maxLocalMeanWindow = 1u << 24;

// Largest Hough accumulator of the lines background method, in cells (64 MiB of floats): a
// coarse copy at most 128 wide reaches it only for pictures about 32 times taller than wide,
// which are treated as showing no sheet.
inline constexpr std::uint64_t maxHoughCells = 1ull << 24;

// Most point pairs read for rectification: a fit needs four, and 2^20 pairs already fill
// 72 MiB of equations (two rows of nine floats each), so a longer input is refused.
inline constexpr std::uint32_t maxPointPairs = 1u << 20;

// Largest side of an image resized to bring its strokes to the working width: far beyond any
// photo, yet a side's pixel count and its float positions stay exact.
inline constexpr std::uint32_t maxResampledSide = 1u << 20;

// Most pixels the grey image may have after it is enlarged for thin strokes: four times a
// 12-megapixel photo's worth of work at most, so enlarging a large scan cannot exhaust memory.
inline constexpr std::uint64_t maxEnlargedPixels = 48'000'000;

// Largest side of the rectified refined image: its pixel coordinates 0 .. side - 1 stay within
// the signed 32-bit range whatever shape the rectangle of -rs has.
inline constexpr std::uint32_t maxRectifiedSide = 1u << 31;

// Largest polygon XML file read: it is read whole before parsing, and 128 MiB holds over two
// million vertices, more than any drawing we write.
inline constexpr std::uint64_t maxPolygonXMLBytes = 128ull << 20;

// Most vertices in a polygon XML file: 2^22 keeps the vertex table of a drawing read back within
// 50 MiB, while refinement and export, linear in it, stay within a few seconds.
inline constexpr std::uint32_t maxPolygonXMLVertices = 1u << 22;

// Longest value echoed in an error line (a name, a number's text, a path) before it is cut:
// enough to recognise any real value, and a line stays readable whatever a file holds.
inline constexpr std::size_t maxEchoedBytes = 256;

} // namespace ZELK::Limits
