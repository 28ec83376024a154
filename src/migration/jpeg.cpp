// Placeholder until the JPEG codec is built: selecting it fails with a clear error.
#include "migration/image.hpp"

namespace ZELK::Migration {

std::unique_ptr<DataImporter> makeJPEGImporter() {
    throw SupportException("JPEG import in this build");
}

} // namespace ZELK::Migration
