// The program's own image format: a text header of quoted metadata pairs, a zero byte, the
// data length and the raw buffer. The visualization client sends images in this form.
#pragma once

#include "migration/image.hpp"

namespace ZELK::Migration {

class NativeImporter : public DataImporterSeparate {
public:
    void readMeta(ImageMetadata& meta) override;
    // Reads the stored length and the bytes; the buffer must already have that size.
    void readData(Buffer& data) override;
    void importData(IncrementalBuffer& data, ImageMetadata& meta) override;

private:
    std::uint32_t readLength();
};

class NativeExporter : public DataExporter {
public:
    void exportData(const Buffer& data, const ImageMetadata& meta) override;
};

} // namespace ZELK::Migration
