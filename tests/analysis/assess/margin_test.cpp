// Margins and grades, worked by hand at the edges of the thresholds.
#include "analysis/assess/margin.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string_view>

#include "../../modules/module_test_support.hpp"
#include "analysis/batch/case_runner.hpp"
#include "modules/registry.hpp"

namespace pellucor::analysis::assess {
namespace {

Timeline times(double ti, double tc, double td, double inspection = 20) {
  Timeline t;
  t.ti = ti;
  t.prop.tc = tc;
  t.prop.td = td;
  t.t = inspection;
  return t;
}

Settings only(LimitState s, double t0 = 20, double target = 50, double gamma = 1) {
  Settings st;
  st.assessmentAge = t0;
  st.targetLife = target;
  st.gamma = gamma;
  st.limitStates = {s};
  return st;
}

// t0 = 20 a and T = 50 a leave 30 a of target life; with γ = 1.5, 45 a.
TEST(Margin, GradesAtTheEdgesOfTheThresholds) {
  struct Case {
    double tlim;
    double gamma;
    std::optional<double> margin;  // none: passed
    Grade grade;
  };
  const Case cases[] = {
      {74.0, 1.0, 54.0 / 30, Grade::A},     // ξ = 1.8 exactly: a
      {73.99, 1.0, 53.99 / 30, Grade::B},   // just below 1.8: b
      {50.0, 1.0, 1.0, Grade::B},           // ξ = 1 exactly: b
      {49.99, 1.0, 29.99 / 30, Grade::C},   // just below 1: c
      {20.01, 1.0, 0.01 / 30, Grade::C},    // just after t0: a small margin, not passed
      {20.0, 1.0, std::nullopt, Grade::C},  // reached exactly at t0: passed
      {12.0, 1.0, std::nullopt, Grade::C},  // reached before t0: passed
      {101.0, 1.5, 81.0 / 45, Grade::A},    // γ = 1.5: ξ = 81 / 45 = 1.8
      {100.9, 1.5, 80.9 / 45, Grade::B},   {65.0, 1.5, 1.0, Grade::B},
      {64.9, 1.5, 44.9 / 45, Grade::C},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tlim * 100 + c.gamma);
    const auto a =
        assess_member(times(1, c.tlim, 200), only(LimitState::Cracking, 20, 50, c.gamma));
    ASSERT_TRUE(a.ok()) << a.refusal().message;
    ASSERT_EQ(a->states.size(), 1U);
    const LimitStateMargin& m = a->states[0];
    EXPECT_EQ(m.passed(), !c.margin.has_value());
    if (c.margin) {
      ASSERT_TRUE(m.margin);
      EXPECT_NEAR(*m.margin, *c.margin, 1e-12);
    }
    EXPECT_NEAR(m.remaining, c.tlim - 20, 1e-12);
    EXPECT_EQ(m.grade, c.grade);
    EXPECT_EQ(a->grade, c.grade);
  }
}

TEST(Margin, TheWorstLimitStateGoverns) {
  struct Case {
    Timeline tl;
    std::vector<LimitState> states;
    LimitState governing;
    Grade grade;
  };
  using L = LimitState;
  const Case cases[] = {
      // Initiation passed at 10 a governs over the margins of cracking and the end.
      {times(10, 30, 45), {L::Initiation, L::Cracking, L::EndOfLife}, L::Initiation, Grade::C},
      // Without initiation: cracking (ξ = 1/3) is worse than the end (ξ = 25/30).
      {times(10, 30, 45), {L::Cracking, L::EndOfLife}, L::Cracking, Grade::C},
      // The durable life may end before the cover cracks.
      {times(25, 90, 80), {L::Cracking, L::EndOfLife}, L::EndOfLife, Grade::A},
      // Two passed: the one reached first governs.
      {times(5, 15, 45), {L::Initiation, L::Cracking, L::EndOfLife}, L::Initiation, Grade::C},
      {times(15, 5, 45), {L::Initiation, L::Cracking}, L::Cracking, Grade::C},
      // Equal margins: the first in the order chosen.
      {times(10, 60, 60), {L::EndOfLife, L::Cracking}, L::EndOfLife, Grade::B},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    Settings s = only(L::Initiation);
    s.limitStates = cases[i].states;
    const auto a = assess_member(cases[i].tl, s);
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a->governing, cases[i].governing);
    EXPECT_EQ(a->grade, cases[i].grade);
    EXPECT_EQ(a->governingState().state, cases[i].governing);
  }
}

TEST(Margin, TakesTheInspectionAgeAndTheMembersOwnLimitStatesByDefault) {
  Settings s;  // t0 not set, all three limit states
  const auto a = assess_member(times(10, 30, 45, 25), s);
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(a->t0, 25);
  EXPECT_EQ(a->states.size(), 3U);
  EXPECT_DOUBLE_EQ(*a->states[2].margin, 20.0 / 25);
  const auto own = assess_member(times(10, 30, 45, 25), s, std::vector{LimitState::EndOfLife});
  ASSERT_TRUE(own.ok());
  ASSERT_EQ(own->states.size(), 1U);
  EXPECT_EQ(own->governing, LimitState::EndOfLife);
}

// A passed limit state reads as passed, never as a negative number.
TEST(Margin, SummaryStatesAPassedLimitStateAsSuch) {
  const auto passed = assess_member(times(8, 30, 45), only(LimitState::Initiation));
  ASSERT_TRUE(passed.ok());
  EXPECT_EQ(passed->summary(), "c 级，控制极限状态：钢筋开始锈蚀，已于 8 a 超过（评估龄期 20 a）");
  EXPECT_EQ(passed->summary().find('-'), std::string::npos);
  const auto open = assess_member(times(8, 74, 90), only(LimitState::Cracking));
  ASSERT_TRUE(open.ok());
  EXPECT_EQ(open->summary(), "a 级，控制极限状态：保护层开裂，剩余寿命 54 a，裕度 ξ = 1.8");
}

// A time with no number compares false with t0: unchecked, it read as a limit state passed
// long ago (grade c, "passed"), an infinite one as a margin without end (grade a).
TEST(Margin, RefusesALimitStateTimeThatIsNotAFiniteNumber) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  using L = LimitState;
  struct Case {
    Timeline tl;
    std::vector<LimitState> counted;
    bool refused;
  };
  const Case cases[] = {
      {times(nan, 30, 45), {L::Initiation, L::Cracking, L::EndOfLife}, true},
      {times(10, nan, 45), {L::Cracking}, true},
      {times(10, 30, inf), {L::EndOfLife}, true},
      {times(10, 30, -inf), {L::Cracking, L::EndOfLife}, true},
      // A limit state that does not count is not read.
      {times(nan, 30, 45), {L::Cracking, L::EndOfLife}, false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    Settings s = only(L::Initiation);
    s.limitStates = cases[i].counted;
    const auto a = assess_member(cases[i].tl, s);
    ASSERT_EQ(a.ok(), !cases[i].refused);
    if (cases[i].refused) {
      EXPECT_EQ(a.refusal().kind, AssessRefusal::BadLimitStateTime);
      EXPECT_NE(a.refusal().text.find("不是有限的数"), std::string::npos) << a.refusal().text;
    }
  }
}

// The table of limit states names each once: a key, a Chinese and an English name of its own,
// each read back to its limit state, and every limit state of the type has its entry.
TEST(LimitStates, TheTableNamesEachOnceAndReadsBack) {
  std::set<std::string_view> keys, names, english;
  for (LimitState s : kAllLimitStates) {
    SCOPED_TRACE(limit_state_key(s));
    EXPECT_EQ(limit_state(s).state, s);
    EXPECT_TRUE(keys.insert(limit_state_key(s)).second);
    EXPECT_TRUE(names.insert(limit_state_name(s)).second);
    EXPECT_TRUE(english.insert(limit_state_english(s)).second);
    EXPECT_EQ(limit_state_from_key(limit_state_key(s)), s);
    EXPECT_EQ(limit_state_from_key(limit_state_english(s)), s);
  }
  EXPECT_EQ(keys.size(), static_cast<std::size_t>(LimitState::EndOfLife) + 1);
  EXPECT_FALSE(limit_state_from_key("t_d"));
}

TEST(Margin, RefusesSettingsWithoutAMeaning) {
  struct Case {
    const char* what;
    AssessRefusal expected;
    void (*change)(Settings&);
  };
  const Case cases[] = {
      {"target at t0", AssessRefusal::TargetNotAfterT0, [](Settings& s) { s.targetLife = 20; }},
      {"target before t0", AssessRefusal::TargetNotAfterT0, [](Settings& s) { s.targetLife = 10; }},
      {"t0 negative", AssessRefusal::BadAssessmentAge, [](Settings& s) { s.assessmentAge = -1; }},
      {"t0 not a number", AssessRefusal::BadAssessmentAge,
       [](Settings& s) { s.assessmentAge = NAN; }},
      {"gamma 0", AssessRefusal::BadGamma, [](Settings& s) { s.gamma = 0; }},
      // Finite, above 0, and still no factor: a 47-digit margin and grade a.
      {"gamma 1e-308", AssessRefusal::BadGamma, [](Settings& s) { s.gamma = 1e-308; }},
      {"gamma 1e6", AssessRefusal::BadGamma, [](Settings& s) { s.gamma = 1e6; }},
      {"target 1e308", AssessRefusal::TargetNotAfterT0, [](Settings& s) { s.targetLife = 1e308; }},
      {"t0 1e300", AssessRefusal::BadAssessmentAge, [](Settings& s) { s.assessmentAge = 1e300; }},
      {"a threshold 1e300", AssessRefusal::BadThresholds,
       [](Settings& s) { s.thresholdA = 1e300; }},
      {"thresholds swapped", AssessRefusal::BadThresholds,
       [](Settings& s) {
         s.thresholdA = 1.0;
         s.thresholdB = 1.8;
       }},
      {"thresholds equal", AssessRefusal::BadThresholds, [](Settings& s) { s.thresholdA = 1.0; }},
      {"b threshold 0", AssessRefusal::BadThresholds, [](Settings& s) { s.thresholdB = 0; }},
      {"no limit state", AssessRefusal::NoLimitStates, [](Settings& s) { s.limitStates.clear(); }},
      {"one twice", AssessRefusal::NoLimitStates,
       [](Settings& s) {
         s.limitStates = {LimitState::Cracking, LimitState::Cracking};
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Settings s = only(LimitState::Cracking);
    c.change(s);
    const auto a = assess_member(times(10, 30, 45), s);
    ASSERT_FALSE(a.ok());
    EXPECT_EQ(a.refusal().kind, c.expected);
    EXPECT_FALSE(a.refusal().text.empty());
    EXPECT_FALSE(a.refusal().message.empty());
  }
  // With t0 taken from the member, a target at or before its inspection age is refused too.
  Settings s;
  s.targetLife = 20;
  EXPECT_FALSE(assess_member(times(10, 30, 45, 20), s).ok());
}

// The limit-state times come from the sheet's own run: the report's t_i, t_c and t_d.
TEST(Margin, ReadsTheTimesOfARealRun) {
  using sheet::Control;
  const std::vector<batch::Entry> member = {
      {Control::Text1, "1.5"}, {Control::Text2, "20"},  {Control::Text3, "0.8"},
      {Control::Text4, "30"},  {Control::Text5, "40"},  {Control::Text6, "20"},
      {Control::Text7, "1.5"}, {Control::Text8, "5"},   {Control::Text9, "1.4"},
      {Control::Text13, "20"}, {Control::Text14, "20"}, {Control::Combo1, "2 变形钢筋"}};
  const batch::CaseResult r = batch::run_case(*modules::find_module("chloride-constant"), member);
  ASSERT_TRUE(r.done);
  const auto& run = std::get<model::ChlorideConstantRun>(r.run);
  const auto tl = timeline(r.run);
  ASSERT_TRUE(tl);
  EXPECT_EQ(limit_state_time(*tl, LimitState::Initiation), run.out.ti);
  EXPECT_EQ(limit_state_time(*tl, LimitState::Cracking), run.out.prop.tc);
  EXPECT_EQ(limit_state_time(*tl, LimitState::EndOfLife), run.out.prop.td);
  const auto a = assess_member(*tl, Settings{});
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(a->t0, 20);
}

// The record of every sheet holds the times its model handed on, and the inspection age that
// is t0 by default; a record without them gives no times rather than zeros.
TEST(Margin, ReadsTheTimesFromTheRecordOfEverySheet) {
  using namespace pellucor::modules::testing;
  const std::pair<int, sheet::SheetInputs (*)()> examples[] = {{1, carbonation_example},
                                                               {2, chloride_constant_example},
                                                               {3, chloride_variable_example},
                                                               {4, marine_example},
                                                               {5, admixed_example}};
  for (const auto& [number, inputs] : examples) {
    SCOPED_TRACE(number);
    RecordingSink sink;
    const auto outcome = sheet_module(number).calculate(inputs(), sink);
    ASSERT_FALSE(outcome.stop);
    const auto tl = timeline(outcome.run);
    ASSERT_TRUE(tl);
    const auto times = limit_state_times(outcome.record);
    ASSERT_TRUE(times);
    for (LimitState s : kAllLimitStates) {
      EXPECT_EQ(limit_state_time(*times, s), limit_state_time(*tl, s)) << limit_state_key(s);
    }
    EXPECT_EQ(times->age, tl->t);
    const auto a = assess_member(*times, Settings{});
    const auto b = assess_member(*tl, Settings{});
    ASSERT_EQ(a.ok(), b.ok());
    if (a.ok()) {
      EXPECT_EQ(a->summary(), b->summary());
    }
  }
  sheet::ResultRecord partial;
  static constexpr sheet::ItemText kTi{.key = "ti"};
  partial.result(kTi, 12.5);
  EXPECT_FALSE(limit_state_times(partial));
  EXPECT_FALSE(limit_state_times(sheet::ResultRecord{}));
}

TEST(Margin, SettingsLinesStateTheValuesUsed) {
  Settings s;
  s.gamma = 1.2;
  s.limitStates = {LimitState::Cracking, LimitState::EndOfLife};
  const auto lines = settings_lines(s);
  ASSERT_EQ(lines.size(), 5U);
  EXPECT_EQ(lines[0], "评估龄期 t0：各构件的检测龄期");
  EXPECT_EQ(lines[1], "目标使用年限 T = 50 a");
  EXPECT_EQ(lines[2], "剩余目标年限系数 γ = 1.2");
  EXPECT_NE(lines[3].find("ξ ≥ 1.8 为 a 级，1 ≤ ξ < 1.8 为 b 级，ξ < 1 为 c 级"),
            std::string::npos);
  EXPECT_EQ(lines[4], "计入的极限状态：保护层开裂、耐久性终结");
}

}  // namespace
}  // namespace pellucor::analysis::assess
