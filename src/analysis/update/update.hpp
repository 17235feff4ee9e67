// The reliability analysis of a member updated with its own measurements: the posterior of its
// scattering inputs (and model-uncertainty factors) given what the inspection measured, and
// every result of the analysis again under that posterior, beside the prior one.
//
// How the posterior is sampled. The prior samples are the reliability analysis's own (the same
// seed, the same numbers). When their likelihood weights keep an effective sample size of at
// least half the samples, the posterior is those samples weighted (likelihood weighting).
// Otherwise a tempered sequential Monte Carlo of a few thousand particles in four islands
// finds where the posterior lies, a Student t fitted to its particles (mixed with the prior)
// proposes as many fresh draws as the run asks for, and their importance weights make them the
// posterior's. Either way the final samples are independent and weighted, so the effective
// sample size is honest; it is given with every result, with the Pareto k of the largest
// weights and, where the sequential sampler ran, its R-hat across the islands and how far its
// moves carried the particles. A run that does not meet the limits below says so above its
// results in plain Chinese, and is not graded.
//
// With no measurements the posterior is the prior, bit for bit.
#pragma once

#include <array>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "analysis/mc/report.hpp"
#include "analysis/text/bilingual.hpp"
#include "analysis/update/cover_law.hpp"
#include "analysis/update/likelihood.hpp"
#include "analysis/update/measurements.hpp"
#include "analysis/update/smc.hpp"

namespace pellucor::analysis::update {

struct UpdateSettings {
  // Samples (of the prior, and the effective samples the posterior's importance draws aim at),
  // seed, targets, target age, threads.
  mc::RunSettings run;
  SmcSettings smc;  // the sequential sampler's islands and particles per island
  // The predictive curves are drawn from the first draws of weight above 0, at most this many.
  std::size_t curveDraws = 1000;
};

// The most samples an update takes, and the most posterior draws it makes to reach as many
// effective samples (their inputs are held for the statistics).
inline constexpr std::uint64_t kMaxUpdateSamples = 1'000'000;
inline constexpr std::uint64_t kMaxUpdateDraws = 2'000'000;
// Likelihood weighting of the prior samples while their effective sample size is at least this
// share of them.
inline constexpr double kWeightingShare = 0.5;
// What a run must meet to be graded.
inline constexpr double kMinEffectiveShare = 0.1;  // effective samples per draw
inline constexpr double kMinEffective = 100;       // effective samples
inline constexpr double kMaxParetoK = 0.7;         // of the largest weights
// Across the islands: their particles are resampled and carry duplicates, not long chains, so
// the limit is Gelman and Rubin's 1.1 (it finds islands in different places).
inline constexpr double kMaxRHat = 1.1;
inline constexpr double kMinAcceptance = 0.01;  // of the moves, at every stage

enum class Method {
  Prior,                // no measurement enters: the prior samples themselves
  LikelihoodWeighting,  // the prior samples weighted
  TemperedImportance,   // tempered sequential Monte Carlo, then importance sampling
};

struct Diagnostics {
  Method method = Method::Prior;
  std::uint64_t draws = 0;        // posterior draws
  int proposalRounds = 0;         // importance sampling: the proposals drawn from (1 or 2)
  double effective = 0;           // Kish's effective sample size of the final weights
  std::optional<double> paretoK;  // none where the weights have no tail (all equal)
  // The sequential sampler, where it ran.
  unsigned islands = 0;
  std::size_t particles = 0;  // per island
  std::vector<std::vector<SmcStage>> stages;
  std::vector<double> rHat;  // per input, the log-likelihood last
  double maxRHat = 0;
  double minAcceptance = 0;
  double lastCorrelation = 0;  // the largest, at the last stage of any island
  bool passed = true;
  std::vector<text::Bilingual> failures;  // each limit not met
};

// One input's mean, coefficient of variation and 90 % interval, prior and posterior (the prior
// of a cover that readings updated is the box's own law before them).
struct InputStatistics {
  int box = 0;                   // TextN; 0 for a model-uncertainty factor
  int factor = -1;               // its time
  std::string name;              // alias, or "factor t_i" ...
  std::string label;             // the sheet's label, or the factor's Chinese name
  std::array<double, 2> mean{};  // prior, posterior
  std::array<double, 2> cov{};
  std::array<double, 2> p5{};
  std::array<double, 2> p95{};
};

// The 5, 50 and 95 % points of a quantity, prior and posterior, at one age or depth; for the
// posterior also those of a new measurement (the model's value with its error).
struct PredictivePoint {
  double at = 0;  // a (carbonation depth against age) or mm (chloride against depth)
  std::array<double, 3> prior{};
  std::array<double, 3> posterior{};
  std::array<double, 3> measured{};
};

struct PredictiveCurve {
  enum class Kind { DepthAgainstAge, ProfileAtAge };
  Kind kind = Kind::DepthAgainstAge;
  std::string name;  // the core's name (profiles)
  double age = 0;    // the core's age (profiles)
  std::vector<PredictivePoint> points;
  // The measurements on it: (age or depth, value) and whether each entered the likelihood.
  std::vector<std::array<double, 2>> measured;
  std::vector<bool> used;
};

// A measurement outside what every prior sample gives.
struct OutOfReach {
  std::string text;  // Chinese
  std::string english;
};

struct UpdateResult {
  mc::Report prior;       // the reliability analysis as it stands (its summary the prior one)
  mc::Summary posterior;  // on the prior's age grid; no rank correlations
  PreparedMeasurements measurements;
  std::optional<CoverUpdate> cover;
  std::vector<InputStatistics> inputs;
  std::vector<double> correlation;  // posterior, inputs x inputs, row by row
  std::vector<PredictiveCurve> curves;
  Diagnostics diagnostics;
  // Prior samples whose inputs cannot give the measurements, by reason (Impossible).
  std::array<std::uint64_t, kImpossibleKinds> impossible{};
  std::uint64_t priorDraws = 0;  // prior draws whose likelihood was computed (those counted)
  std::vector<OutOfReach> outOfReach;
  bool cancelled = false;
};

enum class UpdateRefusal {
  Problem,       // the reliability problem itself (mc::validate's message)
  Measurements,  // prepare()'s message
  SampleCount,   // more than kMaxUpdateSamples, or a stopping rule (an update takes none)
  NoPosterior,   // no prior sample can give the measurements
  Cancelled,
};

// Runs the update. Refused, with the reason, before anything is computed where the problem or
// the measurements cannot be taken, or after the prior samples where none of them can give
// the measurements.
Outcome<UpdateResult, UpdateRefusal> run_update(const mc::Problem& problem,
                                                const Measurements& measurements,
                                                const UpdateSettings& settings,
                                                mc::RunControl* control = nullptr);

std::string_view method_text(Method m);  // Chinese
std::string_view method_english(Method m);

}  // namespace pellucor::analysis::update
