// Binary NetPBM images: PBM (P4), PGM (P5) and PPM (P6), 8 or 16 bits a sample.
#pragma once

#include "migration/image.hpp"

namespace ZELK::Migration {

class NetPBMImporter : public DataImporterSeparate {
public:
    // Parses the header (comments and blank lines skipped) into the metadata.
    void readMeta(ImageMetadata& meta) override;
    // Reads the samples into a buffer already sized for the image; needs readMeta first.
    void readData(Buffer& data) override;
    void importData(IncrementalBuffer& data, ImageMetadata& meta) override;

private:
    std::string readHeaderLine();
    bool samplesFit(std::uint64_t remaining) const;
    void readSamples(Buffer& data, const ImageLayout& layout);

    ImageMetadata meta_;
    bool metaRead_ = false;
    IncrementalBuffer line_;
};

class NetPBMExporter : public DataExporter {
public:
    void exportData(const Buffer& data, const ImageMetadata& meta) override;
};

} // namespace ZELK::Migration
