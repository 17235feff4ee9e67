#include "shell/kit/quantity_names.hpp"

#include <QRegularExpression>
#include <array>

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
  s.unit = raised_powers(s.unit);
  return s;
}

QString raised_powers(const QString& unit) {
  // A square or a cube of a length (m^2/a, kg/m^3) raised; other powers (a^0.5) as typed.
  static const QRegularExpression power(QStringLiteral("\\^([23])(?![0-9.])"));
  QString out = unit;
  QRegularExpressionMatch m;
  while ((m = power.match(out)).hasMatch()) {
    out.replace(m.capturedStart(), m.capturedLength(),
                m.captured(1) == QLatin1String("2") ? QStringLiteral("²") : QStringLiteral("³"));
  }
  return out;
}

QString end_of_life_name() {
  return qs(kEndOfLife);
}

}  // namespace pellucor::shell
