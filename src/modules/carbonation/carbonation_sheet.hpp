// The carbonation sheet frm_main1: corrosion of the steel caused by carbonation
// (neutralisation) of the cover concrete.
#pragma once

#include "model/carbonation.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::modules {

class CarbonationSheet final : public sheet::Module {
 public:
  // The boxes by what they hold, in the order of their numbers (Text1 ...); the first six
  // (climate and concrete) are alike on every sheet.
  // clang-format off
  enum class Box {
    Environment = 1, Temperature, Humidity, Strength, Cover, Age,
    CarbonationDepth, Co2, Diameter,
  };
  // clang-format on

  const sheet::SheetTable& table() const override;
  std::optional<sheet::CheckFailure> check(const sheet::SheetInputs& in) const override;
  // The model's inputs as Calculate binds them from the sheet's inputs (read after its checks).
  static model::CarbonationInput bind(const sheet::SheetInputs& in);
  sheet::CalculationOutcome calculate(const sheet::SheetInputs& in,
                                      sheet::CalculationSink& sink) const override;
};

}  // namespace pellucor::modules
