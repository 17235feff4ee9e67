// How the update writes numbers into its texts: significant digits, or fixed decimals.
#pragma once

#include "analysis/text/digits.hpp"

namespace pellucor::analysis::update {

using text::fixed;
using text::num;

}  // namespace pellucor::analysis::update
