// Reading and writing numbers must not follow the process locale: the desktop program sets
// the user's locale, which may well use a decimal comma.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "sheet/number_form.hpp"
#include "sheet/numeric.hpp"

namespace pellucor::sheet {
namespace {

// Switches LC_NUMERIC to a locale with a decimal comma for the life of the object: an
// installed one, or else one compiled into a scratch folder with localedef.
class CommaLocale {
 public:
  CommaLocale() : saved_(std::setlocale(LC_NUMERIC, nullptr)) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8",
                             "German_Germany.1252", "de-DE"}) {
      if (std::setlocale(LC_NUMERIC, name) != nullptr) {
        active_ = true;
        return;
      }
    }
#ifndef _WIN32
    // Made here where the system has none: glibc's localedef.
    dir_ =
        std::filesystem::temp_directory_path() / ("pellucor_locale_" + std::to_string(::getpid()));
    const std::string cmd =
        "localedef -i de_DE -f UTF-8 '" + (dir_ / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    std::filesystem::create_directories(dir_);
    if (std::system(cmd.c_str()) == 0 && ::setenv("LOCPATH", dir_.c_str(), 1) == 0) {
      active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
#endif
  }
  ~CommaLocale() {
    std::setlocale(LC_NUMERIC, saved_.c_str());
    if (!dir_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(dir_, ec);
    }
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  bool active() const {
    return active_ && *std::localeconv()->decimal_point == ',';
  }

 private:
  std::string saved_;
  std::filesystem::path dir_;
  bool active_ = false;
};

TEST(Locale, DecimalCommaLocaleChangesNeitherReadingNorWriting) {
  CommaLocale comma;
  if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma available";
  EXPECT_EQ(numeric_prefix("2.5"), 2.5);
  EXPECT_EQ(numeric_prefix("2,5"), 2.0);
  EXPECT_EQ(number_single(0.25), " 0.25 ");
  EXPECT_EQ(number_double(-1.5e-05), "-1.5E-05 ");
  EXPECT_EQ(box_text_single(12.5), " 12.5");
  EXPECT_EQ(general_digits(3.5, 15), "3.5");
}

}  // namespace
}  // namespace pellucor::sheet
