// Placeholder for demo input until the demo renderer is built.
#include "app/stages.hpp"

namespace ZELK {

bool loadDemo(RunContext&, const std::string&) { throw SupportException("demo input in this build"); }

} // namespace ZELK
