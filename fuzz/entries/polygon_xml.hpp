// Entry function of the polygon XML fuzz target, kept apart from the fuzzer main so that the
// regression test replays saved inputs through exactly the code the fuzzer ran.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZELK::Fuzz {

// Reads the bytes as a polygon XML input. The reader's documented errors are an expected
// outcome and are swallowed. A document that reads goes on through what a run does with it:
// refinement, clutter classification, alignment, and the SVG and polygon XML writers; the
// written polygon XML must read back to as many polylines. Any broken invariant raises
// std::logic_error, which the fuzzer reports as a crash and the regression test as a failure.
void polygonXML(const std::uint8_t* data, std::size_t size);

} // namespace ZELK::Fuzz
