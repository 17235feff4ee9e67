// Conversion between UTF-8 (the program's own text) and GBK, the Chinese code page 936 in
// which result files, member tables and other texts for Chinese systems are written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pellucor::platform {

class GbkConversion {
 public:
  enum class Direction { ToGbk, FromGbk };

  explicit GbkConversion(Direction direction);
  ~GbkConversion();
  GbkConversion(const GbkConversion&) = delete;
  GbkConversion& operator=(const GbkConversion&) = delete;

  // False when the system offers no such conversion (nothing can then be converted).
  bool available() const;

  // Appends to `out` the conversion of the longest start of `in` that converts whole
  // characters and returns its length in bytes: in.size() when all of `in` converts; less
  // where `in` holds a sequence that is not valid in its encoding, is cut off at its end, or
  // names a character the other encoding cannot hold. Each call starts afresh.
  std::size_t convert(std::string_view in, std::string& out);

 private:
  Direction direction_;
  void* state_ = nullptr;
};

}  // namespace pellucor::platform
