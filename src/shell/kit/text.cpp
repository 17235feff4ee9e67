#include "shell/kit/text.hpp"

#include <cmath>
#include <cstdio>

#include "sheet/number_form.hpp"
#include "sheet/user_input.hpp"

namespace pellucor::shell {

QString qs(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string utf8(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString digits(double v, int significant) {
  return qs((v < 0 ? "-" : "") + sheet::general_digits(std::fabs(v), significant));
}

QString fixed(double v, int decimals) {
  return QString::number(v, 'f', decimals);
}

QString number_text(double v, int significant) {
  if (!std::isfinite(v)) return QString();
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*g", significant, v);
  return QString::fromLatin1(buf);
}

std::optional<double> typed_number(const QString& text) {
  return sheet::typed_number(utf8(text));
}

std::optional<std::uint64_t> typed_count(const QString& text) {
  return sheet::typed_count(utf8(text));
}

}  // namespace pellucor::shell
