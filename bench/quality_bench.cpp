// Vectorization quality on the built-in demos: for every figure and four renderings (defaults,
// quality=acceptable, quality=poor, and a sheet with border in perspective) it runs penvex with
// -ox, once with the default options and once with -auto, reads the polylines back and
// compares them with the figure's own segments mapped into the picture. Prints one table:
// recall and precision within 3 pixels, and polylines per figure stroke (clutter polylines are
// left out: they are not part of the drawing), for both runs side by side.
// Usage: bench_quality PATH_TO_PENVEX
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/text.hpp"
#include "demo/catalogue.hpp"
#include "demo/render.hpp"
#include "xml/xml_reader.hpp"

namespace {

using ZELK::Point;
using P = Point<2, float>;

// Distance within which a point of one drawing counts as matched by the other.
constexpr double tolerance = 3.0;
// Spacing of the sample points taken along both drawings, in pixels.
constexpr double sampleStep = 0.5;

struct Variant {
    const char* label;
    const char* overrides;
    bool background;
    bool perspective;
};

constexpr Variant variants[] = {
    {"defaults", "", false, false},
    {"acceptable", ",quality=acceptable", false, false},
    {"poor", ",quality=poor", false, false},
    {"sheet+persp", ",background,backgroundborder,perspective", true, true},
};

struct Piece {
    P a, b;
};

double distanceToPiece(const P& p, const Piece& s) {
    const double dx = double(s.b.x()) - s.a.x(), dy = double(s.b.y()) - s.a.y();
    const double px = double(p.x()) - s.a.x(), py = double(p.y()) - s.a.y();
    const double lengthSquared = dx * dx + dy * dy;
    double t = lengthSquared > 0 ? (px * dx + py * dy) / lengthSquared : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - t * dx, py - t * dy);
}

std::vector<P> samples(const std::vector<Piece>& pieces) {
    std::vector<P> points;
    for (const Piece& s : pieces) {
        const double length = std::hypot(double(s.b.x()) - s.a.x(), double(s.b.y()) - s.a.y());
        const int n = std::max(1, int(std::ceil(length / sampleStep)));
        for (int i = 0; i <= n; ++i) {
            const float t = float(i) / float(n);
            points.emplace_back(s.a.x() + t * (s.b.x() - s.a.x()),
                                s.a.y() + t * (s.b.y() - s.a.y()));
        }
    }
    return points;
}

// Share of the sample points of `from` that lie within the tolerance of `to`.
double matchedShare(const std::vector<Piece>& from, const std::vector<Piece>& to) {
    const std::vector<P> points = samples(from);
    if (points.empty())
        return 0.0;
    std::size_t matched = 0;
    for (const P& p : points)
        for (const Piece& s : to)
            if (distanceToPiece(p, s) <= tolerance) {
                ++matched;
                break;
            }
    return double(matched) / double(points.size());
}

// The lines polylines of a polygon XML file (those before the clutter comment), as pieces;
// the number of polylines goes to `polylines`.
std::vector<Piece> readLines(const std::string& document, std::size_t& polylines) {
    ZELK::XMLReader xml(document);
    std::vector<P> vertices;
    std::vector<std::vector<std::size_t>> paths;
    bool clutter = false;
    while (xml.hasMore()) {
        if (xml.kind() == ZELK::XMLKind::Comment && xml.level() == 1) {
            clutter = true;
        } else if (xml.is(ZELK::XMLKind::ElementStart, "point", 1)) {
            float c[2] = {0, 0};
            xml.advance();
            while (xml.hasMore() && !xml.is(ZELK::XMLKind::ElementEnd, "point", 1)) {
                const bool x = xml.is(ZELK::XMLKind::ElementStart, "x", 2);
                if (x || xml.is(ZELK::XMLKind::ElementStart, "y", 2)) {
                    xml.advance();
                    c[x ? 0 : 1] = ZELK::Text::convert<float>(xml.text());
                }
                xml.advance();
            }
            vertices.emplace_back(c[0], c[1]);
        } else if (xml.is(ZELK::XMLKind::ElementStart, "polygon", 1)) {
            bool open = false;
            for (const auto& attribute : xml.attributes())
                open = open || (attribute.name == "ends" && attribute.value == "open");
            std::vector<std::size_t> path;
            xml.advance();
            while (xml.hasMore() && !xml.is(ZELK::XMLKind::ElementEnd, "polygon", 1)) {
                if (xml.is(ZELK::XMLKind::ElementStart, "point", 2)) {
                    xml.advance();
                    path.push_back(ZELK::Text::convert<std::size_t>(xml.text()) - 1);
                }
                xml.advance();
            }
            if (!open && !path.empty())
                path.push_back(path.front());
            if (!clutter)
                paths.push_back(path);
        }
        xml.advance();
    }
    polylines = paths.size();
    std::vector<Piece> pieces;
    for (const auto& path : paths)
        for (std::size_t i = 0; i + 1 < path.size(); ++i)
            if (path[i] < vertices.size() && path[i + 1] < vertices.size())
                pieces.push_back({vertices[path[i]], vertices[path[i + 1]]});
    return pieces;
}

// The figure's segments in the picture's pixel frame, where the vectorizer puts the centre of
// pixel k at k: the renderer's pixel k covers [k, k + 1], hence the half-pixel shift.
std::vector<Piece> referencePieces(const ZELK::DemoDrawing& drawing, const Variant& v,
                                   std::uint32_t size) {
    const auto toPixel = ZELK::drawingToPixel(v.background, v.perspective, size);
    std::vector<Piece> pieces;
    for (const ZELK::Segment& s : drawing.segments()) {
        P a = toPixel->apply(s.origin), b = toPixel->apply(s.end());
        pieces.push_back({P(a.x() - 0.5f, a.y() - 0.5f), P(b.x() - 0.5f, b.y() - 0.5f)});
    }
    return pieces;
}

// Runs penvex in `folder`; returns its exit status, with standard error in `errors`.
int runPenvex(const std::string& binary, const std::filesystem::path& folder,
              const std::string& input, bool automatic, std::string& errors) {
    // The child reopens its standard streams, which would write out our pending table text.
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0 || !freopen("/dev/null", "w", stdout) ||
            !freopen("errors.txt", "w", stderr))
            _exit(127);
        if (automatic)
            execl(binary.c_str(), binary.c_str(), input.c_str(), "-auto", "-q", "-ox", "out.xml",
                  static_cast<char*>(nullptr));
        else
            execl(binary.c_str(), binary.c_str(), input.c_str(), "-q", "-ox", "out.xml",
                  static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(folder / "errors.txt");
    std::getline(in, errors);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: bench_quality PATH_TO_PENVEX\n";
        return 2;
    }
    const std::string binary = std::filesystem::absolute(argv[1]).string();
    std::string pattern =
        (std::filesystem::temp_directory_path() / "penvex-quality-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::cerr << "cannot create a scratch folder\n";
        return 1;
    }
    const std::filesystem::path scratch = pattern;

    std::printf("%-10s %-12s %29s   %29s\n", "", "", "defaults", "-auto");
    std::printf("%-10s %-12s %8s %10s %10s   %8s %10s %10s\n", "figure", "rendering", "recall",
                "precision", "lines/strk", "recall", "precision", "lines/strk");
    double recallSum[2] = {0, 0}, precisionSum[2] = {0, 0};
    int measured[2] = {0, 0}, failed[2] = {0, 0};
    for (const std::string& name : ZELK::demoFigureNames()) {
        ZELK::DemoDrawing drawing;
        ZELK::findDemoFigure(name, drawing);
        for (const Variant& v : variants) {
            std::printf("%-10s %-12s", name.c_str(), v.label);
            for (int run = 0; run < 2; ++run) {
                const std::filesystem::path folder =
                    scratch / (name + "-" + v.label + (run ? "-auto" : ""));
                std::filesystem::create_directories(folder);
                std::string errors;
                const int status =
                    runPenvex(binary, folder, "demo:" + name + v.overrides, run == 1, errors);
                std::ifstream file(folder / "out.xml", std::ios::binary);
                if (status != 0 || !file) {
                    std::printf(" failed: exit %d, %s", status, errors.c_str());
                    ++failed[run];
                    continue;
                }
                std::stringstream text;
                text << file.rdbuf();
                std::size_t polylines = 0;
                const std::vector<Piece> found = readLines(text.str(), polylines);
                const std::vector<Piece> expected = referencePieces(drawing, v, 256);
                const double recall = matchedShare(expected, found);
                const double precision = found.empty() ? 0.0 : matchedShare(found, expected);
                std::printf(" %8.3f %10.3f %10.2f  ", recall, precision,
                            double(polylines) / double(drawing.strokeCount()));
                recallSum[run] += recall;
                precisionSum[run] += precision;
                ++measured[run];
            }
            std::printf("\n");
        }
    }
    std::filesystem::remove_all(scratch);
    for (int run = 0; run < 2; ++run) {
        const char* label = run ? "-auto" : "defaults";
        if (measured[run] > 0)
            std::printf("%s: mean over %d renderings: recall %.3f, precision %.3f (%d failed)\n",
                        label, measured[run], recallSum[run] / measured[run],
                        precisionSum[run] / measured[run], failed[run]);
        else
            std::printf("%s: no rendering was vectorized (%d failed)\n", label, failed[run]);
    }
    // Failed renderings are listed in the table; they do not stop the other benchmarks.
    return 0;
}
