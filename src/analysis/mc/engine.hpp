// The Monte Carlo run: samples of a problem's inputs through the sheet's own calculation, on
// all cores, with random numbers keyed by seed and sample index (a sample is the same whatever
// the number of threads, and can be run again alone).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "analysis/mc/problem.hpp"
#include "analysis/mc/uncertainty.hpp"

namespace pellucor::analysis::mc {

enum class SampleStatus : std::uint8_t {
  Done,      // the calculation ran to its end
  Survived,  // stopped where a limit state is never reached (C_cr >= C_s, no carbonation, no
             // corrosion): not failed at every age; the times it did reach are known
  Stopped,   // the model could not follow the sample (the sheet's plausibility stop)
  Rejected,  // a check of the sheet's Calculate refused the sampled inputs
};

// What a sample tells of one limit-state time.
enum class TimeKnown : std::uint8_t {
  Known,    // the time is the sample's value
  Never,    // the limit state is never reached
  Unknown,  // the model could not follow the sample: it may fail at any age from the value on
};

// Why a sample did not run to its end.
struct StopCause {
  enum class Kind : std::uint8_t {
    None,
    Model,       // the model stopped (`reason`)
    Check,       // a check of the sheet's Calculate refused the inputs (`box`)
    NoCrossing,  // the chloride at the bar stays below C_cr up to kCrossingLimit (marine sheet,
                 // initiation at the crossing): t_i lies beyond it, t_i, t_c, t_d from there
  };
  Kind kind = Kind::None;
  model::StopReason reason{};  // Kind::Model: the model's reason
  int box = 0;                 // Kind::Check: the box the check names; 0 for the consistency
                               // check of the concentrations (the plausibility message)
  friend bool operator==(const StopCause&, const StopCause&) = default;
};

// 48 bytes: the doubles first, the small members packed after them.
struct SampleResult {
  double ti = 0;  // initiation time, a (Unknown: the earliest age it could be)
  double tc = 0;  // cover cracking time, a (ditto)
  double td = 0;  // end of durability, a (ditto)
  double t = 0;   // inspection age, a
  StopCause cause;
  SampleStatus status = SampleStatus::Done;
  std::array<TimeKnown, kTimes> known{};  // of t_i, t_c, t_d

  double time(int which) const { return which == kInitiation ? ti : which == kCracking ? tc : td; }
};

// A validated problem made ready to sample.
class Sampler {
 public:
  explicit Sampler(const Problem& problem);

  // The inputs of sample `index` for `seed`.
  sheet::SheetInputs inputs(std::uint64_t seed, std::uint64_t index) const;
  // Runs sample `index` through the sheet's checks and calculation.
  SampleResult run(std::uint64_t seed, std::uint64_t index) const;
  // Runs given inputs through the sheet's checks and calculation (without model-uncertainty
  // factors, which belong to a sample index). `keep`, when given, receives the model's run
  // (inputs and result, also when it stopped; empty when a check refused the inputs or the
  // chloride at the bar does not reach C_cr, which no model run follows).
  SampleResult run(const sheet::SheetInputs& in, model::ModelRun* keep = nullptr) const;

  // The boxes that scatter, in box order, and the value of each in sample `index`.
  const std::vector<int>& scatteringBoxes() const { return boxNumbers_; }
  void draws(std::uint64_t seed, std::uint64_t index, double* values) const;
  // The values of the scattering boxes in samples first .. first + count - 1:
  // values[i * boxes + j] of box j in sample first + i. Box by box over the samples, so that
  // the independent draws overlap in the processor.
  void drawBlock(std::uint64_t seed, std::uint64_t first, std::size_t count, double* values) const;
  // Runs sample `index` with the values drawn for it, in `in`, a copy of the problem's inputs
  // that the caller keeps between samples (only the scattering boxes change).
  SampleResult run(std::uint64_t seed, std::uint64_t index, sheet::SheetInputs& in,
                   const double* values) const;
  const sheet::SheetInputs& base() const { return base_; }
  // The law box n is drawn from; nullptr when it does not scatter.
  const TruncatedLaw* law(int n) const;
  // The model-uncertainty factor of time `which` in sample `index` (1 without one).
  double modelFactor(std::uint64_t seed, std::uint64_t index, int which) const;

 private:
  struct Box {
    int n;
    TruncatedLaw law;
  };
  void applyModelFactors(std::uint64_t seed, std::uint64_t index, SampleResult& r) const;

  const sheet::Module* module_;
  sheet::SheetInputs base_;
  std::vector<Box> boxes_;
  std::vector<int> boxNumbers_;
  ModelUncertainty modelUncertainty_;
  std::array<double, kTimes> factorSigma_{};  // of the logarithm of each factor
  int critical_ = 0;                          // the critical and surface concentration boxes,
  int surface_ = 0;                           // 0 where the sheet has none
  int age_ = 0;                               // the inspection age box
  bool crossing_ = false;                     // the marine sheet's initiation time at the crossing
  bool carbonation_ = false;                  // the carbonation sheet: its model called directly
};

// Scales the times of a sample by the model-uncertainty factors of t_i, t_c and t_d, as a run
// with model uncertainty does: each factor its stage (initiation, initiation to cracking,
// cracking to the end); an unknown time, the earliest age it could be, moves with the stages
// before it. A run without model uncertainty does not call it (a factor of 1 may still move
// the last bit of a time).
void apply_model_factors(const std::array<double, kTimes>& factors, SampleResult& r);

// The uniform number in (0, 1) of stream n in sample `index` for `seed`; streams 1 to
// kMaxTextBoxes are the boxes, kFactorStream + k the model-uncertainty factor of time k.
double uniform(std::uint64_t seed, std::uint64_t index, int n);
inline constexpr int kFactorStream = 100;
// The instructions that compute blocks of uniform numbers: by default the fastest the
// processor has; every kind gives the same numbers.
enum class VectorInstructions { Portable = 0, Avx2 = 1, Avx512 = 2 };
bool has_instructions(VectorInstructions with);
// The uniform numbers of streams n and n + 1 (n even) in samples first .. first + count - 1:
// even[i] and odd[i] are uniform(seed, first + i, n) and uniform(seed, first + i, n + 1).
// `with`: instructions the processor has (has_instructions), for tests of each kind.
void uniform_block(std::uint64_t seed, std::uint64_t first, std::size_t count, int n, double* even,
                   double* odd, std::optional<VectorInstructions> with = std::nullopt);

// Shared with a caller on another thread: progress and cancellation.
struct RunControl {
  std::atomic<std::uint64_t> done{0};  // samples finished so far
  std::atomic<bool> cancel{false};     // set to stop early
  // A flag of a larger job that stops this run as `cancel` does (a structure assessment's,
  // which reaches the reliability run of the member it is on); nullptr: none.
  const std::atomic<bool>* outerCancel = nullptr;
};

// The samples whose inputs are kept: the rank correlations use them (the first samples are a
// random subsample like any other).
inline constexpr std::uint64_t kKeptDraws = 20000;

struct Samples {
  std::vector<SampleResult> results;  // results[i]: sample i
  bool cancelled = false;             // cancelled before the end; results are incomplete
  unsigned threads = 0;               // threads that ran samples
  unsigned refused = 0;               // threads asked for that the system would not start
  // The scattering boxes, in box order, and their values in the first kKeptDraws samples:
  // draws[i * boxes.size() + j] is the value of box boxes[j] in sample i (for the rank
  // correlations).
  std::vector<int> boxes;
  std::vector<double> draws;
  InitiationVariant variant = InitiationVariant::Crossing;  // the variant that ran (marine)
  bool hasVariants = false;  // whether the sheet has two ways to its initiation time
  // With the stopping rule: whether it was met before the most samples were drawn.
  bool stoppedByRule = false;
};

// Runs every sample of a validated problem (with the stopping rule, in rounds of growing size
// until it is met). Samples are handed to the threads in blocks; results[i] is written by
// whichever thread runs sample i. The first error of a sample is thrown again once every thread
// has stopped.
// The same with a sampler of `problem` made before (its laws fitted once for every user).
Samples run_samples(const Sampler& sampler, const Problem& problem, const RunSettings& settings,
                    RunControl* control = nullptr);
Samples run_samples(const Problem& problem, const RunSettings& settings,
                    RunControl* control = nullptr);

// The stopping rule: the CoV of the conservative P(t_d <= target age) is below settings.stopCov.
bool stopping_rule_met(const Samples& samples, const RunSettings& settings);

// The target age of a run: the settings' own or the inspection age of the samples.
double target_age(const Samples& samples, const RunSettings& settings);

// Samples [first, last) into `out` (whose vectors already hold `last` samples).
void run_sample_range(const Sampler& sampler, const RunSettings& settings, std::uint64_t first,
                      std::uint64_t last, Samples& out, RunControl* control);

}  // namespace pellucor::analysis::mc
