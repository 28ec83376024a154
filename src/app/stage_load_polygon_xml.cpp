// Polygon XML input: reads polylines that an earlier run wrote with -ox into the drawing area
// and the lines set, in place of extracting them from an image.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

#include "app/stages.hpp"
#include "core/limits.hpp"
#include "export/polygon_xml.hpp"

namespace ZELK {

namespace {

// Reads the whole file, at most maxBytes of it: false when it holds more. A file that cannot be
// opened is the path error. Reads in pieces, so that a device without end (/dev/zero) or a file
// growing while read stops at the limit too.
bool readDocument(const std::string& path, std::uint64_t maxBytes, std::string& document) {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open())
        throw PathException(path, "Not found. ");
    // A plain file says its size: refuse it unread. Otherwise room for the most we read, so
    // that the text never regrows to twice the limit (the pages are only used as it fills).
    std::error_code unknown;
    const std::uintmax_t size = std::filesystem::file_size(path, unknown);
    if (!unknown && size > maxBytes)
        return false;
    document.reserve(static_cast<std::size_t>(unknown ? maxBytes : size));
    char piece[1 << 16];
    while (file) {
        file.read(piece, sizeof piece);
        const auto got = static_cast<std::size_t>(file.gcount());
        if (document.size() + got > maxBytes)
            return false;
        document.append(piece, got);
    }
    if (file.bad())
        throw StreamException("Failed to read from input stream. ");
    return true;
}

} // namespace

bool loadPolygonXML(RunContext& context, const std::string& path) {
    context.status.begin("Loading XML");
    // Errors of the file or its contents (path, XML, conversion, reference bound) are raised
    // through to the entry point, which reports them; the step line stays open.
    std::string document;
    std::string problem;
    PolygonXMLDrawing drawing;
    if (!readDocument(path, Limits::maxPolygonXMLBytes, document))
        problem = "Polygon XML input is larger than the supported maximum " +
                  std::to_string(Limits::maxPolygonXMLBytes) + " bytes";
    else
        readPolygonXML(document, drawing, problem, Limits::maxPolygonXMLVertices);
    if (!problem.empty()) {
        std::cerr << problem << '\n';
        context.status.end(false);
        return false;
    }
    context.drawing.area = drawing.area;
    context.drawing.lines = std::move(drawing.lines);
    context.status.end(true);
    return true;
}

} // namespace ZELK
