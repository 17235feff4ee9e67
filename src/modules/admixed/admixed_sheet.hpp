// The admixed-chloride sheet frm_main5: corrosion caused by chloride mixed into the concrete
// when it was made.
#pragma once

#include "model/admixed.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::modules {

class AdmixedSheet final : public sheet::Module {
 public:
  // The boxes by what they hold, in the order of their numbers (Text1 ...); the first six
  // (climate and concrete) are alike on every sheet.
  // clang-format off
  enum class Box {
    Environment = 1, Temperature, Humidity, Strength, Cover, Age,
    AssumedCracking, Chloride, Diameter,
  };
  // clang-format on

  const sheet::SheetTable& table() const override;
  std::optional<sheet::CheckFailure> check(const sheet::SheetInputs& in) const override;
  sheet::CalculationOutcome calculate(const sheet::SheetInputs& in,
                                      sheet::CalculationSink& sink) const override;

  // The model's inputs as Calculate binds them from the sheet's inputs (read after its checks).
  static model::AdmixedInput bind(const sheet::SheetInputs& in);
};

}  // namespace pellucor::modules
