// Flood-fill region labelling with an explicit stack.
#include "raster/labelling.hpp"

#include <bit>
#include <cstdint>
#include <vector>

namespace ZELK {

template <typename Label>
void labelRegions(const BinarySignal<2, unsigned>& set, LabelCounter<Label>& counter,
                  Signal<2, Label>& labels) {
    using Word = BinarySignal<2, unsigned>::Word;
    const unsigned width = set.width();
    const unsigned height = set.height();
    labels.resize(set.sizes());
    labels.fill(counter.value);
    if (labels.empty())
        return;

    // Pixels of the set that no region has claimed yet. A pixel's bit is cleared when it is
    // pushed, so each pixel enters the stack at most once.
    BinarySignal<2, unsigned> open(set);
    open.clearPadding();
    const std::uint32_t words = open.wordsPerRow();
    std::vector<std::uint32_t> stack;
    Label* out = labels.data();

    auto claim = [&](unsigned x, unsigned y) {
        Word& word = open.row(y)[x >> 5];
        const Word bit = Word(1) << (x & 31);
        if (word & bit) {
            word &= ~bit;
            stack.push_back(y * width + x);
        }
    };

    for (unsigned y = 0; y < height; ++y) {
        Word* row = open.row(y);
        for (std::uint32_t i = 0; i < words; ++i) {
            // The fill may clear later bits of this very word, so re-read it each time.
            while (row[i] != 0) {
                const unsigned x = i * 32 + unsigned(std::countr_zero(row[i]));
                const Label label = counter.next();
                claim(x, y);
                while (!stack.empty()) {
                    const std::uint32_t at = stack.back();
                    stack.pop_back();
                    out[at] = label;
                    const unsigned px = at % width;
                    const unsigned py = at / width;
                    if (px > 0)
                        claim(px - 1, py);
                    if (px + 1 < width)
                        claim(px + 1, py);
                    if (py > 0)
                        claim(px, py - 1);
                    if (py + 1 < height)
                        claim(px, py + 1);
                }
            }
        }
    }
}

template void labelRegions<unsigned char>(const BinarySignal<2, unsigned>&,
                                          LabelCounter<unsigned char>&, Signal<2, unsigned char>&);
template void labelRegions<unsigned short>(const BinarySignal<2, unsigned>&,
                                           LabelCounter<unsigned short>&,
                                           Signal<2, unsigned short>&);

} // namespace ZELK
