// The assessment's vocabulary and settings, without logic: the limit states a member is graded
// on (one table of them), the grades, the settings of an assessment and their bounds, and the
// reasons an assessment is refused. The project file keeps the settings; the margins (margin.hpp)
// and the structure assessment above the project file work with them.
#pragma once

#include <array>
#include <cstddef>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "analysis/mc/problem.hpp"

namespace pellucor::analysis::assess {

enum class LimitState {
  Initiation,  // t_i: the steel starts to corrode
  Cracking,    // t_c: the cover cracks
  EndOfLife,   // t_d: the durable life ends
};

// What a member's margins are computed from: the ages at which its limit states are reached
// and its inspection age, a.
struct LimitStateTimes {
  double ti = 0;   // initiation (0 for chloride admixed at casting)
  double tc = 0;   // cover cracking
  double td = 0;   // end of the durable life
  double age = 0;  // inspection age t: t0 when the settings give none
};

// The limit states, one entry each, in their one order (the order of the settings, the tables
// and the reports): the key the record, the project file and the console use, the names the
// desktop and the console show, the time a calculation gives it and the index of its time in a
// reliability run and its target index. Adding a limit state is an entry here, its time in
// LimitStateTimes (from the timeline, limit_state_times) and in the reliability run's arrays.
struct LimitStateEntry {
  LimitState state;
  std::string_view key;           // "ti"
  std::string_view chinese;       // the name the desktop, the reports and the result files show
  std::string_view english;       // the console's name
  double LimitStateTimes::*time;  // its time in a member's times
  int runTime;                    // its index in a reliability run's arrays (mc::Time)
  double mc::RunSettings::*runTarget;  // its target index in a reliability run's settings
};
inline constexpr LimitStateEntry kLimitStates[] = {
    {LimitState::Initiation, "ti", "钢筋开始锈蚀", "initiation", &LimitStateTimes::ti,
     mc::kInitiation, &mc::RunSettings::targetBetaInitiation},
    {LimitState::Cracking, "tc", "保护层开裂", "cover cracking", &LimitStateTimes::tc,
     mc::kCracking, &mc::RunSettings::targetBetaCracking},
    {LimitState::EndOfLife, "td", "耐久性终结", "end of durable life", &LimitStateTimes::td,
     mc::kEnd, &mc::RunSettings::targetBeta},
};

// The limit states in their order.
inline constexpr auto kAllLimitStates = [] {
  std::array<LimitState, std::size(kLimitStates)> all{};
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = kLimitStates[i].state;
  return all;
}();

enum class Grade { A, B, C };

// What the settings may be: beyond these bounds a margin has no meaning (a γ of 1e-308 gives a
// 47-digit margin and grade a, a target life of 1e308 a grade a for every member). A thousand
// years is beyond any service life that a durability model was made for; a γ outside 0.1..10
// is no safety factor on a remaining life; a threshold above 100 asks for a hundred times the
// remaining target life.
inline constexpr double kMaxAgeYears = 1000;  // t0 and T_target
inline constexpr double kMinGamma = 0.1;
inline constexpr double kMaxGamma = 10;
inline constexpr double kMaxThreshold = 100;

struct Settings {
  std::optional<double> assessmentAge;  // t0, a; none: each member's inspection age
  double targetLife = 50;               // T_target, a: the age the owner expects to reach
  double gamma = 1.0;                   // factor on the remaining target life
  double thresholdA = 1.8;              // ξ at or above it: grade a
  double thresholdB = 1.0;              // ξ at or above it (and below thresholdA): grade b
  std::vector<LimitState> limitStates = {LimitState::Initiation, LimitState::Cracking,
                                         LimitState::EndOfLife};

  bool operator==(const Settings&) const = default;
};

enum class AssessRefusal {
  BadAssessmentAge,    // t0 not a number, or negative
  TargetNotAfterT0,    // T_target at or before t0: no remaining target life
  BadGamma,            // γ not a number above 0
  BadThresholds,       // not 0 < thresholdB < thresholdA
  NoLimitStates,       // no limit state counts (or one counts twice)
  OnlyByConstruction,  // the only limit states that count are reached at 0 on the member's sheet
  BadReliability,      // the reliability settings of a project have no meaning
  NoMembers,           // a project without a member to assess
  RepeatedNames,       // members of a project that share a name
  NotAsWritten,        // settings the project file does not give as they would be used
  BadLimitStateTime,   // a limit-state time that is not a finite number: no margin is read from it
};

}  // namespace pellucor::analysis::assess
