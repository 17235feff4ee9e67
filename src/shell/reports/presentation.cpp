#include "shell/reports/presentation.hpp"

#include <cmath>

#include "sheet/result_record.hpp"
#include "shell/kit/text.hpp"

namespace pellucor::shell {

QString engineer_digits(double value, std::string_view unit) {
  if (!std::isfinite(value)) return QString::number(value);
  if (value == 0) return QStringLiteral("0");
  const double magnitude = std::fabs(value);
  if (unit == "a" && magnitude >= 1) return QString::number(value, 'f', 1);
  const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
  if (exponent >= 4 || exponent <= -4) {
    const double mantissa = value / std::pow(10.0, exponent);
    // The caret as in the sheets' units ("m^2/a"): the report's typeface has no raised minus.
    return QString::number(mantissa, 'f', 2) + QStringLiteral("×10^") + QString::number(exponent);
  }
  return QString::number(value, 'f', std::max(0, 2 - exponent));
}

QString shown_value(const sheet::ResultItem& item) {
  if (item.isText() || item.kind != sheet::ItemKind::Result) {
    return qs(sheet::value_text(item));
  }
  return engineer_digits(*item.value, item.unit());
}

std::optional<MemberState> member_state(const sheet::ResultRecord& record) {
  const auto t = record.value("age");
  const auto ti = record.value("ti");
  const auto tc = record.value("tc");
  const auto td = record.value(kEndOfLifeKey);
  if (!t || !ti || !tc || !td) return std::nullopt;
  return member_state(*t, *ti, *tc, *td);
}

MemberState member_state(double t, double ti, double tc, double td) {
  if (t >= td) return MemberState::Ended;
  if (t >= tc) return MemberState::Cracked;
  if (t >= ti) return MemberState::Corroding;
  return MemberState::NotCorroding;
}

QString state_name(MemberState state) {
  switch (state) {
    case MemberState::NotCorroding:
      return QStringLiteral("尚未锈蚀");
    case MemberState::Corroding:
      return QStringLiteral("锈蚀中、未开裂");
    case MemberState::Cracked:
      return QStringLiteral("已开裂");
    case MemberState::Ended:
      return QStringLiteral("耐久性已终结");
  }
  return {};
}

}  // namespace pellucor::shell
