// Placeholder for the loadInput stage until it is built: it stops the run with a clear error.
#include "app/stages.hpp"

namespace ZELK {

bool loadInput(RunContext&) { throw SupportException("the loadInput stage in this build"); }

} // namespace ZELK
