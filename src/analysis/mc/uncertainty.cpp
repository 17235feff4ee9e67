#include "analysis/mc/uncertainty.hpp"

#include <algorithm>
#include <array>
#include <boost/math/special_functions/beta.hpp>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <stdexcept>

#include "analysis/normal_law.hpp"

namespace pellucor::analysis::mc {

namespace {

using as241::kA;
using as241::kB;
using as241::poly7;
using as241::quantile_inside;

// Double precision throughout (the default policy would compute in long double).
using Policy = boost::math::policies::policy<boost::math::policies::promote_double<false>>;

// The sources of the defaults, one sentence each.
const std::vector<ScatterSource>& sources() {
  static const std::vector<ScatterSource> s = {
      {"cover", Distribution::Normal, 0, 8,
       "fib Bulletin 34 (2006): the cover is normal with an absolute standard deviation of "
       "8-10 mm for ordinary execution (6 mm under quality control); default 8 mm.",
       "fib Bulletin 34（2006）：保护层厚度服从正态分布，一般施工的标准差为 8～10 mm"
       "（有质量控制时 6 mm）；默认取 8 mm。"},
      {"diffusion", Distribution::Normal, 0.2, 0,
       "fib Bulletin 34 (2006): the chloride migration (diffusion) coefficient is normal with a "
       "coefficient of variation of 0.2.",
       "fib Bulletin 34（2006）：氯离子迁移（扩散）系数服从正态分布，变异系数 0.2。"},
      {"surface", Distribution::Lognormal, 0.5, 0,
       "DuraCrete R17 (2000) and fib Bulletin 34: the surface chloride concentration is "
       "lognormal with a coefficient of variation of 0.5 or more; default 0.5.",
       "DuraCrete R17（2000）与 fib Bulletin 34：表面氯离子浓度服从对数正态分布，变异系数 0.5 "
       "及以上；默认取 0.5。"},
      {"critical", Distribution::Normal, 0.25, 0,
       "fib Bulletin 34 (2006): the critical chloride content has mean 0.6 and standard "
       "deviation 0.15 % by mass of cement, a coefficient of variation of 0.25. The box admits "
       "only 1.2-1.6 kg/m3, where no law has that scatter: the samples keep the sheet's value as "
       "their mean and spread as far as the range allows (nearly flat, a CoV of about 0.08 at "
       "1.4), and the output says so: the scatter of t_i is understated.",
       "fib Bulletin 34（2006）：临界氯离子含量均值 0.6、标准差 0.15（占水泥质量 %），"
       "变异系数 0.25。本表只接受 1.2～1.6 kg/m3，其间没有这样大离散的分布：样本保持表中数值为"
       "均值，在该范围内尽量离散（接近均匀分布，1.4 时变异系数约 0.08），输出中给出提示；"
       "t_i 的离散性因此偏小。"},
      {"strength", Distribution::Lognormal, 0.15, 0,
       "JCSS Probabilistic Model Code (2001): the in-situ concrete strength is lognormal with a "
       "coefficient of variation of about 0.15.",
       "JCSS 概率模型规范（2001）：结构混凝土强度服从对数正态分布，变异系数约 0.15。"},
      {"co2", Distribution::Normal, 0.12, 0,
       "fib Bulletin 34 (2006): the CO2 concentration of the air is normal, mean 0.00082 kg/m3 "
       "with deviation 0.0001, a coefficient of variation of 0.12.",
       "fib Bulletin 34（2006）：空气中 CO2 浓度服从正态分布，均值 0.00082 kg/m3、标准差 "
       "0.0001，变异系数 0.12。"},
      {"exponent", Distribution::Beta, 0, 0.12,
       "fib Bulletin 34 (2006): the ageing exponent is a Beta law on [0, 1], 0.30 +- 0.12 for "
       "Portland cement, 0.60 +- 0.15 with fly ash, 0.45 +- 0.20 with slag.",
       "fib Bulletin 34（2006）：龄期系数服从 [0, 1] 上的 Beta 分布，硅酸盐水泥 0.30±0.12，"
       "掺粉煤灰 0.60±0.15，掺矿渣 0.45±0.20。"},
      {"temperature", Distribution::Normal, 0, 2,
       "fib Bulletin 34 (2006): the temperature comes from the nearest weather station and "
       "scatters by an absolute deviation in K; default 2 K.",
       "fib Bulletin 34（2006）：温度取自最近气象站记录，按绝对标准差（K）离散；默认 2 K。"},
      {"humidity", Distribution::Normal, 0.05, 0,
       "fib Bulletin 34 (2006): the relative humidity comes from the nearest weather station; "
       "normal with a coefficient of variation of 0.05.",
       "fib Bulletin 34（2006）：相对湿度取自最近气象站记录，服从正态分布，变异系数 0.05。"},
      {"carbonation-depth", Distribution::Normal, 0.2, 0,
       "JCSS Probabilistic Model Code (2001): a measured depth scatters with the measurement; "
       "normal with a coefficient of variation of 0.2.",
       "JCSS 概率模型规范（2001）：实测深度随测量离散，服从正态分布，变异系数 0.2。"},
      {"environment", Distribution::Lognormal, 0.5, 0,
       "DuraCrete R17 (2000): the corrosion rate, which this coefficient sets linearly, is "
       "lognormal with a coefficient of variation of 0.5 or more; default 0.5 around the sheet's "
       "value, which the samples keep as their mean. The box starts at 1.0: close to it the "
       "range cannot carry that scatter (at 1.5 a CoV of about 0.41, at 2.0 the full 0.5), and "
       "the output says so; the rest of the rate's scatter can be given as the "
       "model-uncertainty factors of t_c and t_d.",
       "DuraCrete R17（2000）：锈蚀速度（与本系数成正比）服从对数正态分布，变异系数 0.5 "
       "及以上；默认取 0.5，样本保持表中数值为均值。本系数不小于 1.0：接近 1.0 时范围容不下"
       "这样的离散（1.5 时变异系数约 0.41，2.0 时可达 0.5），输出中给出提示；锈蚀速度其余的"
       "离散可作为 t_c、t_d 的模型不确定性系数输入。"},
  };
  return s;
}

const ScatterSource* source_of(std::string_view alias) {
  for (const auto& s : sources()) {
    if (s.alias == alias) return &s;
  }
  return nullptr;
}

// The ageing exponent's deviation by binder (fib Bulletin 34).
double exponent_deviation(Binder binder) {
  switch (binder) {
    case Binder::FlyAsh:
      return 0.15;
    case Binder::Slag:
      return 0.20;
    case Binder::Portland:
      break;
  }
  return 0.12;
}

// The Beta law's parameters a, b for a mean and deviation on [0, 1].
std::pair<double, double> beta_parameters(double mean, double sd) {
  const double common = mean * (1 - mean) / (sd * sd) - 1;
  return {mean * common, (1 - mean) * common};
}

// The k-th raw moment of a normal law truncated to the standardised range [a, b], divided by
// nothing: E[Z^k | a < Z < b] for k = 1, 2, from the densities at the ends.
double truncated_standard_moment(int k, double a, double b, double mass) {
  const double pa = std::isfinite(a) ? normal_density(a) : 0;
  const double pb = std::isfinite(b) ? normal_density(b) : 0;
  if (k == 1) return (pa - pb) / mass;
  const double ta = std::isfinite(a) ? a * pa : 0;
  const double tb = std::isfinite(b) ? b * pb : 0;
  return 1 + (ta - tb) / mass;
}

}  // namespace

std::string_view distribution_name(Distribution d) {
  switch (d) {
    case Distribution::Lognormal:
      return "lognormal";
    case Distribution::Beta:
      return "beta";
    case Distribution::Normal:
      break;
  }
  return "normal";
}

std::optional<Distribution> distribution_from_name(std::string_view name) {
  if (name == "normal") return Distribution::Normal;
  if (name == "lognormal") return Distribution::Lognormal;
  if (name == "beta") return Distribution::Beta;
  return std::nullopt;
}

std::string_view binder_name(Binder b) {
  switch (b) {
    case Binder::FlyAsh:
      return "fly-ash";
    case Binder::Slag:
      return "slag";
    case Binder::Portland:
      break;
  }
  return "portland";
}

std::string_view binder_text(Binder b) {
  switch (b) {
    case Binder::FlyAsh:
      return "掺粉煤灰";
    case Binder::Slag:
      return "掺矿渣";
    case Binder::Portland:
      break;
  }
  return "硅酸盐水泥";
}

std::optional<Binder> binder_from_name(std::string_view name) {
  for (Binder b : {Binder::Portland, Binder::FlyAsh, Binder::Slag}) {
    if (name == binder_name(b)) return b;
  }
  return std::nullopt;
}

const std::vector<ScatterSource>& scatter_sources() {
  return sources();
}

DefaultScatter default_scatter(std::string_view alias, double mean, Binder binder) {
  const ScatterSource* src = source_of(alias);
  if (src == nullptr) return {};
  Scatter s;
  s.dist = src->dist;
  s.cov = src->cov;
  s.sd = src->dist == Distribution::Beta ? exponent_deviation(binder) : src->sd;
  // The coefficient of variation an absolute deviation comes to at the sheet's value.
  if (s.sd > 0 && mean > 0) s.cov = s.sd / mean;
  return {s, src};
}

bool range_checked(const sheet::FieldRow& f) {
  return f.leave == sheet::LeaveCheck::Range || f.leave == sheet::LeaveCheck::ZeroBlankThenRange ||
         f.change != sheet::ChangeCheck::None;
}

std::optional<std::string_view> scatter_problem(double mean, const Scatter& scatter) {
  if (scatter.dist != Distribution::Beta) return std::nullopt;
  if (!(mean > 0 && mean < 1)) return "a Beta law on [0, 1] needs a mean between 0 and 1";
  const double sd = scatter.deviation(mean);
  if (!(sd * sd < mean * (1 - mean))) {
    return "a Beta law on [0, 1] needs a standard deviation below sqrt(mean (1 - mean))";
  }
  return std::nullopt;
}

TruncatedLaw::TruncatedLaw(double mean, Scatter scatter, double lo, double hi)
    : dist_(scatter.dist), lo_(lo), hi_(hi) {
  if (!scatter.scatters() || !(mean > 0) || !(lo <= mean && mean <= hi)) {
    throw std::invalid_argument("a scattering box needs a positive mean inside its range");
  }
  if (scatter_problem(mean, scatter)) throw std::invalid_argument("no Beta law of that scatter");
  const double sd = scatter.deviation(mean);
  switch (dist_) {
    case Distribution::Normal:
      mu_ = mean;
      sigma_ = sd;
      break;
    case Distribution::Lognormal: {
      const double v = sd / mean;
      sigma_ = std::sqrt(std::log1p(v * v));
      mu_ = std::log(mean) - 0.5 * sigma_ * sigma_;
      break;
    }
    case Distribution::Beta: {
      const auto [a, b] = beta_parameters(mean, sd);
      mu_ = a;
      sigma_ = b;
      break;
    }
  }
  cut();
}

TruncatedLaw::TruncatedLaw(Distribution dist, double p1, double p2, double lo, double hi)
    : dist_(dist), mu_(p1), sigma_(p2), lo_(lo), hi_(hi) {
  cut();
}

void TruncatedLaw::cut() {
  if (!std::isfinite(mu_) || !std::isfinite(sigma_) || !(sigma_ > 0) ||
      (dist_ == Distribution::Beta && !(mu_ > 0))) {
    upper_ = false;
    flo_ = fhi_ = 0;  // flat
    return;
  }
  const double below = untruncatedCdf(lo_);
  upper_ = below > 0.5;
  if (upper_) {
    flo_ = untruncatedTail(lo_);
    fhi_ = untruncatedTail(hi_);
  } else {
    flo_ = below;
    fhi_ = untruncatedCdf(hi_);
  }
}

namespace {

// The shape of a family, from narrow to wide, and the place of a law in it. The laws searched
// stay ones an engineer would draw: normal and lognormal laws whose mean lies at most six
// deviations outside the range (inside it the density then falls or rises like an
// exponential, or is nearly flat), lognormal laws with a deviation of the logarithm up to 2,
// Beta laws with both exponents at least 1 (no density that runs to infinity at 0 or 1).
struct Shape {
  Distribution dist;
  double lo, hi;

  // The parameters of the law of location t and width s: the normal law's mean and deviation,
  // the lognormal law's on the logarithm, the Beta law's a = t / s and b = (1 - t) / s.
  std::pair<double, double> parameters(double t, double s) const {
    if (dist == Distribution::Beta) return {t / s, (1 - t) / s};
    return {t, s};
  }
  // The locations searched at width s.
  std::pair<double, double> locations(double s) const {
    switch (dist) {
      case Distribution::Normal:
        return {lo - 6 * s, hi + 6 * s};
      case Distribution::Lognormal:
        return {std::log(std::max(lo, hi * 1e-9)) - 6 * s, std::log(hi) + 6 * s};
      case Distribution::Beta:
        break;
    }
    return {s, 1 - s};
  }
  double widest() const {
    switch (dist) {
      case Distribution::Normal:
        return 100 * (hi - lo);
      case Distribution::Lognormal:
        return 2;
      case Distribution::Beta:
        break;
    }
    return 0.5;
  }
};

}  // namespace

TruncatedLaw TruncatedLaw::fitted(double mean, Scatter scatter, double lo, double hi) {
  TruncatedLaw parent(mean, scatter, lo, hi);  // refuses what cannot be sampled
  if (!(lo < mean && mean < hi) || parent.flat()) return parent;
  const double target = scatter.deviation(mean);
  auto deviation = [](const TruncatedLaw& law) { return std::sqrt(law.variance()); };
  // The range barely cuts: the untruncated law is the answer to the last bits that count.
  if (std::fabs(parent.mean() - mean) <= 1e-13 * mean &&
      std::fabs(deviation(parent) - target) <= 1e-13 * target) {
    return parent;
  }
  const Shape shape{scatter.dist, lo, hi};
  auto law = [&](double t, double s) {
    const auto [p1, p2] = shape.parameters(t, s);
    return TruncatedLaw(shape.dist, p1, p2, lo, hi);
  };
  // The law of width s whose truncated mean is `mean`: the truncated mean rises with the
  // location. None when no location in reach gives it.
  auto located = [&](double s) -> std::optional<TruncatedLaw> {
    auto [tLo, tHi] = shape.locations(s);
    TruncatedLaw a = law(tLo, s), b = law(tHi, s);
    if (a.flat() || b.flat() || a.mean() > mean || b.mean() < mean) return std::nullopt;
    for (int i = 0; i < 200; ++i) {
      const double t = 0.5 * (tLo + tHi);
      if (!(t > tLo && t < tHi)) break;
      TruncatedLaw m = law(t, s);
      if (m.flat()) return std::nullopt;
      if (m.mean() < mean) {
        tLo = t;
        a = m;
      } else {
        tHi = t;
        b = m;
      }
    }
    return std::fabs(a.mean() - mean) < std::fabs(b.mean() - mean) ? a : b;
  };
  // The truncated deviation rises with the width; the widths in reach run from 0 to an edge.
  // Find the edge, then the width of the target below it.
  double s0 = 0;
  switch (shape.dist) {
    case Distribution::Normal:
      s0 = target;
      break;
    case Distribution::Lognormal:
      s0 = std::sqrt(std::log1p(target * target / mean / mean));
      break;
    case Distribution::Beta:
      s0 = 1 / (mean * (1 - mean) / (target * target) - 1);
      break;
  }
  double widest = shape.widest();
  std::optional<TruncatedLaw> edge = located(widest);
  if (!edge) {
    double in = std::min(s0, widest);
    std::optional<TruncatedLaw> inLaw = located(in);
    for (int i = 0; i < 200 && !inLaw; ++i) inLaw = located(in *= 0.5);
    if (!inLaw) return parent;
    double out = widest;
    for (int i = 0; i < 60 && out > in * (1 + 1e-9); ++i) {
      const double m = std::sqrt(in * out);
      if (auto l = located(m)) {
        in = m;
        inLaw = l;
      } else {
        out = m;
      }
    }
    widest = in;
    edge = inLaw;
  }
  if (deviation(*edge) < target) {
    // Out of reach: the mean with the largest deviation in reach.
    edge->reached_ = false;
    return *edge;
  }
  double sAbove = widest;
  TruncatedLaw result = *edge;
  double sBelow = std::min(s0, widest);
  for (int i = 0; i < 200; ++i) {
    auto l = located(sBelow);
    if (l && deviation(*l) < target) break;
    if (l) {
      sAbove = sBelow;
      result = *l;
    }
    sBelow *= 0.5;
  }
  // Bisection of the width (geometric: widths span orders of magnitude).
  for (int i = 0; i < 200; ++i) {
    if (std::fabs(deviation(result) - target) <= 1e-13 * target) break;
    const double m = std::sqrt(sBelow * sAbove);
    if (!(m > sBelow && m < sAbove)) break;
    auto l = located(m);
    if (!l) break;
    if (deviation(*l) < target) {
      sBelow = m;
    } else {
      sAbove = m;
      result = *l;
    }
  }
  result.reached_ = std::fabs(deviation(result) - target) <= 1e-9 * target;
  return result;
}

double TruncatedLaw::untruncatedCdf(double x) const {
  switch (dist_) {
    case Distribution::Normal:
      return normal_cdf((x - mu_) / sigma_);
    case Distribution::Lognormal:
      if (!(x > 0)) return 0;
      return normal_cdf((std::log(x) - mu_) / sigma_);
    case Distribution::Beta:
      if (!(x > 0)) return 0;
      if (!(x < 1)) return 1;
      return boost::math::ibeta(mu_, sigma_, x, Policy());
  }
  return 0;
}

double TruncatedLaw::untruncatedTail(double x) const {
  switch (dist_) {
    case Distribution::Normal:
      return normal_cdf(-(x - mu_) / sigma_);
    case Distribution::Lognormal:
      if (!(x > 0)) return 1;
      return normal_cdf(-(std::log(x) - mu_) / sigma_);
    case Distribution::Beta:
      if (!(x > 0)) return 1;
      if (!(x < 1)) return 0;
      return boost::math::ibetac(mu_, sigma_, x, Policy());
  }
  return 0;
}

double TruncatedLaw::quantile(double p) const {
  switch (dist_) {
    case Distribution::Normal:
      return mu_ + sigma_ * normal_quantile(p);
    case Distribution::Lognormal:
      return std::exp(mu_ + sigma_ * normal_quantile(p));
    case Distribution::Beta:
      return boost::math::ibeta_inv(mu_, sigma_, p, Policy());
  }
  return 0;
}

double TruncatedLaw::tailQuantile(double q) const {
  switch (dist_) {
    case Distribution::Normal:
      return mu_ - sigma_ * normal_quantile(q);
    case Distribution::Lognormal:
      return std::exp(mu_ - sigma_ * normal_quantile(q));
    case Distribution::Beta:
      return boost::math::ibetac_inv(mu_, sigma_, q, Policy());
  }
  return 0;
}

double TruncatedLaw::mass() const {
  return upper_ ? flo_ - fhi_ : fhi_ - flo_;
}

// A scatter so wide that the range holds no probability the doubles can tell apart: the law
// is flat over the range (the limit of a truncated normal law as its deviation grows).
bool TruncatedLaw::flat() const {
  return !(mass() > 0) || hi_ == lo_;
}

double TruncatedLaw::cdf(double x) const {
  if (x < lo_) return 0;
  if (x >= hi_) return 1;
  if (flat()) return (x - lo_) / (hi_ - lo_);
  if (upper_) return (flo_ - untruncatedTail(x)) / mass();
  return (untruncatedCdf(x) - flo_) / mass();
}

double TruncatedLaw::sample(double u) const {
  if (flat()) return std::clamp(lo_ + u * (hi_ - lo_), lo_, hi_);
  double x = 0;
  if (upper_) {
    const double q = flo_ - u * (flo_ - fhi_);
    x = !(q > 0) ? hi_ : !(q < 1) ? lo_ : tailQuantile(q);
  } else {
    const double p = flo_ + u * (fhi_ - flo_);
    x = !(p > 0) ? lo_ : !(p < 1) ? hi_ : quantile(p);
  }
  // Rounding in the quantile must not carry a sample past an end of the range.
  return std::clamp(x, lo_, hi_);
}

namespace {

constexpr std::size_t kChunk = 256;

// The central range's quotient of the quantile, q A(r) / B(r) with q = p - 1/2 and
// r = 0.180625 - q^2, for a chunk of probabilities at once: the operations of
// quantile_inside() in its central range, in a loop without branches that the compiler runs
// several lanes at a time (with AVX2 or AVX-512 where the processor has it; the same operations in
// the same order give the same doubles). Lanes outside the central range get a value that is
// not used.
// Windows has no function versions chosen at load time (and GCC cannot align the stack there
// for these registers): one version, for the processor the program is built for.
#if defined(_WIN32)
#define PELLUCOR_VERSIONS_BY_PROCESSOR
#else
#define PELLUCOR_VERSIONS_BY_PROCESSOR [[gnu::target_clones("avx512f", "avx2", "default")]]
#endif
PELLUCOR_VERSIONS_BY_PROCESSOR void central_quotients(const double* p, double* z) {
  for (std::size_t i = 0; i < kChunk; ++i) {
    const double q = p[i] - 0.5;
    const double r = 0.180625 - q * q;
    z[i] = q * poly7(kA, r) / poly7(kB, r);
  }
}

}  // namespace

void TruncatedLaw::sample(const double* u, double* x, std::size_t n) const {
  if (flat() || dist_ == Distribution::Beta) {
    for (std::size_t i = 0; i < n; ++i) x[i] = sample(u[i]);
    return;
  }
  // sample(u) a chunk at a time, each step over the whole chunk: the probabilities (upper: the
  // tail probabilities 1 - F), the central range's quotients of all of them, the values from
  // them; then the lanes outside the central range again as sample(u) computes them, the
  // exponential of the lognormal law, the ends for probabilities at 0 or 1, and the clamp to
  // the range. The same values, bit for bit.
  const bool logarithm = dist_ == Distribution::Lognormal;
  const double sigma = upper_ ? -sigma_ : sigma_;  // x = mu - sigma z(1 - F) from the upper tail
  alignas(64) std::array<double, kChunk> p, z;
  std::array<std::uint16_t, kChunk> outside;  // lanes outside the central range
  for (std::size_t at = 0; at < n; at += kChunk) {
    const std::size_t m = std::min(kChunk, n - at);
    double* v = x + at;
    if (upper_) {
      const double width = flo_ - fhi_;
      for (std::size_t i = 0; i < m; ++i) p[i] = flo_ - u[at + i] * width;
    } else {
      const double width = fhi_ - flo_;
      for (std::size_t i = 0; i < m; ++i) p[i] = flo_ + u[at + i] * width;
    }
    std::fill(p.begin() + static_cast<std::ptrdiff_t>(m), p.end(), 0.5);
    central_quotients(p.data(), z.data());
    std::size_t count = 0;
    for (std::size_t i = 0; i < m; ++i) {
      v[i] = mu_ + sigma * z[i];
      outside[count] = static_cast<std::uint16_t>(i);
      count += std::fabs(p[i] - 0.5) <= 0.425 ? 0 : 1;
    }
    std::size_t ends = 0;  // lanes at probability 0 or 1, moved to the front of `outside`
    for (std::size_t c = 0; c < count; ++c) {
      const std::size_t i = outside[c];
      if (p[i] > 0 && p[i] < 1) {
        v[i] = mu_ + sigma * quantile_inside(p[i]);
      } else {
        outside[ends++] = static_cast<std::uint16_t>(i);
      }
    }
    if (logarithm) {
      for (std::size_t i = 0; i < m; ++i) v[i] = std::exp(v[i]);
    }
    for (std::size_t c = 0; c < ends; ++c) {
      const std::size_t i = outside[c];
      // F = 0 at the lower end; from the upper tail, 1 - F = 0 at the upper one.
      v[i] = (p[i] > 0) == upper_ ? lo_ : hi_;
    }
    for (std::size_t i = 0; i < m; ++i) v[i] = std::clamp(v[i], lo_, hi_);
  }
}

double TruncatedLaw::massCut() const {
  if (flat()) return 1;
  return upper_ ? (1 - flo_) + fhi_ : flo_ + (1 - fhi_);
}

namespace {

// P(a < Z < b) for a standard normal Z, from the side of the tail it lies in.
double normal_mass(double a, double b) {
  if (a > 0) return normal_cdf(-a) - normal_cdf(-b);
  return normal_cdf(b) - normal_cdf(a);
}

}  // namespace

double TruncatedLaw::moment(int k) const {
  if (flat()) {
    // Uniform over [lo, hi].
    return k == 1 ? 0.5 * (lo_ + hi_) : (lo_ * lo_ + lo_ * hi_ + hi_ * hi_) / 3;
  }
  const double mass = this->mass();
  switch (dist_) {
    case Distribution::Normal: {
      const double a = (lo_ - mu_) / sigma_;
      const double b = (hi_ - mu_) / sigma_;
      const double m1 = truncated_standard_moment(1, a, b, mass);
      if (k == 1) return mu_ + sigma_ * m1;
      const double m2 = truncated_standard_moment(2, a, b, mass);
      return mu_ * mu_ + 2 * mu_ * sigma_ * m1 + sigma_ * sigma_ * m2;
    }
    case Distribution::Lognormal: {
      // E[X^k; lo < X < hi] = exp(k mu + k^2 sigma^2 / 2) (Phi(b - k sigma) - Phi(a - k sigma)).
      const double kk = k;
      const double a = lo_ > 0 ? (std::log(lo_) - mu_) / sigma_ : -INFINITY;
      const double b = (std::log(hi_) - mu_) / sigma_;
      const double part = normal_mass(a - kk * sigma_, b - kk * sigma_);
      return std::exp(kk * mu_ + 0.5 * kk * kk * sigma_ * sigma_) * part / mass;
    }
    case Distribution::Beta: {
      // E[X^k; lo < X < hi] = B(a + k, b) / B(a, b) (I(a + k, b) at hi - at lo).
      const double a = mu_, b = sigma_;
      const double lo = std::clamp(lo_, 0.0, 1.0), hi = std::clamp(hi_, 0.0, 1.0);
      double ratio = a / (a + b);
      if (k == 2) ratio *= (a + 1) / (a + b + 1);
      const double part = upper_ ? boost::math::ibetac(a + k, b, lo, Policy()) -
                                       boost::math::ibetac(a + k, b, hi, Policy())
                                 : boost::math::ibeta(a + k, b, hi, Policy()) -
                                       boost::math::ibeta(a + k, b, lo, Policy());
      return ratio * part / mass;
    }
  }
  return 0;
}

double TruncatedLaw::variance() const {
  if (!flat() && dist_ == Distribution::Normal) {
    // In standard units, where the raw moments do not cancel each other.
    const double a = (lo_ - mu_) / sigma_;
    const double b = (hi_ - mu_) / sigma_;
    const double m1 = truncated_standard_moment(1, a, b, mass());
    const double m2 = truncated_standard_moment(2, a, b, mass());
    return std::max(0.0, sigma_ * sigma_ * (m2 - m1 * m1));
  }
  const double m = moment(1);
  return std::max(0.0, moment(2) - m * m);
}

double TruncatedLaw::mean() const {
  return moment(1);
}

double TruncatedLaw::cov() const {
  return std::sqrt(variance()) / moment(1);
}

double TruncatedLaw::parentMean() const {
  switch (dist_) {
    case Distribution::Normal:
      return mu_;
    case Distribution::Lognormal:
      return std::exp(mu_ + 0.5 * sigma_ * sigma_);
    case Distribution::Beta:
      break;
  }
  return mu_ / (mu_ + sigma_);
}

double TruncatedLaw::parentCov() const {
  switch (dist_) {
    case Distribution::Normal:
      return sigma_ / mu_;
    case Distribution::Lognormal:
      return std::sqrt(std::expm1(sigma_ * sigma_));
    case Distribution::Beta:
      break;
  }
  const double a = mu_, b = sigma_;
  return std::sqrt(a * b / ((a + b) * (a + b) * (a + b + 1))) / parentMean();
}

TruncationEffect truncation_effect(double mean, const Scatter& scatter, double lo, double hi) {
  TruncationEffect e;
  e.mean = mean;
  e.cov = scatter.deviation(mean) / mean;
  const TruncatedLaw law = TruncatedLaw::fitted(mean, scatter, lo, hi);
  e.truncatedMean = law.mean();
  e.truncatedCov = law.cov();
  e.massCut = law.massCut();
  e.parentMean = law.parentMean();
  e.parentCov = law.parentCov();
  e.covShrinks = e.truncatedCov < (1 - kCovShrinkWarning) * e.cov;
  e.meanMoves = std::fabs(e.truncatedMean - mean) > kMeanMoveWarning * mean;
  return e;
}

}  // namespace pellucor::analysis::mc
