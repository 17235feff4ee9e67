// An updated reliability analysis as text: what an engineer reads first (in plain Chinese),
// the console's lines (prior and posterior side by side), and the curves as comma-separated
// values.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "analysis/update/update.hpp"

namespace pellucor::analysis::update {

// What to read before the results, in plain Chinese: a run that does not meet its diagnostics
// (its results are not graded), prior samples that cannot give the measurements, measurements
// beyond every prior sample. Empty when there is nothing to warn of.
std::vector<std::string> warning_lines(const UpdateResult& r);

// The measurements and the errors they are compared with, the cover's law, the sampler and its
// diagnostics, then prior against posterior: P(t <= target age) and beta against each target,
// the ages at which beta falls below its target, the percentiles of t_i, t_c, t_d and of the
// remaining life; the inputs' means, CoVs and 90 % intervals; the posterior correlations; the
// predictive curves at a few points (English, for the console).
std::vector<std::string> update_lines(const UpdateResult& r);

// The curves P(t <= age) and beta, prior and posterior, by age (CR LF, a header line).
void write_update_csv(std::ostream& out, const UpdateResult& r);

// The posterior predictive curves with the measurements on them: per curve its points (age or
// depth; the 5, 50 and 95 % of the prior's and the posterior's model value and of a new
// measurement), then the measurements (CR LF, a header line).
void write_predictive_csv(std::ostream& out, const UpdateResult& r);

}  // namespace pellucor::analysis::update
