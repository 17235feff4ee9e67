// Processes: starting a program and waiting for it (the console's tests start the console
// program this way on every system), the termination signals the program cleans up on.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace pellucor::platform {

struct ProcessRun {
  std::vector<std::string> command;  // the program (a path) and its arguments, as they are
  std::string input;                 // a file for standard input; empty: the null device
  std::string output;                // files for standard output and error (created, emptied)
  std::string error;
  std::string folder;                    // the folder it starts in; empty: this one's
  std::vector<std::string> environment;  // NAME=VALUE added to (or replacing in) the program's
  std::optional<std::chrono::milliseconds> limit;  // killed when it has not ended by then
};

struct ProcessOutcome {
  bool started = false;
  int status = -1;      // the exit status; -1 when it did not end by itself
  bool killed = false;  // ended because the limit was reached
  std::string failure;  // why it did not start (English)
};

ProcessOutcome run_process(const ProcessRun& run);

// The number of the running process.
long current_process_id();

// Calls `handler` with the signal's number when the program is asked to end: Ctrl+C, a
// termination request, a closed terminal (those the system has). The handler may use only
// what a signal handler may (remove_pending_temporaries, then the default action).
void on_termination(void (*handler)(int));

}  // namespace pellucor::platform
