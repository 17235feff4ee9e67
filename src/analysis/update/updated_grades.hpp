// The members of an assessed structure graded again from the posterior of their reliability
// analyses updated with their measurements: the console's `assess --reliability --updated` and
// the structure report do it with this one function, so that they agree.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "analysis/project/project.hpp"
#include "analysis/structure/structure.hpp"
#include "analysis/update/member_update.hpp"
#include "analysis/update/update.hpp"

namespace pellucor::analysis::update {

struct UpdatedGrades {
  // Per member of the project (parallel to its members): the update, where one ran to its end.
  std::vector<std::optional<UpdateResult>> results;
  std::size_t graded = 0;       // from the posterior beta
  std::size_t notGraded = 0;    // the update did not run, or did not meet its diagnostics
  std::size_t withoutData = 0;  // no measurements: the prior beta stands
  // What was done: a summary line, one line per member updated (Chinese), a line in English.
  std::vector<std::string> lines;
  bool cancelled = false;
};

// Updates each assessed member with a reliability run whose inspection holds measurements
// (errors: those given, else the member's own settings, else estimated), and grades it from
// the posterior beta where the update meets its diagnostics; a member whose update cannot run
// or does not meet them is not graded by beta, and says why. The summary by grade is made
// again. `cancel` stops between and within members (the results then incomplete, `cancelled`).
UpdatedGrades grade_updated(const project::Project& p, const TypedErrors& errors,
                            assess::StructureAssessment& s,
                            const std::atomic<bool>* cancel = nullptr);

}  // namespace pellucor::analysis::update
