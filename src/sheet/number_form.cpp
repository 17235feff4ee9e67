#include "sheet/number_form.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace pellucor::sheet {

namespace {

// The general form by the library: to_chars behaves like printf "%.*g" in the "C" locale,
// whatever the process locale is (trailing zeros and point already dropped, exponents of at
// least two digits); "e" becomes "E".
char* library_digits(double magnitude, int significant, char* out, char* end) {
  const auto res =
      std::to_chars(out, end, std::fabs(magnitude), std::chars_format::general, significant);
  for (char* p = out; p != res.ptr; ++p) {
    if (*p == 'e') *p = 'E';
  }
  return res.ptr;
}

// Exact powers of ten in double precision: 10^0 .. 10^22.
constexpr std::array<double, 23> kExactTens = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The general form with 7 significant digits of a finite, positive value of single precision
// (held in a double, exactly), the same text as library_digits(x, 7) gives, found without it
// for the magnitudes from 1E-16 to 1E+28: the value is scaled by one exact power of ten so that
// its seven digits are the integer part, with one rounding in double precision (an error below
// 2E-9 in a number below 1E+7). Where that error could decide the rounding (a fraction within
// 1E-7 of one half: a tie, or nearly one) the library is asked instead.
// Returns nullptr when the library is to be asked.
char* quick_single_digits(double x, char* out) {
  // The decimal exponent from the binary one (log10(2) ~ 78913 / 2^18), corrected below.
  const auto bits = std::bit_cast<std::uint64_t>(x);
  const int binary = static_cast<int>(bits >> 52) - 1023;  // x in [2^binary, 2^(binary+1))
  int k = (binary * 78913) >> 18;  // floor for negative values too (arithmetic shift)
  double y = 0;
  for (int tries = 0;; ++tries) {
    const int p = 6 - k;  // the scale: y = x * 10^p
    if (p > 22 || p < -22 || tries == 2) return nullptr;
    y = p >= 0 ? x * kExactTens[static_cast<std::size_t>(p)]
               : x / kExactTens[static_cast<std::size_t>(-p)];
    if (y < 1e6 - 1e-7) {
      --k;
    } else if (y >= 1e7 + 1e-7) {
      ++k;
    } else {
      break;
    }
  }
  // Within 1E-7 of an edge of the decade the value rounds to 1000000 at this exponent or to
  // 10000000 at the one below: the same digits.
  const auto whole = static_cast<std::uint32_t>(y);  // y is positive: its integer part
  const double fraction = y - whole;                 // exact
  if (fraction > 0.5 - 1e-7 && fraction < 0.5 + 1e-7) return nullptr;
  std::uint32_t n = whole + (fraction > 0.5 ? 1U : 0U);
  if (n == 10'000'000U) {
    n = 1'000'000U;
    ++k;
  }
  // The seven digits (the first, then three pairs), and how many are left once trailing
  // zeros go.
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char d[7];
  d[0] = static_cast<char>('0' + n / 1'000'000U);
  std::uint32_t rest = n % 1'000'000U;
  for (int i = 5; i >= 1; i -= 2) {
    const std::uint32_t pair = rest % 100U;
    rest /= 100U;
    d[i] = kPairs[2 * pair];
    d[i + 1] = kPairs[2 * pair + 1];
  }
  int used = 7;
  while (used > 1 && d[used - 1] == '0') --used;
  char* o = out;
  if (k >= -4 && k < 7) {
    if (k >= 0) {
      for (int i = 0; i <= k; ++i) *o++ = d[i];
      if (used > k + 1) {
        *o++ = '.';
        for (int i = k + 1; i < used; ++i) *o++ = d[i];
      }
    } else {
      *o++ = '0';
      *o++ = '.';
      for (int i = 0; i < -k - 1; ++i) *o++ = '0';
      for (int i = 0; i < used; ++i) *o++ = d[i];
    }
    return o;
  }
  *o++ = d[0];
  if (used > 1) {
    *o++ = '.';
    for (int i = 1; i < used; ++i) *o++ = d[i];
  }
  *o++ = 'E';
  *o++ = k < 0 ? '-' : '+';
  const int e = k < 0 ? -k : k;
  if (e >= 10)
    *o++ = static_cast<char>('0' + e / 10);
  else
    *o++ = '0';
  *o++ = static_cast<char>('0' + e % 10);
  return o;
}

}  // namespace

std::string general_digits(double magnitude, int significant) {
  if (std::isnan(magnitude)) return "NAN";
  if (std::isinf(magnitude)) return "INF";
  std::array<char, 64> buf{};
  return std::string(buf.data(),
                     library_digits(magnitude, significant, buf.data(), buf.data() + buf.size()));
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

// The single-precision form of v: its sign ("-", or a blank for zero and positive values when
// `blankSign`), its 7 digits, a trailing blank when asked for.
void append_single(std::string& out, double v, bool blankSign, bool trailingBlank) {
  const float f = to_single(v);
  if (f < 0.0F) {
    out.push_back('-');
  } else if (blankSign) {
    out.push_back(' ');
  }
  const double x = std::fabs(static_cast<double>(f));
  if (std::isnan(x)) {
    out += "NAN";
  } else if (std::isinf(x)) {
    out += "INF";
  } else if (x == 0) {
    out.push_back('0');
  } else {
    std::array<char, 32> buf{};
    char* end = quick_single_digits(x, buf.data());
    if (end == nullptr) end = library_digits(x, 7, buf.data(), buf.data() + buf.size());
    out.append(buf.data(), end);
  }
  if (trailingBlank) out.push_back(' ');
}

}  // namespace

std::string number_single(double v) {
  std::string out;
  append_single(out, v, true, true);
  return out;
}

std::string number_double(double v) {
  return framed(v < 0.0, general_digits(v, 15), true);
}

std::string digits_single(double v) {
  std::string out;
  append_single(out, v, false, false);
  return out;
}

void append_digits_single(std::string& out, double v) {
  append_single(out, v, false, false);
}

std::string digits_double(double v) {
  std::string out = general_digits(v, 15);
  if (v < 0.0) out.insert(out.begin(), '-');
  return out;
}

std::string box_text_single(double v) {
  std::string out;
  append_single(out, v, true, false);
  return out;
}

std::string result_line(std::string_view label, double v, std::string_view unit) {
  std::string line(label);
  line += number_single(v);
  line += unit;
  return line;
}

}  // namespace pellucor::sheet
