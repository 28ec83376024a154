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

// The words of one row around one word.
struct RowWords {
    Word left = 0, centre = 0, right = 0;
};

// Word w of a row with neighbours, with the row's padding bits cleared and zeros beyond both
// ends of the row.
inline RowWords load(const Word* row, std::uint32_t w, std::uint32_t words, Word lastMask) {
    auto word = [&](std::uint32_t i) { return i + 1 == words ? row[i] & lastMask : row[i]; };
    RowWords r;
    r.centre = word(w);
    if (w > 0)
        r.left = word(w - 1);
    if (w + 1 < words)
        r.right = word(w + 1);
    return r;
}

// The pixels at image offset (a, b) turned for pass p (each pass turns the pattern by a
// quarter turn: (a, b), (b, -a), (-a, -b), (-b, a)), for the 32 pixels of the centre word:
// bit i of the result is the pixel at x + dx, y + dy, where bit i of the centre word is x.
template <unsigned Pass, int A, int B> Word at(const RowWords (&rows)[3]) {
    constexpr int turned[4][2] = {{A, B}, {B, -A}, {-A, -B}, {-B, A}};
    constexpr int dx = turned[Pass][0], dy = turned[Pass][1];
    const RowWords& r = rows[dy + 1];
    if constexpr (dx == 0)
        return r.centre;
    else if constexpr (dx > 0)
        return (r.centre >> 1) | (r.right << 31);
    else
        return (r.centre << 1) | (r.left >> 31);
}

// Rows first .. last - 1 of one thinning pass, only those marked in `compute` (every row when it
// is null; the others are left as they are); deleted[y] tells whether row y lost a pixel (when
// not null). Returns whether any pixel was deleted.
template <unsigned Pass>
bool thinRows(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination,
              int first, int last, const unsigned char* compute, unsigned char* deleted) {
    const Word lastMask = source.lastWordMask();
    const std::uint32_t words = source.wordsPerRow();
    const std::vector<Word> blank(words, 0); // the rows outside the image
    Word deletedAny = 0;
    for (int y = first; y < last; ++y) {
        Word* out = destination.row(unsigned(y));
        const Word* in = source.row(unsigned(y));
        if (compute && !compute[y]) {
            if (deleted)
                deleted[y] = 0;
            continue;
        }
        const Word* above = y > 0 ? source.row(unsigned(y - 1)) : blank.data();
        const Word* below =
            y + 1 < int(source.height()) ? source.row(unsigned(y + 1)) : blank.data();
        Word deletedInRow = 0;
        for (std::uint32_t w = 0; w < words; ++w) {
            // Only set pixels can be deleted, and line masks are mostly empty.
            if ((w + 1 == words ? in[w] & lastMask : in[w]) == 0) {
                out[w] = 0;
                continue;
            }
            const RowWords rows[3] = {load(above, w, words, lastMask), load(in, w, words, lastMask),
                                      load(below, w, words, lastMask)};
            const Word centre = rows[1].centre;
            const Word removed = centre & ~at<Pass, 0, 1>(rows) & at<Pass, 0, -1>(rows) &
                                 ~at<Pass, 1, 1>(rows) &
                                 ((at<Pass, -1, -1>(rows) & at<Pass, 1, -1>(rows)) |
                                  (at<Pass, -1, 0>(rows) & ~at<Pass, 1, 0>(rows)));
            out[w] = centre & ~removed;
            deletedInRow |= removed;
        }
        if (deleted)
            deleted[y] = deletedInRow != 0;
        deletedAny |= deletedInRow;
    }
    return deletedAny != 0;
}

// One pass over all rows, in bands on the pool; any band that deleted a pixel makes the pass a
// changing one, whatever the order.
bool runPass(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination,
             unsigned pass, const unsigned char* compute, unsigned char* deleted) {
    destination.resize(source.sizes());
    const int height = int(source.height());
    const std::size_t bands = (std::size_t(height) + thinningBandRows - 1) / thinningBandRows;
    auto rows = [&](int first, int last) {
        switch (pass & 3u) {
        case 0:
            return thinRows<0>(source, destination, first, last, compute, deleted);
        case 1:
            return thinRows<1>(source, destination, first, last, compute, deleted);
        case 2:
            return thinRows<2>(source, destination, first, last, compute, deleted);
        default:
            return thinRows<3>(source, destination, first, last, compute, deleted);
        }
    };
    if (bands <= 1)
        return rows(0, height);
    std::vector<char> bandDeleted(bands, 0);
    forEachBand(bands, [&](std::size_t band) {
        const int first = int(band * thinningBandRows);
        bandDeleted[band] = rows(first, std::min(height, first + int(thinningBandRows)));
    });
    return std::find(bandDeleted.begin(), bandDeleted.end(), 1) != bandDeleted.end();
}

} // namespace

bool thinningPass(const BinarySignal<2, unsigned>& source, BinarySignal<2, unsigned>& destination,
                  unsigned pass) {
    return runPass(source, destination, pass, nullptr, nullptr);
}

bool thin(const BinarySignal<2, unsigned>& lineMask, BinarySignal<2, unsigned>& work,
          BinarySignal<2, unsigned>& skeleton, unsigned iterationLimit) {
    // Passes are numbered from 1 over the whole run; changedAt[y] is the last one that deleted a
    // pixel of row y. A pass decides each row from rows y - 1 .. y + 1 only, so when none of
    // them changed since the input of the same pass one iteration earlier, and that pass
    // deleted nothing in row y, it deletes nothing now either. Most of a drawing is thin after
    // an iteration or two, while a few thick spots take several more.
    const std::size_t height = lineMask.height();
    std::vector<std::uint64_t> changedAt(height, 0);
    std::vector<unsigned char> compute(height, 1);
    std::vector<unsigned char> deleted(height, 0);
    BinarySignal<2, unsigned>* const targets[2] = {&work, &skeleton};
    const BinarySignal<2, unsigned>* input = &lineMask;
    std::uint64_t number = 0, changing = 0;
    for (;;) {
        // Every pass must run even after an earlier one deleted something, so no pass result
        // may cut the others short.
        bool changed = false;
        for (unsigned pass = 0; pass < 4; ++pass) {
            ++number;
            // From the second iteration on, the destination holds every row as it was two passes
            // ago, which is right for a row the last pass left alone; a row the last pass
            // changed is computed anyway.
            if (number > 4)
                for (std::size_t y = 0; y < height; ++y) {
                    const std::uint64_t since = number - 4;
                    compute[y] = changedAt[y] >= since || (y > 0 && changedAt[y - 1] >= since) ||
                                 (y + 1 < height && changedAt[y + 1] >= since);
                }
            BinarySignal<2, unsigned>& output = *targets[pass & 1u];
            if (runPass(*input, output, pass, compute.data(), deleted.data())) {
                changed = true;
                for (std::size_t y = 0; y < height; ++y)
                    if (deleted[y])
                        changedAt[y] = number;
            }
            input = &output;
        }
        if (!changed)
            return true;
        if (++changing > iterationLimit)
            return false;
    }
}

} // namespace ZELK
