#include "sheet/number_form.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

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
