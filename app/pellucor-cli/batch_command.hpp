// pellucor-cli batch SHEET [IN.csv|-] [-o OUT.csv|OUT.xlsx] [--encoding utf-8|gbk]
//                  [--input-encoding utf-8|gbk] [--jobs N]
#pragma once

#include <string>
#include <vector>

namespace pellucor::cli {

// Runs the batch command with the words after "batch"; returns the exit status.
int run_batch_command(const std::vector<std::string>& args);

}  // namespace pellucor::cli
