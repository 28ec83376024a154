// Sequential and progressive scan decoding, restart handling, and the final conversion of the
// decoded component planes into the image buffer.
#include "migration/jpeg_modes.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "core/checked.hpp"
#include "core/exceptions.hpp"
#include "core/limits.hpp"
#include "core/thread_pool.hpp"
#include "migration/jpeg_output.hpp"

namespace ZELK::Migration::JPEG {

namespace {

// Blocks decoded before their inverse transforms start: enough that handing a batch over costs
// little against transforming it, few enough that two batches (about 0.5 MB each) stay cached.
constexpr std::size_t transformBatchBlocks = 1536;

// Rows of blocks per band of the progressive mode's final transforms.
constexpr std::uint32_t finishBandRows = 4;

// A decoded block waiting for its inverse transform: dequantised coefficients in natural order,
// of which only the entries in mask were written, and where its samples go.
struct DecodedBlock {
    alignas(64) float coefficients[64];
    std::uint64_t mask;
    std::uint8_t* destination;
    std::size_t stride;
};

// An all-zero block decodes to this sample: 0 + 128.5, truncated.
constexpr std::uint8_t emptySample = 128;

[[noreturn]] void coefficientBeyondBand() {
    throw FormatException("jpeg", "AC coefficient beyond end of spectral band. ");
}

[[noreturn]] void tooManyACBits(unsigned limit) {
    throw FormatException("jpeg",
                          "More than " + std::to_string(limit) + " AC extend bits encountered. ");
}

// An AC code: the run of zero coefficients before the next one (high four bits) and that
// coefficient's magnitude size (low four bits), refused above the limit (10 bits for 8-bit
// samples, 1 bit in a refinement scan).
struct RunSize {
    unsigned run;
    unsigned size;
};

RunSize decodeRunSize(BitReader& reader, const HuffmanDecoder& ac, unsigned limit) {
    const unsigned rs = ac.decode(reader);
    if ((rs & 15u) > limit)
        tooManyACBits(limit);
    return {rs >> 4, rs & 15u};
}

// DC difference size: at most 11 bits for 8-bit samples.
unsigned decodeDCSize(BitReader& reader, const HuffmanDecoder& dc) {
    unsigned s = dc.decode(reader);
    if (s > 11)
        throw FormatException("jpeg", "More than 11 DC extend bits encountered. ");
    return s;
}

// The Huffman table a scan component selects; a table that no DHT segment defined is a format
// error rather than a decoder without codes.
const HuffmanDecoder& selectTable(const std::array<HuffmanDecoder, 4>& tables, unsigned index) {
    if (index >= tables.size() || !tables[index].defined())
        throw FormatException("jpeg", "Scan uses an undefined Huffman table. ");
    return tables[index];
}

// One sequential block: DC difference and AC run/size codes into dequantised coefficients in
// natural order (only the entries it sets are written, the rest are left as they were). Returns
// the natural-order positions written. Coefficients are 16-bit values, the DC predictor wraps
// as a 16-bit value does.
std::uint64_t decodeSequentialBlock(BitReader& reader, const HuffmanDecoder& dc,
                                    const HuffmanDecoder& ac, std::int16_t& predictor,
                                    const std::uint16_t* quantization, float* coefficients) {
    const unsigned dcSize = decodeDCSize(reader, dc);
    predictor = static_cast<std::int16_t>(predictor + extend(reader.bits(dcSize), dcSize));
    coefficients[0] = static_cast<float>(std::int32_t(predictor) * quantization[0]);
    std::uint64_t mask = 1;
    for (unsigned k = 1; k < 64;) {
        reader.fill();
        if (reader.available() >= HuffmanDecoder::lookupBits) {
            // Most coefficients: code and extra bits resolved by one lookup, with the same
            // checks as below.
            const std::uint32_t fast = ac.coefficientAt(reader);
            if (fast != 0) {
                k += (fast >> 8) & 0xFFu;
                if (k > 63)
                    coefficientBeyondBand();
                reader.consume(fast & 0xFFu);
                const auto value = static_cast<std::int16_t>(fast >> 16);
                const unsigned natural = zigzagToNatural[k];
                coefficients[natural] = static_cast<float>(std::int32_t(value) * quantization[k]);
                mask |= 1ull << natural;
                ++k;
                continue;
            }
        }
        const auto [r, s] = decodeRunSize(reader, ac, 10);
        if (s == 0) {
            if (r == 15) {
                k += 16;
                continue;
            }
            if ((1u << r) + reader.bits(r) > 1)
                throw FormatException("jpeg", "Encountered larger than EOB0 in sequential mode. ");
            break;
        }
        k += r;
        if (k > 63)
            coefficientBeyondBand();
        const auto value = static_cast<std::int16_t>(extend(reader.bits(s), s));
        const unsigned natural = zigzagToNatural[k];
        coefficients[natural] = static_cast<float>(std::int32_t(value) * quantization[k]);
        mask |= 1ull << natural;
        ++k;
    }
    return mask;
}

} // namespace

void Component::allocatePlane() {
    if (!plane)
        plane = std::make_unique_for_overwrite<std::uint8_t[]>(stride() *
                                                               std::size_t(storedBlockRows()) * 8);
}

void Component::ensurePlane() {
    if (plane)
        return;
    allocatePlane();
    std::memset(plane.get(), emptySample, stride() * std::size_t(storedBlockRows()) * 8);
}

void Mode::setFrame(std::uint32_t width, std::uint32_t height, unsigned componentCount) {
    width_ = width;
    height_ = height;
    components_.clear();
    components_.resize(componentCount);
}

void Mode::setComponent(unsigned index, const FrameHeader::ImageComponent& component,
                        unsigned maxHorizontal, unsigned maxVertical) {
    if (components_.size() <= index)
        components_.resize(index + 1);
    Component& c = components_[index];
    c.id = component.id;
    c.horizontal = component.horizontal();
    c.vertical = component.vertical();
    c.quantizationIndex = component.quantizationTable;
    c.planeWidth = static_cast<std::uint32_t>(
        (std::uint64_t(width_) * c.horizontal + maxHorizontal - 1) / maxHorizontal);
    c.planeHeight = static_cast<std::uint32_t>(
        (std::uint64_t(height_) * c.vertical + maxVertical - 1) / maxVertical);
    c.scanBlocksAcross = (c.planeWidth + 7) / 8;
    c.scanBlocksDown = (c.planeHeight + 7) / 8;
    mcusAcross_ = (width_ + 8 * maxHorizontal - 1) / (8 * maxHorizontal);
    mcusDown_ = (height_ + 8 * maxVertical - 1) / (8 * maxVertical);
    // Stored blocks: whole MCUs, except that a frame of one component has one block per MCU.
    const bool alone = components_.size() == 1;
    c.blocksAcross = alone ? c.scanBlocksAcross : mcusAcross_ * c.horizontal;
    c.blocksDown = alone ? c.scanBlocksDown : mcusDown_ * c.vertical;
    c.plane.reset();
    c.windowBlockRows = 0;
    c.quantizationLatched = false;
}

void Mode::latchQuantization(Component& component, const DecodingTables& tables) {
    if (component.quantizationIndex >= tables.quantization.size() ||
        !tables.quantizationDefined[component.quantizationIndex])
        throw FormatException("jpeg", "Scan uses an undefined quantization table. ");
    if (!component.quantizationLatched) {
        component.quantization = tables.quantization[component.quantizationIndex];
        component.quantizationLatched = true;
    }
}

std::vector<PlaneView> Mode::planeViews() {
    std::vector<PlaneView> planes;
    for (Component& c : components_) {
        c.ensurePlane();
        planes.push_back(
            {c.plane.get(), c.stride(), c.planeWidth, c.planeHeight, c.windowBlockRows * 8});
    }
    return planes;
}

void Mode::releasePlanes() {
    for (Component& c : components_)
        c.plane.reset();
}

void Mode::writeOutput(IncrementalBuffer& data, ImageMetadata& meta) {
    writeImage(planeViews(), width_, height_, data, meta);
}

void SequentialDCTMode::scan(const ScanHeader& header, const DecodingTables& tables,
                             InputWindow& in) {
    const auto& members = header.components.items;
    if (members.size() != components_.size())
        throw FormatException(
            "jpeg", "Sequential DCT scan does not have same number of components as frame. ");
    for (std::size_t i = 0; i < members.size(); ++i)
        if (members[i].id != components_[i].id)
            throw FormatException("jpeg",
                                  "Sequential DCT scan component does not match frame component. ");
    if (header.spectralStart != 0)
        throw SupportException("Sequential DCT JPEG with other than 0 start spectral selection");
    if (header.spectralEnd != 63)
        throw SupportException("Sequential DCT JPEG with other than 63 end spectral selection");
    if (header.approximation != 0)
        throw SupportException("Sequential DCT JPEG with other than 0 successive approximation");

    struct Member {
        const HuffmanDecoder* dc;
        const HuffmanDecoder* ac;
        Component* component;
        std::int16_t predictor;
    };
    std::vector<Member> scanMembers;
    std::vector<Component*> walked;
    for (std::size_t i = 0; i < members.size(); ++i) {
        Component& c = components_[i];
        const HuffmanDecoder& dc = selectTable(tables.dc, members[i].dcTable());
        const HuffmanDecoder& ac = selectTable(tables.ac, members[i].acTable());
        // Each sequential scan uses the tables in force when it starts.
        c.quantizationLatched = false;
        latchQuantization(c, tables);
        scanMembers.push_back({&dc, &ac, &c, 0});
        walked.push_back(&c);
    }

    BitReader reader(in);
    const std::uint32_t interval = tables.restartInterval;
    std::uint32_t sinceRestart = 0;
    unsigned expectedRestart = 0;
    auto onMCU = [&] {
        if (interval != 0 && sinceRestart == interval) {
            reader.release();
            if (in.byte() != 0xFF)
                throw FormatException("jpeg", "Expected marker. ");
            const std::uint8_t code = in.byte();
            if (code < 0xD0 || code > 0xD7)
                throw FormatException("jpeg", "Expected reset marker, got 0x" + hex(code));
            const unsigned count = code - 0xD0u;
            if (count != expectedRestart)
                throw FormatException("jpeg", "Expected reset count " +
                                                  std::to_string(expectedRestart) + ", got " +
                                                  std::to_string(count));
            for (Member& m : scanMembers)
                m.predictor = 0;
            expectedRestart = (expectedRestart + 1) % 8;
            sinceRestart = 0;
        }
        ++sinceRestart;
    };
    // The picture is written behind the decoder, band by band as soon as the rows of MCUs
    // (of blocks, for a frame of one component) that a band reads are transformed; a picture
    // too large for one buffer is left to finish(), which raises that.
    written_ = false;
    outputFailure_ = nullptr;
    const ImageLayout layout(decodedMetadata(ImageMetadata(), components_.size(), width_, height_));
    const bool behind = layout.dataSize() <= Limits::maxBufferBytes;
    const bool alone = walked.size() == 1;
    const std::uint64_t mcusPerRow = alone ? walked[0]->scanBlocksAcross : mcusAcross_;
    const std::uint32_t mcuRows = alone ? walked[0]->scanBlocksDown : mcusDown_;
    if (behind) {
        // The planes then keep a window of MCU rows: the rows that the bands not yet written
        // read, and those that the batches in flight fill. A band reads at most bandRows rows
        // of MCUs (one holds at least 8 plane rows), the next band to write reads none above
        // the rows complete two batches ago, and a batch is only handed over once the bands
        // started before it are written.
        std::uint64_t blocksPerRow = 0;
        for (const Component* c : walked)
            blocksPerRow += alone ? c->scanBlocksAcross : mcusAcross_ * c->horizontal * c->vertical;
        const std::uint64_t bandRows = (maxBandPlaneRows - 1) / 8 + 2;
        const std::uint64_t batchRows = (transformBatchBlocks + blocksPerRow - 1) / blocksPerRow;
        // The 4 spare rows cover batches and bands that start and end inside a row.
        const std::uint64_t window = bandRows + 2 * batchRows + 4;
        if (window < mcuRows)
            for (Component& c : components_)
                c.windowBlockRows = static_cast<std::uint32_t>(window) * (alone ? 1 : c.vertical);
    }
    for (Component& c : components_)
        c.allocatePlane();
    std::optional<ImageBands> bands;
    // Per band, the rows of MCUs up to the last one it reads.
    std::vector<std::uint32_t> mcuRowsNeeded;
    if (behind) {
        pixels_.resize(static_cast<std::uint32_t>(layout.dataSize()));
        bands.emplace(planeViews(), width_, height_, pixels_.data(), layout.bytesPerLine);
        for (std::size_t band = 0; band < bands->count(); ++band) {
            std::uint32_t rows = 0;
            for (std::size_t i = 0; i < components_.size(); ++i) {
                const std::uint32_t rowsPerMCU = alone ? 8 : 8 * components_[i].vertical;
                rows = std::max(rows, (bands->planeRows(band, i).end - 1) / rowsPerMCU + 1);
            }
            mcuRowsNeeded.push_back(rows);
        }
    }
    std::uint64_t mcusStarted = 0;
    std::size_t nextBand = 0;
    auto bandsReady = [&](std::uint32_t transformedRows) {
        std::size_t end = nextBand;
        while (end < mcuRowsNeeded.size() && mcuRowsNeeded[end] <= transformedRows)
            ++end;
        const std::size_t first = nextBand;
        nextBand = end;
        return std::pair{first, end};
    };
    // Bands are taken in order from one counter, by the pool's tasks and by this thread while
    // it waits for them, so that it shares the writing instead of idling. Failures are kept
    // for finish(), the lowest band's, as a single pass would have met them.
    std::atomic<std::size_t> nextToWrite{0};
    std::mutex failureMutex;
    std::size_t failedBand = 0;
    auto writeBandsBelow = [&](std::size_t limit) {
        for (std::size_t band = nextToWrite.load();;) {
            if (band >= limit)
                return;
            if (!nextToWrite.compare_exchange_weak(band, band + 1))
                continue; // band now holds the counter's value
            try {
                bands->write(band);
            } catch (...) {
                std::lock_guard lock(failureMutex);
                if (!outputFailure_ || band < failedBand) {
                    outputFailure_ = std::current_exception();
                    failedBand = band;
                }
            }
            band = nextToWrite.load();
        }
    };
    // The tasks, after what they use, so that they are waited for before it goes away.
    std::vector<Background> writing;
    auto waitForWriting = [&] {
        writeBandsBelow(nextBand);
        for (Background& task : writing)
            task.wait();
        writing.clear();
    };

    // Entropy decoding is serial; the inverse transforms run behind it, a batch of decoded
    // blocks at a time, beside the decoder while it fills the other batch. Every block is
    // transformed on its own, so the samples do not depend on who transforms them when.
    std::vector<DecodedBlock> batches[2] = {std::vector<DecodedBlock>(transformBatchBlocks),
                                            std::vector<DecodedBlock>(transformBatchBlocks)};
    // The rows of MCUs whose blocks were all decoded when each batch was handed over.
    std::uint32_t completeRows[2] = {0, 0};
    Background transforming[2]; // after the batches: destroyed, so waited for, first
    unsigned current = 0;
    std::size_t filled = 0;
    auto flush = [&] {
        // The rows that this batch fills may share the window with rows that those bands read.
        waitForWriting();
        const DecodedBlock* batch = batches[current].data();
        const std::size_t count = filled;
        transforming[current] = Background([this, batch, count] {
            for (std::size_t i = 0; i < count; ++i) {
                transformBlock(basis_, batch[i].coefficients, batch[i].mask, batch[i].destination,
                               batch[i].stride);
            }
        });
        // Every MCU before the one being decoded is whole in this batch or an earlier one.
        completeRows[current] =
            static_cast<std::uint32_t>(mcusStarted == 0 ? 0 : (mcusStarted - 1) / mcusPerRow);
        current ^= 1u;
        transforming[current].wait();
        filled = 0;
        // The other batch is transformed now, and with it every batch before it.
        const auto ready = bandsReady(completeRows[current]);
        const auto end = ready.second;
        if (ready.first < end)
            writing.emplace_back([&writeBandsBelow, end] { writeBandsBelow(end); });
    };
    auto visit = [&](unsigned i, std::uint32_t bx, std::uint32_t by) {
        Member& m = scanMembers[i];
        DecodedBlock& block = batches[current][filled];
        block.mask = decodeSequentialBlock(reader, *m.dc, *m.ac, m.predictor,
                                           m.component->quantization.data(), block.coefficients);
        block.destination = m.component->blockAt(bx, by);
        block.stride = m.component->stride();
        if (++filled == transformBatchBlocks)
            flush();
    };
    walkScan(
        walked,
        [&] {
            onMCU();
            ++mcusStarted;
        },
        visit);
    flush();
    transforming[0].wait();
    transforming[1].wait();
    reader.release();
    if (!behind)
        return;
    // The batches are done with: their memory goes back before the last bands are written.
    batches[0] = std::vector<DecodedBlock>();
    batches[1] = std::vector<DecodedBlock>();
    // The bands left need the last rows.
    const auto ready = bandsReady(mcuRows);
    const auto end = ready.second;
    for (std::size_t i = 0; ready.first < end && i + 1 < threadCount(); ++i)
        writing.emplace_back([&writeBandsBelow, end] { writeBandsBelow(end); });
    waitForWriting();
    written_ = true;
}

void SequentialDCTMode::finish(IncrementalBuffer& data, ImageMetadata& meta) {
    if (!written_) {
        writeOutput(data, meta);
        releasePlanes();
        return;
    }
    releasePlanes();
    if (outputFailure_)
        std::rethrow_exception(outputFailure_);
    meta = decodedMetadata(meta, components_.size(), width_, height_);
    data.swap(pixels_);
    pixels_ = IncrementalBuffer();
}

void ProgressiveDCTMode::scan(const ScanHeader& header, const DecodingTables& tables,
                              InputWindow& in) {
    const auto& members = header.components.items;
    const unsigned ss = header.spectralStart;
    const unsigned se = header.spectralEnd;
    const unsigned ah = header.approximationHigh();
    const unsigned al = header.approximationLow();
    if (tables.restartInterval != 0)
        throw SupportException("restart interval in progressive JPEG");
    if (ss > 0 && members.size() != 1)
        throw FormatException(
            "jpeg", "Only one component may be specified per AC scan of progressive JPEG. ");
    if (ss == 0 && se != 0)
        throw FormatException("jpeg", "DC component of progressive JPEG not alone. ");
    if (ss == 0 && members.size() != components_.size())
        throw FormatException(
            "jpeg", "All components must be specified for DC in single scan of progressive JPEG. ");
    std::vector<Component*> walked;
    std::vector<std::int16_t*> blocks;
    std::vector<const HuffmanDecoder*> huffman;
    for (const auto& member : members) {
        std::size_t index = 0;
        while (index < components_.size() && components_[index].id != member.id)
            ++index;
        if (index == components_.size())
            throw NotFoundException<unsigned>(member.id, "defined channels");
        walked.push_back(&components_[index]);
    }
    if (se > 63 || ss > se)
        throw FormatException("jpeg", "Spectral selection outside of the block. ");
    if (coefficients_.size() < components_.size())
        coefficients_.resize(components_.size());
    for (std::size_t i = 0; i < walked.size(); ++i) {
        Component& c = *walked[i];
        if (ss == 0 && ah == 0)
            huffman.push_back(&selectTable(tables.dc, members[i].dcTable()));
        else if (ss > 0)
            huffman.push_back(&selectTable(tables.ac, members[i].acTable()));
        else
            huffman.push_back(nullptr); // DC refinement bits are not Huffman coded
        latchQuantization(c, tables);
        auto& store = coefficients_[static_cast<std::size_t>(&c - components_.data())];
        if (store.empty())
            store.assign(checkedMul(checkedMul(c.blocksAcross, c.blocksDown), 64), 0);
        blocks.push_back(store.data());
    }

    BitReader reader(in);
    std::vector<std::int16_t> predictors(walked.size(), 0);
    std::uint32_t endOfBandRun = 0;
    auto blockOf = [&](unsigned i, std::uint32_t bx, std::uint32_t by) {
        return blocks[i] + (std::size_t(by) * walked[i]->blocksAcross + bx) * 64;
    };
    auto noMCUAction = [] {};

    if (ss == 0 && ah == 0) {
        walkScan(walked, noMCUAction, [&](unsigned i, std::uint32_t bx, std::uint32_t by) {
            const unsigned s = decodeDCSize(reader, *huffman[i]);
            predictors[i] = static_cast<std::int16_t>(predictors[i] + extend(reader.bits(s), s));
            blockOf(i, bx, by)[0] = static_cast<std::int16_t>(std::int32_t(predictors[i]) << al);
        });
    } else if (ss == 0) {
        walkScan(walked, noMCUAction, [&](unsigned i, std::uint32_t bx, std::uint32_t by) {
            std::int16_t& dc = blockOf(i, bx, by)[0];
            if (reader.bit())
                dc = static_cast<std::int16_t>(dc | (1 << al));
        });
    } else if (ah == 0) {
        const HuffmanDecoder& ac = *huffman[0];
        walkScan(walked, noMCUAction, [&](unsigned i, std::uint32_t bx, std::uint32_t by) {
            if (endOfBandRun > 0) {
                --endOfBandRun;
                return;
            }
            std::int16_t* block = blockOf(i, bx, by);
            for (unsigned k = ss; k <= se; ++k) {
                const auto [r, s] = decodeRunSize(reader, ac, 10);
                if (s == 0) {
                    if (r == 15) {
                        k += 15;
                        continue;
                    }
                    endOfBandRun = (1u << r) + reader.bits(r) - 1;
                    break;
                }
                k += r;
                if (k > se)
                    coefficientBeyondBand();
                block[k] = static_cast<std::int16_t>(extend(reader.bits(s), s) * (1 << al));
            }
        });
    } else {
        const HuffmanDecoder& ac = *huffman[0];
        const std::int32_t plus = 1 << al;
        // Refines one coefficient that is already non-zero by one correction bit.
        auto refine = [&](std::int16_t& coefficient) {
            if (reader.bit() && (coefficient & plus) == 0)
                coefficient = static_cast<std::int16_t>(coefficient >= 0 ? coefficient + plus
                                                                         : coefficient - plus);
        };
        walkScan(walked, noMCUAction, [&](unsigned i, std::uint32_t bx, std::uint32_t by) {
            std::int16_t* block = blockOf(i, bx, by);
            unsigned k = ss;
            if (endOfBandRun == 0) {
                for (; k <= se; ++k) {
                    const RunSize code = decodeRunSize(reader, ac, 1);
                    int r = static_cast<int>(code.run);
                    const unsigned s = code.size;
                    std::int32_t value = 0;
                    if (s == 1) {
                        value = reader.bit() ? plus : -plus;
                    } else if (r != 15) {
                        endOfBandRun = (1u << r) + reader.bits(static_cast<unsigned>(r));
                        break;
                    }
                    // Refine the non-zero coefficients passed on the way to the r-th zero one
                    // (the new coefficient's place, or the last of the 16 zeros of a ZRL).
                    for (; k <= se; ++k) {
                        if (block[k] != 0)
                            refine(block[k]);
                        else if (--r < 0)
                            break;
                    }
                    if (value != 0) {
                        if (k > se)
                            coefficientBeyondBand();
                        block[k] = static_cast<std::int16_t>(value);
                    }
                }
            }
            if (endOfBandRun > 0) {
                for (; k <= se; ++k)
                    if (block[k] != 0)
                        refine(block[k]);
                --endOfBandRun;
            }
        });
    }
    reader.release();
}

void ProgressiveDCTMode::finish(IncrementalBuffer& data, ImageMetadata& meta) {
    for (std::size_t ci = 0; ci < components_.size(); ++ci) {
        Component& c = components_[ci];
        if (ci >= coefficients_.size() || coefficients_[ci].empty())
            continue; // left to writeOutput's fill
        c.allocatePlane();
        const std::int16_t* store = coefficients_[ci].data();
        // Rows of blocks in bands on the pool; every block is transformed on its own.
        const std::uint32_t bands = (c.scanBlocksDown + finishBandRows - 1) / finishBandRows;
        forEachBand(bands, [&](std::size_t band) {
            const std::uint32_t first = std::uint32_t(band) * finishBandRows;
            const std::uint32_t last = std::min(c.scanBlocksDown, first + finishBandRows);
            for (std::uint32_t by = first; by < last; ++by)
                for (std::uint32_t bx = 0; bx < c.scanBlocksAcross; ++bx) {
                    const std::int16_t* block =
                        store + (std::size_t(by) * c.blocksAcross + bx) * 64;
                    blockToSamples(basis_, block, nonZeroMask(block), c.quantization.data(),
                                   c.blockAt(bx, by), c.stride());
                }
        });
        // The samples replace them; a fresh vector gives the memory back (assigning {} would keep
        // its capacity until the end of decoding, beside the RGB buffer).
        coefficients_[ci] = std::vector<std::int16_t>();
    }
    writeOutput(data, meta);
    releasePlanes();
}

} // namespace ZELK::Migration::JPEG
