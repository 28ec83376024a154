// Fixture pictures through the importer and the grey conversion.
#include "support/fixtures.hpp"

#include "migration/image.hpp"
#include "raster/grey_conversion.hpp"
#include "support/run_binary.hpp"

namespace PenvexTest {

ZELK::Signal<2, unsigned char> greyFixture(const std::string& relative) {
    ZELK::IncrementalBuffer data;
    ZELK::Migration::ImageMetadata meta;
    ZELK::Migration::importImage(data, meta, dataPath(relative).string());
    ZELK::Signal<2, unsigned char> grey;
    if (ZELK::isSingleChannel(meta))
        ZELK::copySingleChannel(data, meta, grey);
    else
        ZELK::convertColourToGrey(data, meta, grey);
    return grey;
}

} // namespace PenvexTest
