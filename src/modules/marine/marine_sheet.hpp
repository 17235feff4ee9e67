// The marine-atmosphere sheet frm_main4: corrosion caused by chloride from a near-sea
// atmosphere accumulating at the concrete surface.
#pragma once

#include "sheet/sheet_table.hpp"

namespace pellucor::modules {

class MarineSheet final : public sheet::Module {
 public:
  // The boxes by what they hold; the values are the box numbers (Text1 ...).
  enum class Box {
    Environment = 1,    // local environment coefficient K_e
    Temperature,        // ambient temperature
    Humidity,           // relative humidity
    Strength,           // concrete strength
    Cover,              // cover thickness
    Age,                // inspection age
    Diffusion,          // diffusion coefficient (empty: derived)
    Surface,            // stable surface chloride concentration
    Critical,           // critical chloride concentration
    Depth,              // measuring depth
    Measured,           // measured chloride concentration
    WaterCement,        // water-cement ratio
    AssumedCracking,    // assumed cracking time
    Diameter,           // steel diameter
    Accumulation,       // accumulation coefficient k
    StableTime,         // time to the stable surface value
    AssumedInitiation,  // assumed initiation time (start of the first search)
    AssumedT2,          // assumed T2 (start of the second search)
  };

  const sheet::SheetTable& table() const override;
  std::optional<sheet::CheckFailure> check(const sheet::SheetInputs& in) const override;
  sheet::CalculationOutcome calculate(const sheet::SheetInputs& in,
                                      sheet::CalculationSink& sink) const override;
};

}  // namespace pellucor::modules
