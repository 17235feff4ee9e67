// The inputs an update samples, each as a coordinate of a standard normal vector z: a box's
// value is its law's inverse distribution function at Phi(z) (the law truncated to the box's
// range, as the reliability analysis draws it), a model-uncertainty factor is
// exp(sigma z - sigma^2 / 2). The prior is then exactly the standard normal law in z, whatever
// the laws are, and a sampler moves in z without leaving the boxes' ranges.
//
// Prior draw i takes the uniform numbers the reliability analysis takes for its sample i with
// the same seed, so that without the measurements the draws are its samples, bit for bit.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "analysis/mc/engine.hpp"
#include "analysis/mc/problem.hpp"
#include "analysis/update/cover_law.hpp"

namespace pellucor::analysis::update {

struct Dimension {
  int box = 0;      // TextN, or 0 for a model-uncertainty factor
  int factor = -1;  // the time whose factor it is (mc::Time), or -1
  std::variant<double, mc::TruncatedLaw, TruncatedStudent> law;  // double: a factor's sigma

  double value(double u) const;       // for a uniform number (a prior draw)
  double fromNormal(double z) const;  // for a standard normal coordinate
};

class LatentSpace {
 public:
  // The problem's scattering boxes (the cover box with `cover`'s law in place of its own, also
  // when it does not scatter in the problem) and its model-uncertainty factors.
  LatentSpace(const mc::Problem& problem, const std::optional<TruncatedStudent>& cover,
              int coverBox);

  std::size_t size() const { return dims_.size(); }
  const std::vector<Dimension>& dimensions() const { return dims_; }
  bool hasFactors() const { return hasFactors_; }
  const sheet::SheetInputs& base() const { return base_; }

  // Prior draw `index` for `seed`: the values (as the reliability analysis draws them) and the
  // standard normal coordinates z = Phi^-1(u) of its uniform numbers.
  void prior(std::uint64_t seed, std::uint64_t index, double* z, double* x) const;
  // The values of prior draws first .. first + count - 1 (rows of size()), the boxes of the
  // problem a block at a time as `sampler` (the problem's) draws them: the same values.
  void priorBlock(const mc::Sampler& sampler, std::uint64_t seed, std::uint64_t first,
                  std::size_t count, double* x) const;
  // The values at standard normal coordinates.
  void values(const double* z, double* x) const;
  // The same for `count` rows at once (each law's block sampling: the same values).
  void values(const double* z, double* x, std::size_t count) const;
  // The values into a copy of the base inputs and the three model-uncertainty factors (1 where
  // there is none).
  void apply(const double* x, sheet::SheetInputs& in,
             std::array<double, mc::kTimes>& factors) const;

 private:
  std::vector<Dimension> dims_;
  std::vector<int> column_;  // per dimension: its column among the sampler's boxes, or -1
  sheet::SheetInputs base_;
  bool hasFactors_ = false;
};

// log of the standard normal density of a point, summed over its coordinates.
double log_standard_normal(const double* z, std::size_t d);

}  // namespace pellucor::analysis::update
