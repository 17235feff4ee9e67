// Design for a target reliability: the value of one input at which the reliability index of a
// limit state at the target life equals its target. Every value is run with the same seed,
// so that sample i draws the same uniform numbers whatever the value (common random numbers):
// each sample's time moves smoothly with the value, and the index, a step function of the
// value with steps of one sample, moves one way where the sheet's times do. The search is the
// deterministic one's (scan, monotonicity check, bisection) on that index.
//
// The Monte Carlo error of the answer: the index at the answer has the standard error of a
// binomial proportion carried through the normal quantile,
//
//   SE(β) = sqrt(p (1 - p) / n) / φ(β),
//
// and the answer moves by SE(β) / |dβ/dx| when the index moves by SE(β) (the delta method);
// the slope is the difference quotient of the index over the evaluations about half a scan
// step on either side of the answer. A different seed gives an answer that differs by about
// this much.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/assess/design.hpp"
#include "analysis/assess/reliability_grade.hpp"
#include "analysis/mc/engine.hpp"

namespace pellucor::analysis::assess {

struct ReliabilityDesignRequest {
  const sheet::Module* module = nullptr;
  std::vector<batch::Entry> member;  // the member's texts (the solved box's text is replaced)
  std::string box;                   // the box to solve for: control name, alias or label
  LimitState limitState = LimitState::EndOfLife;
  double targetLife = 50;  // a: the age at which β is read
  double targetBeta = 1.3;
  std::uint64_t samples = 10000;
  std::uint64_t seed = 1;
  unsigned threads = 0;  // 0: one per core
  MemberScatter scatter;
  int scanIntervals = 16;
  // Told after each evaluation: evaluations so far, and about how many the search takes.
  std::function<void(int done, int expected)> progress;
  mc::RunControl* control = nullptr;  // its cancel flag stops the search
};

// The index of one value with the request's seed and samples.
struct BetaEvaluation {
  Evaluation evaluation;  // result: the index (a bound where no sample or every one failed)
  mc::IndexValue index;
  double p = 0;  // P(limit state reached by the target life), conservative
  std::uint64_t failures = 0;
  std::uint64_t samples = 0;
};

// The member's problem made once, run for any value of the box.
class BetaResponse {
 public:
  // Types the member into its sheet and checks the box, the target and the problem at the
  // middle of the box's range.
  static Outcome<BetaResponse, DesignRefusal> make(const ReliabilityDesignRequest& request);

  BetaEvaluation evaluate(double value) const;
  const sheet::FieldRow& box() const { return *row_; }
  const mc::RunSettings& settings() const { return settings_; }
  // Whether a run was cancelled through the request's control.
  bool cancelled() const { return cancelled_; }

 private:
  BetaResponse() = default;
  const sheet::Module* module_ = nullptr;
  const sheet::FieldRow* row_ = nullptr;
  LimitState limitState_ = LimitState::EndOfLife;
  MemberScatter scatter_;
  sheet::SheetInputs base_;
  mc::RunSettings settings_;
  mc::RunControl* control_ = nullptr;
  mutable bool cancelled_ = false;
};

struct MonteCarloError {
  double p = 0;                    // P at the answer
  double betaSe = 0;               // SE(β) at the answer
  std::optional<double> slope;     // dβ/dx about the answer
  std::optional<double> answerSe;  // SE(β) / |slope|, in the box's unit
  std::string why;                 // Chinese: why there is no answerSe
  std::string whyEnglish;
};

struct ReliabilityDesign {
  double targetBeta = 0;
  std::uint64_t samples = 0;
  std::uint64_t seed = 0;
  std::optional<mc::IndexValue> indexAtAnswer;
  std::optional<MonteCarloError> error;
  int boundedEvaluations = 0;  // values where no sample (or every one) failed
};

struct ReliabilityDesignResult {
  DesignResult design;  // solve, chart (β against the value), summaries
  ReliabilityDesign reliability;
};

Outcome<ReliabilityDesignResult, DesignRefusal> design_for_target_beta(
    const ReliabilityDesignRequest& request);

// The standard error of the answer by the delta method (see above) from the evaluations of a
// solved search with an exact index, `beta` the index at the answer: the slope from the
// evaluations at least `span` / 2 on either side (the answer's own on a side without one).
MonteCarloError answer_error(const std::vector<Evaluation>& evaluations, double answer, double span,
                             double p, std::uint64_t samples, double beta);

}  // namespace pellucor::analysis::assess
