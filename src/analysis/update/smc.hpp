// Tempered sequential Monte Carlo in the standard normal space of the inputs (Del Moral, Doucet
// and Jasra, JRSS B 68, 2006; the adaptive temperatures of Jasra, Stephens, Doucet and
// Tsagaris, Scand. J. Stat. 38, 2011): particles drawn from the prior N(0, I) are carried to the
// posterior through the targets N(0, I) L^phi, phi rising from 0 to 1 in steps chosen so that
// the effective sample size of each step's weights is half the particles; after each step the
// particles are resampled and moved by random-walk Metropolis steps whose proposal is the
// particles' own covariance, as many as it takes for four particles in five to move (Drovandi and
// Pettitt, Biometrics 67, 2011), at most kMaxMoves. The particles only say where the posterior
// lies: the final draws come from a law fitted to them and are weighted exactly.
//
// Several islands run side by side, each on its own particles and random numbers: whether they
// end in the same place is the Gelman-Rubin R-hat of every coordinate and of the log-likelihood.
// How far each stage's moves carried the particles is the correlation between their
// coordinates before and after the moves (1: they stayed, 0: independent of where they were).
//
// Everything an island does is drawn from counter-based random numbers keyed by the seed and
// the particle, stage, move and coordinate, and each island runs on one thread: the particles
// are the same for any number of threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace pellucor::analysis::update {

struct SmcSettings {
  unsigned islands = 4;
  std::size_t particles = 250;  // per island
};

inline constexpr double kEssFraction = 0.5;  // of the particles, at every tempering step
inline constexpr int kMaxStages = 100;
inline constexpr int kMaxMoves = 20;
// The uniform streams of the sampler (beyond the boxes', the factors' and the proposal's).
inline constexpr int kResampleStream = 5000;
inline constexpr int kMoveStream = 6000;

struct SmcStage {
  double phi = 0;         // the temperature reached
  double acceptance = 0;  // of the moves
  int moves = 0;
  double correlation = 0;  // the largest over the coordinates, before against after the moves
};

struct SmcRun {
  std::size_t dimension = 0;
  // The particles at phi = 1, island after island, equally weighted (islands x particles rows
  // of `dimension` coordinates), with their log-likelihoods.
  std::vector<double> z;
  std::vector<double> logLikelihood;
  std::vector<std::vector<SmcStage>> stages;  // per island
  // R-hat across the islands of each coordinate, and of the log-likelihood last.
  std::vector<double> rHat;
  bool reached = false;  // every island reached phi = 1 within kMaxStages
  bool stuck = false;    // an island had no particle whose inputs can give the measurements
  bool cancelled = false;
};

// A log-likelihood of standard normal coordinates. `evaluator()` gives one to each island (it
// may keep scratch space; one island calls its own from one thread at a time).
using LogLikelihood = std::function<double(const double* z)>;
using Evaluators = std::function<LogLikelihood()>;

// Runs the islands from `start`: islands x particles prior draws (rows of d coordinates) and
// their log-likelihoods (minus infinity: the inputs cannot give the measurements).
SmcRun temper(std::size_t d, const Evaluators& evaluators, const std::vector<double>& start,
              const std::vector<double>& startLogLikelihood, std::uint64_t seed,
              const SmcSettings& settings, unsigned threads,
              const std::atomic<bool>* cancel = nullptr);

// R-hat (Gelman and Rubin; Gelman et al., Bayesian Data Analysis, 3rd ed., 11.4) of m groups of
// n values each (group after group).
double r_hat(const std::vector<double>& values, std::size_t groups);

}  // namespace pellucor::analysis::update
