// Committed fixture pictures as the pipeline's grey image.
#pragma once

#include <string>

#include "core/signal.hpp"

namespace PenvexTest {

// The picture tests/data/RELATIVE as the grey image the run would make of it: one channel
// taken as it is, colour through the grey conversion.
ZELK::Signal<2, unsigned char> greyFixture(const std::string& relative);

} // namespace PenvexTest
