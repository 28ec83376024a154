// Placeholder for polygon XML input until polyline sets can be read back.
#include "app/stages.hpp"

namespace ZELK {

bool loadPolygonXML(RunContext&, const std::string&) {
    throw SupportException("polygon XML input in this build");
}

} // namespace ZELK
