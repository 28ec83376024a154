// Placeholder until the PNG codec is built: selecting it fails with a clear error.
#include "migration/image.hpp"

namespace ZELK::Migration {

std::unique_ptr<DataImporter> makePNGImporter() {
    throw SupportException("PNG import in this build");
}

} // namespace ZELK::Migration

namespace ZELK::Migration {

std::unique_ptr<DataExporter> makePNGExporter() {
    throw SupportException("PNG export in this build");
}

} // namespace ZELK::Migration
