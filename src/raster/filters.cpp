// Window filters. Each keeps its work rows outside the pixel loops and walks rows by pointer.
#include "raster/filters.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/exceptions.hpp"
#include "core/thread_pool.hpp"

namespace ZELK {

namespace {

using Image = Signal<2, unsigned char>;

inline unsigned clampIndex(std::int64_t i, unsigned size) {
    return i < 0 ? 0u : (i >= std::int64_t(size) ? size - 1 : unsigned(i));
}

void requireWindow(const Tuple<2, unsigned>& window, unsigned limit) {
    for (unsigned axis = 0; axis < 2; ++axis) {
        if (window[axis] == 0)
            throw BoundException<unsigned int>(0u, 1u);
        if (window[axis] > limit)
            throw BoundException<unsigned int>(window[axis], limit);
    }
}

// Runs a filter into a fresh image when the caller passed the source as destination, since
// every filter reads source samples after it has written outputs.
template <typename F>
void withDistinctDestination(const Image& source, Image& destination, F filter) {
    if (&source == &destination) {
        Image result;
        filter(source, result);
        destination = std::move(result);
    } else {
        filter(source, destination);
    }
}

// Rows per band of the 3 x 3 median.
constexpr unsigned medianBandRows = 64;

inline unsigned char median3(unsigned char a, unsigned char b, unsigned char c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// 3 x 3 median: sort every column triple once, then the median of nine is the median of
// (largest of the three low values, median of the middles, smallest of the highs). Plain
// min/max over arrays, which the compiler vectorises.
// Rows first .. last - 1 of the 3 x 3 median.
void median3x3Rows(const Image& source, Image& destination, unsigned first, unsigned last) {
    const unsigned width = source.width();
    const unsigned height = source.height();
    // Column triples of the padded row: index i holds column clamp(i - 1).
    std::vector<unsigned char> lo(width + 2), mid(width + 2), hi(width + 2);
    for (unsigned y = first; y < last; ++y) {
        const unsigned char* a = source.row(clampIndex(std::int64_t(y) - 1, height));
        const unsigned char* b = source.row(y);
        const unsigned char* c = source.row(clampIndex(std::int64_t(y) + 1, height));
        for (unsigned x = 0; x < width; ++x) {
            const unsigned char small = std::min(a[x], b[x]);
            const unsigned char large = std::max(a[x], b[x]);
            lo[x + 1] = std::min(small, c[x]);
            mid[x + 1] = std::max(small, std::min(large, c[x]));
            hi[x + 1] = std::max(large, c[x]);
        }
        lo[0] = lo[1];
        mid[0] = mid[1];
        hi[0] = hi[1];
        lo[width + 1] = lo[width];
        mid[width + 1] = mid[width];
        hi[width + 1] = hi[width];
        unsigned char* __restrict out = destination.row(y);
        const unsigned char* __restrict l = lo.data();
        const unsigned char* __restrict m = mid.data();
        const unsigned char* __restrict h = hi.data();
        // A size_t index: with an unsigned one the compiler must allow for x + 2 wrapping and
        // leaves the loop scalar.
        for (std::size_t x = 0; x < width; ++x) {
            const unsigned char maxLow = std::max(std::max(l[x], l[x + 1]), l[x + 2]);
            const unsigned char midMid = median3(m[x], m[x + 1], m[x + 2]);
            const unsigned char minHigh = std::min(std::min(h[x], h[x + 1]), h[x + 2]);
            out[x] = median3(maxLow, midMid, minHigh);
        }
    }
}

// Rows are independent: bands of them on the pool.
void median3x3(const Image& source, Image& destination) {
    const unsigned height = source.height();
    const std::size_t bands = (height + medianBandRows - 1) / medianBandRows;
    forEachBand(bands, [&](std::size_t band) {
        const unsigned first = unsigned(band) * medianBandRows;
        median3x3Rows(source, destination, first, std::min(height, first + medianBandRows));
    });
}

// Any window: a 256-bin histogram of the current window slides along each row; a column of h
// samples leaves and one enters per step, and the median moves from its last position. lt
// counts the window samples below the current median value m; the invariant after each step
// is lt <= rank < lt + hist[m].
void medianSliding(const Image& source, const Tuple<2, unsigned>& window, Image& destination) {
    const unsigned width = source.width();
    const unsigned height = source.height();
    const WindowExtent wx(window[0]), wy(window[1]);
    const unsigned h = window[1];
    const std::uint32_t rank = window[0] * window[1] / 2;
    std::vector<const unsigned char*> rows(h);
    std::array<std::uint32_t, 256> hist;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned j = 0; j < h; ++j)
            rows[j] = source.row(clampIndex(std::int64_t(y) - wy.before + j, height));
        hist.fill(0);
        for (unsigned i = 0; i < window[0]; ++i) {
            const unsigned column = clampIndex(std::int64_t(i) - wx.before, width);
            for (unsigned j = 0; j < h; ++j)
                ++hist[rows[j][column]];
        }
        unsigned m = 0;
        std::uint32_t lt = 0;
        while (lt + hist[m] <= rank)
            lt += hist[m++];
        unsigned char* out = destination.row(y);
        out[0] = static_cast<unsigned char>(m);
        for (unsigned x = 1; x < width; ++x) {
            const unsigned leaving = clampIndex(std::int64_t(x) - 1 - wx.before, width);
            const unsigned entering = clampIndex(std::int64_t(x) + wx.after, width);
            if (leaving != entering) {
                for (unsigned j = 0; j < h; ++j) {
                    const unsigned char gone = rows[j][leaving];
                    const unsigned char come = rows[j][entering];
                    --hist[gone];
                    ++hist[come];
                    lt -= gone < m;
                    lt += come < m;
                }
                while (lt > rank)
                    lt -= hist[--m];
                while (lt + hist[m] <= rank)
                    lt += hist[m++];
            }
            out[x] = static_cast<unsigned char>(m);
        }
    }
}

// Separable extreme filter: the horizontal extreme of each padded row into a work image,
// then the vertical extreme over the window's rows, both as whole-row array operations.
template <typename Pick>
void extremeFilter(const Image& source, const Tuple<2, unsigned>& window, Image& destination,
                   Pick pick) {
    const unsigned width = source.width();
    const unsigned height = source.height();
    destination.resize(source.sizes());
    if (source.empty())
        return;
    const WindowExtent wx(window[0]), wy(window[1]);
    Image across(source.sizes());
    std::vector<unsigned char> padded(std::size_t(width) + window[0] - 1);
    for (unsigned y = 0; y < height; ++y) {
        const unsigned char* in = source.row(y);
        for (std::size_t i = 0; i < padded.size(); ++i)
            padded[i] = in[clampIndex(std::int64_t(i) - wx.before, width)];
        unsigned char* out = across.row(y);
        std::copy_n(padded.data(), width, out);
        for (unsigned d = 1; d < window[0]; ++d) {
            const unsigned char* shifted = padded.data() + d;
            for (unsigned x = 0; x < width; ++x)
                out[x] = pick(out[x], shifted[x]);
        }
    }
    for (unsigned y = 0; y < height; ++y) {
        unsigned char* out = destination.row(y);
        std::copy_n(across.row(clampIndex(std::int64_t(y) - wy.before, height)), width, out);
        for (unsigned j = 1; j < window[1]; ++j) {
            const unsigned char* in =
                across.row(clampIndex(std::int64_t(y) - wy.before + j, height));
            for (unsigned x = 0; x < width; ++x)
                out[x] = pick(out[x], in[x]);
        }
    }
}

} // namespace

void medianFilter(const Image& source, const Tuple<2, unsigned>& window, Image& destination) {
    requireWindow(window, maxMedianWindow);
    withDistinctDestination(source, destination, [&](const Image& in, Image& out) {
        out.resize(in.sizes());
        if (in.empty())
            return;
        if (window[0] == 1 && window[1] == 1)
            out.assign(in);
        else if (window[0] == 3 && window[1] == 3)
            median3x3(in, out);
        else
            medianSliding(in, window, out);
    });
}

void minimumFilter(const Image& source, const Tuple<2, unsigned>& window, Image& destination) {
    requireWindow(window, ~0u);
    withDistinctDestination(source, destination, [&](const Image& in, Image& out) {
        extremeFilter(in, window, out,
                      [](unsigned char a, unsigned char b) { return std::min(a, b); });
    });
}

void maximumFilter(const Image& source, const Tuple<2, unsigned>& window, Image& destination) {
    requireWindow(window, ~0u);
    withDistinctDestination(source, destination, [&](const Image& in, Image& out) {
        extremeFilter(in, window, out,
                      [](unsigned char a, unsigned char b) { return std::max(a, b); });
    });
}

namespace {

// Rows per band of the local-mean subtraction.
constexpr unsigned localMeanBandRows = 64;

// Rows first .. last - 1 of the horizontal window sums of subtractLocalMean.
void rowWindowSums(const Image& source, const WindowExtent& wx, Signal<2, std::uint32_t>& across,
                   unsigned first, unsigned last) {
    const unsigned width = source.width();
    std::vector<std::uint32_t> prefix(std::size_t(width) + 1);
    for (unsigned y = first; y < last; ++y) {
        const unsigned char* in = source.row(y);
        prefix[0] = 0;
        for (unsigned x = 0; x < width; ++x)
            prefix[x + 1] = prefix[x] + in[x];
        std::uint32_t* out = across.row(y);
        // Windows wholly inside the row are a plain prefix difference; the general form below
        // takes only the columns near the edges.
        const unsigned innerBegin = std::min(width, wx.before);
        const unsigned innerEnd =
            width > wx.after ? std::max(innerBegin, width - wx.after) : innerBegin;
        for (unsigned x = innerBegin; x < innerEnd; ++x)
            out[x] = prefix[x + wx.after + 1] - prefix[x - wx.before];
        auto nearEdge = [&](unsigned x) {
            const std::int64_t firstX = std::int64_t(x) - wx.before;
            const std::int64_t lastX = std::int64_t(x) + wx.after;
            const unsigned lo = firstX < 0 ? 0u : unsigned(firstX);
            const unsigned hi = lastX >= width ? width - 1 : unsigned(lastX);
            const std::uint32_t beforeEdge = firstX < 0 ? std::uint32_t(-firstX) : 0u;
            const std::uint32_t beyondEdge =
                lastX >= width ? std::uint32_t(lastX - (width - 1)) : 0u;
            out[x] = prefix[hi + 1] - prefix[lo] + beforeEdge * in[0] + beyondEdge * in[width - 1];
        };
        for (unsigned x = 0; x < innerBegin; ++x)
            nearEdge(x);
        for (unsigned x = innerEnd; x < width; ++x)
            nearEdge(x);
    }
}

// Rows first .. last - 1 of subtractLocalMean's output from the row sums: a running sum of the
// row sums of the window rows inside the image, plus the edge rows repeated. Sum holds a whole
// window's sum: 32-bit signed when it fits (it converts to float in vector lanes), else 64-bit.
template <typename Sum>
void subtractWindowMeans(const Image& source, const Signal<2, std::uint32_t>& across,
                         const Tuple<2, unsigned>& window, unsigned firstRow, unsigned lastRow,
                         Signal<2, short>& destination) {
    const unsigned width = source.width();
    const unsigned height = source.height();
    const WindowExtent wy(window[1]);
    std::vector<Sum> columns(width, 0);
    std::int64_t lo = 0, hi = -1;
    bool started = false;
    const std::uint64_t area = std::uint64_t(window[0]) * window[1];
    const float divisor = float(area);
    const std::uint32_t* top = across.row(0);
    const std::uint32_t* bottom = across.row(height - 1);
    for (unsigned y = firstRow; y < lastRow; ++y) {
        const std::int64_t first = std::int64_t(y) - wy.before;
        const std::int64_t last = std::int64_t(y) + wy.after;
        const std::int64_t wantLo = first < 0 ? 0 : first;
        const std::int64_t wantHi = last >= height ? height - 1 : last;
        if (!started) {
            lo = wantLo;
            hi = lo - 1;
            started = true;
        }
        while (hi < wantHi) {
            const std::uint32_t* add = across.row(unsigned(++hi));
            for (unsigned x = 0; x < width; ++x)
                columns[x] += Sum(add[x]);
        }
        while (lo < wantLo) {
            const std::uint32_t* drop = across.row(unsigned(lo++));
            for (unsigned x = 0; x < width; ++x)
                columns[x] -= Sum(drop[x]);
        }
        const Sum aboveEdge = first < 0 ? Sum(-first) : Sum(0);
        const Sum belowEdge = last >= height ? Sum(last - (height - 1)) : Sum(0);
        const unsigned char* in = source.row(y);
        short* out = destination.row(y);
        for (unsigned x = 0; x < width; ++x) {
            const Sum sum = columns[x] + aboveEdge * Sum(top[x]) + belowEdge * Sum(bottom[x]);
            const float mean = float(sum) / divisor;
            out[x] = static_cast<short>(float(in[x]) - mean);
        }
    }
}

} // namespace

// The clamped window sum splits into the samples inside the image and the edge sample
// repeated once for every window position beyond the edge. Along a row that is a prefix-sum
// difference plus two multiples; down the columns the same rule is applied to the row sums
// with a running column sum, so the cost per pixel is constant.
void subtractLocalMean(const Image& source, const Tuple<2, unsigned>& window,
                       Signal<2, short>& destination) {
    requireWindow(window, maxLocalMeanWindow);
    const unsigned height = source.height();
    destination.resize(source.sizes());
    if (source.empty())
        return;
    const WindowExtent wx(window[0]);

    // Row sums of every pixel's horizontal window; at most 2^24 * 255 < 2^32.
    Signal<2, std::uint32_t> across(source.sizes());
    const std::size_t bands = (height + localMeanBandRows - 1) / localMeanBandRows;
    forEachBand(bands, [&](std::size_t band) {
        const unsigned first = unsigned(band) * localMeanBandRows;
        rowWindowSums(source, wx, across, first, std::min(height, first + localMeanBandRows));
    });
    // Down the columns, each band starting its running sums afresh: integer sums, so every
    // band gets the sums a single sweep would have.
    forEachBand(bands, [&](std::size_t band) {
        const unsigned first = unsigned(band) * localMeanBandRows;
        const unsigned last = std::min(height, first + localMeanBandRows);
        if (std::uint64_t(window[0]) * window[1] * 255u <=
            std::uint64_t(std::numeric_limits<std::int32_t>::max()))
            subtractWindowMeans<std::int32_t>(source, across, window, first, last, destination);
        else
            subtractWindowMeans<std::uint64_t>(source, across, window, first, last, destination);
    });
}

} // namespace ZELK
