// What a reliability analysis runs: a sheet, the values of its controls (the means), and the
// scatter of each numeric box; checked before anything is computed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/mc/uncertainty.hpp"
#include "sheet/sheet_table.hpp"
#include "sheet/view.hpp"

namespace pellucor::analysis::mc {

struct Problem {
  const sheet::Module* module = nullptr;
  sheet::SheetInputs base;  // value[n]: the mean of TextN; the options and the steel kind
  std::array<Scatter, sheet::kMaxTextBoxes + 1> scatter{};  // scatter[n]: of TextN

  // The boxes that scatter (CoV above 0), in box order.
  std::vector<int> scattering() const;
};

// What Calculate would read from a sheet's window now: the boxes by the numeric prefix rule,
// the selected options, the steel kind.
sheet::SheetInputs inputs_of(const sheet::SheetTable& table, const sheet::SheetView& view);

// A problem for `base` with the default scatter of every box that holds a value.
Problem with_defaults(const sheet::Module& module, const sheet::SheetInputs& base);

// The numeric box of a sheet named by its control name or alias (case-insensitive), or none.
const sheet::FieldRow* find_box(const sheet::SheetTable& table, std::string_view name);

struct RunSettings {
  std::uint64_t samples = 10000;
  std::uint64_t seed = 1;
  double targetBeta = 1.3;  // the usual serviceability target for depassivation
  unsigned threads = 0;     // 0: one per core
};

inline constexpr std::uint64_t kMaxSamples = 10'000'000;

// Why a problem or its settings cannot be run. The sheet's own checks keep their texts.
struct ProblemError {
  enum class Kind {
    NegativeCov,     // a CoV below 0 (or not a number)
    EmptyBox,        // a CoV above 0 for a box that holds no value
    OutOfRange,      // a mean outside the box's range
    SheetCheck,      // a check of the sheet's Calculate failed
    SampleCount,     // 0 samples or more than kMaxSamples
    TargetBeta,      // the target reliability index is not a finite number
    UnknownName,     // no numeric box of that name on the sheet
    BadDistribution  // no distribution of that name
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
