// The assessment of a structure: every member played and graded as it would be alone, members
// that cannot be assessed listed with their reason and never dropped, the worst members first;
// the table writes passed limit states as passed; the grade read from a reliability run, worked
// by hand at the thresholds' edges and checked against the samples of a real run.
#include "analysis/structure/structure.hpp"
#include "analysis/normal_law.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>

#include "analysis/mc/engine.hpp"
#include "analysis/structure/assessment_table.hpp"
#include "analysis/timeline.hpp"
#include "assess_test_support.hpp"

namespace pellucor::analysis::assess {
namespace {

using namespace pellucor::modules::testing;
using assess::testing::entries_of;
using sheet::Control;

project::Member member_of(std::string name, int sheetNumber, const sheet::SheetInputs& in) {
  const sheet::Module& m = sheet_module(sheetNumber);
  project::Member member;
  member.name = std::move(name);
  member.sheet = std::string(m.table().cliName);
  for (const auto& e : entries_of(m.table(), in)) {
    if (e.control == Control::Combo1) {
      member.steel = e.text;
    } else if (m.table().field(e.control) != nullptr) {
      member.boxes[e.control] = e.text;
    } else {
      member.options.push_back(e.control);
    }
  }
  return member;
}

// Four members: two the sheets compute, one of a sheet this program does not know, one its
// sheet stops (no critical concentration).
project::Project four_members() {
  project::Project p;
  p.structure.name = "码头评估";
  p.assessment.targetLife = 100;  // after every member's inspection age
  p.members.push_back(member_of("柱 C1", 1, carbonation_example()));
  p.members.push_back(member_of("梁 B1", 2, chloride_constant_example()));
  project::Member unknown = member_of("板 S1", 2, chloride_constant_example());
  unknown.sheet = "sulphate";
  p.members.push_back(unknown);
  project::Member stopped = member_of("梁 B2", 2, chloride_constant_example());
  stopped.boxes.erase(Control::Text9);
  p.members.push_back(stopped);
  return p;
}

TEST(Structure, GradesEveryMemberAsAloneAndListsThoseItCannot) {
  const project::Project p = four_members();
  const auto s = assess_structure(p);
  ASSERT_TRUE(s.ok()) << s.refusal().message;
  ASSERT_EQ(s->members.size(), 4U);
  // The computed members: the grade of their own run.
  for (std::size_t i : {0U, 1U}) {
    SCOPED_TRACE(i);
    const MemberResult& m = s->members[i];
    ASSERT_TRUE(m.assessed()) << m.failureEnglish;
    const auto run =
        batch::run_case(*project::module_of(p.members[i]), project::member_entries(p.members[i]));
    const auto alone = assess_member(*timeline(run.run), p.assessment);
    ASSERT_TRUE(alone.ok());
    EXPECT_EQ(m.assessment->grade, alone->grade);
    EXPECT_EQ(m.assessment->governing, alone->governing);
    EXPECT_EQ(m.assessment->governingState().remaining, alone->governingState().remaining);
  }
  // Not assessed, with the reason: the unknown sheet, and the sheet's own message.
  EXPECT_FALSE(s->members[2].assessed());
  EXPECT_NE(s->members[2].failure.find("sulphate"), std::string::npos);
  EXPECT_FALSE(s->members[3].assessed());
  EXPECT_NE(s->members[3].failure.find("您未输入氯离子临界浓度"), std::string::npos)
      << s->members[3].failure;
  // Counted: every member in one count or another, the worst assessed member first.
  const GradeSummary& g = s->summary;
  EXPECT_EQ(g.counts[0] + g.counts[1] + g.counts[2], 2U);
  EXPECT_EQ(g.notAssessed, 2U);
  ASSERT_EQ(g.worst.size(), 2U);
  EXPECT_FALSE(worse_than(s->members[g.worst[1]], s->members[g.worst[0]]));
  // The table has a row per member; those not assessed say so and why.
  const AssessmentTable t = assessment_table(*s);
  ASSERT_EQ(t.rows.size(), 4U);
  EXPECT_EQ(t.rows[3][5], "未评定");
  EXPECT_NE(t.rows[3].back().find("您未输入氯离子临界浓度"), std::string::npos);
  EXPECT_EQ(t.notAssessed, (std::vector<bool>{false, false, true, true}));
}

// A box of a project that is not wholly a number is named and the member not computed: "4O"
// is never read as 4 by the sheet's prefix rule.
TEST(Structure, AMemberWhoseBoxIsNotANumberIsNotComputed) {
  project::Member m = member_of("梁 B2", 2, chloride_constant_example());
  const MemberResult reference = assess_project_member(m, Settings{}, std::nullopt);
  ASSERT_TRUE(reference.run.has_value()) << reference.failureEnglish;
  for (const std::string text : {"4O", "40mm", "4 0"}) {
    m.boxes[Control::Text5] = text;
    const MemberResult r = assess_project_member(m, Settings{}, std::nullopt);
    EXPECT_FALSE(r.run.has_value()) << text;
    EXPECT_FALSE(r.assessed()) << text;
    EXPECT_EQ(r.failure, "保护层厚度：'" + text + "' 不是数，该构件未计算。");
  }
  m.boxes[Control::Text5] = " ４０ ";  // full-width digits and blanks around: a number
  EXPECT_TRUE(assess_project_member(m, Settings{}, std::nullopt).run.has_value());
}

// The order of members from the worst, on hand-made assessments.
TEST(Structure, WorstMembersComeFirst) {
  const auto member = [](const char* name, std::optional<Grade> grade, double time,
                         std::optional<double> margin) {
    MemberResult m;
    m.name = name;
    if (grade) {
      MemberAssessment a;
      a.grade = *grade;
      a.governing = LimitState::EndOfLife;
      LimitStateMargin s;
      s.state = LimitState::EndOfLife;
      s.time = time;
      s.margin = margin;
      s.grade = *grade;
      a.states = {s};
      m.assessment = a;
    }
    return m;
  };
  const std::vector<MemberResult> members = {
      member("b 1.5", Grade::B, 65, 1.5),          member("a 2.0", Grade::A, 80, 2.0),
      member("c 0.5", Grade::C, 35, 0.5),          member("c passed at 15", Grade::C, 15, {}),
      member("not assessed", std::nullopt, 0, {}), member("c passed at 10", Grade::C, 10, {}),
      member("b 1.2", Grade::B, 56, 1.2),
  };
  const GradeSummary g = summarize_grades(members);
  std::vector<std::string> order;
  for (std::size_t i : g.worst) order.push_back(members[i].name);
  EXPECT_EQ(order, (std::vector<std::string>{"c passed at 10", "c passed at 15", "c 0.5", "b 1.2",
                                             "b 1.5", "a 2.0"}));
  EXPECT_EQ(g.counts, (std::array<std::size_t, 3>{1, 2, 3}));
  EXPECT_EQ(g.notAssessed, 1U);
}

// A limit state passed at t0 reads as passed, with the age it was reached; never as a negative
// remaining life or margin.
TEST(Structure, TableWritesAPassedLimitStateAsPassed) {
  project::Project p;
  p.members.push_back(member_of("柱 C1", 1, carbonation_example()));
  p.assessment.limitStates = {LimitState::Initiation};
  const auto run =
      batch::run_case(*project::module_of(p.members[0]), project::member_entries(p.members[0]));
  const double ti = timeline(run.run)->ti;
  p.assessment.assessmentAge = ti + 1;  // initiation came a year before the assessment
  p.assessment.targetLife = ti + 50;
  const auto s = assess_structure(p);
  ASSERT_TRUE(s.ok());
  const AssessmentTable t = assessment_table(*s);
  ASSERT_EQ(t.rows.size(), 1U);
  EXPECT_EQ(t.rows[0][3], "已超过（" + life_text(ti) + " a 时达到）");
  EXPECT_EQ(t.rows[0][4], "已超过");
  EXPECT_EQ(t.rows[0][5], "c");
  for (const auto& cell : t.rows[0]) EXPECT_NE(cell.front(), '-') << cell;
}

// A member of the admixed sheet starts to corrode when it is cast (t_i = 0 whatever its inputs):
// under the project's default limit states it is graded on t_c and t_d and told why t_i does
// not count; a member that chooses t_i for itself is graded on it, and the passed cell says why.
TEST(Structure, AnAdmixedMemberIsNotGradedOnAnInitiationAtCasting) {
  project::Project p;
  p.assessment.targetLife = 100;
  p.members.push_back(member_of("板 S1", 5, admixed_example()));
  project::Member own = member_of("板 S2", 5, admixed_example());
  own.limitStates = std::vector{LimitState::Initiation, LimitState::EndOfLife};
  p.members.push_back(own);
  const auto s = assess_structure(p);
  ASSERT_TRUE(s.ok()) << s.refusal().message;
  const MemberAssessment& byDefault = *s->members[0].assessment;
  ASSERT_EQ(byDefault.states.size(), 2U);
  EXPECT_EQ(byDefault.states[0].state, LimitState::Cracking);
  EXPECT_EQ(byDefault.states[1].state, LimitState::EndOfLife);
  EXPECT_NE(byDefault.governing, LimitState::Initiation);
  ASSERT_FALSE(byDefault.notes.empty());
  EXPECT_NE(byDefault.notes.back().find("不计入评定"), std::string::npos) << byDefault.notes.back();
  const MemberAssessment& chosen = *s->members[1].assessment;
  EXPECT_EQ(chosen.governing, LimitState::Initiation);
  EXPECT_EQ(chosen.grade, Grade::C);
  const AssessmentTable t = assessment_table(*s);
  EXPECT_EQ(t.rows[1][3], "已超过（0.0 a 时达到：氯盐在浇筑时掺入，钢筋自浇筑起即锈蚀）");
  EXPECT_NE(chosen.summary().find("氯盐在浇筑时掺入"), std::string::npos) << chosen.summary();
  // Counting only t_i leaves nothing to grade an admixed member on: it is refused, not graded.
  p.assessment.limitStates = {LimitState::Initiation};
  p.members.resize(1);
  const auto only = assess_structure(p);
  ASSERT_TRUE(only.ok());
  EXPECT_FALSE(only->members[0].assessed());
  EXPECT_NE(only->members[0].failureEnglish.find("reaches at 0 a whatever its inputs"),
            std::string::npos)
      << only->members[0].failureEnglish;
  // Another sheet counts t_i by default as before.
  p.members = {member_of("柱 C1", 1, carbonation_example())};
  p.assessment.limitStates = {LimitState::Initiation};
  ASSERT_TRUE(assess_structure(p)->members[0].assessed());
}

// A project as read from its file is assessed only as the file gives it.
TEST(Structure, RefusesAProjectItWouldGradeOnSomethingElse) {
  struct Case {
    const char* what;
    void (*change)(project::Project&, std::vector<project::Skipped>&);
    bool reliability;
    std::optional<AssessRefusal> expected;
  };
  const Case cases[] = {
      {"as read", [](project::Project&, std::vector<project::Skipped>&) {}, true, std::nullopt},
      {"no members", [](project::Project& p, std::vector<project::Skipped>&) { p.members.clear(); },
       false, AssessRefusal::NoMembers},
      {"two of one name",
       [](project::Project& p, std::vector<project::Skipped>&) { p.members[1].name = "柱 C1"; },
       false, AssessRefusal::RepeatedNames},
      {"settings reset",
       [](project::Project&, std::vector<project::Skipped>& k) {
         k.push_back({"/assessment", "系数 γ …", "the factor gamma must lie between 0.1 and 10"});
       },
       false, AssessRefusal::NotAsWritten},
      {"a threshold of the wrong kind",
       [](project::Project&, std::vector<project::Skipped>& k) {
         k.push_back({"/assessment/thresholds/a", "类型不符", "not of the expected kind"});
       },
       false, AssessRefusal::NotAsWritten},
      {"reliability reset, no runs",
       [](project::Project&, std::vector<project::Skipped>& k) {
         k.push_back({"/reliability", "目标可靠指标 …", "the target reliability index …"});
       },
       false, std::nullopt},
      {"reliability reset, with runs",
       [](project::Project&, std::vector<project::Skipped>& k) {
         k.push_back({"/reliability", "目标可靠指标 …", "the target reliability index …"});
       },
       true, AssessRefusal::NotAsWritten},
      {"a member's part skipped",
       [](project::Project&, std::vector<project::Skipped>& k) {
         k.push_back({"members[0] 柱 C1/photos", "未知项", "unknown entry"});
       },
       true, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    project::Project p = four_members();
    std::vector<project::Skipped> skipped;
    c.change(p, skipped);
    const auto r = check_opened(p, skipped, c.reliability);
    EXPECT_EQ(r.has_value(), c.expected.has_value());
    if (r && c.expected) {
      EXPECT_EQ(r->kind, *c.expected);
      EXPECT_FALSE(r->text.empty());
    }
  }
  // With runs, reliability settings without a meaning are refused by the assessment itself.
  project::Project p = four_members();
  p.reliability.targetBeta = 1e300;
  StructureOptions runs;
  runs.reliability = true;
  EXPECT_EQ(assess_structure(p, runs).refusal().kind, AssessRefusal::BadReliability);
  p.reliability.targetBeta = 1.3;
  p.reliability.samples = 0;
  EXPECT_EQ(assess_structure(p, runs).refusal().kind, AssessRefusal::BadReliability);
  EXPECT_TRUE(assess_structure(p).ok());  // without runs they do not matter
}

TEST(Structure, RefusesSettingsWithoutAMeaning) {
  project::Project p = four_members();
  p.assessment.targetLife = 0;
  EXPECT_EQ(assess_structure(p).refusal().kind, AssessRefusal::TargetNotAfterT0);
  p = four_members();
  p.assessment.thresholdA = 0.5;
  EXPECT_EQ(assess_structure(p).refusal().kind, AssessRefusal::BadThresholds);
  // A target before one member's inspection age refuses that member only.
  p = four_members();
  p.assessment.targetLife = 40;  // the carbonation example is inspected at 60 a
  const auto s = assess_structure(p);
  ASSERT_TRUE(s.ok());
  EXPECT_FALSE(s->members[0].assessed());
  EXPECT_FALSE(s->members[0].failure.empty());
  EXPECT_TRUE(s->members[1].assessed());
}

// ---- The grade read from a reliability run ------------------------------------------------

mc::Summary run_summary(std::optional<double> ageBelow, double target = 1.3) {
  mc::Summary s;
  s.samples = 1000;
  s.targets = {1.3, 1.5, target};
  s.atTarget.age = 50;
  s.atTarget.index[mc::kEnd] = {mc::IndexValue::Kind::Exact, 1.1};
  s.targetAge[mc::kEnd] = ageBelow;
  s.targetAgeLow[mc::kEnd] = ageBelow;
  return s;
}

// t0 = 20 a and T = 50 a leave 30 a; the age at which β falls below its target takes the
// place of the limit-state time.
TEST(ReliabilityGrade, GradesAtTheEdgesOfTheThresholds) {
  struct Case {
    std::optional<double> ageBelow;  // none: never below over the samples
    std::optional<double> margin;    // none: passed or never
    Grade grade;
    bool passed;
  };
  const Case cases[] = {
      {74.0, 54.0 / 30, Grade::A, false},
      {73.99, 53.99 / 30, Grade::B, false},
      {50.0, 1.0, Grade::B, false},
      {49.99, 29.99 / 30, Grade::C, false},
      {20.0, std::nullopt, Grade::C, true},
      {5.0, std::nullopt, Grade::C, true},
      {std::nullopt, std::nullopt, Grade::A, false},
  };
  Settings settings;
  settings.assessmentAge = 20;
  settings.limitStates = {LimitState::EndOfLife};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ageBelow.value_or(-1));
    const auto a = assess_reliability(run_summary(c.ageBelow), settings, 20);
    ASSERT_TRUE(a.ok()) << a.refusal().message;
    const ReliabilityMargin& m = a->governingState();
    EXPECT_EQ(m.passed(), c.passed);
    EXPECT_EQ(m.never(), !c.ageBelow.has_value());
    ASSERT_EQ(m.margin.has_value(), c.margin.has_value());
    if (c.margin) {
      EXPECT_NEAR(*m.margin, *c.margin, 1e-12);
    }
    EXPECT_EQ(a->grade, c.grade);
    EXPECT_EQ(m.targetBeta, 1.3);
  }
  const auto passed = assess_reliability(run_summary(12), settings, 20);
  EXPECT_NE(passed->summary().find("β 已于 12 a 低于目标"), std::string::npos) << passed->summary();
  // A run summarised at another age than the target life is a mistake of the caller.
  mc::Summary other = run_summary(60);
  other.atTarget.age = 40;
  EXPECT_THROW((void)assess_reliability(other, settings, 20), std::invalid_argument);
}

// The worst limit state governs the β grade whatever the order the settings count them in: a
// passed one before any margin, then the smallest margin, one never below its target last.
TEST(ReliabilityGrade, TheWorstLimitStateGoverns) {
  using L = LimitState;
  struct Case {
    std::optional<double> ti, tc, td;  // the ages at which β falls below its target
    std::vector<LimitState> counted;
    LimitState governing;
    Grade grade;
  };
  const Case cases[] = {
      // t_d's margin (35 - 20) / 30 = 0.5 is worse than t_c's never.
      {std::nullopt, std::nullopt, 35.0, {L::Cracking, L::EndOfLife}, L::EndOfLife, Grade::C},
      // The smallest margin wherever it stands: t_c (1.0) before t_d (1.8).
      {std::nullopt, 50.0, 74.0, {L::EndOfLife, L::Cracking}, L::Cracking, Grade::B},
      // Passed at 15 a (initiation) before any margin, counted last.
      {15.0, 60.0, 90.0, {L::EndOfLife, L::Cracking, L::Initiation}, L::Initiation, Grade::C},
      // Two passed: the earlier governs.
      {15.0, 10.0, 90.0, {L::Initiation, L::Cracking}, L::Cracking, Grade::C},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const Case& c = cases[i];
    mc::Summary s = run_summary(c.td);
    s.targetAge[mc::kInitiation] = s.targetAgeLow[mc::kInitiation] = c.ti;
    s.targetAge[mc::kCracking] = s.targetAgeLow[mc::kCracking] = c.tc;
    Settings settings;
    settings.assessmentAge = 20;
    settings.limitStates = c.counted;
    const auto a = assess_reliability(s, settings, 20);
    ASSERT_TRUE(a.ok()) << a.refusal().message;
    EXPECT_EQ(a->governing, c.governing);
    EXPECT_EQ(a->grade, c.grade);
  }
}

// An age below the target with no number would compare false with t0 and read as passed.
TEST(ReliabilityGrade, RefusesAnAgeBelowTheTargetThatIsNotAFiniteNumber) {
  Settings settings;
  settings.assessmentAge = 20;
  settings.limitStates = {LimitState::EndOfLife};
  for (double bad :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(bad);
    const auto a = assess_reliability(run_summary(bad), settings, 20);
    ASSERT_FALSE(a.ok());
    EXPECT_EQ(a.refusal().kind, AssessRefusal::BadLimitStateTime);
  }
}

// A cancel reaches the member's reliability run already started: its samples stop, and no β
// grade is read from the part that ran; the deterministic grade stands.
TEST(Structure, CancellingStopsTheReliabilityRunOfTheMemberItIsOn) {
  project::Project p;
  p.members.push_back(member_of("梁 B1", 2, chloride_constant_example()));
  p.reliability.samples = 200000;
  const mc::RunSettings run = project_run_settings(p);
  std::atomic<bool> cancel{true};
  const MemberResult m = assess_project_member(p.members[0], p.assessment, run, &cancel);
  EXPECT_TRUE(m.assessed());
  EXPECT_TRUE(m.reliabilityCancelled);
  EXPECT_FALSE(m.reliability);
  EXPECT_FALSE(m.reliabilityReport);
  EXPECT_NE(m.reliabilityFailure.find("取消"), std::string::npos);

  std::atomic<bool> go{false};
  p.reliability.samples = 1000;
  const MemberResult full =
      assess_project_member(p.members[0], p.assessment, project_run_settings(p), &go);
  EXPECT_FALSE(full.reliabilityCancelled);
  EXPECT_TRUE(full.reliability) << full.reliabilityFailureEnglish;
}

// On a real run: β at the target life is the fraction of samples whose durable life ended by
// then, through the normal quantile; the age below the target is the order statistic of t_d.
TEST(ReliabilityGrade, ReadsBetaFromTheSamplesOfARealRun) {
  project::Project p;
  p.members.push_back(member_of("梁 B1", 2, chloride_constant_example()));
  p.members[0].boxes[Control::Text5] = "80";  // a cover whose β falls below 1.3 after t0
  p.assessment.targetLife = 30;
  p.assessment.limitStates = {LimitState::EndOfLife};
  p.reliability.samples = 2000;
  p.reliability.seed = 3;
  StructureOptions options;
  options.reliability = true;
  const auto s = assess_structure(p, options);
  ASSERT_TRUE(s.ok());
  const MemberResult& m = s->members[0];
  ASSERT_TRUE(m.reliability) << m.reliabilityFailureEnglish;
  ASSERT_TRUE(m.reliabilityReport);

  // The same samples, counted here.
  const TypedMember typed = type_member(*m.module, m.entries);
  const mc::Problem problem = member_problem(*m.module, typed.inputs, {});
  const mc::Samples samples = mc::run_samples(problem, s->mcSettings);
  // A sample fails by an age when its t_d is known (or, when the model could not follow it,
  // could be) at or before that age; a survivor never fails.
  std::vector<double> td;
  std::uint64_t failed = 0;
  for (const auto& r : samples.results) {
    if (r.known[mc::kEnd] == mc::TimeKnown::Never) continue;
    td.push_back(r.td);
    if (r.td <= 30) ++failed;
  }
  const ReliabilityMargin& g = m.reliability->governingState();
  const double p30 = static_cast<double>(failed) / 2000;
  ASSERT_GT(failed, 0U);
  EXPECT_NEAR(g.betaAtTarget.value, -normal_quantile(p30), 1e-12);
  std::sort(td.begin(), td.end());
  // β < 1.3 once more than Phi(-1.3) n samples failed.
  const auto m13 = static_cast<std::size_t>(std::floor(normal_cdf(-1.3) * 2000));
  ASSERT_TRUE(g.ageBelow);
  EXPECT_EQ(*g.ageBelow, td[m13]);
  ASSERT_TRUE(g.margin);
  EXPECT_NEAR(*g.margin, (td[m13] - 20) / (30 - 20), 1e-12);
}

}  // namespace
}  // namespace pellucor::analysis::assess
