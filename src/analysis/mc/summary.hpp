// What a Monte Carlo run comes to: probabilities of initiation, cracking and end of durability
// by age with their standard errors and reliability indices, percentiles, the age at which
// the reliability index falls below its target, and the counts of samples that did not run.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "analysis/mc/engine.hpp"

namespace pellucor::analysis::mc {

// The times a run gives per sample, in this order.
enum Time { kInitiation = 0, kCracking = 1, kEnd = 2 };
inline constexpr int kTimes = 3;
// Percentiles are also given of the remaining life max(0, t_d - t) at the inspection age t.
inline constexpr int kRemaining = 3;

struct Percentiles {
  double p5 = 0;
  double p50 = 0;
  double p95 = 0;
};

struct CurvePoint {
  double age = 0;                   // a
  std::array<double, kTimes> p{};   // P(time <= age) over the samples that ran to the end
  std::array<double, kTimes> se{};  // binomial standard error sqrt(p (1 - p) / done)
  // -Phi^-1(p); +infinity for p = 0 and -infinity for p = 1 (no finite index).
  std::array<double, kTimes> beta{};
};

struct Summary {
  std::uint64_t samples = 0;   // samples drawn
  std::uint64_t done = 0;      // ran to the end; the probabilities are over these
  std::uint64_t stopped = 0;   // ended in the plausibility stop
  std::uint64_t rejected = 0;  // refused by a check of the sheet's Calculate
  // Of t_i, t_c, t_d and the remaining life (index kRemaining); none when no sample ran.
  std::array<std::optional<Percentiles>, kTimes + 1> percentiles{};
  double targetBeta = 1.3;
  // The age at which beta(age) first falls below the target; none when it stays above it
  // over every sample (or no sample ran).
  std::array<std::optional<double>, kTimes> targetAge{};
  std::vector<CurvePoint> curve;
};

// -Phi^-1(p), infinite at p = 0 and p = 1.
double reliability_index(double p);

// The default age grid: 101 ages from 0 to a round age at or above the largest of the 95th
// percentile of t_d and the inspection age (at least 10 a).
std::vector<double> default_ages(const Samples& samples);

// Summarises the samples on `ages` (the default grid when empty). Percentiles interpolate
// linearly between order statistics.
Summary summarize(const Samples& samples, double targetBeta, std::vector<double> ages = {});

// The curves as comma-separated values with a header line.
void write_csv(std::ostream& out, const Summary& summary);

}  // namespace pellucor::analysis::mc
