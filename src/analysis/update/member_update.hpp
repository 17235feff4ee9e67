// A project member as an update takes it: its texts typed into its sheet and read as
// Calculate would read them, its scatter (the defaults, then its own), and the measurements of
// its inspection: the cores of its profile window, its carbonation readings and its cover
// readings. The errors are the defaults (estimated from the readings or the fits) unless
// `errors` gives them.
#pragma once

#include <optional>
#include <string>

#include "analysis/mc/problem.hpp"
#include "analysis/outcome.hpp"
#include "analysis/project/project.hpp"
#include "analysis/update/measurements.hpp"
#include "analysis/update/update.hpp"

namespace pellucor::analysis::update {

// Errors typed for the measurements (none: the default of each).
struct TypedErrors {
  std::optional<double> depthCov;   // of every set of carbonation depths
  std::optional<double> profileSd;  // of every core, kg/m³
};

struct MemberUpdate {
  mc::Problem problem;
  Measurements measurements;
};

enum class MemberRefusal {
  UnknownSheet,  // the member's sheet is not one of this program's
  Typing,        // typing its texts brought up a message (the sheet's own)
};

// The measurements a member's inspection holds.
Measurements measurements_of(const project::Inspection& inspection, const TypedErrors& errors = {});

// The measurements of a member: its inspection's, with the errors `errors` gives, else those
// its update settings keep, and the corrosion depth and crack width those settings hold.
Measurements measurements_of(const project::Member& member, const TypedErrors& errors = {});

// A result as the project keeps it (the last update of a member).
project::UpdateOutcome outcome_record(const UpdateResult& r);

// `binder` sets the default scatter of an ageing exponent.
Outcome<MemberUpdate, MemberRefusal> member_update(const project::Member& member,
                                                   const TypedErrors& errors = {},
                                                   mc::Binder binder = mc::Binder::Portland);

}  // namespace pellucor::analysis::update
