#include "analysis/update/smc.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/mc/engine.hpp"
#include "analysis/mc/uncertainty.hpp"
#include "analysis/normal_law.hpp"
#include "analysis/parallel/parallel_for.hpp"
#include "analysis/update/importance.hpp"

namespace pellucor::analysis::update {

namespace {

struct Island {
  std::vector<double> z, ell;
  std::vector<SmcStage> stages;
  bool reached = false, stuck = false, cancelled = false;
};

// The effective sample size of the weights exp(delta (ell - top)) (0 for no number).
double ess_at(const std::vector<double>& ell, double top, double delta) {
  double s = 0, s2 = 0;
  for (double l : ell) {
    if (!std::isfinite(l)) continue;
    const double w = std::exp(delta * (l - top));
    s += w;
    s2 += w * w;
  }
  return s2 > 0 ? s * s / s2 : 0.0;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b, std::size_t n,
                   std::size_t d, std::size_t j) {
  double ma = 0, mb = 0;
  for (std::size_t i = 0; i < n; ++i) {
    ma += a[i * d + j];
    mb += b[i * d + j];
  }
  ma /= static_cast<double>(n);
  mb /= static_cast<double>(n);
  double sab = 0, saa = 0, sbb = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = a[i * d + j] - ma, y = b[i * d + j] - mb;
    sab += x * y;
    saa += x * x;
    sbb += y * y;
  }
  if (!(saa > 0) || !(sbb > 0)) return saa > 0 || sbb > 0 ? 0.0 : 1.0;  // no spread: stayed
  return sab / std::sqrt(saa * sbb);
}

void run_island(unsigned island, std::size_t n, std::size_t d, const LogLikelihood& f,
                std::uint64_t seed, const std::atomic<bool>* cancel, Island& out) {
  std::vector<double>& z = out.z;
  std::vector<double>& ell = out.ell;
  double phi = 0;
  double scale = 2.38 / std::sqrt(static_cast<double>(std::max<std::size_t>(d, 1)));
  std::vector<double> w(n), zNext(n * d), ellNext(n), before, proposal(d), xi(d);
  const std::uint64_t first = static_cast<std::uint64_t>(island) * n;
  for (int stage = 0; stage < kMaxStages; ++stage) {
    if (cancel != nullptr && cancel->load()) {
      out.cancelled = true;
      return;
    }
    double top = -std::numeric_limits<double>::infinity();
    std::size_t finite = 0;
    for (double l : ell) {
      if (!std::isfinite(l)) continue;
      top = std::max(top, l);
      ++finite;
    }
    if (finite == 0) {
      out.stuck = true;
      return;
    }
    // The next temperature: the step whose weights keep half the particles' worth.
    const double target = kEssFraction * static_cast<double>(finite);
    const double most = 1 - phi;
    double delta = most;
    if (ess_at(ell, top, most) < target) {
      double lo = 0, hi = most;
      for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (lo + hi);
        (ess_at(ell, top, mid) >= target ? lo : hi) = mid;
      }
      delta = lo > 0 ? lo : hi;
    }
    const double next = delta == most ? 1.0 : phi + delta;
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
      w[i] = std::isfinite(ell[i]) ? std::exp(delta * (ell[i] - top)) : 0.0;
      sum += w[i];
    }
    // The weighted covariance: the moves' proposal.
    std::vector<double> mean(d, 0.0), cov(d * d, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < d; ++j) mean[j] += w[i] / sum * z[i * d + j];
    }
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t a = 0; a < d; ++a) {
        const double da = z[i * d + a] - mean[a];
        for (std::size_t b = 0; b <= a; ++b) {
          cov[a * d + b] += w[i] / sum * da * (z[i * d + b] - mean[b]);
        }
      }
    }
    for (std::size_t a = 0; a < d; ++a) {
      for (std::size_t b = 0; b <= a; ++b) cov[b * d + a] = cov[a * d + b];
    }
    // Systematic resampling.
    const double u0 = mc::uniform(seed, island, kResampleStream + stage);
    double cumulative = w[0] / sum;
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double at = (static_cast<double>(i) + u0) / static_cast<double>(n);
      while (cumulative < at && k + 1 < n) cumulative += w[++k] / sum;
      std::copy_n(z.begin() + static_cast<std::ptrdiff_t>(k * d), d,
                  zNext.begin() + static_cast<std::ptrdiff_t>(i * d));
      ellNext[i] = ell[k];
    }
    z.swap(zNext);
    ell.swap(ellNext);
    phi = next;

    // Random-walk Metropolis moves at the new temperature.
    std::vector<double> chol;
    for (double& c : cov) c *= scale * scale;
    if (!cholesky(cov, d, chol)) {
      chol.assign(d * d, 0.0);
      for (std::size_t j = 0; j < d; ++j) chol[j * d + j] = scale;
    }
    before = z;
    SmcStage s;
    s.phi = phi;
    std::size_t accepted = 0;
    int moves = 1;
    for (int m = 0; m < moves; ++m) {
      if (cancel != nullptr && cancel->load()) {
        out.cancelled = true;
        return;
      }
      std::size_t acceptedNow = 0;
      const int base = kMoveStream + (stage * kMaxMoves + m) * static_cast<int>(d + 1);
      for (std::size_t i = 0; i < n; ++i) {
        double* zi = z.data() + i * d;
        for (std::size_t j = 0; j < d; ++j) {
          xi[j] = normal_quantile(mc::uniform(seed, first + i, base + static_cast<int>(j)));
        }
        for (std::size_t a = 0; a < d; ++a) {
          double v = zi[a];
          for (std::size_t b = 0; b <= a; ++b) v += chol[a * d + b] * xi[b];
          proposal[a] = v;
        }
        const double l = f(proposal.data());
        if (!std::isfinite(l)) continue;
        double logRatio = phi * (l - ell[i]);
        for (std::size_t j = 0; j < d; ++j) {
          logRatio -= 0.5 * (proposal[j] * proposal[j] - zi[j] * zi[j]);
        }
        const double u = mc::uniform(seed, first + i, base + static_cast<int>(d));
        if (std::log(u) < logRatio) {
          std::copy(proposal.begin(), proposal.end(), zi);
          ell[i] = l;
          ++acceptedNow;
        }
      }
      accepted += acceptedNow;
      if (m == 0) {
        // Enough moves that a particle stays put with a chance of 20 % at the rate seen.
        const double a = static_cast<double>(acceptedNow) / static_cast<double>(n);
        moves = a >= 1  ? 1
                : a > 0 ? static_cast<int>(std::ceil(std::log(0.2) / std::log1p(-a)))
                        : kMaxMoves;
        moves = std::clamp(moves, 1, kMaxMoves);
      }
    }
    s.moves = moves;
    s.acceptance = static_cast<double>(accepted) / static_cast<double>(n * moves);
    for (std::size_t j = 0; j < d; ++j) {
      s.correlation = std::max(s.correlation, std::fabs(correlation(before, z, n, d, j)));
    }
    // The step's size follows the acceptance towards 0.234 (Roberts, Gelman and Gilks, 1997).
    scale = std::clamp(scale * std::exp(s.acceptance - 0.234), 0.01, 5.0);
    out.stages.push_back(s);
    if (phi == 1) {
      out.reached = true;
      return;
    }
  }
}

}  // namespace

double r_hat(const std::vector<double>& values, std::size_t groups) {
  if (groups < 2 || values.size() < 2 * groups) return std::nan("");
  const std::size_t n = values.size() / groups;
  std::vector<double> means(groups, 0.0), vars(groups, 0.0);
  for (std::size_t g = 0; g < groups; ++g) {
    for (std::size_t i = 0; i < n; ++i) means[g] += values[g * n + i];
    means[g] /= static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i) {
      const double e = values[g * n + i] - means[g];
      vars[g] += e * e;
    }
    vars[g] /= static_cast<double>(n - 1);
  }
  double W = 0, grand = 0;
  for (std::size_t g = 0; g < groups; ++g) {
    W += vars[g];
    grand += means[g];
  }
  W /= static_cast<double>(groups);
  grand /= static_cast<double>(groups);
  double B = 0;
  for (double m : means) B += (m - grand) * (m - grand);
  B *= static_cast<double>(n) / static_cast<double>(groups - 1);
  if (!(W > 0)) return B > 0 ? std::numeric_limits<double>::infinity() : 1.0;
  const double nn = static_cast<double>(n);
  return std::sqrt(((nn - 1) / nn * W + B / nn) / W);
}

SmcRun temper(std::size_t d, const Evaluators& evaluators, const std::vector<double>& start,
              const std::vector<double>& startLogLikelihood, std::uint64_t seed,
              const SmcSettings& settings, unsigned threads, const std::atomic<bool>* cancel) {
  const std::size_t n = settings.particles;
  const unsigned m = settings.islands;
  std::vector<Island> islands(m);
  for (unsigned k = 0; k < m; ++k) {
    islands[k].z.assign(start.begin() + static_cast<std::ptrdiff_t>(k * n * d),
                        start.begin() + static_cast<std::ptrdiff_t>((k + 1) * n * d));
    islands[k].ell.assign(startLogLikelihood.begin() + static_cast<std::ptrdiff_t>(k * n),
                          startLogLikelihood.begin() + static_cast<std::ptrdiff_t>((k + 1) * n));
  }
  ParallelOptions options;
  options.threads = threads;
  options.chunk = 1;
  parallel_for(
      m,
      [&](std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
          const LogLikelihood f = evaluators();
          run_island(static_cast<unsigned>(k), n, d, f, seed, cancel, islands[k]);
        }
      },
      options);
  SmcRun out;
  out.dimension = d;
  out.reached = true;
  for (Island& island : islands) {
    out.reached = out.reached && island.reached;
    out.stuck = out.stuck || island.stuck;
    out.cancelled = out.cancelled || island.cancelled;
    out.z.insert(out.z.end(), island.z.begin(), island.z.end());
    out.logLikelihood.insert(out.logLikelihood.end(), island.ell.begin(), island.ell.end());
    out.stages.push_back(std::move(island.stages));
  }
  if (out.reached) {
    std::vector<double> column(m * n);
    for (std::size_t j = 0; j < d; ++j) {
      for (std::size_t i = 0; i < m * n; ++i) column[i] = out.z[i * d + j];
      out.rHat.push_back(r_hat(column, m));
    }
    out.rHat.push_back(r_hat(out.logLikelihood, m));
  }
  return out;
}

}  // namespace pellucor::analysis::update
