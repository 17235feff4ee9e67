// The summary of weighted samples in the reliability analysis's own record: what
// mc::summarize gives for equally weighted samples, with every count a sum of weights.
//
//   P(time <= age)   the weight of the samples failed by the age over all the weight (the
//                    samples the model could not follow failed from the earliest age they
//                    could fail, and not failed in the lower bound, as in the analysis);
//   its standard error, CoV, exact 95 % interval and reliability index bounds
//                    with Kish's effective sample size in place of the sample count;
//   percentiles      linear between the samples as mc does it, each sample standing at the
//                    weight below it (with equal weights: at its rank);
//   the target age   the first time at which the weight failed exceeds Phi(-beta_target).
//
// With unit weights every figure is mc::summarize's, bit for bit (a test holds it), but the
// rank correlations, which this summary leaves empty. Samples of weight 0 are not counted.
#pragma once

#include <vector>

#include "analysis/mc/summary.hpp"

namespace pellucor::analysis::update {

// `weights[i]` of samples.results[i], each 0 or more, not all 0; `ages` the grid of the curve
// (not empty).
mc::Summary summarize_weighted(const mc::Samples& samples, const std::vector<double>& weights,
                               const mc::RunSettings& settings, const std::vector<double>& ages);

// The reliability index of a weight failed out of a total, with the bounds from the effective
// sample size where none or all of it failed (mc::reliability_index for unit weights).
mc::IndexValue weighted_index(double failed, double total, double effective);

}  // namespace pellucor::analysis::update
