// Placeholder for the refinePolylines stage until it is built: it stops the run with a clear error.
#include "app/stages.hpp"

namespace ZELK {

void refinePolylines(RunContext&) {
    throw SupportException("the refinePolylines stage in this build");
}

} // namespace ZELK
