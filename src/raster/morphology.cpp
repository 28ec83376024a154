// Word-parallel cross and square morphology: 32 pixels per step, neighbours along a row come
// from shifting the word with a carry from the adjacent word.
#include "raster/morphology.hpp"

#include <cstdint>
#include <vector>

namespace ZELK {

namespace {

using Word = BinarySignal<2, unsigned>::Word;

// Copies one row of the source into line, with its padding bits cleared, so that the
// shifts below never pull a padding bit in as a neighbour.
void loadRow(const BinarySignal<2, unsigned>& source, unsigned y, Word mask, Word* line) {
    const std::uint32_t words = source.wordsPerRow();
    const Word* in = source.row(y);
    for (std::uint32_t i = 0; i < words; ++i)
        line[i] = in[i];
    line[words - 1] &= mask;
}

// Word i of a row shifted so that bit x holds pixel x - 1 (the left neighbour); pixel -1 is 0.
inline Word leftOf(const Word* line, std::uint32_t i) {
    return (line[i] << 1) | (i > 0 ? line[i - 1] >> 31 : 0u);
}
// Word i of a row shifted so that bit x holds pixel x + 1 (the right neighbour); beyond the
// row's last word it is 0 (padding was cleared by loadRow).
inline Word rightOf(const Word* line, std::uint32_t i, std::uint32_t words) {
    return (line[i] >> 1) | (i + 1 < words ? line[i + 1] << 31 : 0u);
}

// The setup every 3 x 3 sweep shares. When source and destination are the same mask the
// source is read from a copy (kept in aliasCopy); destination takes the source's size; buffer
// holds four zeroed line buffers of `words` words. Nothing is to be done when height or words
// is 0.
struct Sweep {
    const BinarySignal<2, unsigned>& source;
    unsigned height;
    std::uint32_t words;
    Word mask;
    std::vector<Word> buffer;
};

Sweep prepareSweep(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination,
                   BinarySignal<2, unsigned>& aliasCopy) {
    const BinarySignal<2, unsigned>* from = &source;
    if (&source == &destination) {
        aliasCopy = source;
        from = &aliasCopy;
    }
    destination.resize(from->sizes());
    const std::uint32_t words = from->wordsPerRow();
    return Sweep{*from, from->height(), words, from->lastWordMask(),
                 std::vector<Word>(std::size_t(words) * 4, 0)};
}

enum class CrossOp { dilate, erode };

// Sweeps the rows with three padding-free line buffers (previous, current, next): the output
// word depends only on the source, so the destination may already hold anything.
template <CrossOp op>
void cross(const BinarySignal<2, unsigned>& sourceIn, BinarySignal<2, unsigned>& destination) {
    BinarySignal<2, unsigned> aliasCopy;
    auto [source, height, words, mask, buffer] = prepareSweep(sourceIn, destination, aliasCopy);
    if (height == 0 || words == 0)
        return;
    Word* zero = buffer.data(); // the row outside the image
    Word* above = zero + words;
    Word* here = above + words;
    Word* below = here + words;
    loadRow(source, 0, mask, here);
    const Word* up = zero;
    for (unsigned y = 0; y < height; ++y) {
        const Word* down = zero;
        if (y + 1 < height) {
            loadRow(source, y + 1, mask, below);
            down = below;
        }
        Word* out = destination.row(y);
        for (std::uint32_t i = 0; i < words; ++i) {
            const Word left = leftOf(here, i);
            const Word right = rightOf(here, i, words);
            if constexpr (op == CrossOp::dilate)
                out[i] = here[i] | left | right | up[i] | down[i];
            else
                out[i] = here[i] & left & right & up[i] & down[i];
        }
        out[words - 1] &= mask;
        // Rotate the line buffers: current becomes previous, next becomes current.
        Word* recycled = above;
        above = here;
        here = below;
        below = recycled;
        up = above;
    }
}

} // namespace

void dilate(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination) {
    cross<CrossOp::dilate>(source, destination);
}

void erode(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination) {
    cross<CrossOp::erode>(source, destination);
}

// Separable: a horizontal 3-wide dilation of every row, then the vertical 3-high union of
// the horizontal results.
void dilateSquare3(const BinarySignal<2, unsigned>& sourceIn,
                   BinarySignal<2, unsigned>& destination) {
    BinarySignal<2, unsigned> aliasCopy;
    auto [source, height, words, mask, buffer] = prepareSweep(sourceIn, destination, aliasCopy);
    if (height == 0 || words == 0)
        return;
    Word* line = buffer.data();
    Word* previous = line + words; // horizontal result of row y - 1 (0 above the image)
    Word* current = previous + words;
    Word* next = current + words;
    // Structured bindings are named in the capture list: not every compiler captures them
    // implicitly yet.
    auto horizontal = [&source = source, mask = mask, words = words, line](unsigned y,
                                                                           Word* result) {
        loadRow(source, y, mask, line);
        for (std::uint32_t i = 0; i < words; ++i)
            result[i] = line[i] | leftOf(line, i) | rightOf(line, i, words);
        result[words - 1] &= mask;
    };
    horizontal(0, current);
    for (unsigned y = 0; y < height; ++y) {
        if (y + 1 < height)
            horizontal(y + 1, next);
        else
            std::fill_n(next, words, Word(0));
        Word* out = destination.row(y);
        for (std::uint32_t i = 0; i < words; ++i)
            out[i] = previous[i] | current[i] | next[i];
        Word* recycled = previous;
        previous = current;
        current = next;
        next = recycled;
    }
}

} // namespace ZELK
