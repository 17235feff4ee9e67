#include "sheet/number_form.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace pellucor::sheet {

std::string general_digits(double magnitude, int significant) {
  if (std::isnan(magnitude)) return "NAN";
  if (std::isinf(magnitude)) return "INF";
  // to_chars behaves like printf "%.*g" in the "C" locale, whatever the process locale is:
  // trailing zeros and point already dropped, exponents of at least two digits.
  std::array<char, 64> buf{};
  const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(magnitude),
                                 std::chars_format::general, significant);
  std::string out(buf.data(), res.ptr);
  for (char& ch : out) {
    if (ch == 'e') ch = 'E';
  }
  return out;
}

namespace {

std::string framed(bool negative, const std::string& digits, bool trailingBlank) {
  std::string out;
  out.reserve(digits.size() + 2);
  out.push_back(negative ? '-' : ' ');
  out += digits;
  if (trailingBlank) out.push_back(' ');
  return out;
}

// Double to single precision, rounded to nearest; a finite value beyond the single range
// becomes an infinity (a plain conversion of such a value is undefined).
float to_single(double v) {
  constexpr double kMax = static_cast<double>(std::numeric_limits<float>::max());
  if (std::isfinite(v) && std::fabs(v) > kMax) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    return v > 0 ? kInf : -kInf;
  }
  return static_cast<float>(v);
}

}  // namespace

std::string number_single(double v) {
  const float f = to_single(v);
  return framed(f < 0.0F, general_digits(static_cast<double>(f), 7), true);
}

std::string number_double(double v) {
  return framed(v < 0.0, general_digits(v, 15), true);
}

std::string digits_single(double v) {
  const float f = to_single(v);
  return (f < 0.0F ? "-" : "") + general_digits(static_cast<double>(f), 7);
}

std::string digits_double(double v) {
  return (v < 0.0 ? "-" : "") + general_digits(v, 15);
}

std::string box_text_single(double v) {
  const float f = to_single(v);
  return framed(f < 0.0F, general_digits(static_cast<double>(f), 7), false);
}

std::string result_line(std::string_view label, double v, std::string_view unit) {
  std::string line(label);
  line += number_single(v);
  line += unit;
  return line;
}

}  // namespace pellucor::sheet
