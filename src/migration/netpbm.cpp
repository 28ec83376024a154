// Placeholder until the NetPBM codec is built.
#include "migration/image.hpp"

namespace ZELK::Migration {

std::unique_ptr<DataImporter> makeNetPBMImporter() {
    throw SupportException("NetPBM import in this build");
}
std::unique_ptr<DataExporter> makeNetPBMExporter() {
    throw SupportException("NetPBM export in this build");
}

} // namespace ZELK::Migration
