#include "sheet/numeric.hpp"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <system_error>

namespace pellucor::sheet {

namespace {

bool is_ignored(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\n';
}
bool is_digit(char ch) {
  return ch >= '0' && ch <= '9';
}

// Decimal exponent of the leading significant digit of a mantissa (digits with at most one
// point), e.g. "123.4" -> 3, "0.001" -> -2; 0 when every digit is zero. Only its sign is
// used: it tells an overflow from an underflow.
long long leading_exponent(std::string_view mantissa) {
  const std::size_t point = mantissa.find('.');
  const std::size_t intDigits = point == std::string_view::npos ? mantissa.size() : point;
  for (std::size_t i = 0; i < mantissa.size(); ++i) {
    const char ch = mantissa[i];
    if (ch == '.' || ch == '0') continue;
    return i < intDigits ? static_cast<long long>(intDigits - i)
                         : -static_cast<long long>(i - intDigits - 1);
  }
  return 0;
}

// Value of an exponent's digits, saturated far beyond any double's range.
long long saturated_exponent(std::string_view digits) {
  constexpr long long kCap = 1'000'000'000LL;
  long long e = 0;
  for (char ch : digits) {
    e = e * 10 + (ch - '0');
    if (e > kCap) return kCap;
  }
  return e;
}

}  // namespace

std::string half_width(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    if ((b0 != 0xEF && b0 != 0xE3) || i + 2 >= utf8.size()) {
      out.push_back(utf8[i]);
      ++i;
      continue;
    }
    const auto b1 = static_cast<unsigned char>(utf8[i + 1]);
    const auto b2 = static_cast<unsigned char>(utf8[i + 2]);
    // U+FF01..U+FF3F is EF BC 81..BF, U+FF40..U+FF5E is EF BD 80..9E; ASCII = U+FFxx - 0xFEE0.
    if (b0 == 0xEF && b1 == 0xBC && b2 >= 0x81 && b2 <= 0xBF) {
      out.push_back(static_cast<char>(b2 - 0x81 + 0x21));
    } else if (b0 == 0xEF && b1 == 0xBD && b2 >= 0x80 && b2 <= 0x9E) {
      out.push_back(static_cast<char>(b2 - 0x80 + 0x60));
    } else if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80) {  // U+3000 ideographic blank
      out.push_back(' ');
    } else if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x82) {  // U+3002 ideographic full stop
      out.push_back('.');
    } else {
      out.push_back(utf8[i]);
      ++i;
      continue;
    }
    i += 3;
  }
  return out;
}

namespace {

// Whether the character at s[i] (not ASCII) is one that half_width() turns into ASCII.
bool half_width_form(std::string_view s, std::size_t i) {
  if (i + 2 >= s.size()) return false;
  const auto b0 = static_cast<unsigned char>(s[i]);
  const auto b1 = static_cast<unsigned char>(s[i + 1]);
  const auto b2 = static_cast<unsigned char>(s[i + 2]);
  return (b0 == 0xEF && b1 == 0xBC && b2 >= 0x81 && b2 <= 0xBF) ||
         (b0 == 0xEF && b1 == 0xBD && b2 >= 0x80 && b2 <= 0x9E) ||
         (b0 == 0xE3 && b1 == 0x80 && (b2 == 0x80 || b2 == 0x82));
}

std::size_t first_not_ascii(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (static_cast<unsigned char>(s[i]) >= 0x80) return i;
  }
  return std::string_view::npos;
}

}  // namespace

double numeric_prefix(std::string_view utf8) {
  // A character that is not ASCII (after the half-width forms are read) ends the number, so
  // the text is read only up to the first one; most texts are ASCII, and a list item such as
  // "2 变形钢筋" is read as "2 ".
  std::string wide;
  if (const std::size_t p = first_not_ascii(utf8); p != std::string_view::npos) {
    if (half_width_form(utf8, p)) {
      wide = half_width(utf8);
      utf8 = wide;
    }
    utf8 = utf8.substr(0, first_not_ascii(utf8));
  }
  // The text without blanks: most texts have none and are read where they are.
  std::string stripped;
  std::string_view compact = utf8;
  if (utf8.find_first_of(" \t\n") != std::string_view::npos) {
    stripped.reserve(utf8.size());
    for (char ch : utf8) {
      if (!is_ignored(ch)) stripped.push_back(ch);
    }
    compact = stripped;
  }

  std::size_t pos = 0;
  bool negative = false;
  if (pos < compact.size() && (compact[pos] == '+' || compact[pos] == '-')) {
    negative = compact[pos] == '-';
    ++pos;
  }
  const std::size_t mantissaStart = pos;
  bool seenPoint = false;
  bool seenDigit = false;
  while (pos < compact.size()) {
    const char ch = compact[pos];
    if (is_digit(ch)) {
      seenDigit = true;
    } else if (ch == '.' && !seenPoint) {
      seenPoint = true;
    } else {
      break;
    }
    ++pos;
  }
  if (!seenDigit) return 0.0;
  const std::string_view mantissa(compact.data() + mantissaStart, pos - mantissaStart);

  // An exponent counts only when at least one digit follows the letter and its sign.
  std::size_t end = pos;
  bool expNegative = false;
  std::string_view expDigits;
  if (pos < compact.size() && (compact[pos] == 'E' || compact[pos] == 'e')) {
    std::size_t q = pos + 1;
    if (q < compact.size() && (compact[q] == '+' || compact[q] == '-')) {
      expNegative = compact[q] == '-';
      ++q;
    }
    const std::size_t digitsStart = q;
    while (q < compact.size() && is_digit(compact[q])) ++q;
    if (q > digitsStart) {
      expDigits = std::string_view(compact.data() + digitsStart, q - digitsStart);
      end = q;
    }
  }

  // from_chars takes no leading '+'; the sign is applied afterwards.
  const char* first = compact.data() + mantissaStart;
  const char* last = compact.data() + end;
  double magnitude = 0.0;
  const auto [ptr, ec] = std::from_chars(first, last, magnitude, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    long long e = leading_exponent(mantissa);
    const long long x = saturated_exponent(expDigits);
    e += expNegative ? -x : x;
    magnitude = e > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (ec != std::errc() || ptr != last) {
    return 0.0;  // cannot happen for the text checked above
  }
  return negative ? -magnitude : magnitude;
}

std::int16_t steel_kind(std::string_view comboText) {
  const double v = numeric_prefix(comboText);
  if (!std::isfinite(v)) return 0;
  // Round half to even without depending on the floating-point rounding mode.
  double r = std::round(v);  // halves away from zero
  if (std::fabs(v - std::trunc(v)) == 0.5 && std::fmod(r, 2.0) != 0.0) {
    r -= std::copysign(1.0, v);
  }
  if (r < std::numeric_limits<std::int16_t>::min() ||
      r > std::numeric_limits<std::int16_t>::max()) {
    return 0;
  }
  return static_cast<std::int16_t>(r);
}

namespace {

// Length in bytes of the UTF-8 sequence that starts at s[i]; a malformed byte counts as one
// character of its own.
std::size_t sequence_length(std::string_view s, std::size_t i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  std::size_t len = 1;
  if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
  } else if (lead >= 0xE0) {
    len = lead <= 0xEF ? 3 : 1;
  } else if (lead >= 0xC2) {
    len = 2;
  }
  if (i + len > s.size()) return 1;
  for (std::size_t k = 1; k < len; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  }
  return len;
}

}  // namespace

std::string steel_name(std::string_view comboText) {
  std::string name;
  std::size_t chars = 0;
  std::size_t index = 0;
  for (std::size_t i = 0; i < comboText.size() && chars < kSteelNameWidth;) {
    const std::size_t len = sequence_length(comboText, i);
    if (index >= 2) {
      name.append(comboText.substr(i, len));
      ++chars;
    }
    ++index;
    i += len;
  }
  name.append(kSteelNameWidth - chars, ' ');
  return name;
}

}  // namespace pellucor::sheet
