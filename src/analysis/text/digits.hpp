// Numbers written into texts: significant digits, or fixed decimals.
#pragma once

#include <cstdio>
#include <string>

namespace pellucor::analysis::text {

inline std::string num(double v, int digits = 4) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return buf;
}

inline std::string fixed(double v, int decimals = 2) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

}  // namespace pellucor::analysis::text
