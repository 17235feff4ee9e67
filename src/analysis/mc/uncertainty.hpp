// Scatter of a sheet's numeric inputs: the distribution of a box's value around the value the
// sheet holds, truncated to the box's range, and the default scatter of the usual quantities.
#pragma once

#include <optional>
#include <string_view>

#include "sheet/sheet_table.hpp"

namespace pellucor::analysis::mc {

enum class Distribution { Normal, Lognormal };

std::string_view distribution_name(Distribution d);  // "normal", "lognormal"
std::optional<Distribution> distribution_from_name(std::string_view name);

struct Scatter {
  double cov = 0;  // coefficient of variation; 0: the box keeps the sheet's value
  Distribution dist = Distribution::Normal;
};

// The default scatter of a box, looked up by its console alias ("cover", "surface", ...);
// a CoV of 0 for boxes that are set, not measured (ages, starting values of iterations).
Scatter default_scatter(std::string_view alias);

// One box that scatters: its distribution with the mean the sheet holds, truncated to
// [lo, hi] (both ends valid). Sampling is by the inverse distribution function restricted to
// [F(lo), F(hi)], so that a sample always lies in the range and the truncated law is exact:
// no sample is thrown away and every sample costs one uniform number.
class TruncatedLaw {
 public:
  TruncatedLaw(double mean, Scatter scatter, double lo, double hi);

  // The value for a uniform number u in (0, 1); increasing in u.
  double sample(double u) const;
  // The distribution function of the truncated law at x.
  double cdf(double x) const;

  double lo() const { return lo_; }
  double hi() const { return hi_; }

 private:
  double untruncatedCdf(double x) const;
  bool flat() const;

  Distribution dist_;
  double mu_ = 0;     // of the value (normal) or of its logarithm (lognormal)
  double sigma_ = 0;  // ditto
  double lo_ = 0;
  double hi_ = 0;
  double flo_ = 0;  // untruncated F(lo), F(hi)
  double fhi_ = 1;
};

// Samples of a box are truncated to its valid range [lo, hi] of the field table. Boxes the
// sheet does not range-check are truncated to the range their prompt asks for, which is the
// same lo and hi. Whether the sheet range-checks the box when it is typed (on leaving or on every
// change).
bool range_checked(const sheet::FieldRow& f);

}  // namespace pellucor::analysis::mc
