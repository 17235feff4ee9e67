// Carbonation and cover surveys: hand-worked statistics, the characteristic value against the
// published factors, the goodness-of-fit test at its stated size, and what goes to the sheets.
#include "analysis/inspect/surveys.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/batch/case_runner.hpp"
#include "modules/registry.hpp"

namespace pellucor::analysis::inspect {
namespace {

using sheet::Control;

// ---- Carbonation ------------------------------------------------------------------------

// Five readings at 16 years: k = x / 4. Mean depth 6 mm, squared deviations 58, so s = √14.5;
// the 95 % interval of the mean k is 1.5 ± t(0.975, 4) · (√14.5 / 4) / √5 with t = 2.776.
TEST(CarbonationSurvey, GivesTheCoefficientItsScatterAndTheIntervalOfItsMean) {
  const auto s = survey_carbonation({{5, 8, 0, 7, 10}, 16.0});
  ASSERT_TRUE(s.ok()) << s.refusal().message;
  EXPECT_DOUBLE_EQ(s->depth.mean, 6.0);
  EXPECT_NEAR(s->depth.sd, std::sqrt(14.5), 1e-12);
  EXPECT_DOUBLE_EQ(s->k.mean, 1.5);
  EXPECT_NEAR(s->k.sd, std::sqrt(14.5) / 4, 1e-12);
  EXPECT_NEAR(s->kMeanInterval.lower, 1.5 - 1.18202, 1e-4);
  EXPECT_NEAR(s->kMeanInterval.upper, 1.5 + 1.18202, 1e-4);
  EXPECT_EQ(s->zeroReadings, 1);
  EXPECT_EQ(s->k.min, 0.0);
  EXPECT_EQ(s->k.max, 2.5);
}

// The mean depth typed into the carbonation sheet gives the sheet the mean of the readings' k.
TEST(CarbonationSurvey, FeedsTheMeasuredDepthBoxOfTheCarbonationSheet) {
  const auto s = survey_carbonation({{5, 8, 0, 7, 10}, 16.0});
  ASSERT_TRUE(s.ok());
  const SheetTransfer t = carbonation_sheet_transfer(*s);
  ASSERT_EQ(t.entries.size(), 2U);
  EXPECT_EQ(t.entries[0].control, Control::Text6);
  EXPECT_EQ(t.entries[0].text, "16");
  EXPECT_EQ(t.entries[1].control, Control::Text7);
  EXPECT_EQ(t.entries[1].text, "6");
  ASSERT_EQ(t.scatter.size(), 1U);
  EXPECT_NEAR(t.scatter[0].scatter.cov, std::sqrt(14.5) / 6, 1e-12);
  EXPECT_EQ(t.scatter[0].scatter.dist, mc::Distribution::Normal);
  EXPECT_TRUE(t.outOfRange.empty());

  std::vector<batch::Entry> member = {{Control::Text1, "2"},        {Control::Text2, "15"},
                                      {Control::Text3, "0.7"},      {Control::Text4, "30"},
                                      {Control::Text5, "30"},       {Control::Text9, "20"},
                                      {Control::Combo1, "1 圆钢筋"}};
  member.insert(member.end(), t.entries.begin(), t.entries.end());
  const batch::CaseResult r = batch::run_case(*modules::find_module("carbonation"), member);
  ASSERT_TRUE(r.done) << (r.message ? r.message->text : "");
  EXPECT_DOUBLE_EQ(std::get<model::CarbonationRun>(r.run).out.k, s->k.mean);

  // A mean depth below the box's 1 mm is handed on with a note.
  const auto shallow = survey_carbonation({{0.4, 0.6, 0.5}, 4.0});
  ASSERT_TRUE(shallow.ok());
  EXPECT_EQ(carbonation_sheet_transfer(*shallow).outOfRange.size(), 1U);
}

TEST(CarbonationSurvey, RefusesReadingsItCannotUse) {
  struct Case {
    CarbonationInput in;
    SurveyRefusal expected;
  };
  const Case cases[] = {
      {{{5, 6}, 0}, SurveyRefusal::NoAge},
      {{{5}, 9}, SurveyRefusal::TooFewReadings},
      {{{5, NAN}, 9}, SurveyRefusal::NotANumber},
      {{{5, -1}, 9}, SurveyRefusal::Negative},
      {{{0, 0, 0}, 9}, SurveyRefusal::NoCarbonation},
      {{{1e300, 1.5e300}, 9}, SurveyRefusal::TooLarge},
  };
  for (const auto& c : cases) {
    const auto s = survey_carbonation(c.in);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.refusal().kind, c.expected);
    EXPECT_FALSE(s.refusal().text.empty());
    EXPECT_FALSE(s.refusal().message.empty());
  }
}

// ---- Cover ------------------------------------------------------------------------------

// EN 1990 Table D1, 5 % fractile with V_X unknown (two decimals).
TEST(CoverSurvey, CharacteristicFactorFollowsEn1990TableD1) {
  struct Row {
    int n;
    double kn;
  };
  const Row table[] = {{3, 3.37}, {4, 2.63}, {6, 2.18}, {10, 1.92}, {30, 1.73}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.n);
    std::vector<double> readings;
    for (int i = 0; i < row.n; ++i) readings.push_back(30 + i % 4);
    const auto s = survey_cover({readings, std::nullopt});
    ASSERT_TRUE(s.ok());
    EXPECT_NEAR(s->kn, row.kn, 0.005);
    EXPECT_NEAR(s->normal.characteristic, s->sample.mean - s->kn * s->sample.sd, 1e-12);
  }
}

// Ten readings: mean 31.5 mm, squared deviations 82.5, s = √(82.5/9); three of them below a
// design cover of 30 mm; the normal law puts Φ((30 - 31.5)/s) below it.
TEST(CoverSurvey, GivesMeanScatterCharacteristicValueAndShareBelowTheDesignCover) {
  const auto s = survey_cover({{30, 32, 28, 35, 31, 29, 33, 36, 27, 34}, 30.0});
  ASSERT_TRUE(s.ok()) << s.refusal().message;
  const double sd = std::sqrt(82.5 / 9);
  EXPECT_DOUBLE_EQ(s->sample.mean, 31.5);
  EXPECT_NEAR(s->sample.sd, sd, 1e-12);
  EXPECT_NEAR(s->normal.characteristic, 31.5 - 1.922587 * sd, 1e-5);
  EXPECT_EQ(s->belowDesign, 3);
  EXPECT_DOUBLE_EQ(s->observedShareBelow(), 0.3);
  EXPECT_NEAR(*s->normal.shareBelowDesign, 0.31014, 1e-4);
  // The lognormal law on the logarithms, characteristic value below the mean as well.
  EXPECT_LT(s->lognormal.characteristic, s->sample.mean);
  EXPECT_GT(s->lognormal.characteristic, 20.0);
  ASSERT_TRUE(s->tested);
  ASSERT_TRUE(s->normal.test && s->lognormal.test);
  EXPECT_EQ(s->better, s->lognormal.test->pValue > s->normal.test->pValue
                           ? mc::Distribution::Lognormal
                           : mc::Distribution::Normal);
}

// Readings 20, 40 and 80 mm: their logarithms are ln 40 + (-1, 0, 1)·ln 2, so the lognormal
// law has μ = ln 40 and σ = ln 2 exactly. Its 5 % characteristic value takes the sample-size
// factor of three readings, k_n = t(0.95, 2)·√(1 + 1/3) = 3.3717 (not the 1.645 of a known
// law): 40·2^-3.3717 = 3.864 mm. Its share below a design cover of 30 mm is
// Φ(ln(30/40) / ln 2) = Φ(-0.41504) = 0.33906, where the normal law gives 0.29269.
TEST(CoverSurvey, TheLognormalLawIsWorkedOnTheLogarithms) {
  const auto s = survey_cover({{20, 40, 80}, 30.0});
  ASSERT_TRUE(s.ok()) << s.refusal().message;
  EXPECT_NEAR(s->lognormal.mu, std::log(40.0), 1e-12);
  EXPECT_NEAR(s->lognormal.sigma, std::log(2.0), 1e-12);
  EXPECT_NEAR(s->kn, 3.371709, 1e-5);
  EXPECT_NEAR(s->lognormal.characteristic, 3.864332, 1e-4);
  ASSERT_TRUE(s->lognormal.shareBelowDesign && s->normal.shareBelowDesign);
  EXPECT_NEAR(*s->lognormal.shareBelowDesign, 0.339057, 1e-5);
  EXPECT_NEAR(*s->normal.shareBelowDesign, 0.292689, 1e-5);
}

// Under normal readings the test rejects at the 5 % level in about 5 % of the samples.
TEST(CoverSurvey, AndersonDarlingRejectsNormalSamplesAtItsStatedRate) {
  std::mt19937_64 rng(11);
  std::normal_distribution<double> law(40.0, 6.0);
  const int trials = 4000;
  int rejected = 0;
  for (int k = 0; k < trials; ++k) {
    std::vector<double> v(20);
    for (double& x : v) x = law(rng);
    rejected += anderson_darling_normal(v).pValue < 0.05;
  }
  // 4000 trials: within 0.05 +- 0.012 with a probability above 0.999.
  EXPECT_NEAR(rejected / double(trials), 0.05, 0.012);
}

// Strongly skewed readings are told apart from symmetric ones.
TEST(CoverSurvey, PrefersTheLawTheReadingsCameFrom) {
  std::mt19937_64 rng(5);
  std::lognormal_distribution<double> skewed(std::log(35.0), 0.45);
  std::normal_distribution<double> symmetric(40.0, 12.0);
  int lognormalChosen = 0, normalChosen = 0;
  const int trials = 200;
  for (int k = 0; k < trials; ++k) {
    std::vector<double> a(60), b(60);
    for (double& x : a) x = skewed(rng);
    for (double& x : b) x = std::max(1.0, symmetric(rng));
    lognormalChosen += survey_cover({a, std::nullopt})->better == mc::Distribution::Lognormal;
    normalChosen += survey_cover({b, std::nullopt})->better == mc::Distribution::Normal;
  }
  EXPECT_GT(lognormalChosen, 0.9 * trials);
  EXPECT_GT(normalChosen, 0.8 * trials);
}

TEST(CoverSurvey, SaysWhenItCouldNotTestTheLaw) {
  const auto few = survey_cover({{30, 35, 32, 28}, std::nullopt});
  ASSERT_TRUE(few.ok());
  EXPECT_FALSE(few->tested);
  EXPECT_EQ(few->better, mc::Distribution::Normal);
  EXPECT_FALSE(few->normal.test);
  const auto same = survey_cover({{30, 30, 30, 30, 30, 30, 30, 30, 30}, 35.0});
  ASSERT_TRUE(same.ok());
  EXPECT_FALSE(same->tested);
  EXPECT_EQ(*same->normal.shareBelowDesign, 1.0);
  EXPECT_EQ(same->normal.characteristic, 30.0);
  for (const auto* s : {&*few, &*same}) {
    bool said = false;
    for (const auto& n : s->notes) said |= n.zh.find("未作拟合优度检验") != std::string::npos;
    EXPECT_TRUE(said);
  }
}

TEST(CoverSurvey, RefusesReadingsItCannotUse) {
  struct Case {
    CoverInput in;
    SurveyRefusal expected;
  };
  const Case cases[] = {
      {{{30}, std::nullopt}, SurveyRefusal::TooFewReadings},
      {{{30, 0}, std::nullopt}, SurveyRefusal::Negative},
      {{{30, -4}, std::nullopt}, SurveyRefusal::Negative},
      {{{30, INFINITY}, std::nullopt}, SurveyRefusal::NotANumber},
      // Each reading a number, their scatter (or their sum) not.
      {{{1e300, 1.5e300, 1e300}, std::nullopt}, SurveyRefusal::TooLarge},
      {{{1.7e308, 1.7e308}, std::nullopt}, SurveyRefusal::TooLarge},
      {{{30, 31}, 0.0}, SurveyRefusal::BadDesignCover},
      {{{30, 31}, NAN}, SurveyRefusal::BadDesignCover},
  };
  for (const auto& c : cases) {
    const auto s = survey_cover(c.in);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.refusal().kind, c.expected);
    EXPECT_FALSE(s.refusal().text.empty());
  }
}

// Every sheet's cover box takes the mean with the chosen law's scatter.
TEST(CoverSurvey, FeedsTheCoverBoxOfEverySheet) {
  std::mt19937_64 rng(3);
  std::lognormal_distribution<double> skewed(std::log(35.0), 0.45);
  std::vector<double> readings(80);
  for (double& x : readings) x = skewed(rng);
  const auto s = survey_cover({readings, std::nullopt});
  ASSERT_TRUE(s.ok());
  for (const sheet::Module* m : modules::all_modules()) {
    SCOPED_TRACE(m->table().cliName);
    const SheetTransfer t = cover_sheet_transfer(*s, m->table());
    ASSERT_EQ(t.entries.size(), 1U);
    EXPECT_EQ(t.entries[0].control, Control::Text5);
    EXPECT_NEAR(std::stod(t.entries[0].text), s->sample.mean, 5e-4 * s->sample.mean);
    ASSERT_EQ(t.scatter.size(), 1U);
    EXPECT_EQ(t.scatter[0].scatter.dist, s->better);
    EXPECT_NEAR(t.scatter[0].scatter.cov, s->sample.cov(), 1e-15);
  }
}

}  // namespace
}  // namespace pellucor::analysis::inspect
