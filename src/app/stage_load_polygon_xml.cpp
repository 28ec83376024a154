// Polygon XML input: reads polylines that an earlier run wrote with -ox into the drawing area
// and the lines set, in place of extracting them from an image.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "app/stages.hpp"
#include "export/polygon_xml.hpp"

namespace ZELK {

namespace {

// Reads the whole file; a file that cannot be opened is the path error.
std::string readDocument(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open())
        throw PathException(path, "Not found. ");
    std::string document((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        throw StreamException("Failed to read from input stream. ");
    return document;
}

} // namespace

bool loadPolygonXML(RunContext& context, const std::string& path) {
    context.status.begin("Loading XML");
    // Errors of the file or its contents (path, XML, conversion, reference bound) are raised
    // through to the entry point, which reports them; the step line stays open.
    const std::string document = readDocument(path);
    PolygonXMLDrawing drawing;
    std::string problem;
    if (!readPolygonXML(document, drawing, problem)) {
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
