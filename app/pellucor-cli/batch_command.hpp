// pellucor-cli batch SHEET [IN.csv|-] [-o OUT.csv|OUT.xlsx] [--encoding utf-8|gbk] [--jobs N]
#pragma once

namespace pellucor::cli {

// True when the arguments ask for the batch command (its first argument is "batch").
bool is_batch_command(int argc, char** argv);
// Runs it; returns the exit status (0 every member computed, 2 some member did not, 1 usage
// or file errors).
int run_batch_command(int argc, char** argv);

}  // namespace pellucor::cli
