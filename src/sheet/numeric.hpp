// How the text of a box or of the steel-kind list becomes a number, and the steel kind and
// steel name taken from the list's text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pellucor::sheet {

// The half-width form of what a Chinese input method types into a box: full-width forms
// (U+FF01..U+FF5E: digits "２", point "．", minus "－", plus "＋", letters, comma ...) become their
// ASCII characters, the ideographic blank (U+3000) a blank and the ideographic full stop "。"
// (the point key under Chinese punctuation) a point. Everything else is kept as it is.
std::string half_width(std::string_view utf8);

// The numeric prefix rule, read from the half-width form of the text (see half_width): blanks,
// tabs and line feeds anywhere in the text are ignored; then
// the longest leading number is taken: an optional sign, digits with at most one ".", and an
// optional exponent (E or e, optional sign, digits; an exponent without digits is not part of
// the number). An empty or non-numeric text gives 0. Independent of the C locale. A value too
// large for a double gives +-infinity, one too small 0.
double numeric_prefix(std::string_view utf8);

// The steel kind of the list's text: its numeric value rounded to the nearest integer, halves
// to even; 0 when that lies outside the 16-bit range (and for an empty text).
std::int16_t steel_kind(std::string_view comboText);

// Width of the steel-name field, in characters.
inline constexpr std::size_t kSteelNameWidth = 10;

// The steel name of the list's text: from its third character (code point) on, cut to 10
// characters and padded with blanks to exactly 10 ("2 变形钢筋" -> "变形钢筋" + six blanks).
std::string steel_name(std::string_view comboText);

}  // namespace pellucor::sheet
