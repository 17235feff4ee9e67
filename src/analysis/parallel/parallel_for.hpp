// One way to run independent pieces of work on several threads: the indices 0..n-1 are handed
// out in chunks to the caller's thread and to the threads it could start, with cancellation,
// progress, and the first error carried back to the caller. A thread that cannot be started
// (the system's limit on threads or processes) is no error: the work runs on the threads there
// are, and the outcome says how many that was.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>

namespace pellucor::analysis {

struct ParallelOptions {
  unsigned threads = 0;   // threads in all, the caller's included; 0: one per core
  std::size_t chunk = 1;  // indices a thread takes at a time (0 counts as 1)
  // Set to stop: chunks not yet started are not run.
  const std::atomic<bool>* cancel = nullptr;
  // Told after each chunk of the indices finished so far and of n, from whichever thread ran
  // the chunk; one call at a time, and the count never goes back.
  std::function<void(std::size_t done, std::size_t total)> progress;
  // Starts a thread that runs the given function; throws std::system_error when none can be
  // had. Empty: std::thread (a test puts a starter here that refuses after a few threads).
  std::function<std::thread(std::function<void()>)> startThread;
};

struct ParallelOutcome {
  std::size_t completed = 0;  // indices whose chunk ran to its end
  bool cancelled = false;     // the cancel flag stopped the run before every chunk had run
  unsigned threads = 0;       // threads that took part, the caller's included
  unsigned refused = 0;       // threads asked for that could not be started
};

// The number of threads for a request: `requested`, or one per core for 0.
unsigned thread_count(unsigned requested);

// Runs body(begin, end) for consecutive chunks covering [0, n). The chunks run in any order and
// on any of the threads. When a body throws, no further chunk is started, the threads are
// joined, and the first exception is thrown again to the caller.
ParallelOutcome parallel_for(std::size_t n,
                             const std::function<void(std::size_t begin, std::size_t end)>& body,
                             const ParallelOptions& options = {});

}  // namespace pellucor::analysis
