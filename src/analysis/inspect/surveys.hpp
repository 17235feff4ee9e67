// Readings taken on a member at its inspection: carbonation depths (phenolphthalein) and cover
// thicknesses (cover meter). Each survey gives its statistics and what it hands to a sheet.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/inspect/statistics.hpp"
#include "analysis/inspect/transfer.hpp"
#include "analysis/mc/uncertainty.hpp"
#include "analysis/outcome.hpp"
#include "analysis/text/bilingual.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::analysis::inspect {

// ---- Carbonation depths -----------------------------------------------------------------

struct CarbonationInput {
  std::vector<double> depthMm;  // carbonation depths measured at the inspection age
  double ageYears = 0;          // the inspection age t

  bool operator==(const CarbonationInput&) const = default;
};

enum class SurveyRefusal {
  NoAge,           // the age is missing, zero, negative or not a number
  TooFewReadings,  // fewer than two readings
  NotANumber,      // a reading is not a finite number
  Negative,        // a reading below zero (a cover reading at or below zero)
  NoCarbonation,   // every carbonation reading is zero
  BadDesignCover,  // a design cover that is not a number above zero
  TooLarge,        // readings so large that their statistics are not numbers (overflow)
};

// The 95 % interval of a mean (Student t with n - 1 degrees of freedom).
struct Interval {
  double lower = 0;
  double upper = 0;
};

struct CarbonationSurvey {
  double ageYears = 0;
  Sample depth;  // mm
  Sample k;      // k = x / sqrt(t) of each reading, mm/a^0.5
  Interval kMeanInterval;
  int zeroReadings = 0;  // readings of 0 (no carbonation at that point), counted in the mean
  std::vector<text::Bilingual> notes;
};

Outcome<CarbonationSurvey, SurveyRefusal> survey_carbonation(const CarbonationInput& in);

// For the carbonation sheet: the inspection age and the mean measured depth (which gives the
// sheet k = mean x / sqrt(t), the mean of the readings' k), with the depth's scatter (normal,
// CoV of the readings). A typed depth empties and disables the CO2 coefficient on the sheet.
SheetTransfer carbonation_sheet_transfer(const CarbonationSurvey& survey);

// ---- Cover thicknesses ------------------------------------------------------------------

struct CoverInput {
  std::vector<double> readingsMm;
  std::optional<double> designCoverMm;  // the share below it is reported when given

  bool operator==(const CoverInput&) const = default;
};

// One law fitted to the readings: by their mean and standard deviation (normal), or by those
// of their logarithms (lognormal).
struct CoverLaw {
  mc::Distribution law = mc::Distribution::Normal;
  double mu = 0;     // mean of the readings, or of their logarithms
  double sigma = 0;  // standard deviation of the readings, or of their logarithms
  // 5 % characteristic value, EN 1990 Annex D (D7.2, V_X unknown): m - k_n s with
  // k_n = t(0.95, n - 1) * sqrt(1 + 1/n), for the lognormal law on the logarithms.
  double characteristic = 0;
  std::optional<double> shareBelowDesign;  // the law's probability below the design cover
  std::optional<AndersonDarling> test;     // on the readings or their logarithms
};

struct CoverSurvey {
  Sample sample;  // mm
  double kn = 0;  // the factor k_n of the characteristic values
  CoverLaw normal;
  CoverLaw lognormal;
  // The law with the larger Anderson–Darling p-value; the normal law when the test could not
  // be made (too few readings, or none that differ), which the notes say.
  mc::Distribution better = mc::Distribution::Normal;
  bool tested = false;
  std::optional<double> designCoverMm;
  int belowDesign = 0;  // readings below the design cover
  std::vector<text::Bilingual> notes;

  const CoverLaw& chosen() const {
    return better == mc::Distribution::Lognormal ? lognormal : normal;
  }
  // The share of readings below the design cover (counted, not modelled).
  double observedShareBelow() const {
    return sample.n != 0 ? static_cast<double>(belowDesign) / static_cast<double>(sample.n) : 0;
  }
};

Outcome<CoverSurvey, SurveyRefusal> survey_cover(const CoverInput& in);

// For any sheet's cover box: the mean cover, with the scatter of the chosen law (CoV of the
// readings).
SheetTransfer cover_sheet_transfer(const CoverSurvey& survey, const sheet::SheetTable& table);

}  // namespace pellucor::analysis::inspect
