// pellucor-cli mc SHEET [NAME=TEXT ...] [--cov NAME=V ...] ...: a reliability analysis.
#pragma once

#include <string>
#include <vector>

namespace pellucor::cli {

// Runs the mc command with the words after "mc"; returns the exit status.
int run_mc_command(const std::vector<std::string>& args);

}  // namespace pellucor::cli
