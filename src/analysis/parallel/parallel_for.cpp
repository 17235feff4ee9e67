#include "analysis/parallel/parallel_for.hpp"

#include <algorithm>
#include <exception>
#include <mutex>
#include <system_error>
#include <vector>

namespace pellucor::analysis {

unsigned thread_count(unsigned requested) {
  if (requested != 0) return requested;
  return std::max(1u, std::thread::hardware_concurrency());
}

ParallelOutcome parallel_for(std::size_t n,
                             const std::function<void(std::size_t, std::size_t)>& body,
                             const ParallelOptions& options) {
  ParallelOutcome outcome;
  if (n == 0) return outcome;
  const std::size_t chunk = std::max<std::size_t>(1, options.chunk);
  const std::size_t chunks = (n - 1) / chunk + 1;
  const auto wanted =
      static_cast<unsigned>(std::min<std::size_t>(thread_count(options.threads), chunks));

  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> finished{0};
  std::atomic<bool> failed{false};
  std::exception_ptr error;
  std::mutex mutex;  // the error and the progress calls
  std::size_t reported = 0;
  auto stopping = [&] {
    return failed.load(std::memory_order_relaxed) ||
           (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed));
  };
  auto work = [&] {
    try {
      while (!stopping()) {
        const std::size_t begin = next.fetch_add(chunk);
        if (begin >= n) return;
        const std::size_t end = std::min(n, begin + chunk);
        body(begin, end);
        const std::size_t done = finished.fetch_add(end - begin) + (end - begin);
        if (options.progress) {
          const std::lock_guard lock(mutex);
          // A count taken by another thread may arrive late: only progress is told.
          if (done > reported) {
            reported = done;
            options.progress(done, n);
          }
        }
      }
    } catch (...) {
      const std::lock_guard lock(mutex);
      if (!error) error = std::current_exception();
      failed = true;
    }
  };

  std::vector<std::thread> pool;
  pool.reserve(wanted > 0 ? wanted - 1 : 0);
  for (unsigned k = 1; k < wanted; ++k) {
    try {
      pool.push_back(options.startThread ? options.startThread(work) : std::thread(work));
    } catch (const std::system_error&) {
      // No more threads to be had now: the ones running take the remaining chunks.
      outcome.refused = wanted - k;
      break;
    }
  }
  outcome.threads = static_cast<unsigned>(pool.size()) + 1;
  work();
  for (auto& t : pool) t.join();
  if (error) std::rethrow_exception(error);
  outcome.completed = finished.load();
  outcome.cancelled = outcome.completed < n;
  return outcome;
}

}  // namespace pellucor::analysis
