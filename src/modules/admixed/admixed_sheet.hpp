// The admixed-chloride sheet frm_main5: corrosion caused by chloride mixed into the concrete
// when it was made.
#pragma once

#include "sheet/sheet_table.hpp"

namespace pellucor::modules {

class AdmixedSheet final : public sheet::Module {
 public:
  const sheet::SheetTable& table() const override;
  std::optional<sheet::CheckFailure> check(const sheet::SheetInputs& in) const override;
  sheet::CalculationOutcome calculate(const sheet::SheetInputs& in,
                                      sheet::CalculationSink& sink) const override;
};

}  // namespace pellucor::modules
