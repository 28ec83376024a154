// Placeholder for the detectBackground stage until it is built: it stops the run with a clear
// error.
#include "app/stages.hpp"

namespace ZELK {

bool detectBackground(RunContext&) {
    throw SupportException("the detectBackground stage in this build");
}

} // namespace ZELK
