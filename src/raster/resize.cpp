// Binomial pyramid and bilinear resampling.
#include "raster/resize.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/exceptions.hpp"
#include "core/limits.hpp"
#include "core/thread_pool.hpp"

namespace ZELK {

namespace {

using Image = Signal<2, unsigned char>;

// Output rows per band of a halving step and of the bilinear resampling.
constexpr unsigned halvingBandRows = 64;
constexpr unsigned resampleBandRows = 64;

// One line of the binomial halving; in has m >= 4 samples spaced by inStep, out gets m / 2.
inline void halveLine(const unsigned char* in, std::size_t inStep, std::uint32_t m,
                      unsigned char* out, std::size_t outStep) {
    const std::uint32_t n = m / 2;
    auto s = [&](std::uint32_t i) { return unsigned(in[i * inStep]); };
    out[0] = static_cast<unsigned char>((6 * s(0) + 4 * s(1) + s(2)) / 11);
    for (std::uint32_t k = 1; k + 1 < n; ++k)
        out[k * outStep] = static_cast<unsigned char>(
            (s(2 * k - 2) + 4 * s(2 * k - 1) + 6 * s(2 * k) + 4 * s(2 * k + 1) + s(2 * k + 2)) >>
            4);
    out[(n - 1) * outStep] =
        static_cast<unsigned char>((6 * s(2 * n - 2) + 4 * s(2 * n - 3) + s(2 * n - 4)) / 11);
}

// Output rows first .. last - 1 of a halving down the columns, a whole row at a time so that the
// inner loop runs along memory.
void halveRowsDown(const Image& source, Image& result, unsigned first, unsigned last) {
    const unsigned width = source.width();
    const unsigned n = source.height() / 2;
    for (unsigned k = first; k < last; ++k) {
        unsigned char* out = result.row(k);
        if (k == 0 || k + 1 == n) {
            const bool top = k == 0;
            const unsigned char* a = source.row(top ? 0 : 2 * n - 2);
            const unsigned char* b = source.row(top ? 1 : 2 * n - 3);
            const unsigned char* c = source.row(top ? 2 : 2 * n - 4);
            for (unsigned x = 0; x < width; ++x)
                out[x] = static_cast<unsigned char>((6 * a[x] + 4 * b[x] + c[x]) / 11);
        } else {
            const unsigned char* r0 = source.row(2 * k - 2);
            const unsigned char* r1 = source.row(2 * k - 1);
            const unsigned char* r2 = source.row(2 * k);
            const unsigned char* r3 = source.row(2 * k + 1);
            const unsigned char* r4 = source.row(2 * k + 2);
            for (unsigned x = 0; x < width; ++x)
                out[x] = static_cast<unsigned char>(
                    (r0[x] + 4 * r1[x] + 6 * r2[x] + 4 * r3[x] + r4[x]) >> 4);
        }
    }
}

} // namespace

void halveAlong(unsigned axis, const Image& source, Image& destination) {
    const unsigned width = source.width();
    const unsigned height = source.height();
    const unsigned m = axis == 0 ? width : height;
    if (m < 4)
        throw BoundException<unsigned int>(m, 4u);
    Image result(axis == 0 ? Tuple<2, unsigned>(width / 2, height)
                           : Tuple<2, unsigned>(width, height / 2));
    // Output rows are independent: bands of them on the pool.
    const unsigned outRows = result.height();
    const std::size_t bands = (outRows + halvingBandRows - 1) / halvingBandRows;
    auto bandRows = [&](std::size_t band) {
        const unsigned first = unsigned(band) * halvingBandRows;
        return std::pair{first, std::min(outRows, first + halvingBandRows)};
    };
    if (axis == 0) {
        forEachBand(bands, [&](std::size_t band) {
            const auto [first, last] = bandRows(band);
            for (unsigned y = first; y < last; ++y)
                halveLine(source.row(y), 1, width, result.row(y), 1);
        });
    } else {
        forEachBand(bands, [&](std::size_t band) {
            const auto [first, last] = bandRows(band);
            halveRowsDown(source, result, first, last);
        });
    }
    destination = std::move(result);
}

void resampleBilinear(const Image& source, const Tuple<2, unsigned>& size, Image& destination,
                      BilinearForm form) {
    const unsigned w = source.width();
    const unsigned h = source.height();
    Image result(size);
    if (source.empty() || result.empty()) {
        destination = std::move(result);
        return;
    }

    // Source position of every target column (and row): integer part and fraction. The
    // position is kept within [0, extent - 1] so that rounding in the division can never
    // push the last sample past the edge and darken it.
    struct Tap {
        unsigned index;
        float fraction;
    };
    auto taps = [](unsigned from, unsigned to) {
        std::vector<Tap> result(to);
        for (unsigned i = 0; i < to; ++i) {
            float position = 0.0f;
            if (to > 1)
                position = float(std::uint64_t(i) * (from - 1)) / float(to - 1);
            position = std::min(position, float(from - 1));
            const auto index = static_cast<unsigned>(position);
            result[i] = {index, position - float(index)};
        }
        return result;
    };
    const std::vector<Tap> columns = taps(w, size[0]);
    const std::vector<Tap> rows = taps(h, size[1]);
    // Every target sample on its own source sample (the same size): both forms give the source
    // sample itself, so the result is a copy.
    auto onSamples = [](const std::vector<Tap>& axis) {
        for (std::size_t i = 0; i < axis.size(); ++i)
            if (axis[i].index != i || axis[i].fraction != 0.0f)
                return false;
        return true;
    };
    if (size == source.sizes() && onSamples(columns) && onSamples(rows)) {
        std::copy_n(source.data(), source.count(), result.data());
        destination = std::move(result);
        return;
    }

    // The two forms round differently, so each is its own loop rather than a branch per sample.
    // Target rows are independent: bands of them on the pool, each with its own row buffers.
    auto run = [&](auto blend) {
        // Horizontal interpolation of one source row into the target's columns (0 outside).
        auto interpolateRow = [&](unsigned y, std::vector<float>& line) {
            if (y >= h) {
                std::fill(line.begin(), line.end(), 0.0f);
                return;
            }
            const unsigned char* in = source.row(y);
            for (unsigned x = 0; x < size[0]; ++x) {
                const Tap& t = columns[x];
                const float a = in[t.index];
                const float b = t.index + 1 < w ? float(in[t.index + 1]) : 0.0f;
                line[x] = blend(a, b, t.fraction);
            }
        };
        const std::size_t bands = (size[1] + resampleBandRows - 1) / resampleBandRows;
        forEachBand(bands, [&](std::size_t band) {
            std::vector<float> below(size[0]), above(size[0]);
            const unsigned first = unsigned(band) * resampleBandRows;
            const unsigned last = std::min(size[1], first + resampleBandRows);
            // Enlarging, consecutive target rows share their source rows: interpolated once.
            unsigned interpolated = std::numeric_limits<unsigned>::max();
            for (unsigned y = first; y < last; ++y) {
                const Tap& t = rows[y];
                if (t.index != interpolated) {
                    // Moving down by one source row, the row above becomes the one below.
                    if (interpolated != std::numeric_limits<unsigned>::max() &&
                        t.index == interpolated + 1)
                        below.swap(above);
                    else
                        interpolateRow(t.index, below);
                    interpolateRow(t.index + 1, above);
                    interpolated = t.index;
                }
                unsigned char* out = result.row(y);
                for (unsigned x = 0; x < size[0]; ++x) {
                    const float value = blend(below[x], above[x], t.fraction);
                    out[x] = static_cast<unsigned char>(std::clamp(value, 0.0f, 255.0f));
                }
            }
        });
    };
    if (form == BilinearForm::WeightedSum)
        run([](float a, float b, float f) { return (1.0f - f) * a + f * b; });
    else
        run([](float a, float b, float f) { return a + f * (b - a); });
    destination = std::move(result);
}

Tuple<2, unsigned> scaledSize(const Tuple<2, unsigned>& size, float s) {
    Tuple<2, unsigned> target;
    for (unsigned axis = 0; axis < 2; ++axis) {
        const float value = float(size[axis]) * s + 0.5f;
        // Also catches NaN: a comparison with it is false.
        unsigned extent = 1;
        if (value >= 1.0f)
            extent = value >= float(size[axis]) ? size[axis] : static_cast<unsigned>(value);
        target[axis] = std::max(extent, 1u);
    }
    return target;
}

void downscale(const Image& source, const Tuple<2, unsigned>& target, Image& destination) {
    // The source is read in place by the first halving; no full-size copy is made.
    const Image* current = &source;
    Image reduced, half;
    while (current->width() >= std::max(2 * std::uint64_t(target[0]), std::uint64_t(4)) &&
           current->height() >= std::max(2 * std::uint64_t(target[1]), std::uint64_t(4))) {
        halveAlong(0, *current, half);
        halveAlong(1, half, reduced);
        current = &reduced;
    }
    resampleBilinear(*current, target, destination);
}

namespace {

// The source samples one target coordinate draws on along one axis, with their weights: the
// same number of taps for every coordinate (count), padded with weight 0 on the last sample so
// that the sums, taken in the same order, are the same floats as without the padding.
struct Taps {
    unsigned count = 0;
    std::vector<std::uint32_t> index; // count per target coordinate
    std::vector<float> weight;
};

Taps centredTaps(unsigned from, unsigned to, double ratio) {
    std::vector<std::uint32_t> first, index;
    std::vector<float> weight;
    for (unsigned i = 0; i < to; ++i) {
        first.push_back(static_cast<std::uint32_t>(index.size()));
        if (ratio <= 1.0) {
            // Enlarging: the two samples around the centre's position, clamped at the edges.
            const double position = std::clamp((i + 0.5) * ratio - 0.5, 0.0, double(from - 1));
            const auto left = static_cast<std::uint32_t>(position);
            const float f = static_cast<float>(position - left);
            index.push_back(left);
            weight.push_back(1.0f - f);
            index.push_back(std::min(left + 1, from - 1));
            weight.push_back(f);
        } else {
            // Shrinking: every source pixel overlapping [i, i + 1) ratio, by its overlap.
            const double begin = i * ratio, end = (i + 1) * ratio;
            for (auto k = static_cast<std::uint32_t>(begin); k < from && double(k) < end; ++k) {
                const double overlap = std::min(end, k + 1.0) - std::max(begin, double(k));
                if (overlap <= 0.0)
                    continue;
                index.push_back(k);
                weight.push_back(static_cast<float>(overlap / ratio));
            }
        }
    }
    first.push_back(static_cast<std::uint32_t>(index.size()));
    Taps taps;
    for (unsigned i = 0; i < to; ++i)
        taps.count = std::max(taps.count, first[i + 1] - first[i]);
    taps.index.reserve(std::size_t(to) * taps.count);
    taps.weight.reserve(std::size_t(to) * taps.count);
    for (unsigned i = 0; i < to; ++i) {
        for (std::uint32_t t = first[i]; t < first[i + 1]; ++t) {
            taps.index.push_back(index[t]);
            taps.weight.push_back(weight[t]);
        }
        for (std::uint32_t t = first[i + 1] - first[i]; t < taps.count; ++t) {
            taps.index.push_back(taps.index.back());
            taps.weight.push_back(0.0f);
        }
    }
    return taps;
}

// One row along x: out[x] sums the taps of x in order. Count is a template argument for the
// common small counts so that the inner loop unrolls.
template <unsigned Count>
void resampleRow(const unsigned char* in, const Taps& taps, unsigned width, float* out) {
    const unsigned count = Count ? Count : taps.count;
    const std::uint32_t* index = taps.index.data();
    const float* weight = taps.weight.data();
    for (unsigned x = 0; x < width; ++x, index += count, weight += count) {
        float sum = 0.0f;
        for (unsigned t = 0; t < count; ++t)
            sum += weight[t] * float(in[index[t]]);
        out[x] = sum;
    }
}

} // namespace

Tuple<2, unsigned> centredSize(const Tuple<2, unsigned>& size, float factor) {
    auto side = [&](unsigned extent) {
        if (extent == 0)
            return 0u;
        const double scaled = std::round(double(extent) * double(factor));
        return static_cast<unsigned>(std::clamp(scaled, 1.0, double(Limits::maxResampledSide)));
    };
    return Tuple<2, unsigned>(side(size[0]), side(size[1]));
}

void resampleCentred(const Image& source, float factor, Image& destination) {
    const Tuple<2, unsigned> size = centredSize(source.sizes(), factor);
    Image result(size);
    if (source.empty() || result.empty()) {
        destination = std::move(result);
        return;
    }
    const double ratio = 1.0 / double(factor);
    const Taps across = centredTaps(source.width(), size[0], ratio);
    const Taps down = centredTaps(source.height(), size[1], ratio);
    auto resampleAcross = across.count == 2   ? resampleRow<2>
                          : across.count == 3 ? resampleRow<3>
                                              : resampleRow<0>;
    // Along x, then along y. Bands of target rows run on the pool; each resamples along x only
    // the source rows it draws on (the taps of a row are consecutive source rows, in order), so
    // the float rows stay small enough for the cache.
    constexpr unsigned bandRows = 64;
    forEachBand((size[1] + bandRows - 1) / bandRows, [&](std::size_t band) {
        const unsigned firstRow = unsigned(band) * bandRows;
        const unsigned lastRow = std::min(size[1], firstRow + bandRows);
        const std::uint32_t top = down.index[std::size_t(firstRow) * down.count];
        std::uint32_t bottom = top;
        for (std::size_t t = std::size_t(firstRow) * down.count;
             t < std::size_t(lastRow) * down.count; ++t)
            bottom = std::max(bottom, down.index[t]);
        std::vector<float> rows(std::size_t(bottom - top + 1) * size[0]);
        for (std::uint32_t y = top; y <= bottom; ++y)
            resampleAcross(source.row(y), across, size[0],
                           rows.data() + std::size_t(y - top) * size[0]);
        std::vector<float> line(size[0]);
        for (unsigned y = firstRow; y < lastRow; ++y) {
            std::fill(line.begin(), line.end(), 0.0f);
            for (unsigned t = 0; t < down.count; ++t) {
                const std::size_t tap = std::size_t(y) * down.count + t;
                const float w = down.weight[tap];
                const float* in = rows.data() + std::size_t(down.index[tap] - top) * size[0];
                for (unsigned x = 0; x < size[0]; ++x)
                    line[x] += w * in[x];
            }
            unsigned char* out = result.row(y);
            for (unsigned x = 0; x < size[0]; ++x)
                out[x] = static_cast<unsigned char>(std::clamp(line[x] + 0.5f, 0.0f, 255.0f));
        }
    });
    destination = std::move(result);
}

} // namespace ZELK
