// Scatter of a sheet's numeric inputs: the law of a box's samples, inside the box's range and
// with the value the sheet holds as their mean; the default scatter of the usual quantities with
// the source each default follows; what the range makes of the scatter asked for.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "sheet/sheet_table.hpp"

namespace pellucor::analysis::mc {

enum class Distribution {
  Normal,
  Lognormal,
  Beta,  // on [0, 1] (the ageing exponent of a diffusion coefficient)
};

std::string_view distribution_name(Distribution d);  // "normal", "lognormal", "beta"
std::optional<Distribution> distribution_from_name(std::string_view name);

struct Scatter {
  double cov = 0;  // coefficient of variation; 0 (with sd 0): the box keeps the sheet's value
  Distribution dist = Distribution::Normal;
  // Absolute standard deviation in the box's unit (a temperature deviation in K is the same
  // in degrees Celsius). Above 0 it sets the scatter and cov is only the equivalent at the
  // mean, for front ends that show coefficients of variation.
  double sd = 0;

  bool scatters() const { return cov > 0 || sd > 0; }
  double deviation(double mean) const { return sd > 0 ? sd : cov * mean; }
};

// The binder of the concrete, which sets the scatter of the ageing exponent.
enum class Binder { Portland, FlyAsh, Slag };

std::string_view binder_name(Binder b);  // "portland", "fly-ash", "slag"
std::string_view binder_text(Binder b);  // "硅酸盐水泥", "掺粉煤灰", "掺矿渣"
std::optional<Binder> binder_from_name(std::string_view name);

// A default scatter and where it comes from, as data for the window's tool-tip and the
// report: the law and its parameter, and one sentence on the source and what it says.
struct ScatterSource {
  std::string_view alias;  // the box's console alias
  Distribution dist = Distribution::Normal;
  double cov = 0;  // coefficient of variation, or
  double sd = 0;   // absolute standard deviation (the ageing exponent's: by binder)
  std::string_view english;
  std::string_view chinese;
};

struct DefaultScatter {
  Scatter scatter;
  const ScatterSource* source = nullptr;  // none for boxes that are set, not measured
};

// The default scatter of a box, looked up by its console alias ("cover", "surface", ...), at
// the sheet's value `mean`; a CoV of 0 for boxes that are set, not measured (ages, starting
// values of iterations, measuring data).
DefaultScatter default_scatter(std::string_view alias, double mean, Binder binder = {});

// Every source a default follows, in the table's order.
const std::vector<ScatterSource>& scatter_sources();

// One box that scatters: a law of the family of its scatter, truncated to the box's range
// [lo, hi] (both ends valid). Sampling is by the inverse distribution function restricted to
// [F(lo), F(hi)] (from the upper tail's side where the range lies above the law's median), so
// that a sample always lies in the range and the truncated law is exact: no sample is thrown
// away and every sample costs one uniform number.
class TruncatedLaw {
 public:
  // The law `scatter` gives around `mean` before truncation (its untruncated law), truncated.
  TruncatedLaw(double mean, Scatter scatter, double lo, double hi);
  // The law the samples of a box follow: of the family of `scatter`, truncated to [lo, hi], with
  // the mean `mean` (the sheet's value) and, after truncation, the deviation `scatter` gives at
  // that mean, wherever the range can carry it. Where it cannot, the mean is kept and the
  // deviation is the largest the family reaches inside the range with that mean (within the
  // untruncated laws whose mean lies no further than six deviations outside the range);
  // reached() then says no. A mean at an end of the range has no such law: the untruncated law
  // takes the mean, as the constructor does, and the samples' mean moves inward.
  static TruncatedLaw fitted(double mean, Scatter scatter, double lo, double hi);

  // The value for a uniform number u in (0, 1); increasing in u.
  double sample(double u) const;
  // The same for n uniform numbers at once (the same values, computed in one loop).
  void sample(const double* u, double* x, std::size_t n) const;
  // The distribution function of the truncated law at x.
  double cdf(double x) const;

  double lo() const { return lo_; }
  double hi() const { return hi_; }
  // The probability mass of the untruncated law outside [lo, hi].
  double massCut() const;

  // The mean and the coefficient of variation of the truncated law (closed forms).
  double mean() const;
  double cov() const;
  // The same of the untruncated law.
  double parentMean() const;
  double parentCov() const;
  // fitted(): whether the deviation asked for was reached (always true from the constructor).
  bool reached() const { return reached_; }

 private:
  TruncatedLaw(Distribution dist, double p1, double p2, double lo, double hi);
  void cut();
  double untruncatedCdf(double x) const;
  double untruncatedTail(double x) const;  // 1 - F(x), computed from the upper side
  double quantile(double p) const;
  double tailQuantile(double q) const;  // x with 1 - F(x) = q
  bool flat() const;
  double mass() const;
  // The k-th raw moment of the truncated law, k = 1 or 2.
  double moment(int k) const;
  double variance() const;

  Distribution dist_;
  double mu_ = 0;     // of the value (normal) or of its logarithm (lognormal); Beta: a
  double sigma_ = 0;  // ditto; Beta: b
  double lo_ = 0;
  double hi_ = 0;
  // Where the range lies above the law's median (F(lo) > 1/2) the ends are kept as upper-tail
  // probabilities 1 - F, which keep their digits there: flo_ = 1 - F(lo) > fhi_ = 1 - F(hi).
  // Otherwise flo_ = F(lo) < fhi_ = F(hi).
  bool upper_ = false;
  double flo_ = 0;
  double fhi_ = 1;
  bool reached_ = true;
};

// Why a scatter cannot be sampled: empty when it can. A Beta law on [0, 1] needs a mean
// inside (0, 1) and a deviation below sqrt(mean (1 - mean)).
std::optional<std::string_view> scatter_problem(double mean, const Scatter& scatter);

// What the truncation to the box's range does to the scatter typed, for the law the samples
// follow (TruncatedLaw::fitted).
struct TruncationEffect {
  double mean = 0;  // the sheet's value
  double cov = 0;   // the CoV typed (or the equivalent of an absolute deviation)
  double truncatedMean = 0;
  double truncatedCov = 0;
  double massCut = 0;     // probability of the untruncated law outside the range
  double parentMean = 0;  // the untruncated law's mean and CoV
  double parentCov = 0;
  bool covShrinks = false;  // the CoV falls by more than 10 %
  bool meanMoves = false;   // the mean moves by more than 2 %
  bool warn() const { return covShrinks || meanMoves; }
};

inline constexpr double kCovShrinkWarning = 0.10;
inline constexpr double kMeanMoveWarning = 0.02;

TruncationEffect truncation_effect(double mean, const Scatter& scatter, double lo, double hi);

// Samples of a box are truncated to its valid range [lo, hi] of the field table. Boxes the
// sheet does not range-check are truncated to the range their prompt asks for, which is the
// same lo and hi. Whether the sheet range-checks the box when it is typed (on leaving or on every
// change).
bool range_checked(const sheet::FieldRow& f);

}  // namespace pellucor::analysis::mc
