// The last step of JPEG decoding: component planes resampled to the image size, converted from
// YCbCr to RGB and written into the bottom-up image buffer with its metadata.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "migration/image.hpp"

namespace ZELK::Migration::JPEG {

// A borrowed plane of 8-bit samples: width x height samples, rows stride bytes apart. A plane
// that keeps only a window of its rows (windowRows not 0) stores row r at r % windowRows.
struct PlaneView {
    const std::uint8_t* samples = nullptr;
    std::size_t stride = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t windowRows = 0;

    const std::uint8_t* row(std::uint32_t r) const {
        return samples + std::size_t(windowRows == 0 ? r : r % windowRows) * stride;
    }
};

// Brings one plane to width x height, a row at a time. A plane of that size is passed through;
// otherwise target sample (x, y) is the bilinear interpolation of the plane at
// (x (planeWidth - 1) / (width - 1), y (planeHeight - 1) / (height - 1)), neighbours outside the
// plane counting as 0, truncated to 8 bits. A plane extent of 1 samples coordinate 0. Each
// plane row is interpolated across first (once, however many target rows use it), then the two
// rows around y are blended; each fraction is the exact quotient rounded once to float. The
// plane is never larger than the image. A copy shares the column tables but has its own row
// cache, so that bands of rows can be resampled at once, each by its own copy.
class PlaneResampler {
public:
    PlaneResampler(const PlaneView& plane, std::uint32_t width, std::uint32_t height);
    // Row y (0 = top) of the resampled plane; valid until the next call.
    const std::uint8_t* row(std::uint32_t y);
    // The first and the last plane row that row(y) reads; both grow with y.
    std::uint32_t firstPlaneRow(std::uint32_t y) const;
    std::uint32_t lastPlaneRow(std::uint32_t y) const;

private:
    // The plane rows around row y and the weight of the lower one.
    void rowsAround(std::uint32_t y, std::uint32_t& top, std::uint32_t& bottom,
                    float& fraction) const;
    // The plane row interpolated across into one of the two cached rows; returns it.
    const float* across(std::uint32_t planeRow);

    // Per target column: the plane column left of it and the weights of that column and the next.
    struct Columns {
        std::vector<std::uint32_t> left;
        std::vector<float> leftWeight;
        std::vector<float> rightWeight;
        bool stepsOfOne = false; // left grows by at most 1 from one column to the next
    };

    PlaneView plane_;
    std::uint32_t width_;
    std::uint32_t height_;
    bool direct_;
    std::shared_ptr<const Columns> columns_;
    std::vector<float> samples_;  // one plane row as floats, and the 0 beyond its end
    std::vector<float> cache_[2]; // rows interpolated across
    std::uint32_t cachedRow_[2];
    std::vector<std::uint8_t> out_;
};

// The metadata of a decoded picture of that many planes (grey for one, RGB from Y, Cb, Cr for
// three): width x height, 8-bit unsigned, no alignment, INTENSITY or RGBA; the other fields are
// taken from base.
ImageMetadata decodedMetadata(const ImageMetadata& base, std::size_t planes, std::uint32_t width,
                              std::uint32_t height);

// Image rows per band of the output: with 4:2:0 chroma a band re-reads at most one plane row
// that the band before it also read, so 64 rows keep that overhead small.
constexpr std::uint32_t outputBandRows = 64;
// The most consecutive rows of one plane that a band reads: a plane is never taller than the
// image, so a band's rows map to at most as many plane rows, and blending adds the row below.
constexpr std::uint32_t maxBandPlaneRows = outputBandRows + 1;

// The plane rows first .. end - 1 that a band reads.
struct PlaneRows {
    std::uint32_t first;
    std::uint32_t end;
};

// The image rows made from the planes in bands of a fixed number of rows. Each band resamples
// with copies of its own, so it computes exactly the bytes of a single top-to-bottom pass
// whenever and on whichever thread it is written; a band may be written as soon as the plane
// rows it reads (planeRows) hold their final samples. The planes and the pixel buffer
// (height lines of bytesPerLine bytes, the top image row last) are borrowed.
class ImageBands {
public:
    ImageBands(const std::vector<PlaneView>& planes, std::uint32_t width, std::uint32_t height,
               std::uint8_t* pixels, std::size_t bytesPerLine);

    std::size_t count() const { return count_; }
    PlaneRows planeRows(std::size_t band, std::size_t plane) const;
    // Writes the band's image rows; safe to call for different bands at once.
    void write(std::size_t band) const;

private:
    std::vector<PlaneResampler> resamplers_; // one per plane, copied by every band
    std::uint32_t width_;
    std::uint32_t height_;
    std::uint8_t* pixels_;
    std::size_t bytesPerLine_;
    std::size_t count_;
};

// Writes a grey image (one plane) or an RGB image from Y, Cb, Cr planes (three planes) with
// decodedMetadata(meta, ...) into data and meta, its bands on the pool.
void writeImage(const std::vector<PlaneView>& planes, std::uint32_t width, std::uint32_t height,
                IncrementalBuffer& data, ImageMetadata& meta);

} // namespace ZELK::Migration::JPEG
