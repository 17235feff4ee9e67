// Importance sampling in the standard normal space of the inputs: the effective sample size of
// weights, the Pareto k of their largest ratios, and the proposal the final draws come from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pellucor::analysis::update {

// Kish's effective sample size (sum w)^2 / sum w^2 of non-negative weights; 0 for none.
double effective_samples(const std::vector<double>& w);

// The shape k of a generalized Pareto law fitted to the largest importance ratios (Vehtari,
// Simpson, Gelman, Yao and Gabry, "Pareto smoothed importance sampling", JMLR 25, 2024): the
// largest min(S / 5, 3 sqrt(S)) ratios above the next one, fitted by the method of Zhang and
// Stephens (Technometrics 51, 2009) with its weak prior. Below 0.5 the ratios have a finite
// variance, up to 0.7 the estimates are still reliable, above it they are not. None with
// fewer than 5 ratios in the tail, or with a tail of ratios that are all equal (no tail).
std::optional<double> pareto_k(const std::vector<double>& logWeights);

// Draws from a defensive mixture (Hesterberg, Technometrics 37, 1995): with probability
// kPriorShare the prior N(0, I), otherwise a multivariate Student t with kProposalDof degrees
// of freedom around the mean of given points, its covariance theirs widened by kWidening. The
// prior's share bounds every weight by the likelihood's largest value over it.
class Proposal {
 public:
  // Fitted to `points` (n rows of d coordinates), equally weighted or with `weights`.
  static Proposal fitted(const std::vector<double>& points, std::size_t d,
                         const std::vector<double>* weights = nullptr);

  std::size_t dimension() const { return mean_.size(); }
  // Draws first .. first + count - 1 for `seed` (rows of dimension() coordinates): each the
  // same point whichever block or thread draws it.
  void draw(std::uint64_t seed, std::uint64_t first, std::size_t count, double* z) const;
  double logDensity(const double* z) const;

 private:
  std::vector<double> mean_;
  std::vector<double> chol_;  // lower triangle of the t's scale matrix, row by row (d x d)
  double logDetChol_ = 0;
  double logNormaliser_ = 0;  // of the t's density, without the determinant
};

inline constexpr double kPriorShare = 0.05;
inline constexpr std::size_t kProposalDof = 5;
inline constexpr double kWidening = 1.2;
// The most coordinates a proposal has (every box of a sheet and three model factors fit).
inline constexpr std::size_t kMaxDimensions = 32;
// The uniform streams of the final draws (beyond the boxes' and the factors'); even, so that
// pairs of them come from one Philox call.
inline constexpr int kProposalStream = 4000;

// The lower Cholesky factor of a symmetric d x d matrix (row by row), a little of the diagonal's
// mean added where it is not positive definite; false when it cannot be made so.
bool cholesky(std::vector<double> a, std::size_t d, std::vector<double>& l);

}  // namespace pellucor::analysis::update
