// pellucor-cli design SHEET [NAME=TEXT ...] --solve NAME ...: the value of one input that just
// meets a target life (or a target reliability index at the target life).
#pragma once

#include <string>
#include <vector>

namespace pellucor::cli {

// Runs the design command with the words after "design"; returns the exit status.
int run_design_command(const std::vector<std::string>& args);

}  // namespace pellucor::cli
