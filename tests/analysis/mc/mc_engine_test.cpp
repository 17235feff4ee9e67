// The Monte Carlo run against answers known without it: the deterministic calculation when
// nothing scatters, the cover's own distribution when only the cover scatters, and the same
// samples whatever the number of threads.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "analysis/mc/engine.hpp"
#include "analysis/mc/problem.hpp"
#include "analysis/mc/summary.hpp"
#include "analysis/timeline.hpp"
#include "model/marine.hpp"
#include "module_test_support.hpp"
#include "modules/marine/marine_sheet.hpp"

namespace pellucor::analysis::mc {
namespace {

using modules::testing::sheet_module;
using sheet::SheetInputs;

SheetInputs example(int sheetNumber) {
  switch (sheetNumber) {
    case 1:
      return modules::testing::carbonation_example();
    case 2:
      return modules::testing::chloride_constant_example();
    case 3:
      return modules::testing::chloride_variable_example();
    case 4:
      return modules::testing::marine_example();
    default:
      return modules::testing::admixed_example();
  }
}

Problem deterministic(int sheetNumber) {
  Problem p;
  p.module = &sheet_module(sheetNumber);
  p.base = example(sheetNumber);
  return p;
}

TEST(TruncatedLaw, SamplesStayInRangeAndInvertTheDistributionFunction) {
  struct Case {
    Distribution dist;
    double mean, cov, lo, hi;
  };
  const Case cases[] = {
      {Distribution::Normal, 30, 0.2, 3, 90},       // cover: barely truncated
      {Distribution::Normal, 1.4, 0.25, 1.2, 1.6},  // critical chloride: cut on both sides
      {Distribution::Lognormal, 5, 0.5, 1, 13},     // surface chloride: long upper tail cut
      {Distribution::Lognormal, 30, 0.15, 10, 50},  // strength
      {Distribution::Normal, 0.41, 0.5, 0.4, 1.0},  // mean at the lower end
      {Distribution::Normal, 30, 1e17, 3, 90},      // too wide to tell: flat over the range
      {Distribution::Lognormal, 30, 1e100, 3, 90},
      {Distribution::Normal, 30, 1e300, 3, 90},  // deviation beyond the doubles
      {Distribution::Lognormal, 30, 1e300, 3, 90},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << distribution_name(c.dist) << " mean " << c.mean);
    const TruncatedLaw law(c.mean, {c.cov, c.dist}, c.lo, c.hi);
    double previous = c.lo;
    for (double u : {1e-15, 1e-6, 0.01, 0.2, 0.5, 0.8, 0.99, 1 - 1e-6, 1 - 1e-15}) {
      const double x = law.sample(u);
      EXPECT_GE(x, c.lo);
      EXPECT_LE(x, c.hi);
      EXPECT_GE(x, previous) << "not increasing at u = " << u;
      previous = x;
      if (u > 1e-6 && u < 1 - 1e-6) {
        EXPECT_NEAR(law.cdf(x), u, 1e-9) << "u = " << u;
      }
    }
    EXPECT_EQ(law.cdf(c.lo - 1e-9), 0);
    EXPECT_EQ(law.cdf(c.hi), 1);
  }
}

TEST(TruncatedLaw, MeanAndCovAreTheGivenOnesWhenTheRangeDoesNotCut) {
  for (Distribution dist : {Distribution::Normal, Distribution::Lognormal}) {
    const TruncatedLaw law(10, {0.1, dist}, 1e-3, 1e3);
    // Midpoint rule over u: the moments of the law to quadrature accuracy.
    const int n = 200000;
    double sum = 0, sum2 = 0;
    for (int i = 0; i < n; ++i) {
      const double x = law.sample((i + 0.5) / n);
      sum += x;
      sum2 += x * x;
    }
    const double mean = sum / n;
    const double sd = std::sqrt(sum2 / n - mean * mean);
    EXPECT_NEAR(mean, 10, 1e-3) << distribution_name(dist);
    EXPECT_NEAR(sd / mean, 0.1, 1e-3) << distribution_name(dist);
  }
}

TEST(MonteCarlo, WithoutScatterEverySampleIsTheDeterministicCalculationBitForBit) {
  struct Case {
    int sheetNumber;
    InitiationVariant variant;  // the marine sheet's two ways; no meaning on the others
  };
  const Case cases[] = {{1, InitiationVariant::Crossing}, {2, InitiationVariant::Crossing},
                        {3, InitiationVariant::Crossing}, {4, InitiationVariant::SheetSearch},
                        {4, InitiationVariant::Crossing}, {5, InitiationVariant::Crossing}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sheetNumber << " " << variant_name(c.variant));
    Problem p = deterministic(c.sheetNumber);
    p.variant = c.variant;
    modules::testing::RecordingSink sink;
    const auto outcome = p.module->calculate(p.base, sink);
    auto tl = timeline(outcome.run);
    ASSERT_TRUE(tl.has_value());
    if (c.sheetNumber == 4 && c.variant == InitiationVariant::Crossing) {
      // The deterministic run of the crossing: the model from the age at which the chloride at
      // the bar reaches C_cr, which is not the sheet's search result here.
      const model::MarineInput in = modules::MarineSheet::bind(p.base);
      const CrossingRun cr = run_marine_crossing(in);
      ASSERT_EQ(cr.crossing.kind, Crossing::Kind::Found);
      ASSERT_FALSE(cr.out.stop);
      EXPECT_GT(std::fabs(cr.out.ti - tl->ti), kSearchStep);
      tl = timeline(model::MarineRun{in, cr.out});
      ASSERT_TRUE(tl.has_value());
    }

    RunSettings settings;
    settings.samples = 40;
    settings.threads = 2;
    ASSERT_FALSE(validate(p, settings));
    const Samples samples = run_samples(p, settings);
    ASSERT_FALSE(samples.cancelled);
    ASSERT_EQ(samples.results.size(), 40u);
    EXPECT_EQ(samples.hasVariants, c.sheetNumber == 4);
    for (const auto& r : samples.results) {
      ASSERT_EQ(r.status, SampleStatus::Done);
      EXPECT_EQ(r.ti, tl->ti);
      EXPECT_EQ(r.tc, tl->prop.tc);
      EXPECT_EQ(r.td, tl->prop.td);
      EXPECT_EQ(r.t, tl->t);
    }
  }
}

// The deterministic time of the carbonation example for a given cover.
double carbonation_time(const Sampler& sampler, SheetInputs in, double cover, int which) {
  in.value[5] = cover;
  const SampleResult r = sampler.run(in);
  EXPECT_EQ(r.status, SampleStatus::Done);
  return which == kInitiation ? r.ti : which == kCracking ? r.tc : r.td;
}

TEST(MonteCarlo, OnlyTheCoverScattersTheProbabilityIsTheCoversDistributionFunction) {
  Problem p = deterministic(1);
  p.scatter[5] = {0.2, Distribution::Normal};
  RunSettings settings;
  settings.samples = 100000;
  settings.seed = 20261210;
  ASSERT_FALSE(validate(p, settings));
  const Summary s = summarize(run_samples(p, settings), settings.targetBeta);
  ASSERT_EQ(s.done, settings.samples);

  const Sampler sampler(p);
  const sheet::FieldRow& cover = *p.module->table().field(sheet::Control::Text5);
  const TruncatedLaw law = TruncatedLaw::fitted(p.base.box(5), p.scatter[5], cover.lo, cover.hi);
  // Covers above `top` carry less than 1e-9 of the probability; below it each time must
  // rise with the cover for the bisection to be the answer.
  double top = cover.hi;
  while (1 - law.cdf(top) < 1e-9) top -= 0.5;
  top += 0.5;
  for (int which : {kInitiation, kCracking, kEnd}) {
    SCOPED_TRACE(which);
    double previous = -1;
    for (double c = cover.lo; c <= top; c += 0.05) {
      const double t = carbonation_time(sampler, p.base, c, which);
      ASSERT_GT(t, previous) << "not monotone in the cover at " << c;
      previous = t;
    }
    int interior = 0;
    for (const auto& point : s.curve) {
      // The cover c* whose deterministic time is the age, by bisection.
      double lo = cover.lo, hi = top;
      if (carbonation_time(sampler, p.base, lo, which) > point.age) {
        hi = lo;
      } else if (carbonation_time(sampler, p.base, hi, which) <= point.age) {
        lo = hi;
      } else {
        for (int i = 0; i < 200 && hi - lo > 1e-12; ++i) {
          const double mid = 0.5 * (lo + hi);
          (carbonation_time(sampler, p.base, mid, which) <= point.age ? lo : hi) = mid;
        }
      }
      const double expected = law.cdf(lo);
      const double se = std::sqrt(expected * (1 - expected) / static_cast<double>(s.done));
      EXPECT_NEAR(point.p[static_cast<std::size_t>(which)], expected, 4 * se + 1e-9)
          << "age " << point.age;
      if (expected > 0.01 && expected < 0.99) ++interior;
    }
    EXPECT_GE(interior, 10) << "the grid barely crosses the distribution";
  }
}

TEST(MonteCarlo, SamplesDoNotDependOnTheThreadCountAndRerunAlone) {
  Problem p = with_defaults(sheet_module(4), example(4));
  ASSERT_GE(p.scattering().size(), 5u);
  RunSettings settings;
  settings.samples = 1500;  // not a whole number of blocks
  settings.seed = 7;
  settings.threads = 1;
  const Samples one = run_samples(p, settings);
  settings.threads = 3;
  const Samples three = run_samples(p, settings);
  ASSERT_EQ(one.results.size(), three.results.size());
  const Sampler sampler(p);
  int differentFromFirst = 0;
  for (std::size_t i = 0; i < one.results.size(); ++i) {
    const auto &a = one.results[i], &b = three.results[i];
    ASSERT_EQ(a.status, b.status) << i;
    ASSERT_EQ(a.ti, b.ti) << i;
    ASSERT_EQ(a.tc, b.tc) << i;
    ASSERT_EQ(a.td, b.td) << i;
    if (i % 97 == 0) {
      const SampleResult alone = sampler.run(settings.seed, i);
      EXPECT_EQ(alone.status, a.status) << i;
      EXPECT_EQ(alone.tc, a.tc) << i;
    }
    if (a.tc != one.results[0].tc) ++differentFromFirst;
  }
  EXPECT_GT(differentFromFirst, 1000) << "the samples do not scatter";

  // Another seed draws other samples.
  EXPECT_NE(sampler.inputs(8, 0).box(5), sampler.inputs(7, 0).box(5));
}

TEST(MonteCarlo, BlocksOfUniformNumbersAreThoseOfOneSampleAtATime) {
  // The block computes Philox for many samples side by side; every number must be the one the
  // sample draws alone, whatever the seed, the block's start (sample indices past 2^32 use the
  // counter's upper word) and its length.
  struct Case {
    std::uint64_t seed, first;
    std::size_t count;
    int stream;
  };
  const Case cases[] = {
      {1, 0, 1500, 2},
      {7, 123, 257, 4},
      {0xFFFFFFFF00000001ull, (std::uint64_t{1} << 32) - 100, 300, 16},
      {42, 5'000'000'000ull, 1, 0},
  };
  // Each kind of vector instructions the processor has, and the default.
  EXPECT_TRUE(has_instructions(VectorInstructions::Portable));
  std::vector<std::optional<VectorInstructions>> kinds = {std::nullopt};
  for (auto with :
       {VectorInstructions::Portable, VectorInstructions::Avx2, VectorInstructions::Avx512}) {
    if (has_instructions(with)) kinds.emplace_back(with);
  }
  for (const auto& with : kinds) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "seed " << c.seed << ", first " << c.first << ", kind "
                                      << (with ? static_cast<int>(*with) : -1));
      std::vector<double> even(c.count), odd(c.count);
      uniform_block(c.seed, c.first, c.count, c.stream, even.data(), odd.data(), with);
      for (std::size_t i = 0; i < c.count; ++i) {
        ASSERT_EQ(even[i], uniform(c.seed, c.first + i, c.stream)) << i;
        ASSERT_EQ(odd[i], uniform(c.seed, c.first + i, c.stream + 1)) << i;
        ASSERT_GT(even[i], 0);
        ASSERT_LT(even[i], 1);
      }
    }
  }
}

TEST(MonteCarlo, EachStopIsClassifiedByWhatItMeansForTheLimitStates) {
  using enum TimeKnown;
  struct Case {
    const char* what;
    int sheetNumber;
    std::function<void(SheetInputs&)> change;
    SampleStatus status;
    StopCause::Kind kind;
    std::array<TimeKnown, kTimes> known;
    InitiationVariant variant = InitiationVariant::SheetSearch;
  };
  const std::vector<Case> cases = {
      // Indoors at a humidity of 0.45 the rate formula's base is negative: no corrosion, but
      // the carbonation front still reaches the steel.
      {"too dry to corrode",
       1,
       [](SheetInputs& in) {
         in.selected = {false, true, false, true, false};  // tension, indoor
         in.value[3] = 0.45;
       },
       SampleStatus::Survived,
       StopCause::Kind::Model,
       {Known, Never, Never}},
      // On the CO2 path a humidity of 1.0 makes the carbonation coefficient zero.
      {"no carbonation",
       1,
       [](SheetInputs& in) { in.value[3] = 1.0; },
       SampleStatus::Survived,
       StopCause::Kind::Model,
       {Never, Never, Never}},
      // The consistency check refuses C_cr >= C_s: the chloride never reaches C_cr.
      {"critical above surface",
       4,
       [](SheetInputs& in) { in.value[8] = 1.2; },
       SampleStatus::Survived,
       StopCause::Kind::Check,
       {Never, Never, Never}},
      // A measured concentration above the surface one: nothing is known.
      {"measured above surface",
       4,
       [](SheetInputs& in) {
         in.value[7] = 0;  // derive the coefficient from the profile
         in.value[10] = 30;
         in.value[11] = 6;
       },
       SampleStatus::Rejected,
       StopCause::Kind::Check,
       {Unknown, Unknown, Unknown}},
      // The first search steps 1 -> 1.5 -> 1.0 -> 0.5 -> 0: initiation is early, but when is not
      // known.
      {"search reaches zero",
       4,
       [](SheetInputs& in) {
         in.value[15] = 5;  // accumulation
         in.value[5] = 5;   // cover
         in.value[7] = 8;   // diffusion
         in.value[17] = 1;  // assumed initiation time
       },
       SampleStatus::Stopped,
       StopCause::Kind::Model,
       {Unknown, Unknown, Unknown}},
      // The same inputs at the crossing: the chloride reaches C_cr early, but it has an age.
      {"search reaches zero, at the crossing",
       4,
       [](SheetInputs& in) {
         in.value[15] = 5;
         in.value[5] = 5;
         in.value[7] = 8;
         in.value[17] = 1;
       },
       SampleStatus::Done,
       StopCause::Kind::None,
       {Known, Known, Known},
       InitiationVariant::Crossing},
      // A critical concentration just under a low surface one: the chloride at the bar comes
      // near C_cr only after thousands of years. Initiation lies beyond the crossing's limit;
      // it can only come later.
      {"no crossing within the limit",
       4,
       [](SheetInputs& in) {
         in.value[8] = 1.5;   // surface
         in.value[9] = 1.49;  // critical
         in.value[15] = 0.5;  // accumulation
       },
       SampleStatus::Stopped,
       StopCause::Kind::NoCrossing,
       {Unknown, Unknown, Unknown},
       InitiationVariant::Crossing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Problem p = deterministic(c.sheetNumber);
    p.variant = c.variant;
    c.change(p.base);
    const SampleResult r = Sampler(p).run(p.base);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.cause.kind, c.kind);
    EXPECT_EQ(r.known, c.known);
    for (int k = 0; k < kTimes; ++k) {
      // A time not followed counts from its earliest age: never after a known earlier time.
      if (r.known[static_cast<std::size_t>(k)] == Unknown &&
          r.cause.kind == StopCause::Kind::Model) {
        EXPECT_TRUE(r.time(k) == 0 || (k > 0 && r.time(k) == r.ti)) << k;
      }
      // Below C_cr up to the limit: not failed before it, possibly failed from it on.
      if (r.cause.kind == StopCause::Kind::NoCrossing) {
        EXPECT_EQ(r.time(k), kCrossingLimit) << k;
      }
    }
    if (r.known[kInitiation] == Known && c.sheetNumber == 1) {
      modules::testing::RecordingSink sink;
      const auto outcome = p.module->calculate(p.base, sink);
      EXPECT_EQ(r.ti, std::get<model::CarbonationRun>(outcome.run).out.ti);
    }
    if (r.known[kInitiation] == Known && c.sheetNumber == 4) {
      EXPECT_EQ(r.ti, run_marine_crossing(modules::MarineSheet::bind(p.base)).out.ti);
    }
  }
}

TEST(MonteCarlo, SurvivorsCountAsNotFailedAndNoSampleIsDropped) {
  // Indoors around the humidity threshold of the rate formula: about a third of the samples
  // cannot corrode. They initiate like the others and never crack.
  Problem p = deterministic(1);
  p.base.selected = {false, true, false, true, false};  // tension, indoor
  p.base.value[3] = 0.52;
  p.scatter[3] = {0.1, Distribution::Normal};
  RunSettings settings;
  settings.samples = 4000;
  ASSERT_FALSE(validate(p, settings));
  const Samples samples = run_samples(p, settings);
  const Sampler sampler(p);
  std::uint64_t dry = 0;
  for (std::uint64_t i = 0; i < settings.samples; ++i) {
    const bool stops = sampler.inputs(settings.seed, i).box(3) <= 0.5;
    dry += stops ? 1 : 0;
    EXPECT_EQ(samples.results[i].status, stops ? SampleStatus::Survived : SampleStatus::Done);
  }
  ASSERT_GT(dry, 500u);
  const Summary s = summarize(samples, 1.3, {0, 1e6});
  EXPECT_EQ(s.survived, dry);
  EXPECT_EQ(s.done + s.survived, settings.samples);
  const double n = static_cast<double>(settings.samples);
  // By 10^6 a every sample has initiated and every one that corrodes has ended its life.
  EXPECT_EQ(s.curve[1].p[kInitiation], 1.0);
  EXPECT_EQ(s.curve[1].p[kEnd], static_cast<double>(settings.samples - dry) / n);
  EXPECT_EQ(s.curve[1].pLow[kEnd], s.curve[1].p[kEnd]);  // no sample the model could not follow
  ASSERT_EQ(s.stops.size(), 1u);
  EXPECT_EQ(s.stops[0].cause.reason, model::StopReason::InvalidHumidity);
  EXPECT_EQ(s.stops[0].count, dry);
}

TEST(MonteCarlo, EveryScatteringBoxDrawsItsOwnNumbersInsideItsRange) {
  for (int sheetNumber = 1; sheetNumber <= 5; ++sheetNumber) {
    SCOPED_TRACE(sheetNumber);
    const Problem p = with_defaults(sheet_module(sheetNumber), example(sheetNumber));
    RunSettings settings;
    settings.samples = kKeptDraws;
    settings.seed = 3;
    // The values the engine ran the samples with.
    const Samples samples = run_samples(p, settings);
    const std::vector<int>& boxes = samples.boxes;
    const std::size_t k = boxes.size();
    ASSERT_GE(k, 2u);
    ASSERT_EQ(samples.draws.size(), settings.samples * k);
    const Sampler sampler(p);
    std::vector<TruncatedLaw> laws;
    for (int n : boxes) {
      const sheet::FieldRow& f = *p.module->table().field(sheet::text_box(n));
      laws.push_back(
          TruncatedLaw::fitted(p.base.box(n), p.scatter[static_cast<std::size_t>(n)], f.lo, f.hi));
    }
    // Each value inside its box's range, and (through the box's distribution function) the
    // uniform number it was drawn from.
    std::vector<std::vector<double>> u(k);
    for (std::uint64_t i = 0; i < settings.samples; ++i) {
      for (std::size_t j = 0; j < k; ++j) {
        const double x = samples.draws[i * k + j];
        ASSERT_GE(x, laws[j].lo()) << "box " << boxes[j] << ", sample " << i;
        ASSERT_LE(x, laws[j].hi()) << "box " << boxes[j] << ", sample " << i;
        u[j].push_back(laws[j].cdf(x));
      }
      if (i % 1000 == 0) {
        const SheetInputs in = sampler.inputs(settings.seed, i);
        for (std::size_t j = 0; j < k; ++j) ASSERT_EQ(samples.draws[i * k + j], in.box(boxes[j]));
      }
    }
    // Each box's values follow its law: their uniform numbers average 1/2 within four
    // standard errors.
    const double nn = static_cast<double>(settings.samples);
    for (std::size_t j = 0; j < k; ++j) {
      double sum = 0;
      for (double v : u[j]) sum += v;
      EXPECT_NEAR(sum / nn, 0.5, 4 * std::sqrt(1 / 12.0 / nn)) << "box " << boxes[j];
    }
    // The uniform numbers of two boxes are uncorrelated within 4 / sqrt(n).
    for (std::size_t a = 0; a < k; ++a) {
      for (std::size_t b = a + 1; b < k; ++b) {
        double sab = 0, sa = 0, sb = 0, saa = 0, sbb = 0;
        for (std::uint64_t i = 0; i < settings.samples; ++i) {
          sab += u[a][i] * u[b][i];
          sa += u[a][i];
          sb += u[b][i];
          saa += u[a][i] * u[a][i];
          sbb += u[b][i] * u[b][i];
        }
        const double cov = sab / nn - sa / nn * (sb / nn);
        const double rho =
            cov / std::sqrt((saa / nn - sa * sa / nn / nn) * (sbb / nn - sb * sb / nn / nn));
        EXPECT_LT(std::fabs(rho), 4 / std::sqrt(nn)) << boxes[a] << " and " << boxes[b];
      }
    }
  }
}

TEST(MonteCarlo, RankCorrelationOfTheOnlyScatteringInputIsOne) {
  // The carbonation times rise with the cover: with the cover alone scattering, its ranks are
  // those of every time.
  Problem p = deterministic(1);
  p.scatter[5] = {0, Distribution::Normal, 8};
  p.scatter[9] = {0.15, Distribution::Normal};  // the diameter enters only the propagation
  RunSettings settings;
  settings.samples = 3000;
  const Summary s = summarize(run_samples(p, settings), settings);
  ASSERT_EQ(s.tornado.size(), 2u);
  EXPECT_EQ(s.tornado[0].box, 5);
  ASSERT_TRUE(s.tornado[0].rho[kInitiation]);
  // The diameter scatters too, so the cover explains the initiation time (which the diameter
  // does not enter) alone but the later times only in part.
  EXPECT_NEAR(*s.tornado[0].rho[kInitiation], 1.0, 1e-12);
  EXPECT_LT(*s.tornado[0].rho[kEnd], 1 - 1e-6);
  // A thicker bar cracks its cover at a smaller corrosion depth: earlier.
  EXPECT_LT(*s.tornado[1].rho[kCracking], -0.01);
  EXPECT_NEAR(*s.tornado[1].rho[kInitiation], 0.0, 4 / std::sqrt(3000.0));
  EXPECT_EQ(s.tornadoSamples, 3000u);
}

TEST(MonteCarlo, ModelUncertaintyScalesTheStagesAndKeepsTheirOrder) {
  Problem p = deterministic(1);
  p.scatter[5] = {0.2, Distribution::Normal};
  RunSettings settings;
  settings.samples = 20000;
  const Samples plain = run_samples(p, settings);
  p.modelUncertainty.cov = {0.2, 0.3, 0.0};
  ASSERT_FALSE(validate(p, settings));
  const Samples scaled = run_samples(p, settings);
  const Sampler sampler(p);
  double sum = 0;
  for (std::uint64_t i = 0; i < settings.samples; ++i) {
    const SampleResult &a = plain.results[i], &b = scaled.results[i];
    const double fi = sampler.modelFactor(settings.seed, i, kInitiation);
    const double fc = sampler.modelFactor(settings.seed, i, kCracking);
    EXPECT_EQ(sampler.modelFactor(settings.seed, i, kEnd), 1.0);
    ASSERT_EQ(b.ti, fi * a.ti);
    ASSERT_NEAR(b.tc - b.ti, fc * (a.tc - a.ti), 1e-9 * a.tc);
    ASSERT_NEAR(b.td - b.tc, a.td - a.tc, 1e-9 * a.td);
    sum += fi;
  }
  EXPECT_NEAR(sum / static_cast<double>(settings.samples), 1.0, 4 * 0.2 / std::sqrt(20000.0));
  p.modelUncertainty.cov[2] = -1;
  ASSERT_TRUE(validate(p, settings));
  EXPECT_EQ(validate(p, settings)->kind, ProblemError::Kind::ModelFactor);
}

TEST(MonteCarlo, StoppingRuleEndsARunThatIsTheFixedRunOfItsSize) {
  Problem p = with_defaults(sheet_module(1), example(1));
  RunSettings settings;
  settings.samples = 1000000;
  settings.stopCov = 0.05;
  settings.targetAge = 70;
  const Samples ruled = run_samples(p, settings);
  EXPECT_TRUE(ruled.stoppedByRule);
  const std::uint64_t n = ruled.results.size();
  EXPECT_LT(n, settings.samples);
  EXPECT_TRUE(stopping_rule_met(ruled, settings));
  // The round before did not meet it.
  Samples half = ruled;
  half.results.resize(n / 2);
  EXPECT_FALSE(stopping_rule_met(half, settings));
  RunSettings fixed = settings;
  fixed.stopCov = 0;
  fixed.samples = n;
  const Samples plain = run_samples(p, fixed);
  for (std::uint64_t i = 0; i < n; i += 17) ASSERT_EQ(plain.results[i].td, ruled.results[i].td);
  const Summary s = summarize(ruled, settings);
  ASSERT_TRUE(s.atTarget.cov[kEnd]);
  EXPECT_LT(*s.atTarget.cov[kEnd], 0.05);
}

TEST(MonteCarlo, CancelledRunSaysSo) {
  Problem p = with_defaults(sheet_module(1), example(1));
  RunSettings settings;
  settings.samples = 100000;
  RunControl control;
  control.cancel = true;
  const Samples samples = run_samples(p, settings, &control);
  EXPECT_TRUE(samples.cancelled);
  EXPECT_EQ(control.done.load(), 0u);

  // A larger job's flag (a structure assessment's) stops the run as its own does.
  const std::atomic<bool> outer{true};
  RunControl inner;
  inner.outerCancel = &outer;
  EXPECT_TRUE(run_samples(p, settings, &inner).cancelled);
  EXPECT_EQ(inner.done.load(), 0u);

  RunControl fresh;
  const std::atomic<bool> quiet{false};
  fresh.outerCancel = &quiet;
  settings.samples = 1000;
  EXPECT_FALSE(run_samples(p, settings, &fresh).cancelled);
  EXPECT_EQ(fresh.done.load(), 1000u);
}

TEST(ProblemCheck, BadInputIsRefusedWithAClearMessage) {
  using Kind = ProblemError::Kind;
  struct Case {
    const char* what;
    std::function<void(Problem&, RunSettings&)> spoil;
    Kind kind;
    int box;
    std::string message;  // empty: only the kind and box are checked
  };
  const auto& table = sheet_module(1).table();
  const std::vector<Case> cases = {
      {"negative CoV", [](Problem& p, RunSettings&) { p.scatter[5].cov = -0.1; }, Kind::NegativeCov,
       5, ""},
      {"CoV of an empty box",
       [](Problem& p, RunSettings&) {
         p.base.value[7] = 0;
         p.scatter[7].cov = 0.1;
       },
       Kind::EmptyBox, 7, ""},
      {"mean outside the range", [](Problem& p, RunSettings&) { p.base.value[5] = 95; },
       Kind::OutOfRange, 5, std::string(table.field(sheet::Control::Text5)->rangeMessage)},
      {"steel kind not chosen",
       [](Problem& p, RunSettings&) {
         p.base.steelKind = 0;
         p.base.steelText.clear();
       },
       Kind::SheetCheck, 0, std::string(sheet::kSteelKindNotEntered)},
      {"no samples", [](Problem&, RunSettings& s) { s.samples = 0; }, Kind::SampleCount, 0, ""},
      {"too many samples", [](Problem&, RunSettings& s) { s.samples = kMaxSamples + 1; },
       Kind::SampleCount, 0, ""},
      {"target not a number", [](Problem&, RunSettings& s) { s.targetBeta = std::nan(""); },
       Kind::TargetBeta, 0, ""},
      {"cracking target not a number",
       [](Problem&, RunSettings& s) { s.targetBetaCracking = INFINITY; }, Kind::TargetBeta, 0, ""},
      {"target age of 0", [](Problem&, RunSettings& s) { s.targetAge = 0; }, Kind::TargetAge, 0,
       ""},
      {"negative stopping CoV", [](Problem&, RunSettings& s) { s.stopCov = -0.1; }, Kind::StopCov,
       0, ""},
      {"negative deviation", [](Problem& p, RunSettings&) { p.scatter[5].sd = -1; },
       Kind::NegativeCov, 5, ""},
      {"Beta law of a mean above 1",
       [](Problem& p, RunSettings&) {
         p.scatter[5] = {0, Distribution::Beta, 1};
       },
       Kind::BadDistribution, 5, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Problem p = with_defaults(sheet_module(1), example(1));
    RunSettings settings;
    ASSERT_FALSE(validate(p, settings));
    c.spoil(p, settings);
    const auto error = validate(p, settings);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind, c.kind);
    EXPECT_EQ(error->box, c.box);
    EXPECT_FALSE(error->message.empty());
    EXPECT_FALSE(error->text.empty());
    if (!c.message.empty()) {
      EXPECT_EQ(error->message, c.message);
    }
  }
  // The largest count is allowed.
  Problem p = with_defaults(sheet_module(1), example(1));
  RunSettings settings;
  settings.samples = kMaxSamples;
  EXPECT_FALSE(validate(p, settings));
}

TEST(ProblemCheck, DefaultsScatterTheUsualQuantitiesThatHoldAValue) {
  const Problem p = with_defaults(sheet_module(2), example(2));
  EXPECT_EQ(p.scatter[5].cov, 0.2);                       // cover
  EXPECT_EQ(p.scatter[8].dist, Distribution::Lognormal);  // surface chloride
  EXPECT_EQ(p.scatter[6].cov, 0);                         // inspection age: as typed
  EXPECT_EQ(p.scatter[10].cov, 0);                        // depth: empty in the example
  const auto& table = sheet_module(2).table();
  EXPECT_EQ(find_box(table, "COVER"), table.field(sheet::Control::Text5));
  EXPECT_EQ(find_box(table, "text8"), table.field(sheet::Control::Text8));
  EXPECT_EQ(find_box(table, "steel"), nullptr);
  EXPECT_EQ(find_box(table, "Text15"), nullptr);
}

}  // namespace
}  // namespace pellucor::analysis::mc
