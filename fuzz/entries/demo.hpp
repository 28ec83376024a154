// Entry function of the demo argument's fuzz target, kept apart from the fuzzer main so that the
// regression test replays saved inputs through exactly the code the fuzzer ran.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZELK::Fuzz {

// Takes the bytes as the text after "demo:", applies its overrides and presets, checks the
// settings and, for pictures of at most 48 x 48 pixels (larger ones only cost time), renders
// the figure and its reference SVG. The documented refusals (unknown key or figure, preset
// and range errors, unconvertible text) are expected outcomes. Rendering the same request twice
// must give the same bytes, or std::logic_error reports a broken invariant.
void demo(const std::uint8_t* data, std::size_t size);

} // namespace ZELK::Fuzz
