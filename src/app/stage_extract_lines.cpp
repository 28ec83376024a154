// Placeholder for the extractLines stage until it is built: it stops the run with a clear error.
#include "app/stages.hpp"

namespace ZELK {

bool extractLines(RunContext&) {
    throw SupportException("the extractLines stage in this build");
}

} // namespace ZELK
