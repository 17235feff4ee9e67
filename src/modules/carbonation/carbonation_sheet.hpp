// The carbonation sheet frm_main1: corrosion of the steel caused by carbonation
// (neutralisation) of the cover concrete.
#pragma once

#include "sheet/sheet_table.hpp"

namespace pellucor::modules {

class CarbonationSheet final : public sheet::Module {
 public:
  // The boxes by what they hold; the values are the box numbers (Text1 ...).
  enum class Box {
    Environment = 1,   // local environment coefficient m
    Temperature,       // ambient temperature
    Humidity,          // relative humidity
    Strength,          // concrete strength
    Cover,             // cover thickness
    Age,               // inspection age
    CarbonationDepth,  // measured carbonation depth (or the CO2 coefficient)
    Co2,               // CO2 concentration coefficient (or the measured depth)
    Diameter,          // steel diameter
  };

  const sheet::SheetTable& table() const override;
  std::optional<sheet::CheckFailure> check(const sheet::SheetInputs& in) const override;
  sheet::CalculationOutcome calculate(const sheet::SheetInputs& in,
                                      sheet::CalculationSink& sink) const override;
};

}  // namespace pellucor::modules
