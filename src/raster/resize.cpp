// Binomial pyramid and bilinear resampling.
#include "raster/resize.hpp"

#include <algorithm>
#include <limits>
#include <cmath>
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

// The source samples one target coordinate draws on along one axis, with their weights.
struct Taps {
    std::vector<std::uint32_t> first; // per target coordinate, index into index/weight
    std::vector<std::uint32_t> index;
    std::vector<float> weight;
};

Taps centredTaps(unsigned from, unsigned to, double ratio) {
    Taps taps;
    for (unsigned i = 0; i < to; ++i) {
        taps.first.push_back(static_cast<std::uint32_t>(taps.index.size()));
        if (ratio <= 1.0) {
            // Enlarging: the two samples around the centre's position, clamped at the edges.
            const double position = std::clamp((i + 0.5) * ratio - 0.5, 0.0, double(from - 1));
            const auto left = static_cast<std::uint32_t>(position);
            const float f = static_cast<float>(position - left);
            taps.index.push_back(left);
            taps.weight.push_back(1.0f - f);
            taps.index.push_back(std::min(left + 1, from - 1));
            taps.weight.push_back(f);
        } else {
            // Shrinking: every source pixel overlapping [i, i + 1) ratio, by its overlap.
            const double begin = i * ratio, end = (i + 1) * ratio;
            for (auto k = static_cast<std::uint32_t>(begin); k < from && double(k) < end; ++k) {
                const double overlap = std::min(end, k + 1.0) - std::max(begin, double(k));
                if (overlap <= 0.0)
                    continue;
                taps.index.push_back(k);
                taps.weight.push_back(static_cast<float>(overlap / ratio));
            }
        }
    }
    taps.first.push_back(static_cast<std::uint32_t>(taps.index.size()));
    return taps;
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
    // Along x into a float image of the target width and the source height, then along y;
    // rows are independent in both passes, so bands of them run on the pool.
    constexpr unsigned bandRows = 64;
    std::vector<float> rows(static_cast<std::size_t>(size[0]) * source.height());
    forEachBand((source.height() + bandRows - 1) / bandRows, [&](std::size_t band) {
        const unsigned last = std::min(source.height(), unsigned(band + 1) * bandRows);
        for (unsigned y = unsigned(band) * bandRows; y < last; ++y) {
            const unsigned char* in = source.row(y);
            float* out = rows.data() + std::size_t(y) * size[0];
            for (unsigned x = 0; x < size[0]; ++x) {
                float sum = 0.0f;
                for (std::uint32_t t = across.first[x]; t < across.first[x + 1]; ++t)
                    sum += across.weight[t] * float(in[across.index[t]]);
                out[x] = sum;
            }
        }
    });
    forEachBand((size[1] + bandRows - 1) / bandRows, [&](std::size_t band) {
        std::vector<float> line(size[0]);
        const unsigned last = std::min(size[1], unsigned(band + 1) * bandRows);
        for (unsigned y = unsigned(band) * bandRows; y < last; ++y) {
            std::fill(line.begin(), line.end(), 0.0f);
            for (std::uint32_t t = down.first[y]; t < down.first[y + 1]; ++t) {
                const float w = down.weight[t];
                const float* in = rows.data() + std::size_t(down.index[t]) * size[0];
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
