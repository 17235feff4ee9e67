// The analyses' result-or-reason moved to analysis/outcome.hpp; this name stays for the code
// that still includes it by its old place.
#pragma once

#include "analysis/outcome.hpp"
