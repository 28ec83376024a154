// The two JPEG decoding modes: sequential (each scan decoded straight into samples) and
// progressive (coefficients kept over all scans and turned into samples at the end).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "migration/image.hpp"
#include "migration/jpeg.hpp"
#include "migration/jpeg_entropy.hpp"
#include "migration/jpeg_idct.hpp"
#include "migration/jpeg_output.hpp"

namespace ZELK::Migration::JPEG {

// The tables that DHT, DQT and DRI segments have defined so far.
struct DecodingTables {
    std::uint16_t restartInterval = 0;
    std::array<HuffmanDecoder, 4> dc;
    std::array<HuffmanDecoder, 4> ac;
    std::array<std::array<std::uint16_t, 64>, 4> quantization{}; // zig-zag order
    std::array<bool, 4> quantizationDefined{};
};

// One frame component: its geometry, its quantisation table as of its first scan, and its
// samples. The sample plane covers whole blocks of whole MCUs, so that a block is always stored
// whole; only the planeWidth x planeHeight corner is image. A plane may keep only a window of
// windowBlockRows rows of blocks, block row by stored at by % windowBlockRows.
struct Component {
    std::uint8_t id = 0;
    unsigned horizontal = 1;
    unsigned vertical = 1;
    std::uint8_t quantizationIndex = 0;
    std::uint32_t planeWidth = 0;
    std::uint32_t planeHeight = 0;
    std::uint32_t blocksAcross = 0; // blocks of whole MCUs
    std::uint32_t blocksDown = 0;
    std::uint32_t scanBlocksAcross = 0; // blocks that a scan of this component alone visits
    std::uint32_t scanBlocksDown = 0;
    std::array<std::uint16_t, 64> quantization{};
    bool quantizationLatched = false;
    std::uint32_t windowBlockRows = 0; // 0: the whole plane
    std::unique_ptr<std::uint8_t[]> plane;

    std::size_t stride() const { return std::size_t(blocksAcross) * 8; }
    std::uint32_t storedBlockRows() const {
        return windowBlockRows != 0 ? windowBlockRows : blocksDown;
    }
    std::uint8_t* blockAt(std::uint32_t bx, std::uint32_t by) {
        if (windowBlockRows != 0)
            by %= windowBlockRows;
        return plane.get() + std::size_t(by) * 8 * stride() + std::size_t(bx) * 8;
    }
    // Allocates the plane for decoding into, without filling it: every scan block gets
    // written.
    void allocatePlane();
    // A component that no scan reached decodes as all-zero blocks do, to 128.
    void ensurePlane();
};

class Mode {
public:
    virtual ~Mode() = default;

    // Frame size and geometry of every component; sampling factors already checked (1..4).
    void setFrame(std::uint32_t width, std::uint32_t height, unsigned componentCount);
    void setComponent(unsigned index, const FrameHeader::ImageComponent& component,
                      unsigned maxHorizontal, unsigned maxVertical);

    // Decodes one scan whose entropy-coded data starts at the window's position; leaves the
    // window just after that data.
    virtual void scan(const ScanHeader& header, const DecodingTables& tables, InputWindow& in) = 0;
    // Writes the decoded image (bottom-up) and its metadata.
    virtual void finish(IncrementalBuffer& data, ImageMetadata& meta) = 0;

protected:
    // Calls onMCU() before every MCU and visit(scan index, block x, block y) for each block of
    // the scan in file order: a scan of one component walks that component's blocks in raster
    // order, an interleaved scan walks MCUs with each component's H x V blocks in turn.
    template <typename OnMCU, typename Visit>
    void walkScan(const std::vector<Component*>& members, OnMCU onMCU, Visit visit);

    // Latches the quantisation table of a component at its first scan; a table that no DQT
    // segment defined is a format error.
    static void latchQuantization(Component& component, const DecodingTables& tables);

    void writeOutput(IncrementalBuffer& data, ImageMetadata& meta);
    // The component planes as the output reads them.
    std::vector<PlaneView> planeViews();
    // The planes are not needed once the picture is written.
    void releasePlanes();

    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::uint32_t mcusAcross_ = 0;
    std::uint32_t mcusDown_ = 0;
    std::vector<Component> components_;
    IDCTBasis basis_;
};

template <typename OnMCU, typename Visit>
void Mode::walkScan(const std::vector<Component*>& members, OnMCU onMCU, Visit visit) {
    if (members.size() == 1) {
        const Component& c = *members[0];
        for (std::uint32_t by = 0; by < c.scanBlocksDown; ++by)
            for (std::uint32_t bx = 0; bx < c.scanBlocksAcross; ++bx) {
                onMCU();
                visit(0u, bx, by);
            }
        return;
    }
    for (std::uint32_t my = 0; my < mcusDown_; ++my)
        for (std::uint32_t mx = 0; mx < mcusAcross_; ++mx) {
            onMCU();
            for (unsigned i = 0; i < members.size(); ++i) {
                const Component& c = *members[i];
                for (unsigned v = 0; v < c.vertical; ++v)
                    for (unsigned h = 0; h < c.horizontal; ++h)
                        visit(i, mx * c.horizontal + h, my * c.vertical + v);
            }
        }
}

class SequentialDCTMode : public Mode {
public:
    void scan(const ScanHeader& header, const DecodingTables& tables, InputWindow& in) override;
    void finish(IncrementalBuffer& data, ImageMetadata& meta) override;

private:
    // The picture as the last complete scan left it, written band by band behind the decoder,
    // and the first failure of those bands, raised by finish() as writing it there would have.
    IncrementalBuffer pixels_;
    bool written_ = false;
    std::exception_ptr outputFailure_;
};

class ProgressiveDCTMode : public Mode {
public:
    void scan(const ScanHeader& header, const DecodingTables& tables, InputWindow& in) override;
    void finish(IncrementalBuffer& data, ImageMetadata& meta) override;

private:
    // Quantised coefficients of every block of each component (zig-zag order), allocated at the
    // component's first scan.
    std::vector<std::vector<std::int16_t>> coefficients_;
};

} // namespace ZELK::Migration::JPEG
