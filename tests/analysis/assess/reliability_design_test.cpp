// Design for a target reliability: the search against a brute-force scan of the index over the
// box's range on every sheet (the same seed and samples), the answer's Monte Carlo error against
// the spread of the answers of independent seeds, the delta method on a line whose slope is
// known, and the refusals.
#include "analysis/assess/reliability_design.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>

#include "assess_test_support.hpp"

namespace pellucor::analysis::assess {
namespace {

using namespace pellucor::modules::testing;
using assess::testing::entries_of;
using sheet::Control;

ReliabilityDesignRequest request_for(int sheetNumber, sheet::SheetInputs (*example)(),
                                     const char* box, LimitState state, double targetLife,
                                     double targetBeta, std::uint64_t samples) {
  ReliabilityDesignRequest r;
  r.module = &sheet_module(sheetNumber);
  r.member = entries_of(r.module->table(), example());
  r.box = box;
  r.limitState = state;
  r.targetLife = targetLife;
  r.targetBeta = targetBeta;
  r.samples = samples;
  r.seed = 7;
  return r;
}

// A fine scan of the index with the request's own seed and samples finds where it crosses
// the target; the search must land within one step of it, with the index there meeting the
// target.
TEST(ReliabilityDesign, AgreesWithABruteForceScanOfTheIndexOnEverySheet) {
  struct Case {
    int sheet;
    sheet::SheetInputs (*example)();
    const char* box;
    LimitState state;
    double targetLife;
  };
  const Case cases[] = {
      {1, carbonation_example, "cover", LimitState::Cracking, 60},
      {2, chloride_constant_example, "cover", LimitState::EndOfLife, 30},
      {3, chloride_variable_example, "cover", LimitState::Initiation, 30},
      {4, marine_example, "cover", LimitState::EndOfLife, 30},
      {5, admixed_example, "cover", LimitState::EndOfLife, 30},
      {2, chloride_constant_example, "diffusion", LimitState::Cracking, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.sheet) + " " + c.box);
    ReliabilityDesignRequest r =
        request_for(c.sheet, c.example, c.box, c.state, c.targetLife, 0, 400);
    const auto response = BetaResponse::make(r);
    ASSERT_TRUE(response.ok()) << response.refusal().message;
    const sheet::FieldRow& row = response->box();
    const int steps = 80;
    const double h = (row.hi - row.lo) / steps;
    std::vector<BetaEvaluation> scan;
    for (int k = 0; k <= steps; ++k) scan.push_back(response->evaluate(row.lo + h * k));
    // A target between the exact indices at the ends of the range.
    const BetaEvaluation* first = nullptr;
    const BetaEvaluation* last = nullptr;
    for (const auto& b : scan) {
      if (b.index.kind != mc::IndexValue::Kind::Exact) continue;
      if (!first) first = &b;
      last = &b;
    }
    ASSERT_TRUE(first && last);
    const bool up = last->index.value > first->index.value;
    r.targetBeta = (first->index.value + last->index.value) / 2;
    ASSERT_GT(std::fabs(last->index.value - first->index.value), 0.5) << "hardly depends on it";

    const auto d = design_for_target_beta(r);
    ASSERT_TRUE(d.ok()) << d.refusal().message;
    const SolveResult& s = d->design.solve;
    ASSERT_EQ(s.status, SolveStatus::Solved) << d->design.summaryEnglish;
    EXPECT_EQ(s.direction, up ? Direction::Increasing : Direction::Decreasing);
    double scanAnswer = NAN;
    if (up) {
      for (const auto& b : scan) {
        if (*b.evaluation.result < r.targetBeta) scanAnswer = b.evaluation.value + h;
      }
    } else {
      for (auto it = scan.rbegin(); it != scan.rend(); ++it) {
        if (*it->evaluation.result < r.targetBeta) scanAnswer = it->evaluation.value - h;
      }
    }
    EXPECT_NEAR(*s.answer, scanAnswer, h * 1.0001) << d->design.summaryEnglish;
    // The index at the answer is the one a run at the answer gives, and meets the target.
    const BetaEvaluation again = response->evaluate(*s.answer);
    EXPECT_EQ(*again.evaluation.result, *s.resultAtAnswer);
    EXPECT_GE(*s.resultAtAnswer, r.targetBeta);
    // The bisection stopped where its bracket held a single sample's change: the nearest value
    // tried on the short side of the answer fails with one sample more (or one fewer), or lies
    // within a millionth of the range.
    const Evaluation* out = nullptr;
    for (const auto& e : s.evaluations) {
      if (!e.result || *e.result >= r.targetBeta) continue;
      if (!out || std::fabs(e.value - *s.answer) < std::fabs(out->value - *s.answer)) out = &e;
    }
    ASSERT_TRUE(out);
    const std::uint64_t fOut = response->evaluate(out->value).failures;
    const std::uint64_t fIn = again.failures;
    EXPECT_TRUE((fOut > fIn ? fOut - fIn : fIn - fOut) <= 1 ||
                std::fabs(out->value - *s.answer) <= 1e-6 * (row.hi - row.lo))
        << fOut << " and " << fIn << " failures across " << out->value << " to " << *s.answer;
    ASSERT_TRUE(d->reliability.error);
    EXPECT_TRUE(d->reliability.error->answerSe) << d->reliability.error->whyEnglish;
    // The chart: the index against the value, the target and the answer marked.
    const curves::Chart& chart = d->design.chart;
    ASSERT_EQ(chart.guides.size(), 2U);
    EXPECT_EQ(chart.guides[0].value, r.targetBeta);
    // The answer as written (five digits) meets the target on its own run.
    ASSERT_TRUE(d->design.written);
    EXPECT_EQ(chart.guides[1].value, *d->design.written);
    EXPECT_GE(*response->evaluate(*d->design.written).evaluation.result, r.targetBeta);
  }
}

// The standard error the search reports is the spread of the answers that independent seeds
// give: over sixteen seeds the standard deviation of the answers and the mean of the reported
// errors agree within the sampling error of a standard deviation of sixteen.
TEST(ReliabilityDesign, ReportedErrorIsTheSpreadOfAnswersOverSeeds) {
  ReliabilityDesignRequest r =
      request_for(2, chloride_constant_example, "cover", LimitState::EndOfLife, 30, 0.5, 1000);
  std::vector<double> answers;
  double reported = 0;
  for (std::uint64_t seed = 1; seed <= 16; ++seed) {
    r.seed = seed;
    const auto d = design_for_target_beta(r);
    ASSERT_TRUE(d.ok());
    ASSERT_EQ(d->design.solve.status, SolveStatus::Solved);
    ASSERT_TRUE(d->reliability.error && d->reliability.error->answerSe);
    answers.push_back(*d->design.solve.answer);
    reported += *d->reliability.error->answerSe / 16;
  }
  const double mean = std::accumulate(answers.begin(), answers.end(), 0.0) / 16;
  double ss = 0;
  for (double a : answers) ss += (a - mean) * (a - mean);
  const double sd = std::sqrt(ss / 15);
  EXPECT_GT(sd, reported * 0.5);
  EXPECT_LT(sd, reported * 2.0);
  // The answers differ from seed to seed: the error is not a figure of speech.
  EXPECT_GT(sd, 0);
}

// On evaluations of a known straight line the slope is the line's, and the error is the
// index's binomial standard error over it; where the answer lies at the end of the range the
// slope is taken on its one side.
TEST(ReliabilityDesign, DeltaMethodOnALineAndACurveOfKnownSlope) {
  std::vector<Evaluation> line;
  for (int k = 0; k <= 16; ++k) {
    const double x = k * 5.0;
    line.push_back({x, 0.2 + 0.04 * x, {}, {}});
  }
  const double p = 0.2;
  const std::uint64_t n = 1000;
  const double beta = 0.8416212335729143;  // -Phi^-1(0.2)
  const double seBeta = std::sqrt(p * (1 - p) / 1000) /
                        (std::exp(-beta * beta / 2) / std::sqrt(2 * std::numbers::pi));
  for (double answer : {15.5, 0.0, 80.0}) {
    SCOPED_TRACE(answer);
    const MonteCarloError e = answer_error(line, answer, 5.0, p, n, beta);
    ASSERT_TRUE(e.slope);
    EXPECT_NEAR(*e.slope, 0.04, 1e-12);
    EXPECT_NEAR(e.betaSe, seBeta, 1e-12);
    ASSERT_TRUE(e.answerSe);
    EXPECT_NEAR(*e.answerSe, seBeta / 0.04, 1e-9);
  }
  // On a curve the window matters: the slope is taken between the nearest evaluations at
  // least half a span to each side of the answer (an evaluation on the window's edge counts),
  // and at an end of the range between the answer's own evaluation and the nearest beyond.
  // β = x³ / 10⁴ on x = 0, 5, ..., 80: no two windows share a secant (as on a parabola,
  // whose secants about one centre are all alike).
  const auto cube = [](double x) { return x * x * x / 1e4; };
  std::vector<Evaluation> curve;
  for (int k = 0; k <= 16; ++k) curve.push_back({k * 5.0, cube(k * 5.0), {}, {}});
  struct Window {
    double answer, span, left, right;  // the evaluations the slope is taken between
  };
  const Window windows[] = {
      {15.5, 5.0, 10, 20},   // 13 and 18 fall between evaluations
      {12.5, 5.0, 10, 15},   // 10 and 15 lie on the window's edges
      {15.5, 10.0, 10, 25},  // a wider window
      {0.0, 5.0, 0, 5},      // at the lower end: 0 itself and 5
      {80.0, 5.0, 75, 80},   // at the upper end: 75 and 80 itself
  };
  for (const auto& w : windows) {
    SCOPED_TRACE(w.answer * 100 + w.span);
    const MonteCarloError e = answer_error(curve, w.answer, w.span, p, n, beta);
    ASSERT_TRUE(e.slope) << e.whyEnglish;
    EXPECT_NEAR(*e.slope, (cube(w.right) - cube(w.left)) / (w.right - w.left), 1e-12);
  }
  // No failure at the answer: no error can be told, and the reason is given.
  const MonteCarloError none = answer_error(line, 15.5, 5.0, 0, n, 3);
  EXPECT_FALSE(none.answerSe);
  EXPECT_FALSE(none.why.empty());
  // A flat index: no slope to divide by.
  std::vector<Evaluation> flat;
  for (int k = 0; k <= 4; ++k) flat.push_back({k * 5.0, 1.0, {}, {}});
  const MonteCarloError level = answer_error(flat, 10, 5.0, p, n, beta);
  EXPECT_FALSE(level.answerSe);
  EXPECT_FALSE(level.whyEnglish.empty());
}

TEST(ReliabilityDesign, RefusesWhatItCannotRun) {
  struct Case {
    const char* what;
    void (*change)(ReliabilityDesignRequest&);
    DesignRefusal expected;
  };
  const Case cases[] = {
      {"no such box", [](ReliabilityDesignRequest& r) { r.box = "colour"; },
       DesignRefusal::UnknownBox},
      {"the iteration's start", [](ReliabilityDesignRequest& r) { r.box = "cracking-time"; },
       DesignRefusal::NotADesignValue},
      {"target beta not a number", [](ReliabilityDesignRequest& r) { r.targetBeta = NAN; },
       DesignRefusal::BadTarget},
      {"no samples", [](ReliabilityDesignRequest& r) { r.samples = 0; }, DesignRefusal::BadScatter},
      {"a negative CoV of another box",
       [](ReliabilityDesignRequest& r) { r.scatter.boxes[8].cov = -0.1; },
       DesignRefusal::BadScatter},
      {"a text the sheet refuses while typing",
       [](ReliabilityDesignRequest& r) {
         r.member.push_back({Control::Text4, "500"});
       },
       DesignRefusal::NoResult},
      // The example gives D; a measured depth and content typed first would be either-or on
      // other sheets: here the diffusion coefficient disables the derivation boxes.
      {"a box the member disables", [](ReliabilityDesignRequest& r) { r.box = "water-cement"; },
       DesignRefusal::DisabledBox},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ReliabilityDesignRequest r =
        request_for(2, chloride_constant_example, "cover", LimitState::EndOfLife, 30, 0.5, 200);
    c.change(r);
    const auto d = design_for_target_beta(r);
    ASSERT_FALSE(d.ok());
    EXPECT_EQ(d.refusal().kind, c.expected);
    EXPECT_FALSE(d.refusal().text.empty());
    EXPECT_FALSE(d.refusal().message.empty());
  }
  // A cancelled search gives no answer.
  ReliabilityDesignRequest r =
      request_for(2, chloride_constant_example, "cover", LimitState::EndOfLife, 30, 0.5, 200);
  mc::RunControl control;
  control.cancel = true;
  r.control = &control;
  const auto cancelled = design_for_target_beta(r);
  ASSERT_FALSE(cancelled.ok());
  EXPECT_EQ(cancelled.refusal().kind, DesignRefusal::Cancelled);
}

}  // namespace
}  // namespace pellucor::analysis::assess
