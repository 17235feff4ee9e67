// What an inspection measured on a member, as the update of its reliability analysis takes it:
// carbonation depths at an age, the chloride profiles of cores, cover-meter readings, and the
// corrosion depth or crack width at the inspection age where they were measured. Each kind
// with the error it is compared with, typed or estimated from the readings (its source named).
//
// prepare() checks the measurements against the member's sheet and turns them into what the
// likelihood reads: depths on the logarithmic scale with the error's deviation there, contents
// in kg/m³ at depths in metres with the points the fit leaves out marked. A measurement the
// sheet cannot compare with (chloride on the carbonation sheet, a crack width on wall or slab
// reinforcement) is refused, naming it; nothing is dropped.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/inspect/chloride_profile.hpp"
#include "analysis/inspect/typing_bounds.hpp"
#include "analysis/outcome.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::analysis::update {

// Phenolphthalein carbonation depths read at one age.
struct DepthReadings {
  std::vector<double> depthMm;
  double ageYears = 0;
  // The coefficient of variation of the lognormal measurement and model error (mean 1); none:
  // estimated from the scatter of the readings.
  std::optional<double> errorCov;

  bool operator==(const DepthReadings&) const = default;
};

// Beyond these a value is taken for a slip of typing and refused, not compared.
using inspect::kErrorCovHigh;
using inspect::kErrorCovLow;
using inspect::kErrorSdHigh;
using inspect::kErrorSdLow;
using inspect::kMaxAgeYears;
using inspect::kMaxAtInspectionMm;
using inspect::kMaxDepthMm;

// A reading of 0: no carbonated concrete was seen, the front lies within this depth of the
// surface (phenolphthalein depths are read to the millimetre). Such a reading is compared as
// "below this depth", not as a depth of 0, which no lognormal error gives.
inline constexpr double kDepthResolutionMm = 0.5;

// One core: the contents of its ground layers (the same input as the profile fit) and the
// deviation of the normal measurement and model error in kg/m³ (none: the fit's residual
// standard deviation).
struct ProfileCore {
  std::string name;
  inspect::ProfileInput input;
  std::optional<double> errorSd;

  bool operator==(const ProfileCore&) const = default;
};

// A value measured at the sheet's inspection age with the deviation of its normal error.
struct AtInspection {
  double value = 0;
  double sd = 0;

  bool operator==(const AtInspection&) const = default;
};

struct Measurements {
  std::vector<DepthReadings> depths;
  std::vector<ProfileCore> cores;
  std::vector<double> coverMm;                 // cover-meter readings; empty: none
  std::optional<AtInspection> corrosionDepth;  // mm, at the inspection age
  std::optional<AtInspection> crackWidth;      // mm, at the inspection age

  // Nothing that conditions the analysis.
  bool empty() const {
    return depths.empty() && cores.empty() && coverMm.empty() && !corrosionDepth && !crackWidth;
  }
  bool operator==(const Measurements&) const = default;
};

// Where the deviation of an error comes from.
enum class ErrorSource {
  Typed,            // given by the user
  ReadingsScatter,  // the deviation of the logarithms of the readings
  FitResiduals,     // the residual standard deviation of the core's profile fit
};

// Carbonation depths as the likelihood reads them.
struct PreparedDepths {
  std::size_t set = 0;  // which of Measurements::depths
  double ageYears = 0;
  std::vector<double> logs;  // the logarithms of the readings above 0, mm
  double mean = 0;           // of the logarithms
  double deviations = 0;     // the sum of their squared deviations from it
  std::size_t zeros = 0;     // readings of 0
  double sigma = 0;          // deviation of the error's logarithm
  double cov = 0;            // the error's coefficient of variation, sqrt(exp(sigma^2) - 1)
  ErrorSource source = ErrorSource::Typed;
  double largest = 0;  // the largest reading, mm
};

// One core as the likelihood reads it.
struct PreparedCore {
  std::size_t core = 0;  // which of Measurements::cores
  std::string name;
  double ageYears = 0;
  std::vector<double> depthMm;  // every point, from the surface
  std::vector<double> content;  // kg/m³
  std::vector<bool> used;       // in the likelihood (the fit's choice of the outermost layer)
  double background = 0;        // kg/m³, added to the sheet's law (zero, given or fitted)
  inspect::Background backgroundKind = inspect::Background::Zero;
  double sd = 0;  // kg/m³
  ErrorSource source = ErrorSource::Typed;
  int fitPoints = 0;  // points of the fit whose residuals gave sd
};

struct PreparedMeasurements {
  std::vector<PreparedDepths> depths;
  std::vector<PreparedCore> cores;
  std::optional<AtInspection> corrosionDepth;
  std::optional<AtInspection> crackWidth;
  std::vector<double> coverMm;

  // Whether anything enters the likelihood (the cover readings change a law instead).
  bool hasLikelihood() const {
    return !depths.empty() || !cores.empty() || corrosionDepth || crackWidth;
  }
  bool needsModelRun() const { return corrosionDepth || crackWidth; }
};

enum class MeasurementRefusal {
  NoAge,           // an age that is not a number above 0
  BadReading,      // a reading that is not a number, or negative
  TooFewReadings,  // no scatter to estimate an error from, and none typed
  BadError,        // a typed CoV or deviation that is not a number above 0
  NotOnThisSheet,  // a kind of measurement the sheet's model does not give
  CoreNotUsable,   // a core the fit refuses, whose error or background needs the fit
  NoCrackWidth,    // a crack width on wall or slab reinforcement
  TooFewCoverReadings,
};

// Checks the measurements against the member's sheet (its module and inputs: the steel kind
// says whether a crack width exists) and prepares them.
Outcome<PreparedMeasurements, MeasurementRefusal> prepare(const sheet::Module& module,
                                                          const sheet::SheetInputs& inputs,
                                                          const Measurements& m);

// What the measurements are and where their errors come from, one line each (Chinese, and
// English for the console).
std::vector<std::string> measurement_lines(const PreparedMeasurements& m);
std::vector<std::string> measurement_lines_english(const PreparedMeasurements& m);

}  // namespace pellucor::analysis::update
