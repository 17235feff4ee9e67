// pellucor-cli assess PROJECT.pellucor ...: every member's margin, grade and governing limit
// state, the summary by grade.
#pragma once

#include <string>
#include <vector>

namespace pellucor::cli {

// Runs the assess command with the words after "assess"; returns the exit status.
int run_assess_command(const std::vector<std::string>& args);

}  // namespace pellucor::cli
