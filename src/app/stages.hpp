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

} // namespace ZELK
