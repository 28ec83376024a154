// Entry function of the point-pair fuzz target, kept apart from the fuzzer main so that the
// regression test replays saved inputs through exactly the code the fuzzer ran.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZELK::Fuzz {

// Reads the bytes as typed point pairs (as standard input of a run with -r), then does what
// the rectify stage and the refined-image warp do with them: the fit, the determination test,
// the inverse, and a warp of a small picture through the fitted perspective, whatever numbers
// came out. Any broken invariant raises std::logic_error, which the fuzzer reports as a crash
// and the regression test as a failure.
void pointPairs(const std::uint8_t* data, std::size_t size);

} // namespace ZELK::Fuzz
