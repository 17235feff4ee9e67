// What a Monte Carlo run comes to: probabilities of initiation, cracking and end of durability
// by age with their bounds, standard errors and reliability indices, percentiles, the age at
// which the reliability index falls below its target, the statistics at the target age, the
// rank correlations of the inputs with the times, and the samples that stopped by cause.
//
// No sample is left out. Over all the samples drawn, a sample counts at an age as failed when
// its time is known and at or below the age; as not failed when it never reaches the limit
// state (a survivor); and, when the model could not follow it, as failed from the earliest
// age it could have failed (the headline, conservative bound) or as not failed (the lower
// bound).
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "analysis/mc/engine.hpp"

namespace pellucor::analysis::mc {

// Percentiles are also given of the remaining life max(0, t_d - t) at the inspection age t.
inline constexpr int kRemaining = 3;

struct Percentiles {
  double p5 = 0;
  double p50 = 0;
  double p95 = 0;
  // Whether the percentile lies among the samples that never reach the limit state: it is
  // then no age (its value is 0 and means nothing).
  std::array<bool, 3> never{};
};

// A reliability index as a reviewer reads it: a value, or where no sample (or every sample)
// failed, a bound from the sample size.
struct IndexValue {
  enum class Kind { Exact, Above, Below };
  Kind kind = Kind::Exact;
  double value = 0;
};

// The rule of the bounds: with x failures in n samples and x = 0, P lies below the
// one-sided 95 % upper bound 1 - 0.05^(1/n) of the exact binomial law, so beta lies above
// -Phi^-1 of it; with x = n, P lies above 0.05^(1/n) and beta below.
inline constexpr std::string_view kIndexBoundRule =
    "exact binomial one-sided 95 % bound: no failure in n samples gives P < 1 - 0.05^(1/n)";
inline constexpr std::string_view kIndexBoundRuleText =
    "二项分布单侧 95% 界：n 个样本无一失效时 P < 1 - 0.05^(1/n)";

IndexValue reliability_index(std::uint64_t failures, std::uint64_t n);
// The index as a number for a curve: a bound above as +infinity, one below as -infinity.
double index_number(const IndexValue& index);

struct CurvePoint {
  double age = 0;                     // a
  std::array<double, kTimes> p{};     // P(time <= age), the conservative (headline) bound
  std::array<double, kTimes> pLow{};  // the same with the samples not followed as not failed
  std::array<double, kTimes> se{};    // binomial standard error sqrt(p (1 - p) / n) of p
  // -Phi^-1(p), infinite where p is 0 or 1: for charts that leave those ages out. Printed
  // output uses `index`, which is finite.
  std::array<double, kTimes> beta{};
  std::array<IndexValue, kTimes> index{};
};

// P at one age with what a reviewer asks of it.
struct AtAge {
  double age = 0;
  std::array<std::uint64_t, kTimes> failures{};  // counted for the headline
  std::array<double, kTimes> p{};
  std::array<double, kTimes> pLow{};
  std::array<double, kTimes> se{};
  // se / p; none where p = 0 (no failure: the CoV has no finite value)
  std::array<std::optional<double>, kTimes> cov{};
  std::array<double, kTimes> lo95{};  // exact binomial (Clopper-Pearson) 95 % interval of p
  std::array<double, kTimes> hi95{};
  std::array<IndexValue, kTimes> index{};
};

// Samples that did not run to the end, by cause.
struct StopCount {
  SampleStatus status = SampleStatus::Stopped;
  StopCause cause;
  std::uint64_t count = 0;
};

// The Spearman rank correlation of one scattering input with t_i, t_c and t_d.
struct RankCorrelation {
  int box = 0;
  std::array<std::optional<double>, kTimes> rho{};  // none where it cannot be told
};

// Rank correlations use at most this many samples (the first ones: a random subsample).
inline constexpr std::uint64_t kTornadoSamples = kKeptDraws;

struct Summary {
  std::uint64_t samples = 0;     // samples drawn; the probabilities are over all of them
  std::uint64_t done = 0;        // ran to the end
  std::uint64_t survived = 0;    // stopped where the limit state is never reached
  std::uint64_t stopped = 0;     // the model could not follow them
  std::uint64_t rejected = 0;    // refused by a check of the sheet's Calculate
  std::vector<StopCount> stops;  // by cause, most frequent first
  // Of t_i, t_c, t_d and the remaining life (index kRemaining), conservative; none when no
  // sample has a time.
  std::array<std::optional<Percentiles>, kTimes + 1> percentiles{};
  double targetBeta = 1.3;               // of the end of durability
  std::array<double, kTimes> targets{};  // of t_i, t_c, t_d
  // The age at which beta(age) first falls below its target, conservative and lower bound;
  // none when it stays above it over every sample.
  std::array<std::optional<double>, kTimes> targetAge{};
  std::array<std::optional<double>, kTimes> targetAgeLow{};
  std::vector<CurvePoint> curve;
  AtAge atTarget;
  std::vector<RankCorrelation> tornado;
  std::uint64_t tornadoSamples = 0;  // samples the rank correlations used
  InitiationVariant variant = InitiationVariant::Crossing;
  bool hasVariants = false;  // the sheet has two ways to its initiation time
  bool stoppedByRule = false;
  double stopCov = 0;

  // Samples that did not run to the end (survivors, stops, refusals) per sample drawn.
  double notDoneShare() const;
};

// Above this share of samples that did not run to the end the outputs say so first.
inline constexpr double kStopWarningShare = 0.01;

// The default age grid: 101 ages from 0 to a round age at or above the largest of the 95th
// percentile of t_d and the inspection age (at least 10 a).
std::vector<double> default_ages(const Samples& samples);

// Summarises the samples on `ages` (the default grid when empty). Percentiles interpolate
// linearly between order statistics.
Summary summarize(const Samples& samples, const RunSettings& settings,
                  std::vector<double> ages = {});
// A summary's heading before its counts: the targets, the sample count and the sheet's
// initiation variant (what a weighted summary of the same samples shares).
Summary summary_heading(const Samples& samples, const RunSettings& settings);
// The same with the default settings and the end-of-durability target `targetBeta`.
Summary summarize(const Samples& samples, double targetBeta, std::vector<double> ages = {});

// The order of finite values from the smallest, samples of equal value in their own order (a
// stable radix sort of their bits, a byte at a time).
std::vector<std::uint32_t> ascending_order(const std::vector<double>& v);

// A reliability index as text: "1.234", "> 4.107", "< -4.107".
std::string index_text(const IndexValue& index, int decimals = 3);

// The curves as comma-separated values with a header line: per age and time P (conservative),
// its standard error, beta (a bound where beta_bound says ">" or "<"), the lower bound of P; on
// the marine sheet the initiation-time method last.
void write_csv(std::ostream& out, const Summary& summary);

}  // namespace pellucor::analysis::mc
