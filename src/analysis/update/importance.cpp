#include "analysis/update/importance.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "analysis/mc/engine.hpp"
#include "analysis/mc/uncertainty.hpp"
#include "analysis/normal_law.hpp"
#include "analysis/update/latent.hpp"

namespace pellucor::analysis::update {

double effective_samples(const std::vector<double>& w) {
  double s = 0, s2 = 0;
  for (double v : w) {
    s += v;
    s2 += v * v;
  }
  return s2 > 0 ? s * s / s2 : 0.0;
}

std::optional<double> pareto_k(const std::vector<double>& logWeights) {
  std::vector<double> lw;
  for (double v : logWeights) {
    if (!std::isnan(v)) lw.push_back(v);
  }
  const std::size_t S = lw.size();
  if (S == 0) return std::nullopt;
  const auto M = static_cast<std::size_t>(
      std::ceil(std::min(0.2 * static_cast<double>(S), 3 * std::sqrt(static_cast<double>(S)))));
  if (M < 5 || M + 1 > S) return std::nullopt;
  // The largest M + 1 in ascending order at the end.
  std::nth_element(lw.begin(), lw.begin() + static_cast<std::ptrdiff_t>(S - M - 1), lw.end());
  std::sort(lw.begin() + static_cast<std::ptrdiff_t>(S - M - 1), lw.end());
  const double top = lw.back();
  if (!std::isfinite(top)) return std::nullopt;
  const double cutoff = std::exp(lw[S - M - 1] - top);
  std::vector<double> x(M);
  for (std::size_t i = 0; i < M; ++i) x[i] = std::exp(lw[S - M + i] - top) - cutoff;
  if (!(x.back() > 0)) return std::nullopt;
  // Zhang and Stephens: the profile likelihood over a grid of theta, averaged by its weights.
  const auto n = static_cast<double>(M);
  constexpr double kPrior = 3;
  const std::size_t m = 30 + static_cast<std::size_t>(std::floor(std::sqrt(n)));
  const double xstar = x[static_cast<std::size_t>(std::floor(n / 4 + 0.5)) - 1];
  if (!(xstar > 0)) return std::nullopt;
  std::vector<double> theta(m), l(m);
  auto mean_log = [&x](double th) {
    double s = 0;
    for (double v : x) s += std::log1p(-th * v);
    return s / static_cast<double>(x.size());
  };
  for (std::size_t j = 0; j < m; ++j) {
    theta[j] = 1 / x.back() +
               (1 - std::sqrt(static_cast<double>(m) / (static_cast<double>(j + 1) - 0.5))) /
                   kPrior / xstar;
    const double k = mean_log(theta[j]);
    l[j] = n * (std::log(-theta[j] / k) - k - 1);
  }
  double lmax = -INFINITY;
  for (double v : l) {
    if (std::isfinite(v)) lmax = std::max(lmax, v);
  }
  if (!std::isfinite(lmax)) return std::nullopt;
  double sum = 0, thetaHat = 0;
  for (std::size_t j = 0; j < m; ++j) {
    const double w = std::isfinite(l[j]) ? std::exp(l[j] - lmax) : 0.0;
    sum += w;
    thetaHat += w * theta[j];
  }
  thetaHat /= sum;
  const double k = mean_log(thetaHat);
  // The weak prior towards 0.5 of the reference implementation.
  return (k * n + 0.5 * 10) / (n + 10);
}

bool cholesky(std::vector<double> a, std::size_t d, std::vector<double>& l) {
  double diag = 0;
  for (std::size_t i = 0; i < d; ++i) diag += a[i * d + i];
  diag = d > 0 ? diag / static_cast<double>(d) : 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    l.assign(d * d, 0.0);
    bool ok = true;
    for (std::size_t i = 0; i < d && ok; ++i) {
      for (std::size_t j = 0; j <= i; ++j) {
        double s = a[i * d + j];
        for (std::size_t k = 0; k < j; ++k) s -= l[i * d + k] * l[j * d + k];
        if (i == j) {
          if (!(s > 0) || !std::isfinite(s)) {
            ok = false;
            break;
          }
          l[i * d + i] = std::sqrt(s);
        } else {
          l[i * d + j] = s / l[j * d + j];
        }
      }
    }
    if (ok) return true;
    // Not positive definite (points on a lower-dimensional set): a little of the diagonal.
    const double jitter = std::max(diag, 1e-12) * std::pow(10.0, attempt - 10);
    for (std::size_t i = 0; i < d; ++i) a[i * d + i] += jitter;
  }
  return false;
}

Proposal Proposal::fitted(const std::vector<double>& points, std::size_t d,
                          const std::vector<double>* weights) {
  if (d > kMaxDimensions) throw std::invalid_argument("too many inputs for the proposal");
  Proposal p;
  const std::size_t n = d > 0 ? points.size() / d : 0;
  auto w = [weights](std::size_t i) { return weights != nullptr ? (*weights)[i] : 1.0; };
  double sw = 0, sw2 = 0;
  for (std::size_t i = 0; i < n; ++i) {
    sw += w(i);
    sw2 += w(i) * w(i);
  }
  p.mean_.assign(d, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < d; ++j) p.mean_[j] += w(i) / sw * points[i * d + j];
  }
  std::vector<double> cov(d * d, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    if (!(w(i) > 0)) continue;
    for (std::size_t a = 0; a < d; ++a) {
      const double da = points[i * d + a] - p.mean_[a];
      for (std::size_t b = 0; b <= a; ++b) {
        cov[a * d + b] += w(i) / sw * da * (points[i * d + b] - p.mean_[b]);
      }
    }
  }
  // The unbiased weighted covariance (with equal weights: the n - 1 of the sample's).
  const double unbias = sw * sw > sw2 ? sw * sw / (sw * sw - sw2) : 1.0;
  const auto nu = static_cast<double>(kProposalDof);
  const double factor = kWidening * kWidening * (nu - 2) / nu * unbias;
  for (std::size_t a = 0; a < d; ++a) {
    for (std::size_t b = 0; b <= a; ++b) {
      cov[a * d + b] *= factor;
      cov[b * d + a] = cov[a * d + b];
    }
  }
  if (!cholesky(cov, d, p.chol_)) {
    // No spread to speak of: the prior's.
    p.chol_.assign(d * d, 0.0);
    for (std::size_t j = 0; j < d; ++j) p.chol_[j * d + j] = 1;
  }
  for (std::size_t j = 0; j < d; ++j) p.logDetChol_ += std::log(p.chol_[j * d + j]);
  const double dd = static_cast<double>(d);
  p.logNormaliser_ = std::lgamma(0.5 * (nu + dd)) - std::lgamma(0.5 * nu) -
                     0.5 * dd * std::log(nu * std::numbers::pi);
  return p;
}

void Proposal::draw(std::uint64_t seed, std::uint64_t first, std::size_t count, double* z) const {
  const std::size_t d = mean_.size();
  // The uniform numbers stream by stream over the block: stream kProposalStream chooses the
  // component, the next d give the normal coordinates, the kProposalDof after them the
  // chi-square of the t's scale.
  const std::size_t streams = 1 + d + kProposalDof;
  std::vector<double> u((streams + 1) * count);
  for (std::size_t j = 0; j < streams; j += 2) {
    mc::uniform_block(seed, first, count, kProposalStream + static_cast<int>(j),
                      u.data() + j * count, u.data() + (j + 1) * count);
  }
  std::array<double, kMaxDimensions> y{};
  for (std::size_t i = 0; i < count; ++i) {
    double* zi = z + i * d;
    for (std::size_t j = 0; j < d; ++j) y[j] = normal_quantile(u[(1 + j) * count + i]);
    if (u[i] < kPriorShare) {
      std::copy_n(y.begin(), d, zi);
      continue;
    }
    double g = 0;
    for (std::size_t l = 0; l < kProposalDof; ++l) {
      const double v = normal_quantile(u[(1 + d + l) * count + i]);
      g += v * v;
    }
    const double s = std::sqrt(kProposalDof / g);
    for (std::size_t a = 0; a < d; ++a) {
      double v = 0;
      for (std::size_t b = 0; b <= a; ++b) v += chol_[a * d + b] * y[b];
      zi[a] = mean_[a] + s * v;
    }
  }
}

double Proposal::logDensity(const double* z) const {
  const std::size_t d = mean_.size();
  // (z - mean) through the inverse of the Cholesky factor, by forward substitution.
  std::array<double, kMaxDimensions> w{};
  double q = 0;
  for (std::size_t a = 0; a < d; ++a) {
    double v = z[a] - mean_[a];
    for (std::size_t b = 0; b < a; ++b) v -= chol_[a * d + b] * w[b];
    w[a] = v / chol_[a * d + a];
    q += w[a] * w[a];
  }
  const auto nu = static_cast<double>(kProposalDof);
  const double dd = static_cast<double>(d);
  const double logT = logNormaliser_ - logDetChol_ - 0.5 * (nu + dd) * std::log1p(q / nu);
  const double logPrior = log_standard_normal(z, d);
  const double a = std::log1p(-kPriorShare) + logT;
  const double b = std::log(kPriorShare) + logPrior;
  const double top = std::max(a, b);
  return top + std::log(std::exp(a - top) + std::exp(b - top));
}

}  // namespace pellucor::analysis::update
