// The pipeline stages called by the run sequence, each reading and writing the RunContext.
#pragma once

#include "app/run_context.hpp"

namespace ZELK {

bool loadInput(RunContext& context);
bool detectBackground(RunContext& context);
bool extractLines(RunContext& context);
void rectify(RunContext& context);
void refinePolylines(RunContext& context);
bool exportResults(RunContext& context);

// First part of extractLines: median, top-hat and local-mean filtering of the grey image
// (announcing their status steps), leaving the signed filtered image for segmentation.
void conditionForExtraction(RunContext& context, Signal<2, short>& filtered);

} // namespace ZELK
