// pellucor-cli fit profile|carbonation|cover IN.csv [options]: the inspection analyses of the
// desktop's windows on readings in a CSV file.
#pragma once

#include <string>
#include <vector>

namespace pellucor::cli {

// Runs the fit command with the words after "fit"; returns the exit status.
int run_fit_command(const std::vector<std::string>& args);

}  // namespace pellucor::cli
