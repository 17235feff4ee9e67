// The number form of the output pane and the result file, and the result-line helper.
#pragma once

#include <string>
#include <string_view>

namespace pellucor::sheet {

// The digits of a magnitude rounded to `significant` digits in the general form: trailing
// zeros after the point and a trailing point dropped; very large and very small magnitudes in
// scientific form with "E", a sign and at least two exponent digits (0.25 -> "0.25",
// 20 -> "20", 1.5e-05 -> "1.5E-05"). "INF" / "NAN" for values that are not finite.
std::string general_digits(double magnitude, int significant);

// A result value: converted to single precision, up to 7 significant digits, with one blank
// (zero or positive, also -0) or "-" (negative) before the digits and one blank after them.
std::string number_single(double v);

// A parameter-echo value: double precision, up to 15 significant digits, same frame.
std::string number_double(double v);

// The sign ("-" for a negative value) and the digits of the two forms above, without the
// blanks around them.
std::string digits_single(double v);
std::string digits_double(double v);
// digits_single(v) appended to `out` (no text of its own made).
void append_digits_single(std::string& out, double v);

// The text the cracking-time iteration writes into its box: " " + digits for a value that is
// zero or positive, "-" + digits for a negative one (single precision, 7 digits, no trailing
// blank).
std::string box_text_single(double v);

// A result line: label, the value in the single-precision number form, unit text.
std::string result_line(std::string_view label, double v, std::string_view unit = {});

}  // namespace pellucor::sheet
