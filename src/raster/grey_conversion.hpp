// Turning a loaded image into the 8-bit grey image of the pipeline: single-channel images are
// taken as they are (bitmaps and 16-bit scans reduced to 8 bits), colour images are weighted
// by how much the two dominant colour clusters differ in each channel.
#pragma once

#include <cstdint>

#include "core/buffers.hpp"
#include "core/histogram.hpp"
#include "core/signal.hpp"
#include "core/tuple.hpp"
#include "migration/image.hpp"

namespace ZELK {

// One of the two colour clusters: centre, coordinate sums and total weight of one pass.
struct ColourCluster {
    Point<3, float> centre;
    float sums[3] = {0.0f, 0.0f, 0.0f};
    float weight = 0.0f;
};

// The 9-bit code of a colour: each of the three channels quantised to its top three bits,
// channel 2 most significant.
inline std::uint32_t colourCode(unsigned c0, unsigned c1, unsigned c2) {
    return ((c2 >> 5) << 6) | ((c1 >> 5) << 3) | (c0 >> 5);
}

// Two-means clustering of the colour codes (counts per code 0..511), centres starting at
// (0, 0, 0) and (1, 1, 1), until no centre moves by more than single-precision epsilon
// (squared). Returns the two clusters after the last pass.
void clusterColours(const DenseHistogram<unsigned short>& codes, ColourCluster clusters[2]);

// Channel weights from the two centres: D / (D.x + D.y + D.z) with D = centre1 - centre0.
// When that sum is 0, D / (|D.x| + |D.y| + |D.z|) keeps the contrast between the clusters
// (the sign of the result is still that of the brighter cluster's direction), and equal
// thirds when the centres coincide.
Vector<3, float> greyWeights(const ColourCluster clusters[2]);

// True for images that skip the colour conversion (one channel).
inline bool isSingleChannel(const Migration::ImageMetadata& meta) {
    return meta.channels == 1;
}

// Grey image (width x height, same line order as the buffer) from a one-channel image: 8-bit
// samples are copied byte for byte from the start of the buffer; 1-bit samples (stored one a
// byte, 1 = black) become 0 for 1 and 255 for 0; 16-bit samples give their most significant
// byte. Raises SpaceException<unsigned int> when the buffer is too small for the size.
void copySingleChannel(const Buffer& data, const Migration::ImageMetadata& meta,
                       Signal<2, unsigned char>& grey);

// Grey image from a colour image viewed through ImageConstSignal<u8> (whose type and
// alignment errors it raises): histogram of colour codes, clustering, weights, then per pixel
// c0 w.x + c1 w.y + c2 w.z in float, clamped to [0, 255] and truncated. Channels are taken in
// the layout's logical order (a BGRA buffer is read as RGB); missing channels count as 0.
// Returns the weights it used.
Vector<3, float> convertColourToGrey(const Buffer& data, const Migration::ImageMetadata& meta,
                                     Signal<2, unsigned char>& grey);

} // namespace ZELK
