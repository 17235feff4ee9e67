// pellucor-cli mc: reliability analysis of a sheet by Monte Carlo sampling.
#pragma once

namespace pellucor::cli {

// Runs "pellucor-cli mc ..." with argv[0] = "mc". Returns the exit status.
int run_mc(int argc, char** argv);

}  // namespace pellucor::cli
