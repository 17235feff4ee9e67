// The margin and grade of a member: for each limit state that counts, the remaining life
// t_lim - t0 at the age of assessment t0 and the margin
//
//   ξ = (t_lim - t0) / (γ · (T_target - t0))
//
// against the remaining target life; the member's grade is the worst over its limit states,
// and the limit state that gives it governs. A limit state reached at or before t0 (ξ ≤ 0) is
// reported as passed, not as a negative margin.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/assess/settings.hpp"
#include "analysis/outcome.hpp"
#include "analysis/timeline.hpp"
#include "sheet/result_record.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::analysis::assess {

// A limit state's entry in kLimitStates, and what it holds.
const LimitStateEntry& limit_state(LimitState s);
std::string_view limit_state_key(LimitState s);      // "ti", "tc", "td"
std::string_view limit_state_name(LimitState s);     // Chinese
std::string_view limit_state_english(LimitState s);  // "initiation", ...
// By its key ("ti", "tc", "td") or its English name.
std::optional<LimitState> limit_state_from_key(std::string_view key);

std::string_view grade_name(Grade g);  // "a", "b", "c"

// The one rule for which limit state governs a grade (the deterministic one and the one read
// from β): a limit state passed at t0 before any margin, the earliest passed first; then the
// smallest margin; a limit state never reached over a run's samples last; on a tie the first
// in the order counted.
struct Standing {
  enum Kind { Passed = 0, Margin = 1, Never = 2 } kind = Margin;
  double value = 0;  // the time passed, or the margin
};
// The index of the governing one among `standings` (not empty).
std::size_t governing_index(const std::vector<Standing>& standings);

// The grade a margin earns under the settings' thresholds.
Grade grade_for(double margin, const Settings& s);
// A setting or a time as the assessment's texts show it (four significant digits).
std::string assessment_digits(double v);

// The settings as the report states them, one Chinese line each.
std::vector<std::string> settings_lines(const Settings& s);

struct LimitStateMargin {
  LimitState state = LimitState::Initiation;
  double time = 0;               // t_lim, a
  double remaining = 0;          // t_lim - t0, a
  std::optional<double> margin;  // ξ; none when the limit state has passed at t0
  Grade grade = Grade::C;
  // Why the sheet reaches it at 0 whatever the member (see SheetTable::zeroByConstruction);
  // empty for a limit state the member's inputs decide.
  std::string byConstruction;

  bool passed() const { return !margin.has_value(); }
};

struct MemberAssessment {
  double t0 = 0;  // a
  double targetLife = 0;
  double gamma = 0;
  std::vector<LimitStateMargin> states;  // in the order of the settings
  Grade grade = Grade::C;
  LimitState governing = LimitState::Initiation;
  std::vector<std::string> notes;  // Chinese

  const LimitStateMargin& governingState() const;
  // One Chinese line: grade, governing limit state, remaining life and margin (or "passed").
  std::string summary() const;
};

// The settings checked on their own (t0 against T_target once t0 is known).
std::optional<Refusal<AssessRefusal>> check_settings(const Settings& s);

// The times as the record of a completed calculation holds them (keys "ti", "tc", "td" and
// the inspection age "age"); none when one of them is missing or has no number.
std::optional<LimitStateTimes> limit_state_times(const sheet::ResultRecord& record);
// The same from a run's timeline.
LimitStateTimes limit_state_times(const Timeline& timeline);

// The limit states a member of `sheet` is graded on: its own choice when it made one (all of
// it); otherwise the settings' without those the sheet reaches at 0 whatever its inputs
// (SheetTable::zeroByConstruction: the admixed sheet's initiation), which would grade every
// member of the sheet c for no property of the member. `leftOut` receives those left out.
// Refused (OnlyByConstruction) when the settings count no other.
Outcome<std::vector<LimitState>, AssessRefusal> counted_limit_states(
    const Settings& settings, const std::optional<std::vector<LimitState>>& limitStates,
    const sheet::SheetTable* sheet, std::vector<LimitState>* leftOut = nullptr);

// Refused (BadLimitStateTime) when the time of limit state `s` is not a finite number.
std::optional<Refusal<AssessRefusal>> check_limit_state_time(double time, LimitState s);

// The reason a sheet gives for reaching a limit state at 0 whatever its inputs; empty for one
// its inputs decide (or no sheet).
std::string by_construction(const sheet::SheetTable* sheet, LimitState s);

// The margins of a member whose calculation ran to its end. `limitStates`, when given, are the
// member's own choice instead of the settings'; `sheet`, when given, is the member's sheet (see
// counted_limit_states).
Outcome<MemberAssessment, AssessRefusal> assess_member(
    const LimitStateTimes& times, const Settings& settings,
    const std::optional<std::vector<LimitState>>& limitStates = std::nullopt,
    const sheet::SheetTable* sheet = nullptr);
Outcome<MemberAssessment, AssessRefusal> assess_member(
    const Timeline& timeline, const Settings& settings,
    const std::optional<std::vector<LimitState>>& limitStates = std::nullopt,
    const sheet::SheetTable* sheet = nullptr);

// The time of a limit state, a.
double limit_state_time(const LimitStateTimes& times, LimitState s);
double limit_state_time(const Timeline& timeline, LimitState s);

}  // namespace pellucor::analysis::assess
