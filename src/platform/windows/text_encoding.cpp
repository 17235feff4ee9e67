// GBK through the system's code page 936. Characters are checked one by one where a run of
// them does not convert as a whole, so that the conversion stops exactly where iconv's GBK
// would: at a sequence that is not valid, or at a character that GBK cannot hold (never a
// "best fit" look-alike, never a replacement character).
#include "platform/text_encoding.hpp"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace pellucor::platform {

namespace {

constexpr UINT kCodePage = 936;

// The code point of the UTF-8 sequence at in[i] and its length; 0 for the length when the
// sequence is not valid UTF-8 (overlong forms, surrogates and values beyond U+10FFFF
// included) or is cut off.
std::size_t utf8_at(std::string_view in, std::size_t i, char32_t& cp) {
  const auto c = static_cast<unsigned char>(in[i]);
  std::size_t len = 0;
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + len > in.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto d = static_cast<unsigned char>(in[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (d & 0x3F);
  }
  if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
      (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
    return 0;
  }
  return len;
}

void put_utf16(char32_t cp, std::wstring& out) {
  if (cp < 0x10000) {
    out += static_cast<wchar_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (cp >> 10));
    out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
  }
}

void put_utf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16 to GBK; false when a character has no GBK form of its own.
bool to_gbk(const wchar_t* w, int n, std::string& out) {
  if (n == 0) return true;
  char small[16];
  std::vector<char> large;
  char* buffer = small;
  int room = static_cast<int>(sizeof small);
  if (n * 2 > room) {
    large.resize(static_cast<std::size_t>(n) * 2);
    buffer = large.data();
    room = static_cast<int>(large.size());
  }
  BOOL usedDefault = FALSE;
  const int got = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, w, n, buffer, room, nullptr,
                                      &usedDefault);
  if (got <= 0 || usedDefault) return false;
  out.append(buffer, static_cast<std::size_t>(got));
  return true;
}

std::size_t utf8_to_gbk(std::string_view in, std::string& out) {
  std::size_t i = 0;
  std::wstring run;
  while (i < in.size()) {
    // ASCII is the same in both.
    while (i < in.size() && static_cast<unsigned char>(in[i]) < 0x80) out += in[i++];
    if (i == in.size()) break;
    // A run of characters beyond ASCII, converted at once when all of them convert.
    const std::size_t runStart = i;
    std::vector<std::size_t> starts;
    run.clear();
    char32_t cp = 0;
    std::size_t len = 0;
    while (i < in.size() && static_cast<unsigned char>(in[i]) >= 0x80 &&
           (len = utf8_at(in, i, cp)) != 0) {
      starts.push_back(i);
      put_utf16(cp, run);
      i += len;
    }
    if (!to_gbk(run.data(), static_cast<int>(run.size()), out)) {
      // One by one, up to the first that does not convert.
      i = runStart;
      for (const std::size_t at : starts) {
        utf8_at(in, at, cp);
        std::wstring one;
        put_utf16(cp, one);
        if (!to_gbk(one.data(), static_cast<int>(one.size()), out)) return at;
        i = at + utf8_at(in, at, cp);
      }
    }
    if (i < in.size() && static_cast<unsigned char>(in[i]) >= 0x80) return i;  // not UTF-8
  }
  return in.size();
}

// The length of the GBK character at in[i]: 1 (ASCII, and 0x80 for the euro sign), 2, or 0
// when the bytes cannot start one (0xFF) or it is cut off.
std::size_t gbk_length(std::string_view in, std::size_t i) {
  const auto c = static_cast<unsigned char>(in[i]);
  if (c <= 0x80) return 1;
  if (c == 0xFF || i + 1 >= in.size()) return 0;
  const auto d = static_cast<unsigned char>(in[i + 1]);
  if (d < 0x40 || d == 0x7F || d == 0xFF) return 0;
  return 2;
}

// GBK to UTF-16; false when a sequence has no character.
bool from_gbk(const char* s, int n, std::wstring& out) {
  if (n == 0) return true;
  const int need = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, s, n, nullptr, 0);
  if (need <= 0) return false;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(need));
  return MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, s, n, out.data() + at, need) == need;
}

void append_utf8(const std::wstring& w, std::string& out) {
  for (std::size_t k = 0; k < w.size(); ++k) {
    char32_t cp = static_cast<char16_t>(w[k]);
    if (cp >= 0xD800 && cp <= 0xDBFF && k + 1 < w.size()) {
      const char32_t low = static_cast<char16_t>(w[k + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        ++k;
      }
    }
    put_utf8(cp, out);
  }
}

// A character of code page 936 that GBK does not have: the user-defined areas, which Windows
// maps into the private use area.
bool private_use(const std::wstring& w) {
  for (const wchar_t c : w) {
    if (static_cast<char16_t>(c) >= 0xE000 && static_cast<char16_t>(c) <= 0xF8FF) return true;
  }
  return false;
}

std::size_t gbk_to_utf8(std::string_view in, std::string& out) {
  std::size_t i = 0;
  std::wstring wide;
  while (i < in.size()) {
    while (i < in.size() && static_cast<unsigned char>(in[i]) < 0x80) out += in[i++];
    if (i == in.size()) break;
    const std::size_t runStart = i;
    std::size_t len = 0;
    while (i < in.size() && static_cast<unsigned char>(in[i]) >= 0x80 &&
           (len = gbk_length(in, i)) != 0) {
      i += len;
    }
    wide.clear();
    const bool whole =
        from_gbk(in.data() + runStart, static_cast<int>(i - runStart), wide) && !private_use(wide);
    if (whole) {
      append_utf8(wide, out);
    } else {
      for (std::size_t at = runStart; at < i; at += len) {
        len = gbk_length(in, at);
        wide.clear();
        if (!from_gbk(in.data() + at, static_cast<int>(len), wide) || private_use(wide)) return at;
        append_utf8(wide, out);
      }
    }
    if (i < in.size() && static_cast<unsigned char>(in[i]) >= 0x80) return i;  // not GBK
  }
  return in.size();
}

}  // namespace

GbkConversion::GbkConversion(Direction direction) : direction_(direction) {}

GbkConversion::~GbkConversion() = default;

bool GbkConversion::available() const {
  return IsValidCodePage(kCodePage) != 0;
}

std::size_t GbkConversion::convert(std::string_view in, std::string& out) {
  if (!available()) return 0;
  return direction_ == Direction::ToGbk ? utf8_to_gbk(in, out) : gbk_to_utf8(in, out);
}

}  // namespace pellucor::platform
