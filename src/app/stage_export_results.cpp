// Placeholder for the exportResults stage until it is built: it stops the run with a clear error.
#include "app/stages.hpp"

namespace ZELK {

bool exportResults(RunContext&) {
    throw SupportException("the exportResults stage in this build");
}

} // namespace ZELK
