// Speed of input loading, conditioning and background detection on one large photograph.
// Usage: loading_bench PHOTO [REPETITIONS]
// Prints the best of REPETITIONS (default 3) wall-clock times of each step: import, grey
// conversion, scaling to the default line thickness, then on the scaled grey image the 3 x 3
// median, the top-hat, the local mean at three window sizes (its cost does not depend on the
// window), both background methods and the mask. The last line is the total of the default
// pipeline's steps (import, grey, scale, median, local mean 50, lines method, mask).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "background/mask.hpp"
#include "background/outline.hpp"
#include "core/exceptions.hpp"
#include "migration/image.hpp"
#include "raster/filters.hpp"
#include "raster/grey_conversion.hpp"
#include "raster/resize.hpp"
#include "strokes/enhance.hpp"
#include "strokes/line_thickness.hpp"

using namespace ZELK;

namespace {

int repetitions = 3;

// Best wall-clock time of the step in milliseconds; prepare runs before each repetition,
// untimed.
double best(const std::function<void()>& step, const std::function<void()>& prepare = {}) {
    double fastest = 1e30;
    for (int i = 0; i < repetitions; ++i) {
        if (prepare)
            prepare();
        const auto start = std::chrono::steady_clock::now();
        step();
        const auto stop = std::chrono::steady_clock::now();
        fastest =
            std::min(fastest, std::chrono::duration<double, std::milli>(stop - start).count());
    }
    return fastest;
}

void report(const char* what, double ms) {
    std::printf("  %-44s %9.2f ms\n", what, ms);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: loading_bench PHOTO [REPETITIONS]\n");
        return 2;
    }
    if (argc > 2)
        repetitions = std::max(1, std::atoi(argv[2]));
    try {
        IncrementalBuffer data;
        Migration::ImageMetadata meta;
        const double load = best([&] { Migration::importImage(data, meta, argv[1]); });
        std::printf("loading and conditioning: %s, %u x %u, %u channels (best of %d)\n", argv[1],
                    meta.width, meta.height, meta.channels, repetitions);
        report("import", load);

        Signal<2, unsigned char> grey;
        const double toGrey = best([&] {
            if (isSingleChannel(meta))
                copySingleChannel(data, meta, grey);
            else
                convertColourToGrey(data, meta, grey);
        });
        report("grey conversion", toGrey);

        const float thickness = nominalLineThickness("0.5%", meta.width, meta.height);
        Signal<2, unsigned char> scaled = grey;
        double scale = 0.0;
        if (needsScaling(thickness)) {
            const Tuple<2, unsigned> target = scaledSize(grey.sizes(), thicknessScale(thickness));
            scale = best([&] { downscale(grey, target, scaled); });
        }
        report("scaling to 5-pixel lines", scale);
        std::printf("scaled grey image %u x %u\n", scaled.width(), scaled.height());

        Signal<2, unsigned char> work;
        const double median = best([&] { medianFilter(scaled, Tuple<2, unsigned>(3u, 3u), work); });
        report("median 3 x 3", median);
        report("median 9 x 9",
               best([&] { medianFilter(scaled, Tuple<2, unsigned>(9u, 9u), work); }));
        report("top-hat 10 x 10", best([&] { topHatTransform(work); }, [&] { work = scaled; }));
        Signal<2, short> filtered;
        double mean50 = 0.0;
        for (unsigned n : {5u, 50u, 250u}) {
            const double ms =
                best([&] { subtractLocalMean(scaled, Tuple<2, unsigned>(n, n), filtered); });
            if (n == 50)
                mean50 = ms;
            const std::string label = "local mean " + std::to_string(n) + " x " + std::to_string(n);
            report(label.c_str(), ms);
        }

        Point<2, int> corners[4];
        bool linesFound = false, segmentFound = false;
        const double lines =
            best([&] { linesFound = detectOutlineByLines(scaled, VS::Context(), corners); });
        report(linesFound ? "background, lines method (found)" : "background, lines method (none)",
               lines);
        Point<2, int> other[4];
        const double segment =
            best([&] { segmentFound = detectOutlineBySegmentation(scaled, VS::Context(), other); });
        report(segmentFound ? "background, segmentation (found)"
                            : "background, segmentation (none)",
               segment);
        BinarySignal<2, unsigned> mask;
        double maskTime = 0.0;
        if (linesFound)
            maskTime =
                best([&] { buildBackgroundMask(corners, scaled.width(), scaled.height(), mask); });
        report("background mask", maskTime);

        const double total = load + toGrey + scale + median + mean50 + lines + maskTime;
        std::printf("default loading, conditioning and background: %.1f ms\n", total);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s", ExceptionWriter::format(e).c_str());
        return 1;
    }
    return 0;
}
