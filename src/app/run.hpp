// Entry point of the program and the fixed run sequence of the stages.
#pragma once

#include "app/run_context.hpp"

namespace ZELK {

// Runs the stages in order; returns the exit code (0 success, 1 a stage failed).
int run(RunContext& context);

// The program: parses the command line and runs. Returns 0, 1 or 2 as the process exit code.
int entryPoint(int argc, const char* const* argv);

} // namespace ZELK
