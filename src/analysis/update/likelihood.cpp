#include "analysis/update/likelihood.hpp"

#include <cmath>
#include <numbers>

#include "analysis/timeline.hpp"

namespace pellucor::analysis::update {

namespace {

const double kLogRootTwoPi = 0.5 * std::log(2 * std::numbers::pi);

double square(double v) {
  return v * v;
}

// The corrosion depth and crack width at the inspection age of a run, with its factors: the
// stages of the timeline scaled as the reliability analysis scales them (the rates with them,
// so that the depths at cracking and at the end stay the model's), no corrosion before
// initiation and no crack before the cover cracks. None where the run cannot tell.
struct AtAge {
  bool known = false;
  double depth = 0;
  double width = 0;
};

AtAge at_inspection(const mc::SampleResult& r, const model::ModelRun& run,
                    const std::array<double, mc::kTimes>& f, bool factors) {
  AtAge a;
  const double t = r.t;
  // Never depassivated, depassivated only after the inspection age (r.ti is the earliest age
  // where the model could not follow), or depassivated with a corrosion rate of 0: nothing yet.
  if (r.known[mc::kInitiation] == mc::TimeKnown::Never || t < r.ti ||
      (r.known[mc::kInitiation] == mc::TimeKnown::Known &&
       r.known[mc::kCracking] == mc::TimeKnown::Never)) {
    a.known = true;
    return a;
  }
  const auto tl = timeline(run);
  if (!tl) return a;
  const model::PropagationInput& in = tl->in;
  const model::Propagation& p = tl->prop;
  a.known = true;
  double tc = p.tc;
  if (!factors) {
    a.depth = model::corrosion_depth_at(in, p, t);
  } else {
    const double ti = f[mc::kInitiation] * in.ti;
    tc = ti + f[mc::kCracking] * (p.tc - in.ti);
    a.depth = t < tc ? in.lambda0 / f[mc::kCracking] * (t - ti)
                     : p.dcr + p.lambda1 / f[mc::kEnd] * (t - tc);
  }
  a.depth = std::max(0.0, a.depth);
  if (t >= tc) {
    if (const auto w = model::crack_width_at(in, a.depth)) a.width = std::max(0.0, *w);
  }
  return a;
}

}  // namespace

double log_normal_cdf(double z) {
  if (z > -30) return std::log(0.5 * std::erfc(-z / std::numbers::sqrt2));
  // Far in the lower tail: the asymptotic series of Mills' ratio (its next term below 1e-14).
  const double u = 1 / (z * z);
  return -0.5 * z * z - std::log(-z) - kLogRootTwoPi +
         std::log1p(u * (-1 + u * (3 + u * (-15 + u * 105))));
}

std::string impossible_text(Impossible why) {
  switch (why) {
    case Impossible::NoInverse:
      return "推算扩散系数所用的实测浓度不低于表面浓度，模型给不出氯离子分布";
    case Impossible::NoDiffusion:
      return "推算出的扩散系数不是大于 0 的数，模型给不出氯离子分布";
    case Impossible::NoCarbonation:
      return "模型无碳化（碳化系数为 0），给不出大于 0 的碳化深度";
    case Impossible::NotFollowed:
      return "模型无法算到检测龄期，给不出该龄期的锈蚀深度与裂缝宽度";
    case Impossible::None:
      break;
  }
  return "";
}

std::string impossible_english(Impossible why) {
  switch (why) {
    case Impossible::NoInverse:
      return "the measured concentration the coefficient is derived from is not below C_s: no "
             "chloride profile";
    case Impossible::NoDiffusion:
      return "the derived diffusion coefficient is no number above 0: no chloride profile";
    case Impossible::NoCarbonation:
      return "no carbonation (k = 0) while depths above 0 were read";
    case Impossible::NotFollowed:
      return "the model cannot follow the sample to the inspection age: no corrosion depth or "
             "crack width there";
    case Impossible::None:
      break;
  }
  return "";
}

Likelihood::Likelihood(const sheet::Module& module, const PreparedMeasurements& m,
                       const mc::Sampler* runner)
    : law_(module), m_(&m), runner_(runner), active_(m.hasLikelihood()) {
  for (const auto& d : m.depths) {
    observables_ += 1;
    // ln of the lognormal densities of the readings above 0.
    for (double ly : d.logs) constant_ -= ly + std::log(d.sigma) + kLogRootTwoPi;
  }
  for (const auto& c : m.cores) {
    observables_ += c.content.size();
    for (bool used : c.used) {
      if (used) constant_ -= std::log(c.sd) + kLogRootTwoPi;
    }
  }
  for (const auto& a : {m.corrosionDepth, m.crackWidth}) {
    observables_ += 1;
    if (a) constant_ -= std::log(a->sd) + kLogRootTwoPi;
  }
}

double Likelihood::operator()(const sheet::SheetInputs& in,
                              const std::array<double, mc::kTimes>& factors, double* values,
                              Impossible* why) const {
  if (why != nullptr) *why = Impossible::None;
  double* out = values;
  auto put = [&out](double v) {
    if (out != nullptr) *out++ = v;
  };
  auto fail = [&](Impossible w) {
    if (why != nullptr) *why = w;
    if (values != nullptr) std::fill(values, values + observables_, std::nan(""));
    return kMinusInfinity;
  };
  double ll = constant_;

  if (!m_->depths.empty()) {
    const double k = law_.carbonationCoefficient(in);
    for (const auto& d : m_->depths) {
      const double depth = k * std::sqrt(d.ageYears);
      if (!(depth > 0) && !d.logs.empty()) return fail(Impossible::NoCarbonation);
      put(depth);
      if (!(depth > 0)) continue;  // only readings of 0, which a depth of 0 gives surely
      const double mu = std::log(depth) - 0.5 * d.sigma * d.sigma;
      // sum (ln x_j - mu)^2 from the logarithms' mean and their squared deviations from it.
      const auto n = static_cast<double>(d.logs.size());
      const double s = d.deviations + n * square(d.mean - mu);
      ll -= 0.5 * s / (d.sigma * d.sigma);
      if (d.zeros > 0) {
        ll += static_cast<double>(d.zeros) *
              log_normal_cdf((std::log(kDepthResolutionMm) - mu) / d.sigma);
      }
    }
  }

  if (!m_->cores.empty()) {
    auto law = law_.chlorideLaw(in);
    if (const auto* no = std::get_if<NoLaw>(&law)) {
      return fail(*no == NoLaw::NoInverse ? Impossible::NoInverse : Impossible::NoDiffusion);
    }
    const ChlorideLaw& c = std::get<ChlorideLaw>(law);
    for (const auto& core : m_->cores) {
      double s = 0;
      for (std::size_t i = 0; i < core.content.size(); ++i) {
        const double model = c.at(core.depthMm[i] / 1000, core.ageYears) + core.background;
        put(model);
        if (core.used[i]) s += square(core.content[i] - model);
      }
      ll -= 0.5 * s / (core.sd * core.sd);
    }
  }

  if (m_->needsModelRun()) {
    model::ModelRun run;
    mc::SampleResult r = runner_->run(in, &run);
    const bool withFactors = factors != std::array<double, mc::kTimes>{1, 1, 1};
    if (withFactors) mc::apply_model_factors(factors, r);
    const AtAge a = at_inspection(r, run, factors, withFactors);
    if (!a.known) return fail(Impossible::NotFollowed);
    put(a.depth);
    put(a.width);
    if (m_->corrosionDepth) {
      ll -= 0.5 * square((m_->corrosionDepth->value - a.depth) / m_->corrosionDepth->sd);
    }
    if (m_->crackWidth) ll -= 0.5 * square((m_->crackWidth->value - a.width) / m_->crackWidth->sd);
  } else {
    put(std::nan(""));
    put(std::nan(""));
  }
  if (!std::isfinite(ll)) return fail(Impossible::NotFollowed);
  return ll;
}

}  // namespace pellucor::analysis::update
