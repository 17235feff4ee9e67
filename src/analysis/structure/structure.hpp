// The assessment of a whole structure: every member of a project played on its sheet (the same
// path a user's Calculate takes), its margins and grade under the project's settings, and,
// when asked for, its reliability run and the grade read from it; then the members counted by
// grade, with the worst of them named.
//
// No member is left out: a member whose sheet this program does not know, or whose sheet
// stops at a message, is listed with the reason and counted as not assessed.
//
// It sits above the project file, which keeps the assessment's settings (assess/settings.hpp);
// its names stay in the assessment's namespace.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/assess/margin.hpp"
#include "analysis/assess/reliability_grade.hpp"
#include "analysis/batch/case_runner.hpp"
#include "analysis/mc/report.hpp"
#include "analysis/project/project.hpp"

namespace pellucor::analysis::assess {

struct MemberResult {
  std::string name;
  std::string sheetName;                  // as the project names it
  const sheet::Module* module = nullptr;  // nullptr: a sheet this program does not know
  std::vector<batch::Entry> entries;      // the member's texts as they were typed
  std::optional<batch::CaseResult> run;   // the calculation, when it ran to its end
  std::string failure;                    // Chinese: why there is no calculation or assessment
  std::string failureEnglish;
  std::optional<MemberAssessment> assessment;
  // With reliability runs: the run and its grade, or why there is none.
  std::optional<mc::Report> reliabilityReport;
  std::optional<ReliabilityAssessment> reliability;
  std::string reliabilityFailure;  // Chinese
  std::string reliabilityFailureEnglish;
  // The assessment was cancelled during this member's reliability run: no β grade is read from
  // part of its samples.
  bool reliabilityCancelled = false;

  bool assessed() const { return assessment.has_value(); }
};

// A member's order from the worst: not assessed first, then by grade (c before b before a),
// then a passed governing limit state before a margin (the earliest passed first), then the
// smallest margin; ties keep the project's order.
bool worse_than(const MemberResult& a, const MemberResult& b);

// The governing remaining life of an assessed member, a (negative once passed).
double remaining_life(const MemberResult& m);

struct GradeSummary {
  std::array<std::size_t, 3> counts{};  // of grades a, b, c
  std::size_t notAssessed = 0;
  std::vector<std::size_t> worst;  // member indices, worst first (at most kWorstMembers)
  // With reliability runs: the counts of the grades read from β, and the members without one.
  std::array<std::size_t, 3> reliabilityCounts{};
  std::size_t withoutReliability = 0;
};

inline constexpr std::size_t kWorstMembers = 10;

struct StructureOptions {
  bool reliability = false;  // run each member's reliability analysis
  unsigned threads = 0;      // 0: one per core
  // Told of progress (members done, members in all), from any thread, one call at a time.
  std::function<void(std::size_t, std::size_t)> progress;
  const std::atomic<bool>* cancel = nullptr;
};

struct StructureAssessment {
  project::Structure structure;
  Settings settings;
  bool reliability = false;           // whether reliability runs were asked for
  mc::RunSettings mcSettings;         // their settings (β read at the target life)
  std::vector<MemberResult> members;  // in the project's order
  GradeSummary summary;
  // Cancelled: members not reached say so, and the member whose reliability run was stopped
  // (MemberResult::reliabilityCancelled).
  bool cancelled = false;
};

// The reliability settings of a project's runs: its samples, seed and target index of the end
// of the durable life, the other targets as a run's defaults, β read at the target life.
mc::RunSettings project_run_settings(const project::Project& p);

// Refused when the project's assessment settings are (see check_settings: t0 against the
// target life is checked per member), and with reliability runs when its reliability settings
// are (see project::check_reliability_settings).
Outcome<StructureAssessment, AssessRefusal> assess_structure(const project::Project& p,
                                                             const StructureOptions& options = {});

// Whether a project as it was read from its file may be assessed: not with members that share
// a name (the grades and the report tell members by their names), without members, or with
// settings the file does not give as they would be used (a value of the wrong kind or without
// a meaning, which the reader replaced by the defaults): the assessment, with reliability
// runs also the reliability settings.
// `skipped`: what reading the file left out (OpenReport::skipped).
std::optional<Refusal<AssessRefusal>> check_opened(const project::Project& p,
                                                   const std::vector<project::Skipped>& skipped,
                                                   bool reliability);

// The summary of the members as they stand (after a re-sort or a change of one member).
GradeSummary summarize_grades(const std::vector<MemberResult>& members);

// A member's scatter as its project keeps it (per box a CoV, a law or both).
MemberScatter member_scatter(const project::Member& m);

// Plays one member and assesses it (with its reliability run when `reliability`).
MemberResult assess_project_member(const project::Member& m, const Settings& settings,
                                   const std::optional<mc::RunSettings>& reliability,
                                   const std::atomic<bool>* cancel = nullptr);

}  // namespace pellucor::analysis::assess
