#include "shell/reports/presentation.hpp"

#include <array>
#include <cmath>

#include "sheet/result_record.hpp"
#include "shell/kit/text.hpp"

namespace pellucor::shell {

namespace {

// Where a sheet's own name or unit is plainly wrong for the value its record carries: the
// record key, the text the sheet uses (empty: whatever it uses), and what the report and the
// member table show instead. The pane and the result file keep the sheet's text.
struct Correction {
  std::string_view key;
  std::string_view sheetName;  // empty: any
  std::string_view sheetUnit;  // empty: any
  std::string_view name;       // empty: the sheet's
  std::string_view unit;       // empty: the sheet's
};

constexpr std::string_view kEndOfLife = "耐久性终结时间 t_d";

constexpr std::array<Correction, 5> kCorrections = {{
    // One name for t_d beyond the pane, whatever the sheet calls it (使用年限, 耐久性终结时间).
    {"td", "", "", kEndOfLife, ""},
    // K = 2·z·√D with D in m²/a: metres per root year, not millimetres.
    {"K", "", "mm/a^0.5", "", "m/a^0.5"},
    // The marine sheet labels the post-cracking rate as a depth in mm; the value is λ1 in mm/a.
    {"lambda1", "保护层开裂后钢筋锈蚀深度", "mm", "保护层开裂后钢筋锈蚀速度", "mm/a"},
    // Degrees Celsius and megapascals, written as the sheets misspell them.
    {"temperature", "", "摄示度", "", "℃"},
    {"strength", "", "mpa", "", "MPa"},
}};

const Correction* correction(const sheet::ResultItem& item) {
  for (const Correction& c : kCorrections) {
    if (c.key != item.key()) continue;
    if (!c.sheetName.empty() && c.sheetName != item.name()) continue;
    if (!c.sheetUnit.empty() && c.sheetUnit != item.unit()) continue;
    return &c;
  }
  return nullptr;
}

}  // namespace

Shown shown(const sheet::ResultItem& item) {
  Shown s{qs(item.name()), qs(item.unit())};
  if (const Correction* c = correction(item)) {
    if (!c->name.empty()) s.name = qs(c->name);
    if (!c->unit.empty()) s.unit = qs(c->unit);
  }
  return s;
}

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

QString end_of_life_name() {
  return qs(kEndOfLife);
}

}  // namespace pellucor::shell
