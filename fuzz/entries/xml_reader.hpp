// Entry function of the XML reader's fuzz target, kept apart from the fuzzer main so that the
// regression test replays saved inputs through exactly the code the fuzzer ran.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZELK::Fuzz {

// Walks the whole document with the reader, exercising every query and the attribute
// iteration of every element. The reader's own errors are an expected outcome and are
// swallowed. A document that reads without error is written back through the XML writer and
// must read back to the same entities. Any broken invariant raises std::logic_error, which the
// fuzzer reports as a crash and the regression test as a failure.
void xmlReader(const std::uint8_t* data, std::size_t size);

} // namespace ZELK::Fuzz
