// The Monte Carlo run: samples of a problem's inputs through the sheet's own calculation, on
// all cores, with random numbers keyed by seed and sample index (a sample is the same whatever
// the number of threads, and can be run again alone).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "analysis/mc/problem.hpp"
#include "analysis/mc/uncertainty.hpp"

namespace pellucor::analysis::mc {

enum class SampleStatus : std::uint8_t {
  Done,      // the calculation ran to its end
  Stopped,   // the model gave up (the sheet's plausibility stop)
  Rejected,  // a check of the sheet's Calculate refused the sampled inputs
};

struct SampleResult {
  SampleStatus status = SampleStatus::Done;
  double ti = 0;  // initiation time, a
  double tc = 0;  // cover cracking time, a
  double td = 0;  // end of durability, a
  double t = 0;   // inspection age, a
};

// A validated problem made ready to sample.
class Sampler {
 public:
  explicit Sampler(const Problem& problem);

  // The inputs of sample `index` for `seed`.
  sheet::SheetInputs inputs(std::uint64_t seed, std::uint64_t index) const;
  // Runs sample `index` through the sheet's checks and calculation.
  SampleResult run(std::uint64_t seed, std::uint64_t index) const;
  // Runs given inputs through the sheet's checks and calculation.
  SampleResult run(const sheet::SheetInputs& in) const;

 private:
  struct Box {
    int n;
    TruncatedLaw law;
  };
  const sheet::Module* module_;
  sheet::SheetInputs base_;
  std::vector<Box> boxes_;
};

// Shared with a caller on another thread: progress and cancellation.
struct RunControl {
  std::atomic<std::uint64_t> done{0};  // samples finished so far
  std::atomic<bool> cancel{false};     // set to stop early
};

struct Samples {
  std::vector<SampleResult> results;  // results[i]: sample i
  bool cancelled = false;             // cancelled before the end; results are incomplete
  unsigned threads = 0;               // threads that ran samples
  unsigned refused = 0;               // threads asked for that the system would not start
};

// Runs every sample of a validated problem. Samples are handed to the threads in blocks;
// results[i] is written by whichever thread runs sample i. The first error of a sample is
// thrown again once every thread has stopped.
Samples run_samples(const Problem& problem, const RunSettings& settings,
                    RunControl* control = nullptr);

}  // namespace pellucor::analysis::mc
