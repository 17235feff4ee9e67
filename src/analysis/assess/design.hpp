// Design for a target: the value of one input that just makes a result reach a target. The
// solver scans the input's range to bracket the target, checks on the way that the result
// moves one way with the value, searches between the scan's values wherever the result turns
// (a dip or a peak there may cross the target unseen), and bisects the bracket; it takes any
// function of the value (a limit-state time from the sheet's own calculation, or a reliability
// index), so that the same search serves the deterministic and the probabilistic question.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/assess/margin.hpp"
#include "analysis/batch/case_runner.hpp"
#include "analysis/curves/curves.hpp"
#include "analysis/outcome.hpp"
#include "analysis/text/bilingual.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::analysis::assess {

// One evaluation: the value tried and the result it gave, or why it gave none.
struct Evaluation {
  double value = 0;
  std::optional<double> result;
  std::string failure;         // Chinese (the sheet's own message where it gave one)
  std::string failureEnglish;  // the same for the console
};

// The function the solver works on.
using Response = std::function<Evaluation(double value)>;

struct SolveSettings {
  double lo = 0;  // the range of the value, both ends included
  double hi = 0;
  double target = 0;       // the result to reach (at least)
  int scanIntervals = 16;  // the scan that brackets the target
  // Bisection stops when the bracket is this narrow; 0: a millionth of the range.
  double tolerance = 0;
  int maxBisections = 60;
  // Whether a bracket [out, in] of the bisection already places the answer as finely as the
  // result can tell it (a Monte Carlo index, whose steps are single samples); unset: only the
  // tolerance ends the bisection.
  std::function<bool(const Evaluation& out, const Evaluation& in)> fineEnough = {};
  // A step of the result against the direction of the whole range counts as a reversal when
  // it exceeds this much; smaller wobbles are the iterations' own tolerance (the cracking-time
  // iteration settles within 0.01 a).
  double reversalTolerance = 0.02;
};

enum class Direction { Increasing, Decreasing, Flat };

enum class SolveStatus {
  Solved,  // one value just meets the target (answer); when the result turns within
           // the range but crosses the target once, monotone is false

  WholeRangeMeets,  // every value meets it; answer: the least favourable value (an end of the
                    // range unless the result turns)
  NoneMeets,        // no value meets it; closestEnd and shortfall say how near the range comes
                    // (the best value, an end of the range unless the result turns)
  NotMonotone,      // the result turns and meets the target at several values (crossings,
                    // no answer)
};

struct SolveResult {
  SolveStatus status = SolveStatus::Solved;
  Direction direction = Direction::Flat;
  bool monotone = true;
  std::optional<double> answer;          // a value whose result meets the target
  std::optional<double> resultAtAnswer;  // its result (evaluated, never interpolated)
  std::optional<double> closestEnd;      // NoneMeets: the value with the best result
  double shortfall = 0;                  // NoneMeets: target - result at that end
  std::vector<double> crossings;         // NotMonotone: where the result meets the target
  std::vector<Evaluation> evaluations;   // every evaluation, sorted by value
  // The range the claims cover: from the least to the greatest value that gave a result (the
  // whole range where every value does).
  double computedLo = 0;
  double computedHi = 0;
  int refinedTurns = 0;    // turns of the result searched between the scan's values
  int unrefinedTurns = 0;  // turns left unsearched (the notes say so)
  int failures = 0;        // evaluations that gave no result
  std::vector<text::Bilingual> notes;
};

enum class DesignRefusal {
  BadRange,           // not lo < hi, or not numbers
  BadTarget,          // the target is not a number above 0
  UnknownBox,         // no numeric box of that name on the sheet
  NotADesignValue,    // a starting value of an iteration, not a property of the member
  NoInitiationStage,  // the sheet has no initiation stage (chloride admixed at casting)
  DisabledBox,        // the member's other input disables the box (either-or)
  NoResult,           // no value in the range gave a result (the sheet refuses the member)
  BadScatter,         // the reliability problem cannot run (a scatter, the samples, the target)
  Cancelled,          // stopped by the user before an answer was found
};

Outcome<SolveResult, DesignRefusal> solve_for_target(const Response& f, const SolveSettings& s);

// ---- The deterministic form: a limit-state time of the sheet's own calculation -------------

struct DesignRequest {
  const sheet::Module* module = nullptr;
  std::vector<batch::Entry> member;  // the member's texts (the solved box's text is replaced)
  std::string box;                   // the box to solve for: control name, alias or label
  LimitState limitState = LimitState::EndOfLife;
  double targetLife = 50;  // a
  int scanIntervals = 16;
};

struct DesignResult {
  sheet::Control box = sheet::Control::None;
  std::string label;  // the box's label on the sheet
  std::string alias;
  LimitState limitState = LimitState::EndOfLife;
  double targetLife = 0;
  SolveResult solve;
  // A solved answer as the summary writes it: rounded to five significant digits towards the
  // values that meet the target, so that the value written meets it too, with its own
  // result; the answer itself where the rounded value does not meet the target.
  std::optional<double> written;
  std::optional<double> resultAtWritten;
  curves::Chart chart;  // life against the value, the target and the answer marked
  std::string summary;  // Chinese
  std::string summaryEnglish;
};

// The written answer of a solved search (see DesignResult::written), evaluated with `f`.
std::pair<double, std::optional<double>> written_answer(const Response& f, const SolveResult& s,
                                                        double lo, double hi, double target);
// A value as the summaries write it: five significant digits, or fifteen where five would not
// give the value back.
std::string value_text(double v);

// The range a search's claims cover, as the summaries write it ("0.45001--0.99999"): the range
// of values with a result, its ends rounded inwards to five significant digits so that the
// range written holds no value that was not computed; [lo, hi] itself where every value gave
// one.
std::string computed_range_text(const SolveResult& s, double lo, double hi);
// Whether the results stop short of the range [lo, hi] on either side.
bool computed_range_partial(const SolveResult& s, double lo, double hi);
// Whether `v` is an end of the range the search computed (the least favourable or the closest
// value is called an end only then).
bool at_computed_end(const SolveResult& s, double v);

// The box a design solves for, checked: a numeric box of the sheet (control name, alias or
// label) that is a property of the member, a limit state the sheet has and a target life
// above 0.
Outcome<const sheet::FieldRow*, DesignRefusal> design_box(const sheet::SheetTable& table,
                                                          const std::string& box,
                                                          LimitState limitState, double targetLife);

// Plays the member on the sheet for each value (the case runner: the same path a user's
// Calculate takes) and reads the limit-state time from the run.
Outcome<DesignResult, DesignRefusal> design_for_target_life(const DesignRequest& request);

// The life a member reaches with `value` typed into `box`, as the design search sees it.
Evaluation evaluate_life(const sheet::Module& module, const std::vector<batch::Entry>& member,
                         sheet::Control box, LimitState limitState, double value);

}  // namespace pellucor::analysis::assess
