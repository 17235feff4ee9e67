// Design for a target life: the solver against a brute-force scan of each box's range on every
// sheet, its answers when the range cannot or always meets the target, its refusals, and the
// search itself on functions whose answer is known.
#include "analysis/assess/design.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "assess_test_support.hpp"

namespace pellucor::analysis::assess {
namespace {

using namespace pellucor::modules::testing;
using sheet::Control;

using testing::entries_of;

struct Example {
  int sheet;
  sheet::SheetInputs (*inputs)();
  std::vector<const char*> boxes;  // inputs to design for
};
const Example kExamples[] = {
    {1, carbonation_example, {"cover", "strength", "co2"}},
    {2, chloride_constant_example, {"cover", "diffusion", "surface", "critical"}},
    {3, chloride_variable_example, {"cover", "exponent", "strength"}},
    {4, marine_example, {"cover", "diffusion", "accumulation"}},
    {5, admixed_example, {"cover", "chloride"}},
};

// Scans the box's range at a fine step and compares the solver's answer with it: the answer
// lies within one step of the scan's own answer, and the life at the answer meets the target.
TEST(Design, AgreesWithABruteForceScanOfTheRangeOnEverySheet) {
  int solved = 0;
  for (const auto& ex : kExamples) {
    const sheet::Module& m = sheet_module(ex.sheet);
    const auto member = entries_of(m.table(), ex.inputs());
    for (const char* name : ex.boxes) {
      for (LimitState state : kAllLimitStates) {
        if (ex.sheet == 5 && state == LimitState::Initiation) continue;
        SCOPED_TRACE(std::to_string(ex.sheet) + " " + name + " " +
                     std::string(limit_state_key(state)));
        const Control box = batch::control_by_name(m.table(), name);
        const sheet::FieldRow& row = *m.table().field(box);
        const int steps = 400;
        const double h = (row.hi - row.lo) / steps;
        std::vector<Evaluation> scan;
        for (int k = 0; k <= steps; ++k) {
          scan.push_back(evaluate_life(m, member, box, state, row.lo + h * k));
        }
        // A target between the lives at the two ends of the range.
        const Evaluation* first = nullptr;
        const Evaluation* last = nullptr;
        for (const auto& e : scan) {
          if (!e.result) continue;
          if (!first) first = &e;
          last = &e;
        }
        ASSERT_TRUE(first && last);
        if (std::fabs(*last->result - *first->result) < 1.0) continue;  // hardly depends on it
        const double target = (*first->result + *last->result) / 2;
        const bool up = *last->result > *first->result;

        DesignRequest req{&m, member, name, state, target};
        const auto d = design_for_target_life(req);
        ASSERT_TRUE(d.ok()) << d.refusal().message;
        // The scan's own verdict on monotonicity.
        bool turns = false;
        const Evaluation* prev = nullptr;
        for (const auto& e : scan) {
          if (!e.result) continue;
          if (prev && (up ? *e.result < *prev->result - 0.02 : *e.result > *prev->result + 0.02)) {
            turns = true;
          }
          prev = &e;
        }
        if (d->solve.status == SolveStatus::NotMonotone) {
          EXPECT_TRUE(turns) << "the solver saw a turn the fine scan does not show";
          continue;
        }
        ASSERT_EQ(d->solve.status, SolveStatus::Solved) << d->summaryEnglish;
        EXPECT_EQ(d->solve.direction, up ? Direction::Increasing : Direction::Decreasing);
        // The scan's answer: beyond the last value that falls short (increasing), or before
        // the first one (decreasing).
        double scanAnswer = NAN;
        if (up) {
          for (const auto& e : scan) {
            if (e.result && *e.result < target) scanAnswer = e.value + h;
          }
        } else {
          for (auto it = scan.rbegin(); it != scan.rend(); ++it) {
            if (it->result && *it->result < target) scanAnswer = it->value - h;
          }
        }
        EXPECT_NEAR(*d->solve.answer, scanAnswer, h * 1.0001) << d->summaryEnglish;
        EXPECT_GE(*d->solve.resultAtAnswer, target);
        const Evaluation again = evaluate_life(m, member, box, state, *d->solve.answer);
        ASSERT_TRUE(again.result);
        EXPECT_GE(*again.result, target);
        ++solved;
      }
    }
  }
  // Most combinations have an answer; a change that dropped them all would show here.
  EXPECT_GE(solved, 35);
}

// Where the result turns, a dip below the target (or a peak above it) may lie between two
// scan points. On a non-monotone case of every sheet the target is set just inside the turn a
// fine scan sees: the search must neither claim that every value meets the target nor that none
// does, and every place where the fine scan crosses the target has a crossing of the search
// beside it (the answer, where there is only one).
TEST(Design, FindsTheTurnsAFineScanSeesOnEverySheet) {
  struct Case {
    int sheet;
    sheet::SheetInputs (*inputs)();
    const char* box;
    LimitState state;
    bool dip;  // a dip below the target (or a peak above it)
    // Whether the search must find every crossing of the fine scan: not where the result is a
    // sawtooth whose teeth are narrower than the search's scan steps (there it must still see
    // that the result turns).
    bool everyCrossing;
  };
  const Case cases[] = {
      {1, carbonation_example, "humidity", LimitState::EndOfLife, true, true},
      {1, carbonation_example, "humidity", LimitState::Initiation, true, true},
      {1, carbonation_example, "carbonation-depth", LimitState::Cracking, false, true},
      {1, carbonation_example, "diameter", LimitState::EndOfLife, false, true},
      {2, chloride_constant_example, "diameter", LimitState::EndOfLife, false, true},
      {3, chloride_variable_example, "diameter", LimitState::EndOfLife, false, true},
      {4, marine_example, "diameter", LimitState::EndOfLife, false, true},
      {4, marine_example, "stable-time", LimitState::EndOfLife, true, false},
      {5, admixed_example, "diameter", LimitState::EndOfLife, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.sheet) + " " + c.box + " " +
                 std::string(limit_state_key(c.state)));
    const sheet::Module& m = sheet_module(c.sheet);
    const auto member = entries_of(m.table(), c.inputs());
    const Control box = batch::control_by_name(m.table(), c.box);
    const sheet::FieldRow& row = *m.table().field(box);
    const int steps = 400;
    const double h = (row.hi - row.lo) / steps;
    std::vector<Evaluation> scan;
    for (int k = 0; k <= steps; ++k) {
      const Evaluation e = evaluate_life(m, member, box, c.state, row.lo + h * k);
      if (e.result) scan.push_back(e);
    }
    ASSERT_GT(scan.size(), 2U);
    // The deepest interior dip (or highest interior peak) of the fine scan, and a target a
    // tenth of its depth inside it.
    double depth = 0;
    double target = NAN;
    for (std::size_t k = 1; k + 1 < scan.size(); ++k) {
      const double r = *scan[k].result;
      const double side = c.dip ? std::min(*scan[k - 1].result, *scan[k + 1].result) - r
                                : r - std::max(*scan[k - 1].result, *scan[k + 1].result);
      if (side > depth) {
        depth = side;
        target = c.dip ? r + 0.1 * side : r - 0.1 * side;
      }
    }
    ASSERT_GT(depth, 0.0) << "the case does not turn";
    const auto d = design_for_target_life({&m, member, c.box, c.state, target});
    ASSERT_TRUE(d.ok()) << d.refusal().message;
    const SolveResult& s = d->solve;
    EXPECT_NE(s.status, SolveStatus::WholeRangeMeets) << d->summaryEnglish;
    EXPECT_NE(s.status, SolveStatus::NoneMeets) << d->summaryEnglish;
    EXPECT_FALSE(s.monotone);
    std::vector<double> found = s.crossings;
    if (s.answer) found.push_back(*s.answer);
    for (std::size_t k = 1; c.everyCrossing && k < scan.size(); ++k) {
      const bool a = *scan[k - 1].result >= target;
      if (a == (*scan[k].result >= target)) continue;
      const double x0 = scan[k - 1].value, x1 = scan[k].value;
      const bool near = std::any_of(found.begin(), found.end(), [&](double x) {
        return x >= x0 - 1e-6 * (row.hi - row.lo) && x <= x1 + 1e-6 * (row.hi - row.lo);
      });
      EXPECT_TRUE(near) << "the fine scan crosses " << target << " between " << x0 << " and " << x1
                        << "; the search: " << d->summaryEnglish;
    }
    if (s.status == SolveStatus::Solved) {
      EXPECT_GE(*s.resultAtAnswer, target);
    }
  }
}

// The case that once claimed every humidity: the end of the durable life dips to 92.1 a near
// a humidity of 0.8, between two scan points that both reach 92.7 a. The search finds the
// dip, gives no single answer, and says where the target is met. With a target every value
// meets, it names the range that was computed (no results below 0.45) and calls the least
// favourable value a value, not an end.
TEST(Design, NamesTheRangeItComputedAndATurnItFound) {
  const sheet::Module& m = sheet_module(1);
  const auto member = entries_of(m.table(), carbonation_example());
  const Evaluation dip = evaluate_life(m, member, Control::Text3, LimitState::EndOfLife, 0.8);
  ASSERT_TRUE(dip.result);
  EXPECT_LT(*dip.result, 92.7);
  const auto d = design_for_target_life({&m, member, "humidity", LimitState::EndOfLife, 92.7});
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d->solve.status, SolveStatus::NotMonotone) << d->summaryEnglish;
  EXPECT_EQ(d->summary.find("整个范围"), std::string::npos) << d->summary;
  ASSERT_GE(d->solve.crossings.size(), 2U);
  EXPECT_NEAR(d->solve.crossings[0], 0.7757, 1e-3);
  EXPECT_NEAR(d->solve.crossings[1], 0.8075, 1e-3);

  const auto easy = design_for_target_life({&m, member, "humidity", LimitState::EndOfLife, 50});
  ASSERT_TRUE(easy.ok());
  ASSERT_EQ(easy->solve.status, SolveStatus::WholeRangeMeets);
  EXPECT_GT(easy->solve.computedLo, 0.45);
  EXPECT_LT(easy->solve.computedLo, 0.4501);
  EXPECT_NE(easy->summary.find("在表格给出结果的范围 0.45001--"), std::string::npos)
      << easy->summary;
  EXPECT_NE(easy->summary.find("最不利值 "), std::string::npos) << easy->summary;
  EXPECT_NE(easy->summaryEnglish.find("the least favourable value"), std::string::npos);
  // The least favourable value is the least result of all the values tried.
  for (const auto& e : easy->solve.evaluations) {
    if (e.result && e.value >= easy->solve.computedLo) {
      EXPECT_GE(*e.result, *easy->solve.resultAtAnswer);
    }
  }
}

TEST(Design, SaysWhichEndComesClosestWhenNoValueMeetsTheTarget) {
  const sheet::Module& m = sheet_module(2);
  const auto member = entries_of(m.table(), chloride_constant_example());
  const auto d = design_for_target_life({&m, member, "cover", LimitState::EndOfLife, 5000});
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d->solve.status, SolveStatus::NoneMeets);
  EXPECT_FALSE(d->solve.answer);
  ASSERT_TRUE(d->solve.closestEnd);
  EXPECT_EQ(*d->solve.closestEnd, 90.0);  // more cover, longer life
  const Evaluation end = evaluate_life(m, member, Control::Text5, LimitState::EndOfLife, 90.0);
  EXPECT_DOUBLE_EQ(d->solve.shortfall, 5000 - *end.result);
  EXPECT_NE(d->summary.find("最接近的是 90 端"), std::string::npos) << d->summary;

  // A target every cover meets: the thinnest cover is the answer.
  const auto easy = design_for_target_life({&m, member, "cover", LimitState::Initiation, 0.01});
  ASSERT_TRUE(easy.ok());
  EXPECT_EQ(easy->solve.status, SolveStatus::WholeRangeMeets);
  EXPECT_EQ(*easy->solve.answer, 3.0);
}

TEST(Design, ChartShowsLifeAgainstTheValueWithTargetAndAnswer) {
  const sheet::Module& m = sheet_module(1);
  const auto member = entries_of(m.table(), carbonation_example());
  const auto d = design_for_target_life({&m, member, "cover", LimitState::Cracking, 60});
  ASSERT_TRUE(d.ok());
  ASSERT_EQ(d->solve.status, SolveStatus::Solved);
  ASSERT_EQ(d->chart.series.size(), 1U);
  const auto& pts = d->chart.series[0].points;
  EXPECT_TRUE(std::is_sorted(pts.begin(), pts.end(),
                             [](const auto& a, const auto& b) { return a.x < b.x; }));
  EXPECT_EQ(pts.front().x, 3.0);
  EXPECT_EQ(pts.back().x, 90.0);
  ASSERT_EQ(d->chart.guides.size(), 2U);
  EXPECT_EQ(d->chart.guides[0].value, 60.0);
  // The answer as written: within the bisection's width of the one found, on the side that
  // meets the target.
  ASSERT_TRUE(d->written);
  EXPECT_EQ(d->chart.guides[1].value, *d->written);
  EXPECT_GE(*d->written, *d->solve.answer);
  EXPECT_NEAR(*d->written, *d->solve.answer, 1e-3 * *d->solve.answer);
  EXPECT_GE(*d->resultAtWritten, 60);
}

TEST(Design, RefusesWhatItCannotSolve) {
  struct Case {
    const char* what;
    int sheet;
    sheet::SheetInputs (*inputs)();
    const char* box;
    LimitState state;
    double target;
    DesignRefusal expected;
  };
  const Case cases[] = {
      {"no such box", 2, chloride_constant_example, "colour", LimitState::EndOfLife, 50,
       DesignRefusal::UnknownBox},
      {"the steel list", 2, chloride_constant_example, "steel", LimitState::EndOfLife, 50,
       DesignRefusal::UnknownBox},
      {"the iteration's start", 2, chloride_constant_example, "cracking-time",
       LimitState::EndOfLife, 50, DesignRefusal::NotADesignValue},
      {"a search's start", 4, marine_example, "initiation-time", LimitState::Initiation, 50,
       DesignRefusal::NotADesignValue},
      {"no initiation stage", 5, admixed_example, "cover", LimitState::Initiation, 50,
       DesignRefusal::NoInitiationStage},
      {"target of 0", 1, carbonation_example, "cover", LimitState::EndOfLife, 0,
       DesignRefusal::BadTarget},
      // The example gives the CO2 coefficient; a measured depth typed as well disables it.
      {"either-or", 1,
       [] {
         auto in = carbonation_example();
         in.value[7] = 12;
         return in;
       },
       "co2", LimitState::EndOfLife, 50, DesignRefusal::DisabledBox},
      // A member without its critical concentration: every value meets the sheet's message.
      {"member the sheet refuses", 2,
       [] {
         auto in = chloride_constant_example();
         in.value[9] = 0;
         return in;
       },
       "cover", LimitState::EndOfLife, 50, DesignRefusal::NoResult},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const sheet::Module& m = sheet_module(c.sheet);
    const auto d =
        design_for_target_life({&m, entries_of(m.table(), c.inputs()), c.box, c.state, c.target});
    ASSERT_FALSE(d.ok());
    EXPECT_EQ(d.refusal().kind, c.expected);
    EXPECT_FALSE(d.refusal().text.empty());
    EXPECT_FALSE(d.refusal().message.empty());
  }
  // The sheet's own message reaches the user.
  const sheet::Module& m = sheet_module(2);
  auto in = chloride_constant_example();
  in.value[9] = 0;
  const auto d =
      design_for_target_life({&m, entries_of(m.table(), in), "cover", LimitState::EndOfLife, 50});
  EXPECT_NE(d.refusal().text.find("您未输入氯离子临界浓度"), std::string::npos) << d.refusal().text;
}

// ---- The search on functions whose answer is known ------------------------------------------

Response of(double (*f)(double)) {
  return [f](double v) {
    Evaluation e;
    e.result = f(v);
    return e;
  };
}

TEST(Solver, FindsTheExactValueWhereAKnownFunctionMeetsTheTarget) {
  SolveSettings s{.lo = 0, .hi = 10, .target = 40};
  // Increasing: the least value that meets the target, sqrt(40) for v².
  const auto up = solve_for_target(of([](double v) { return v * v; }), s);
  ASSERT_TRUE(up.ok());
  EXPECT_EQ(up->status, SolveStatus::Solved);
  EXPECT_NEAR(*up->answer, std::sqrt(40.0), 1e-5);
  EXPECT_GE(*up->resultAtAnswer, 40);
  // Decreasing: the greatest value that meets it.
  const auto down = solve_for_target(of([](double v) { return 100 - v * v; }), s);
  ASSERT_TRUE(down.ok());
  EXPECT_EQ(down->direction, Direction::Decreasing);
  EXPECT_NEAR(*down->answer, std::sqrt(60.0), 1e-5);
  EXPECT_GE(*down->resultAtAnswer, 40);
}

// The answer as written: five significant digits, rounded towards the values that meet the
// target (up where the result rises with the value, down where it falls), and evaluated there;
// where the rounded value does not meet the target, the answer itself.
TEST(Solver, WrittenAnswerIsRoundedToTheSideThatMeetsTheTarget) {
  struct Case {
    double (*f)(double);
    double target;
    double written;
  };
  const Case cases[] = {
      // sqrt(40) = 6.32455532...: rising, rounded up.
      {[](double v) { return v * v; }, 40, 6.3246},
      // sqrt(60) = 7.74596669...: falling, rounded down.
      {[](double v) { return 100 - v * v; }, 40, 7.7459},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    const Response f = of(c.f);
    const auto r = solve_for_target(f, {.lo = 0, .hi = 10, .target = c.target});
    ASSERT_TRUE(r.ok());
    const auto [w, at] = written_answer(f, *r, 0, 10, c.target);
    EXPECT_EQ(w, c.written);
    ASSERT_TRUE(at);
    EXPECT_GE(*at, c.target);
    EXPECT_EQ(*at, c.f(c.written));
  }
  // A rounded value that falls short (a notch just above the answer): the answer itself is
  // written, with its own result.
  SolveResult found;
  found.direction = Direction::Increasing;
  found.answer = 6.3245554;
  found.resultAtAnswer = 40.0;
  const Response notch = [](double v) {
    Evaluation e;
    e.result = v > 6.3245555 && v <= 6.3246 ? 39.0 : v * v;
    return e;
  };
  const auto [w, at] = written_answer(notch, found, 0, 10, 40);
  EXPECT_EQ(w, 6.3245554);
  EXPECT_EQ(at, 40.0);
}

TEST(Solver, ReportsATurningFunctionWithEveryCrossing) {
  SolveSettings s{.lo = 0, .hi = 10, .target = 16};
  const auto r = solve_for_target(of([](double v) { return 25 - (v - 5) * (v - 5); }), s);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->status, SolveStatus::NotMonotone);
  EXPECT_FALSE(r->monotone);
  EXPECT_FALSE(r->answer);
  ASSERT_EQ(r->crossings.size(), 2U);
  EXPECT_NEAR(r->crossings[0], 2.0, 1e-5);
  EXPECT_NEAR(r->crossings[1], 8.0, 1e-5);
  EXPECT_FALSE(r->notes.empty());
  // A turn between two scan points that only the bisection sees is reported as well.
  SolveSettings narrow{.lo = 0, .hi = 16, .target = 8.5, .scanIntervals = 2};
  const auto hidden =
      solve_for_target(of([](double v) { return v < 10 ? v : (v < 12 ? 30 - v : v); }), narrow);
  ASSERT_TRUE(hidden.ok());
  EXPECT_FALSE(hidden->monotone);
}

TEST(Solver, CountsValuesWithoutAResultAndStillSolves) {
  const Response f = [](double v) {
    Evaluation e;
    if (v < 2) {
      e.failure = "失败";
      e.failureEnglish = "failed";
    } else {
      e.result = 3 * v;
    }
    return e;
  };
  const auto r = solve_for_target(f, {.lo = 0, .hi = 10, .target = 15});
  ASSERT_TRUE(r.ok());
  EXPECT_NEAR(*r->answer, 5.0, 1e-5);
  // 0, 0.625, 1.25 and 1.875 of the scan, then the values tried in finding where results start.
  EXPECT_GT(r->failures, 4);
  ASSERT_EQ(r->notes.size(), 2U);
  EXPECT_NE(r->notes[0].en.find("4 scanned values gave no result"), std::string::npos);
  EXPECT_EQ(r->notes[1].en, "the sheet gives results from 2.0001--10 only");
  // A target only the values between the failing start and the first scanned result reach.
  const auto early = solve_for_target(
      [](double v) {
        Evaluation e;
        if (v >= 1) e.result = 100 / v;
        return e;
      },
      {.lo = 0, .hi = 10, .target = 90});
  ASSERT_TRUE(early.ok());
  EXPECT_EQ(early->status, SolveStatus::Solved);
  EXPECT_NEAR(*early->answer, 100.0 / 90, 1e-5);
  const Response never = [](double) { return Evaluation{0, std::nullopt, "不行", "no"}; };
  const auto none = solve_for_target(never, {.lo = 0, .hi = 10, .target = 15});
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.refusal().kind, DesignRefusal::NoResult);
  EXPECT_FALSE(solve_for_target(never, {.lo = 3, .hi = 3, .target = 1}).ok());
}

}  // namespace
}  // namespace pellucor::analysis::assess
