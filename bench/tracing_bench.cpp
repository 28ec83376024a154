// Line extraction timing: each drawing (8-bit PGM, dark strokes on white) goes from the grey
// image through segmentation, closing, opening, thinning, seeding, reassignment, neighbour
// connection and joining to the lines set, with the default settings. Each drawing is timed in
// nine samples, the drawings taking turns, and the fastest sample counts (a shared machine adds
// noise, never removes work); a sample of a smaller drawing runs it repeatedly, so that every
// sample lasts about as long. Prints the time per run, step and size, and last the ratio of the
// last drawing's time to the first's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "migration/image.hpp"
#include "strokes/line_thresholds.hpp"
#include "strokes/mask_cleaning.hpp"
#include "strokes/thinning.hpp"
#include "tracing/line_tracing.hpp"
#include "tracing/polyline_connection.hpp"

using namespace ZELK;

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    static constexpr int steps = 6;
    double seconds[steps] = {};
    double total() const {
        double sum = 0;
        for (double s : seconds)
            sum += s;
        return sum;
    }
};

const char* stepNames[Timing::steps] = {"segment", "close/open", "thin",
                                        "seed",    "refine",     "connect"};

struct Result {
    Timing timing;
    std::size_t segments = 0;
    std::size_t polylines = 0;
};

Result extract(const Signal<2, short>& grey) {
    Result result;
    auto t = Clock::now();
    auto lap = [&](int step) {
        const auto now = Clock::now();
        result.timing.seconds[step] = std::chrono::duration<double>(now - t).count();
        t = now;
    };
    LineThresholds range;
    if (!findThresholds(grey, range, nullptr, VS::Context()))
        throw std::runtime_error("no thresholds for the drawing");
    BinarySignal<2, unsigned> mask, work, skeleton;
    segment(mask, grey, range);
    lap(0);
    closeMask(mask, work, 1);
    openMask(mask, work, 1);
    lap(1);
    if (!thin(mask, work, skeleton, 20))
        throw std::runtime_error("thinning did not settle");
    lap(2);
    std::vector<LineSegment> segments;
    seedSegments(skeleton, segments);
    lap(3);
    Signal<2, unsigned short> labels;
    labelSkeletonRegions(skeleton, labels);
    reassignPixels(skeleton, labels, segments, 3);
    connectNeighbours(segments, 2.0f, 5.0f);
    lap(4);
    result.segments = segments.size();
    PolylineSet lines;
    addSegmentPolylines(lines, segments);
    joinPolylines(lines.polylines());
    lines.cleanUp();
    lap(5);
    result.polylines = lines.polylines().size();
    return result;
}

Signal<2, short> load(const std::string& path) {
    IncrementalBuffer buffer;
    Migration::ImageMetadata meta;
    Migration::importImage(buffer, meta, path);
    const Migration::ImageLayout layout(meta);
    Signal<2, short> grey(Tuple<2, unsigned>(meta.width, meta.height));
    for (unsigned y = 0; y < meta.height; ++y)
        for (unsigned x = 0; x < meta.width; ++x)
            grey(x, y) =
                buffer.data()[std::size_t(y) * layout.bytesPerLine + x * layout.bytesPerPixel];
    return grey;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_tracing DRAWING.pgm...\n");
        return 2;
    }
    std::vector<Signal<2, short>> greys;
    for (int i = 1; i < argc; ++i)
        greys.push_back(load(argv[i]));
    // The drawings take turns, one sample each per round, so that a slow spell of a shared host
    // falls on all sizes alike. A sample of a smaller drawing repeats it as often as it fits
    // into the largest one's area and counts the time per run: every sample then lasts about
    // as long, and the fastest of many short samples is not more likely to have found a quiet
    // moment than the fastest of the long ones.
    const double largest = double(greys.back().width()) * greys.back().height();
    std::vector<Result> best(greys.size());
    for (int round = 0; round < 9; ++round)
        for (std::size_t i = 0; i < greys.size(); ++i) {
            const double area = double(greys[i].width()) * greys[i].height();
            const int repeats = std::max(1, int(largest / area + 0.5));
            Result sample;
            for (int k = 0; k < repeats; ++k) {
                const Result r = extract(greys[i]);
                for (int step = 0; step < Timing::steps; ++step)
                    sample.timing.seconds[step] += r.timing.seconds[step] / repeats;
                sample.segments = r.segments;
                sample.polylines = r.polylines;
            }
            if (round == 0 || sample.timing.total() < best[i].timing.total())
                best[i] = sample;
        }
    for (std::size_t i = 0; i < greys.size(); ++i) {
        std::printf("tracing %ux%u: %zu segments, %zu polylines, %.3f s (", greys[i].width(),
                    greys[i].height(), best[i].segments, best[i].polylines, best[i].timing.total());
        for (int s = 0; s < Timing::steps; ++s)
            std::printf("%s%s %.3f", s ? ", " : "", stepNames[s], best[i].timing.seconds[s]);
        std::printf(")\n");
    }
    std::printf("tracing time ratio, largest / smallest drawing: %.2f\n",
                best.back().timing.total() / best.front().timing.total());
    return 0;
}
