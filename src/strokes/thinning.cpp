#include "strokes/thinning.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/thread_pool.hpp"

namespace ZELK {

namespace {

using Word = BinarySignal<2, unsigned>::Word;

// Rows per band of a thinning pass: a pass over a reduced photo's mask is short, so bands must
// be large enough to outweigh handing them to a thread.
constexpr std::size_t thinningBandRows = 128;

struct Offset {
    int dx;
    int dy;
};

// The pattern offset (a, b) as an image offset in pass p: each pass turns the pattern by a
// quarter turn.
Offset rotate(int a, int b, unsigned pass) {
    switch (pass & 3u) {
    case 0:
        return {a, b};
    case 1:
        return {b, -a};
    case 2:
        return {-a, -b};
    default:
        return {-b, a};
    }
}

// The words of one row around word w, with the row's padding bits cleared and zeros beyond
// both ends of the row (and for rows outside the image).
struct RowWords {
    Word left = 0, centre = 0, right = 0;
};

RowWords load(const BinarySignal<2, unsigned>& image, int y, std::uint32_t w, Word lastMask) {
    RowWords r;
    if (y < 0 || y >= int(image.height()))
        return r;
    const Word* row = image.row(unsigned(y));
    const std::uint32_t words = image.wordsPerRow();
    auto word = [&](std::uint32_t i) { return i + 1 == words ? row[i] & lastMask : row[i]; };
    r.centre = word(w);
    if (w > 0)
        r.left = word(w - 1);
    if (w + 1 < words)
        r.right = word(w + 1);
    return r;
}

// Bit i of the result is the pixel at x + dx, where bit i of the centre word is x.
Word shifted(const RowWords& r, int dx) {
    if (dx == 0)
        return r.centre;
    if (dx > 0)
        return (r.centre >> 1) | (r.right << 31);
    return (r.centre << 1) | (r.left >> 31);
}

} // namespace

namespace {

// Rows first .. last - 1 of one thinning pass; true when it deleted a pixel.
bool thinRows(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination,
              unsigned pass, int first, int last) {
    const Offset below = rotate(0, 1, pass), above = rotate(0, -1, pass);
    const Offset belowRight = rotate(1, 1, pass);
    const Offset aboveLeft = rotate(-1, -1, pass), aboveRight = rotate(1, -1, pass);
    const Offset left = rotate(-1, 0, pass), right = rotate(1, 0, pass);
    const Word lastMask = source.lastWordMask();
    const std::uint32_t words = source.wordsPerRow();
    Word deletedAny = 0;
    for (int y = first; y < last; ++y) {
        Word* out = destination.row(unsigned(y));
        const Word* in = source.row(unsigned(y));
        for (std::uint32_t w = 0; w < words; ++w) {
            // Only set pixels can be deleted, and line masks are mostly empty.
            if ((w + 1 == words ? in[w] & lastMask : in[w]) == 0) {
                out[w] = 0;
                continue;
            }
            const RowWords rows[3] = {load(source, y - 1, w, lastMask),
                                      load(source, y, w, lastMask),
                                      load(source, y + 1, w, lastMask)};
            auto at = [&](Offset o) { return shifted(rows[o.dy + 1], o.dx); };
            const Word centre = rows[1].centre;
            const Word deleted = centre & ~at(below) & at(above) & ~at(belowRight) &
                                 ((at(aboveLeft) & at(aboveRight)) | (at(left) & ~at(right)));
            out[w] = centre & ~deleted;
            deletedAny |= deleted;
        }
    }
    return deletedAny != 0;
}

} // namespace

bool thinningPass(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination,
                  unsigned pass) {
    destination.resize(source.sizes());
    const int height = int(source.height());
    // Rows in bands on the pool; any band that deleted a pixel makes the pass a changing one,
    // whatever the order.
    const std::size_t bands = (std::size_t(height) + thinningBandRows - 1) / thinningBandRows;
    if (bands <= 1)
        return thinRows(source, destination, pass, 0, height);
    std::vector<char> bandDeleted(bands, 0);
    forEachBand(bands, [&](std::size_t band) {
        const int first = int(band * thinningBandRows);
        bandDeleted[band] = thinRows(source, destination, pass, first,
                                     std::min(height, first + int(thinningBandRows)));
    });
    return std::find(bandDeleted.begin(), bandDeleted.end(), 1) != bandDeleted.end();
}

bool thin(const BinarySignal<2, unsigned>& lineMask, BinarySignal<2, unsigned>& work,
          BinarySignal<2, unsigned>& skeleton, unsigned iterationLimit) {
    const BinarySignal<2, unsigned>* input = &lineMask;
    std::uint64_t changing = 0;
    for (;;) {
        // Every pass must run even after an earlier one deleted something, so no pass result
        // may cut the others short.
        const bool first = thinningPass(*input, work, 0);
        const bool second = thinningPass(work, skeleton, 1);
        const bool third = thinningPass(skeleton, work, 2);
        const bool fourth = thinningPass(work, skeleton, 3);
        const bool changed = first || second || third || fourth;
        input = &skeleton;
        if (!changed)
            return true;
        if (++changing > iterationLimit)
            return false;
    }
}

} // namespace ZELK
