// The cases of the golden report table: the worked examples, one case for every branch of the
// five models (before and after cover cracking, both diffusion-coefficient sources, one or two
// initiation searches, every steel kind, the plausibility stops), and typed values drawn
// across the valid ranges by a fixed-seed generator.
#pragma once

#include <vector>

#include "reference_models.hpp"

namespace pellucor::reference {

std::vector<SheetCase> golden_cases();

}  // namespace pellucor::reference
