// What a reliability analysis runs: a sheet, the values of its controls (the means), and the
// scatter of each numeric box; checked before anything is computed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/crossing.hpp"
#include "analysis/mc/uncertainty.hpp"
#include "sheet/sheet_table.hpp"
#include "sheet/view.hpp"

namespace pellucor::analysis::mc {

// The times a run gives per sample, in this order.
enum Time { kInitiation = 0, kCracking = 1, kEnd = 2 };
inline constexpr int kTimes = 3;

// A model-uncertainty factor: lognormal with mean 1 and this coefficient of variation
// (0: none), after the JCSS Probabilistic Model Code. The factor of t_i scales the initiation
// period, that of t_c the time from initiation to cracking, that of t_d the time from
// cracking to the end of durability, so that the three times keep their order.
struct ModelUncertainty {
  std::array<double, kTimes> cov{};
  bool any() const { return cov[0] > 0 || cov[1] > 0 || cov[2] > 0; }
};

struct Problem {
  const sheet::Module* module = nullptr;
  sheet::SheetInputs base;  // value[n]: the mean of TextN; the options and the steel kind
  std::array<Scatter, sheet::kMaxTextBoxes + 1> scatter{};  // scatter[n]: of TextN
  ModelUncertainty modelUncertainty;
  Binder binder = Binder::Portland;  // whose default scatter the ageing exponent has
  // How the marine sheet's initiation time is found in a sample: the age at which the chloride
  // at the bar reaches C_cr by default (the sheet's search follows its start value); no
  // meaning on the other sheets.
  InitiationVariant variant = InitiationVariant::Crossing;

  // The boxes that scatter (CoV or deviation above 0), in box order.
  std::vector<int> scattering() const;
  // Whether `variant` means anything for this sheet (the marine sheet only).
  bool hasVariants() const;
  // Whether `binder` means anything for this sheet (one with an ageing exponent).
  bool hasBinder() const;
  // Whether box n scatters as its default says (at its mean, for `binder`).
  bool defaultScatter(int n) const;
};

// What Calculate would read from a sheet's window now: the boxes by the numeric prefix rule,
// the selected options, the steel kind.
sheet::SheetInputs inputs_of(const sheet::SheetTable& table, const sheet::SheetView& view);

// A problem for `base` with the default scatter of every box that holds a value (the ageing
// exponent's after `binder`).
Problem with_defaults(const sheet::Module& module, const sheet::SheetInputs& base,
                      Binder binder = Binder::Portland);

// The numeric box of a sheet named by its control name or alias (case-insensitive), or none.
const sheet::FieldRow* find_box(const sheet::SheetTable& table, std::string_view name);

struct RunSettings {
  std::uint64_t samples = 10000;  // the samples; with a stopping rule, the most samples
  std::uint64_t seed = 1;
  // The target reliability index of the end of the durable life (editable; 1.3 by default).
  double targetBeta = 1.3;
  // The targets of depassivation (fib Bulletin 34) and of cover cracking as a serviceability
  // limit state (EN 1990, irreversible).
  double targetBetaInitiation = 1.3;
  double targetBetaCracking = 1.5;
  unsigned threads = 0;  // 0: one per core
  // The age at which P, its standard error, CoV and interval are given; none: the sheet's
  // inspection (service) age.
  std::optional<double> targetAge;
  // The stopping rule: when above 0, samples are drawn in rounds until the CoV of
  // P(t_d <= target age) falls below this value, or `samples` are drawn.
  double stopCov = 0;

  std::array<double, kTimes> targets() const {
    return {targetBetaInitiation, targetBetaCracking, targetBeta};
  }
};

inline constexpr std::uint64_t kMaxSamples = 10'000'000;

// Why a problem or its settings cannot be run. The sheet's own checks keep their texts.
struct ProblemError {
  enum class Kind {
    NegativeCov,      // a CoV below 0 (or not a number)
    EmptyBox,         // a CoV above 0 for a box that holds no value
    OutOfRange,       // a mean outside the box's range
    SheetCheck,       // a check of the sheet's Calculate failed
    SampleCount,      // 0 samples or more than kMaxSamples
    TargetBeta,       // the target reliability index is not a finite number
    UnknownName,      // no numeric box of that name on the sheet
    BadDistribution,  // no distribution of that name, or a Beta law of no such scatter
    TargetAge,        // the target age is not a positive number
    StopCov,          // the CoV of the stopping rule is not a number of 0 or more
    ModelFactor,      // a model-uncertainty CoV is not a number of 0 or more
  };
  Kind kind;
  int box = 0;          // the box concerned, 0 for none
  std::string message;  // English, for the console; the sheet's own text for its checks
  std::string text;     // the same for the desktop program (Chinese)
};

// Checks a problem and its settings in this order: each box's CoV and mean, then the sheet's
// checks at Calculate on the means, then the settings.
std::optional<ProblemError> validate(const Problem& problem, const RunSettings& settings);

}  // namespace pellucor::analysis::mc
