// The update proved against answers known without it: a posterior in closed form, the coverage
// of posterior intervals over members whose true inputs are drawn from the prior, and the
// prior itself, bit for bit, when nothing was measured.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/mc/problem.hpp"
#include "analysis/mc/summary.hpp"
#include "analysis/normal_law.hpp"
#include "analysis/update/latent.hpp"
#include "analysis/update/update.hpp"
#include "model/carbonation.hpp"
#include "model/chloride_constant.hpp"
#include "module_test_support.hpp"
#include "modules/carbonation/carbonation_sheet.hpp"
#include "modules/chloride_constant/chloride_constant_sheet.hpp"

namespace pellucor::analysis::update {
namespace {

using mc::Distribution;
using modules::testing::sheet_module;

double Phi(double z) {
  return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

// Every field of two summaries but the rank correlations, bit for bit.
void expect_same(const mc::Summary& a, const mc::Summary& b) {
  EXPECT_EQ(a.samples, b.samples);
  EXPECT_EQ(a.done, b.done);
  EXPECT_EQ(a.survived, b.survived);
  EXPECT_EQ(a.stopped, b.stopped);
  EXPECT_EQ(a.rejected, b.rejected);
  ASSERT_EQ(a.stops.size(), b.stops.size());
  for (std::size_t i = 0; i < a.stops.size(); ++i) {
    EXPECT_EQ(a.stops[i].status, b.stops[i].status);
    EXPECT_EQ(a.stops[i].cause, b.stops[i].cause);
    EXPECT_EQ(a.stops[i].count, b.stops[i].count);
  }
  for (std::size_t k = 0; k < a.percentiles.size(); ++k) {
    SCOPED_TRACE(testing::Message() << "percentiles of time " << k);
    ASSERT_EQ(a.percentiles[k].has_value(), b.percentiles[k].has_value());
    if (!a.percentiles[k]) continue;
    EXPECT_EQ(a.percentiles[k]->p5, b.percentiles[k]->p5);
    EXPECT_EQ(a.percentiles[k]->p50, b.percentiles[k]->p50);
    EXPECT_EQ(a.percentiles[k]->p95, b.percentiles[k]->p95);
    EXPECT_EQ(a.percentiles[k]->never, b.percentiles[k]->never);
  }
  EXPECT_EQ(a.targetBeta, b.targetBeta);
  EXPECT_EQ(a.targets, b.targets);
  EXPECT_EQ(a.targetAge, b.targetAge);
  EXPECT_EQ(a.targetAgeLow, b.targetAgeLow);
  ASSERT_EQ(a.curve.size(), b.curve.size());
  for (std::size_t i = 0; i < a.curve.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "curve at " << a.curve[i].age);
    EXPECT_EQ(a.curve[i].age, b.curve[i].age);
    EXPECT_EQ(a.curve[i].p, b.curve[i].p);
    EXPECT_EQ(a.curve[i].pLow, b.curve[i].pLow);
    EXPECT_EQ(a.curve[i].se, b.curve[i].se);
    EXPECT_EQ(a.curve[i].beta, b.curve[i].beta);
    for (std::size_t k = 0; k < mc::kTimes; ++k) {
      EXPECT_EQ(a.curve[i].index[k].kind, b.curve[i].index[k].kind);
      EXPECT_EQ(a.curve[i].index[k].value, b.curve[i].index[k].value);
    }
  }
  const mc::AtAge &x = a.atTarget, &y = b.atTarget;
  EXPECT_EQ(x.age, y.age);
  EXPECT_EQ(x.failures, y.failures);
  EXPECT_EQ(x.p, y.p);
  EXPECT_EQ(x.pLow, y.pLow);
  EXPECT_EQ(x.se, y.se);
  EXPECT_EQ(x.cov, y.cov);
  EXPECT_EQ(x.lo95, y.lo95);
  EXPECT_EQ(x.hi95, y.hi95);
  for (std::size_t k = 0; k < mc::kTimes; ++k) {
    EXPECT_EQ(x.index[k].kind, y.index[k].kind);
    EXPECT_EQ(x.index[k].value, y.index[k].value);
  }
  EXPECT_EQ(a.variant, b.variant);
  EXPECT_EQ(a.hasVariants, b.hasVariants);
  EXPECT_EQ(a.stopCov, b.stopCov);
}

// (c) Nothing measured: the posterior is the reliability analysis's own summary, bit for bit, on
// every sheet; with model-uncertainty factors, with inspection ages that scatter (the remaining
// life from each sample's own age), with a target age of its own.
TEST(UpdateProof, WithNoMeasurementsThePosteriorIsThePriorBitForBit) {
  struct Case {
    const char* what;
    int sheet;
    bool factors;
    bool ageScatters;
  };
  const Case cases[] = {
      {"carbonation", 1, false, false},
      {"constant chloride", 2, false, false},
      {"time-dependent chloride", 3, true, false},
      {"marine", 4, false, true},
      {"admixed chloride", 5, true, true},
  };
  const sheet::SheetInputs examples[] = {
      modules::testing::carbonation_example(), modules::testing::chloride_constant_example(),
      modules::testing::chloride_variable_example(), modules::testing::marine_example(),
      modules::testing::admixed_example()};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    mc::Problem p = mc::with_defaults(sheet_module(c.sheet), examples[c.sheet - 1]);
    if (c.factors) p.modelUncertainty.cov = {0.2, 0.3, 0.1};
    if (c.ageScatters) p.scatter[6] = {0.1, Distribution::Normal};
    UpdateSettings s;
    s.run.samples = 3000;
    s.run.seed = 11;
    s.run.threads = 2;
    if (c.sheet == 4) s.run.targetAge = 35;
    const auto r = run_update(p, Measurements{}, s);
    ASSERT_TRUE(r.ok()) << r.refusal().message;
    EXPECT_EQ(r->diagnostics.method, Method::Prior);
    EXPECT_EQ(r->diagnostics.effective, 3000);
    EXPECT_TRUE(r->diagnostics.passed);
    EXPECT_TRUE(r->posterior.tornado.empty());
    expect_same(r->posterior, r->prior.summary);
    // And the reliability analysis run on its own gives that prior.
    mc::RunSettings run = s.run;
    expect_same(r->prior.summary, mc::summarize(mc::run_samples(p, run), run));
    for (const auto& in : r->inputs) {
      SCOPED_TRACE(in.name);
      EXPECT_EQ(in.mean[0], in.mean[1]);
      EXPECT_EQ(in.cov[0], in.cov[1]);
      EXPECT_EQ(in.p5[0], in.p5[1]);
      EXPECT_EQ(in.p95[0], in.p95[1]);
    }
  }
}

// The carbonation sheet on the measured-depth path with only the measured depth x_b scattering
// (lognormal), everything else fixed: k = x_b / sqrt(t_b), and readings at age t_m with a
// lognormal error of known CoV make ln x_b a normal-normal problem: the posterior of ln x_b is
// normal, truncated to the box's range as the prior is.
struct ClosedForm {
  double mu = 0, s = 0;  // of ln x_b
  double lo = 0, hi = 0;
  double Z() const { return Phi((std::log(hi) - mu) / s) - Phi((std::log(lo) - mu) / s); }
  // E[X^m] of the truncated lognormal law.
  double moment(int m) const {
    const double a = (std::log(lo) - mu) / s, b = (std::log(hi) - mu) / s;
    return std::exp(m * mu + 0.5 * m * m * s * s) * (Phi(b - m * s) - Phi(a - m * s)) / Z();
  }
};

TEST(UpdateProof, ClosedFormPosteriorOfALognormalCarbonationCoefficient) {
  struct Case {
    const char* what;
    int readings;
    double errorCov;
    Method method;  // which way the sampler takes: both are proved
  };
  const Case cases[] = {
      {"two readings with a large error: likelihood weighting", 2, 0.6,
       Method::LikelihoodWeighting},
      {"fifty readings: tempered sampler and importance sampling", 50, 0.25,
       Method::TemperedImportance},
  };
  const double depth = 12, cov = 0.3, ageBox = 60, ageReadings = 42, trueDepth = 9;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    mc::Problem p;
    p.module = &sheet_module(1);
    p.base = modules::testing::carbonation_example();
    p.base.value[7] = depth;  // measured carbonation depth at the inspection age 60 a
    p.base.value[8] = 0;      // no CO2 coefficient: k from the depth
    ASSERT_EQ(p.base.value[6], ageBox);
    p.scatter[7] = {cov, Distribution::Lognormal};
    Measurements m;
    DepthReadings d;
    d.ageYears = ageReadings;
    d.errorCov = c.errorCov;
    const double sigma = std::sqrt(std::log1p(c.errorCov * c.errorCov));
    for (int j = 0; j < c.readings; ++j) {
      const double z = normal_quantile((j + 0.5) / c.readings);
      d.depthMm.push_back(trueDepth * std::sqrt(ageReadings / ageBox) *
                          std::exp(sigma * z - 0.5 * sigma * sigma));
    }
    m.depths.push_back(d);

    // The closed form: the prior law the samples follow, its update by the readings.
    const auto law = mc::TruncatedLaw::fitted(depth, p.scatter[7], 1, 60);
    const double s0 = std::sqrt(std::log1p(law.parentCov() * law.parentCov()));
    const double mu0 = std::log(law.parentMean()) - 0.5 * s0 * s0;
    double precision = 1 / (s0 * s0), weighted = mu0 / (s0 * s0);
    for (double y : d.depthMm) {
      precision += 1 / (sigma * sigma);
      weighted += (std::log(y) - 0.5 * std::log(ageReadings / ageBox) + 0.5 * sigma * sigma) /
                  (sigma * sigma);
    }
    const ClosedForm post{weighted / precision, std::sqrt(1 / precision), 1, 60};

    UpdateSettings s;
    s.run.samples = 20000;
    s.run.seed = 3;
    const auto r = run_update(p, m, s);
    ASSERT_TRUE(r.ok()) << r.refusal().message;
    EXPECT_EQ(r->diagnostics.method, c.method);
    EXPECT_TRUE(r->diagnostics.passed)
        << (r->diagnostics.failures.empty() ? "" : r->diagnostics.failures[0].en);
    const double ess = r->diagnostics.effective;

    ASSERT_EQ(r->inputs.size(), 1u);
    const InputStatistics& x = r->inputs[0];
    const double mean = post.moment(1);
    const double sd = std::sqrt(post.moment(2) - mean * mean);
    EXPECT_NEAR(x.mean[1], mean, 4 * sd / std::sqrt(ess));
    EXPECT_NEAR(x.cov[1], sd / mean, 4 * (sd / mean) / std::sqrt(2 * ess));
    // The posterior is narrower than the prior and has moved towards the readings' depth.
    EXPECT_LT(x.cov[1], x.cov[0]);
    EXPECT_LT(x.mean[1], x.mean[0]);

    // P(t_i <= tau): the posterior probability of the depths x_b whose t_i is at most tau, over
    // 20000 cells of ln x_b (t_i is not monotone in x_b where the model's carbonation residual
    // exceeds the cover, so no single threshold would do).
    std::vector<double> cellP, cellTi;
    const int cells = 20000;
    for (int i = 0; i < cells; ++i) {
      const double a = std::log(60.0) * i / cells, b = std::log(60.0) * (i + 1) / cells;
      cellP.push_back((Phi((b - post.mu) / post.s) - Phi((a - post.mu) / post.s)) / post.Z());
      sheet::SheetInputs in = p.base;
      in.value[7] = std::exp(0.5 * (a + b));
      cellTi.push_back(model::run_carbonation(modules::CarbonationSheet::bind(in)).ti);
    }
    auto closed = [&](double tau) {
      double p0 = 0;
      for (int i = 0; i < cells; ++i) p0 += cellTi[i] <= tau ? cellP[i] : 0.0;
      return p0;
    };
    // At the ages where the closed form gives 10, 30, 50, 70 and 90 %: the same posterior (the
    // same seed) read at each as its target age.
    for (double target : {0.1, 0.3, 0.5, 0.7, 0.9}) {
      double lo = 0, hi = 1000;
      for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (lo + hi);
        (closed(mid) < target ? lo : hi) = mid;
      }
      SCOPED_TRACE(testing::Message() << "tau " << hi);
      UpdateSettings at = s;
      at.run.targetAge = hi;
      const auto q = run_update(p, m, at);
      ASSERT_TRUE(q.ok());
      const double p0 = closed(hi);
      EXPECT_NEAR(q->posterior.atTarget.p[mc::kInitiation], p0, 4 * std::sqrt(p0 * (1 - p0) / ess));
      EXPECT_NEAR(q->posterior.atTarget.se[mc::kInitiation], std::sqrt(p0 * (1 - p0) / ess),
                  0.2 * std::sqrt(p0 * (1 - p0) / ess));
    }
  }
}

// (b) Members whose true inputs are drawn from the prior, measured with the documented errors:
// the posterior 90 % intervals hold the truth for about 90 % of them. Carbonation depths on the
// CO2 path (every climate and concrete input scatters; the readings tell k alone), and chloride
// profiles on the constant-coefficient sheet (D and C_s).
TEST(UpdateProof, PosteriorIntervalsCoverTrueInputsAtTheirRate) {
  struct Case {
    const char* what;
    int sheet;
    int members;
    std::size_t samples;
  };
  const Case cases[] = {{"carbonation depths", 1, 100, 1000}, {"chloride profiles", 2, 40, 600}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const sheet::SheetInputs base = c.sheet == 1 ? modules::testing::carbonation_example()
                                                 : modules::testing::chloride_constant_example();
    const mc::Problem p = mc::with_defaults(sheet_module(c.sheet), base);
    const LatentSpace space(p, std::nullopt, 0);
    const std::size_t d = space.size();
    std::vector<int> covered(d + 1, 0);
    for (int member = 0; member < c.members; ++member) {
      // The truth: a draw of the prior laws with a seed of its own.
      std::vector<double> z(d), truth(d);
      space.prior(977, static_cast<std::uint64_t>(member), z.data(), truth.data());
      sheet::SheetInputs in = p.base;
      std::array<double, mc::kTimes> factors{};
      space.apply(truth.data(), in, factors);
      Measurements m;
      double trueValue = 0;  // the model's depth at the readings' age (C: at a depth, below)
      if (c.sheet == 1) {
        const double k = model::carbonation_coefficient(modules::CarbonationSheet::bind(in));
        DepthReadings dr;
        dr.ageYears = 42;
        dr.errorCov = 0.3;
        const double sigma = std::sqrt(std::log1p(0.09));
        for (int j = 0; j < 10; ++j) {
          const double e = normal_quantile(mc::uniform(977, member, 500 + j));
          dr.depthMm.push_back(k * std::sqrt(42.0) * std::exp(sigma * e - 0.5 * sigma * sigma));
        }
        m.depths.push_back(dr);
        trueValue = k * std::sqrt(42.0);
      } else {
        const model::ChlorideConstantInput mi = modules::ChlorideConstantSheet::bind(in);
        model::ChlorideConstantResult r;
        r.D = mi.Dcm2 / 10000;
        ProfileCore core;
        core.name = "core";
        core.input.ageYears = 20;
        core.errorSd = 0.15;
        for (int j = 0; j < 10; ++j) {
          const double x = 2.5 + 5 * j;
          const double e = normal_quantile(mc::uniform(977, member, 500 + j));
          core.input.depthMm.push_back(x);
          core.input.chloride.push_back(std::max(
              0.0, model::chloride_constant_concentration(mi, r, x / 1000, 20) + 0.15 * e));
        }
        m.cores.push_back(core);
      }
      UpdateSettings s;
      s.run.samples = c.samples;
      s.run.seed = 100 + static_cast<std::uint64_t>(member);
      s.smc.particles = c.sheet == 1 ? 150 : 60;
      s.curveDraws = c.sheet == 1 ? c.samples : 300;
      const auto r = run_update(p, m, s);
      ASSERT_TRUE(r.ok()) << r.refusal().message;
      ASSERT_TRUE(r->diagnostics.passed)
          << member << ": "
          << (r->diagnostics.failures.empty() ? "" : r->diagnostics.failures[0].en);
      for (std::size_t j = 0; j < d; ++j) {
        const InputStatistics& st = r->inputs[j];
        if (st.p5[1] <= truth[j] && truth[j] <= st.p95[1]) ++covered[j];
      }
      // The model's value itself, from the predictive curve: at 42 a (the 21st of the ages
      // 0 .. 63 a), or at the 6th of the core's depths (some 10 mm).
      const PredictivePoint& q = r->curves.front().points[c.sheet == 1 ? 20 : 5];
      if (c.sheet == 1) {
        ASSERT_NEAR(q.at, 42, 1e-9);
      } else {
        const model::ChlorideConstantInput mi = modules::ChlorideConstantSheet::bind(in);
        model::ChlorideConstantResult rr;
        rr.D = mi.Dcm2 / 10000;
        trueValue = model::chloride_constant_concentration(mi, rr, q.at / 1000, 20);
      }
      if (q.posterior[0] <= trueValue && trueValue <= q.posterior[2]) ++covered[d];
    }
    // Binomial: 90 % of the members, within three standard deviations.
    const double sd = std::sqrt(0.9 * 0.1 / c.members);
    for (std::size_t j = 0; j <= d; ++j) {
      SCOPED_TRACE(j < d ? space.dimensions()[j].box : -1);
      const double rate = static_cast<double>(covered[j]) / c.members;
      EXPECT_GT(rate, 0.9 - 3 * sd);
      EXPECT_LT(rate, std::min(1.0, 0.9 + 3 * sd) + 1e-12);
    }
  }
}

// The posterior of the tempered sampler and the importance draws is the same for any number of
// threads, and again for the same seed.
TEST(UpdateProof, SamePosteriorForAnyNumberOfThreads) {
  const mc::Problem p = mc::with_defaults(sheet_module(1), modules::testing::carbonation_example());
  Measurements m;
  DepthReadings d;
  d.ageYears = 42;
  for (int j = 0; j < 50; ++j) d.depthMm.push_back(8 + 0.1 * (j % 17));
  m.depths.push_back(d);
  UpdateResult results[3];
  const unsigned threads[3] = {1, 2, 3};
  for (int i = 0; i < 3; ++i) {
    UpdateSettings s;
    s.run.samples = 4000;
    s.run.seed = 5;
    s.run.threads = threads[i];
    auto r = run_update(p, m, s);
    ASSERT_TRUE(r.ok());
    results[i] = *r;
  }
  EXPECT_EQ(results[0].diagnostics.method, Method::TemperedImportance);
  for (int i = 1; i < 3; ++i) {
    SCOPED_TRACE(threads[i]);
    expect_same(results[i].posterior, results[0].posterior);
    EXPECT_EQ(results[i].diagnostics.effective, results[0].diagnostics.effective);
    EXPECT_EQ(results[i].diagnostics.rHat, results[0].diagnostics.rHat);
    for (std::size_t j = 0; j < results[0].inputs.size(); ++j) {
      EXPECT_EQ(results[i].inputs[j].mean[1], results[0].inputs[j].mean[1]);
      EXPECT_EQ(results[i].inputs[j].p95[1], results[0].inputs[j].p95[1]);
    }
  }
}

}  // namespace
}  // namespace pellucor::analysis::update
