#include "sheet/number_form.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace pellucor::sheet {
namespace {

struct FormCase {
  double value;
  const char* text;
};

TEST(NumberForm, SinglePrecisionTable) {
  const FormCase cases[] = {
      {0.25, " 0.25 "},
      {20, " 20 "},
      {0, " 0 "},
      {-0.0, " 0 "},
      {-3.5, "-3.5 "},
      {0.1, " 0.1 "},  // the single nearest 0.1 is 0.100000001...
      {1.0 / 3.0, " 0.3333333 "},
      {2.0 / 3.0, " 0.6666667 "},
      {123456.75, " 123456.8 "},
      {1234567, " 1234567 "},
      {12345678, " 1.234568E+07 "},
      {1e7, " 1E+07 "},
      {0.0001, " 0.0001 "},
      {1.5e-05, " 1.5E-05 "},
      {-2.5e-12, "-2.5E-12 "},
      {3.0e38, " 3E+38 "},
      {1e-50, " 0 "},   // below the single range
      {-1e-50, " 0 "},  // becomes -0 in single precision
      {1e39, " INF "},
      {-1e39, "-INF "},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(number_single(k.value), k.text) << k.value;
  }
  EXPECT_EQ(number_single(std::numeric_limits<double>::quiet_NaN()), " NAN ");
  EXPECT_EQ(number_single(std::numeric_limits<double>::infinity()), " INF ");
}

// The result digits by their definition: the value in single precision, written by the
// library as printf "%.7g" would (trailing zeros dropped, exponent of two digits or more) with
// a capital E, a minus for a negative value.
std::string defined_single_digits(double v) {
  const auto f = static_cast<float>(v);
  if (std::isnan(f)) return "NAN";
  std::string out = std::signbit(f) && f != 0 ? "-" : "";
  if (std::isinf(f)) return out + "INF";
  std::array<char, 64> buf{};
  const auto res = std::to_chars(buf.data(), buf.data() + buf.size(),
                                 std::fabs(static_cast<double>(f)), std::chars_format::general, 7);
  for (char* p = buf.data(); p != res.ptr; ++p) out.push_back(*p == 'e' ? 'E' : *p);
  return out;
}

float float_of(std::uint32_t bits) {
  return std::bit_cast<float>(bits);
}

// The digits of a result are written without the library for most values; they must be the
// library's to the byte for every value of single precision. Checked on the values where a
// shortcut goes wrong first (powers of ten and their neighbours, exact ties of the eighth
// digit, the edges of each decade, subnormal and extreme values) and on millions of values
// drawn over every bit pattern and over the magnitudes results have.
TEST(NumberForm, SingleDigitsAreTheLibrarysForEveryKindOfValue) {
  std::vector<double> values = {0.0,       -0.0,        1.0,           0.5,       9999999.5,
                                999999.95, 1234567.5,   0.00012345675, 123456.75, 9.9999995e-5,
                                1e-5,      9.999999e-5, 99999.995};
  for (int e = -45; e <= 38; ++e) {
    float v = static_cast<float>(std::pow(10.0, e));
    for (int i = 0; i < 4; ++i) {
      values.push_back(v);
      values.push_back(std::nextafter(v, 0.0F));
      v = std::nextafter(v, std::numeric_limits<float>::infinity());
    }
    // The largest seven-digit value of each decade, and half a unit of its last digit above.
    values.push_back(9.999999 * std::pow(10.0, e));
    values.push_back(9.9999995 * std::pow(10.0, e));
  }
  // Ties of the eighth digit that single precision holds exactly: n + 1/2 for seven-digit n,
  // scaled by powers of two.
  for (std::uint32_t n : {1000000U, 1234567U, 4194303U, 8388607U, 9999999U}) {
    for (int s = -30; s <= 30; ++s) values.push_back(std::ldexp(n + 0.5, s));
  }
  // Subnormal values and the ends of the range.
  for (std::uint32_t bits = 1; bits < 5000; bits += 7) values.push_back(float_of(bits));
  values.push_back(std::numeric_limits<float>::max());
  values.push_back(std::numeric_limits<float>::min());
  values.push_back(std::numeric_limits<float>::denorm_min());
  std::mt19937_64 random(20261210);
  // Every bit pattern of single precision (both signs, NaN and infinities included).
  for (int i = 0; i < 2'000'000; ++i) {
    values.push_back(float_of(static_cast<std::uint32_t>(random())));
  }
  // Doubles over the magnitudes of results, rounded to single precision by the form itself.
  std::uniform_real_distribution<double> exponent(-12.0, 12.0);
  for (int i = 0; i < 2'000'000; ++i) {
    const double v = std::pow(10.0, exponent(random));
    values.push_back(i % 2 == 0 ? v : -v);
  }
  int wrong = 0;
  for (const double v : values) {
    const std::string expected = defined_single_digits(v);
    if (digits_single(v) != expected && ++wrong <= 10) {
      ADD_FAILURE() << "value " << std::hexfloat << v << ": " << digits_single(v) << " instead of "
                    << expected;
    }
    std::string appended = "x";
    append_digits_single(appended, v);
    if (appended != "x" + expected && ++wrong <= 10) {
      ADD_FAILURE() << "appended " << std::hexfloat << v << ": " << appended;
    }
  }
  EXPECT_EQ(wrong, 0);
  // The framed forms around the same digits.
  for (const double v : {12.5, -0.0, -3.25e-9, 7.0e30}) {
    const std::string d = defined_single_digits(v);
    const std::string sign = d[0] == '-' ? "" : " ";
    EXPECT_EQ(number_single(v), sign + d + " ");
    EXPECT_EQ(box_text_single(v), sign + d);
  }
}

TEST(NumberForm, DoublePrecisionTable) {
  const FormCase cases[] = {
      {0.1, " 0.1 "},
      {1.0 / 3.0, " 0.333333333333333 "},
      {0.035 * 1000, " 35 "},  // 35.00000000000001 to 15 digits
      {12.3, " 12.3 "},
      {-0.0, " 0 "},
      {-7.25, "-7.25 "},
      {123456789012345, " 123456789012345 "},
      {1234567890123456, " 1.23456789012346E+15 "},
      {1.5e-05, " 1.5E-05 "},
      {1e-300, " 1E-300 "},
      {1e300, " 1E+300 "},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(number_double(k.value), k.text) << k.value;
  }
}

TEST(NumberForm, BoxTextHasNoTrailingBlank) {
  EXPECT_EQ(box_text_single(12.5), " 12.5");
  EXPECT_EQ(box_text_single(0), " 0");
  EXPECT_EQ(box_text_single(-2), "-2");
  EXPECT_EQ(box_text_single(10.123456789), " 10.12346");
}

TEST(NumberForm, ResultLine) {
  EXPECT_EQ(result_line("保护层开裂前钢筋锈蚀深度:", 0.25, " mm"),
            "保护层开裂前钢筋锈蚀深度: 0.25  mm");
  EXPECT_EQ(result_line("t:", -1.5), "t:-1.5 ");
}

}  // namespace
}  // namespace pellucor::sheet
