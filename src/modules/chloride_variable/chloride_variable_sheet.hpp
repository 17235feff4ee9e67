// The time-dependent-coefficient chloride sheet frm_main3: corrosion caused by chloride ingress
// with a diffusion coefficient that falls with age.
#pragma once

#include "sheet/sheet_table.hpp"

namespace pellucor::modules {

class ChlorideVariableSheet final : public sheet::Module {
 public:
  // The boxes by what they hold; the values are the box numbers (Text1 ...).
  enum class Box {
    Environment = 1,  // local environment coefficient K_e
    Temperature,      // ambient temperature
    Humidity,         // relative humidity
    Strength,         // concrete strength
    Cover,            // cover thickness
    Age,              // inspection age
    Exponent,         // time-dependence exponent m
    Surface,          // surface chloride concentration
    Critical,         // critical chloride concentration
    Depth,            // measuring depth
    Measured,         // measured chloride concentration
    AssumedCracking,  // assumed cracking time
    Diameter,         // steel diameter
  };

  const sheet::SheetTable& table() const override;
  std::optional<sheet::CheckFailure> check(const sheet::SheetInputs& in) const override;
  sheet::CalculationOutcome calculate(const sheet::SheetInputs& in,
                                      sheet::CalculationSink& sink) const override;
};

}  // namespace pellucor::modules
