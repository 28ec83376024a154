// Placeholder for the conditioning filters until they are built.
#include "app/stages.hpp"

namespace ZELK {

void conditionForExtraction(RunContext&, Signal<2, short>&) {
    throw SupportException("image conditioning in this build");
}

} // namespace ZELK
