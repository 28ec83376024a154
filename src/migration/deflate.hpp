// The DEFLATE encoder used for every PNG the program writes: LZ77 matches found on hash chains
// with lazy matching, each block sent with fixed or dynamic Huffman codes or stored, whichever
// is smallest.
#pragma once

#include <cstdint>
#include <vector>

namespace ZELK::Migration {

// Appends to out a complete DEFLATE stream (no zlib wrapper; the last block marked final) that
// inflates to the size bytes at source. Works in memory proportional to the output plus a fixed
// 160 KiB of match tables.
void deflate(const std::uint8_t* source, std::uint32_t size, std::vector<std::uint8_t>& out);

} // namespace ZELK::Migration
