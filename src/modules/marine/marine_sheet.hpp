// The marine-atmosphere sheet frm_main4: corrosion caused by chloride from a near-sea
// atmosphere accumulating at the concrete surface.
#pragma once

#include "sheet/sheet_table.hpp"

namespace pellucor::modules {

class MarineSheet final : public sheet::Module {
 public:
  const sheet::SheetTable& table() const override;
  std::optional<sheet::CheckFailure> check(const sheet::SheetInputs& in) const override;
  sheet::CalculationOutcome calculate(const sheet::SheetInputs& in,
                                      sheet::CalculationSink& sink) const override;
};

}  // namespace pellucor::modules
