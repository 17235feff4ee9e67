#include "analysis/text/printable.hpp"

#include <cstdint>
#include <cstdio>

namespace pellucor::analysis::text {

namespace {

bool hidden(std::uint32_t c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) ||
         c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF;
}

void escape(std::string& out, std::uint32_t c) {
  switch (c) {
    case '\t':
      out += "\\t";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    default:
      break;
  }
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
  out += buf;
}

// The length of the UTF-8 character at `s[i]` and its code point; 0 for a byte that starts
// none (a stray continuation byte, an overlong form, a surrogate, a character cut off).
std::size_t decode(std::string_view s, std::size_t i, std::uint32_t& c) {
  const auto b = static_cast<unsigned char>(s[i]);
  std::size_t n = 0;
  std::uint32_t least = 0;
  if (b < 0x80) {
    c = b;
    return 1;
  }
  if ((b & 0xE0) == 0xC0) {
    n = 2;
    c = b & 0x1F;
    least = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    n = 3;
    c = b & 0x0F;
    least = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    n = 4;
    c = b & 0x07;
    least = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const auto cb = static_cast<unsigned char>(s[i + k]);
    if ((cb & 0xC0) != 0x80) return 0;
    c = (c << 6) | (cb & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

std::string printable(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t c = 0;
    const std::size_t n = decode(utf8, i, c);
    if (n == 0) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(utf8[i]));
      out += buf;
      ++i;
      continue;
    }
    if (c == '\\') {
      out += "\\\\";
    } else if (hidden(c)) {
      escape(out, c);
    } else {
      out.append(utf8.substr(i, n));
    }
    i += n;
  }
  return out;
}

}  // namespace pellucor::analysis::text
