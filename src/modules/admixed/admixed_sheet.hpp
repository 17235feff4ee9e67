// The admixed-chloride sheet frm_main5: corrosion caused by chloride mixed into the concrete
// when it was made.
#pragma once

#include "sheet/sheet_table.hpp"

namespace pellucor::modules {

class AdmixedSheet final : public sheet::Module {
 public:
  // The boxes by what they hold; the values are the box numbers (Text1 ...).
  enum class Box {
    Environment = 1,  // local environment coefficient K_e
    Temperature,      // ambient temperature
    Humidity,         // relative humidity
    Strength,         // concrete strength
    Cover,            // cover thickness
    Age,              // inspection age
    AssumedCracking,  // assumed cracking time
    Chloride,         // chloride content mixed in
    Diameter,         // steel diameter
  };

  const sheet::SheetTable& table() const override;
  std::optional<sheet::CheckFailure> check(const sheet::SheetInputs& in) const override;
  sheet::CalculationOutcome calculate(const sheet::SheetInputs& in,
                                      sheet::CalculationSink& sink) const override;
};

}  // namespace pellucor::modules
