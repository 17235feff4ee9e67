// A member's reliability problem and the grade read from a reliability run.
//
// The problem: the member's texts typed into its sheet (each box checked as a user's typing
// is), read as Calculate would read them, with the default scatter of every box that holds a
// value and the member's own scatter where it gives one.
//
// The grade: for each limit state that counts, the reliability index at the target life T
// against the limit state's target index, and the age t_β at which the index first falls
// below that target. The margin is the deterministic one with t_β in place of the limit-state
// time,
//
//   ξ_β = (t_β - t0) / (γ · (T - t0)),
//
// graded with the same thresholds, so that grade b or better means that β at the age
// t0 + γ (T - t0) (with γ = 1: at the target life) is still at or above its target. An index
// already below its target at t0 is reported as passed; one that never falls below it over
// the samples drawn has no finite margin and is graded a.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analysis/assess/margin.hpp"
#include "analysis/batch/case_runner.hpp"
#include "analysis/mc/problem.hpp"
#include "analysis/mc/summary.hpp"

namespace pellucor::analysis::assess {

// A member's texts as Calculate would read them after they are typed into a fresh sheet.
struct TypedMember {
  sheet::SheetInputs inputs;
  std::optional<batch::Message> message;  // the first message box typing brought up
  std::vector<sheet::Control> disabled;   // entries not typed: their box was disabled
};
TypedMember type_member(const sheet::Module& module, const std::vector<batch::Entry>& entries);

// What a member's scatter is made of besides the defaults: per box (TextN) a coefficient of
// variation in place of the default's size, a law in place of the default's, or both.
struct BoxOverride {
  std::optional<double> cov;
  std::optional<mc::Distribution> law;
};
struct MemberScatter {
  std::map<int, BoxOverride> boxes;
  mc::Binder binder = mc::Binder::Portland;
  mc::ModelUncertainty modelUncertainty;
};

// The reliability problem of inputs read from a member: the default scatter of every box that
// holds a value, then the member's own.
mc::Problem member_problem(const sheet::Module& module, const sheet::SheetInputs& inputs,
                           const MemberScatter& scatter);

// The index of limit state `s` in a run's arrays (t_i, t_c, t_d).
int mc_time(LimitState s);

struct ReliabilityMargin {
  LimitState state = LimitState::Initiation;
  double targetBeta = 0;              // of this limit state
  mc::IndexValue betaAtTarget;        // β at the target life
  double pAtTarget = 0;               // P(limit state reached by the target life), conservative
  double seAtTarget = 0;              // its binomial standard error
  std::optional<double> ageBelow;     // t_β: the age at which β first falls below its target
  std::optional<double> ageBelowLow;  // the same with the samples not followed as not failed
  std::optional<double> margin;       // ξ_β; none when passed at t0 or never below
  Grade grade = Grade::C;

  bool never() const { return !ageBelow.has_value(); }
  bool passed() const { return ageBelow.has_value() && !margin.has_value(); }
};

struct ReliabilityAssessment {
  double t0 = 0;
  double targetLife = 0;
  double gamma = 0;
  std::uint64_t samples = 0;
  std::vector<ReliabilityMargin> states;  // in the order of the settings
  Grade grade = Grade::C;
  LimitState governing = LimitState::Initiation;
  std::vector<std::string> notes;  // Chinese

  const ReliabilityMargin& governingState() const;
  // One Chinese line: grade, governing limit state, β at the target life against its target.
  std::string summary() const;
};

// The grade of a run summarised with the target age at the settings' target life (as the
// structure assessment's runs are: project_run_settings). `inspectionAge` is t0 when the settings
// give none; the limit states that count as for the deterministic grade (counted_limit_states).
Outcome<ReliabilityAssessment, AssessRefusal> assess_reliability(
    const mc::Summary& summary, const Settings& settings, double inspectionAge,
    const std::optional<std::vector<LimitState>>& limitStates = std::nullopt,
    const sheet::SheetTable* sheet = nullptr);

}  // namespace pellucor::analysis::assess
