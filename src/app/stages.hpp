// The pipeline stages called by the run sequence, each reading and writing the RunContext.
#pragma once

#include "app/run_context.hpp"

namespace ZELK {

bool loadInput(RunContext& context);
// Branches of loadInput: a demo "name[,key=value...]" rendered into the image buffer (writing
// name.svg and name.png), and a polygon XML file read into the drawing area and lines set.
bool loadDemo(RunContext& context, const std::string& demo);
bool loadPolygonXML(RunContext& context, const std::string& path);
bool detectBackground(RunContext& context);
bool extractLines(RunContext& context);
// Returns false, after one line on standard error, when -r cannot give a usable perspective
// (unusable -rs sizes, fewer than four point pairs, a singular fit).
bool rectify(RunContext& context);
void refinePolylines(RunContext& context);
bool exportResults(RunContext& context);

// First part of extractLines: median and top-hat filtering of the grey image into
// extraction.filteredGrey and local-mean subtraction (announcing their status steps), leaving
// the signed filtered image for segmentation.
void filterForSegmentation(RunContext& context, Signal<2, short>& filtered);

} // namespace ZELK
