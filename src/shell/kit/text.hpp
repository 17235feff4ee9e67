// Text and numbers between the layers below (UTF-8 strings, doubles) and the windows (QString):
// the one place where a window turns a text of the program into a QString, writes a number for
// the user to read, and reads a number the user typed.
//
//   label->setText(qs(field.label));                           // UTF-8 -> QString
//   cell->setText(digits(value));                              // 15 significant digits
//   if (const auto v = typed_number(edit->text())) use(*v);   // "５０" and " 50 " read as 50
//
// Every editable number outside a sheet's boxes reads the same way, through typed_number() or
// typed_count(): the whole text must be the number (full-width digits, point and signs read as
// their half-width forms, blanks around it ignored). A sheet's boxes keep their own rule (the
// numeric prefix of what they hold).
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellucor::shell {

// A UTF-8 text of the program (a label, a message, a result) as a QString, and back.
QString qs(std::string_view utf8);
std::string utf8(const QString& text);

// A value with its sign and up to `significant` significant digits, in the number form of the
// output pane (15 digits give back what was typed: "0.2", "1.5E-05").
QString digits(double v, int significant = 15);
// A figure as an engineer reads it: up to six significant digits.
inline QString short_digits(double v) {
  return digits(v, 6);
}
// A value with `decimals` digits after the point ("0.01235" with 5).
QString fixed(double v, int decimals);
// A number in a result cell: `significant` digits in the shortest of fixed and scientific form
// ("0.1045", "1.2e-05"); empty for a value that is not finite.
QString number_text(double v, int significant = 4);

// A number typed by the user where the whole text must be one (settings, scatter, targets,
// readings); none for an empty text or anything that is not wholly a number.
std::optional<double> typed_number(const QString& text);
// A count or a seed typed by the user: a whole number from 0 up; none for anything else.
std::optional<std::uint64_t> typed_count(const QString& text);

}  // namespace pellucor::shell
