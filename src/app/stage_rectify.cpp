// Placeholder for the rectify stage until it is built: it stops the run with a clear error.
#include "app/stages.hpp"

namespace ZELK {

void rectify(RunContext&) {
    throw SupportException("the rectify stage in this build");
}

} // namespace ZELK
