#include "shell/reliability/reliability_tables.hpp"

#include "analysis/crossing.hpp"
#include "shell/kit/text.hpp"

namespace pellucor::shell {

namespace mc = analysis::mc;

namespace {

const QString kNever = QStringLiteral("永不");

QString age_text(double age) {
  return QString::number(age, 'f', 2);
}

}  // namespace

QString distribution_text(mc::Distribution d) {
  switch (d) {
    case mc::Distribution::Lognormal:
      return QStringLiteral("对数正态");
    case mc::Distribution::Beta:
      return QStringLiteral("Beta");
    case mc::Distribution::Normal:
      break;
  }
  return QStringLiteral("正态");
}

QString source_name(const mc::ScatterSource& s) {
  const QString text = qs(s.chinese);
  const qsizetype colon = text.indexOf(QStringLiteral("："));
  return colon > 0 ? text.left(colon) : text;
}

QList<QStringList> percentile_cells(const mc::Summary& s) {
  QList<QStringList> rows;
  for (std::size_t i = 0; i < s.percentiles.size(); ++i) {
    QStringList row(4);
    if (const auto& p = s.percentiles[i]) {
      const double v[3] = {p->p5, p->p50, p->p95};
      for (std::size_t j = 0; j < 3; ++j) {
        row[static_cast<int>(j)] = p->never[j] ? kNever : age_text(v[j]);
      }
    }
    if (i < s.targetAge.size()) {
      const auto& age = s.targetAge[i];
      const auto& low = s.targetAgeLow[i];
      if (!age) {
        row[3] = QStringLiteral("未达到");
      } else {
        row[3] = age_text(*age);
        if (!low) {
          row[3] += QStringLiteral("（下界：未达到）");
        } else if (*low != *age) {
          row[3] += QStringLiteral("（下界 %1）").arg(age_text(*low));
        }
      }
    }
    rows.append(row);
  }
  return rows;
}

bool below_target(const mc::Summary& s, std::size_t i) {
  const mc::IndexValue& b = s.atTarget.index[i];
  switch (b.kind) {
    case mc::IndexValue::Kind::Exact:
      return b.value < s.targets[i];
    case mc::IndexValue::Kind::Below:
      return b.value <= s.targets[i];
    case mc::IndexValue::Kind::Above:
      break;
  }
  return false;
}

QList<QStringList> at_target_cells(const mc::Summary& s) {
  QList<QStringList> rows;
  const mc::AtAge& at = s.atTarget;
  for (std::size_t i = 0; i < mc::kTimes; ++i) {
    QString beta = qs(mc::index_text(at.index[i])) + QStringLiteral("（") + fixed(s.targets[i], 2) +
                   QStringLiteral("）");
    if (below_target(s, i)) beta += QStringLiteral(" ") + QString::fromUtf8(kBelowTarget);
    rows.append({fixed(at.p[i], 5), fixed(at.pLow[i], 5), fixed(at.se[i], 5),
                 at.cov[i] ? fixed(*at.cov[i], 3) : QStringLiteral("—（无失效）"),
                 fixed(at.lo95[i], 5) + QStringLiteral(" – ") + fixed(at.hi95[i], 5), beta});
  }
  return rows;
}

QList<QStringList> stop_cells(const mc::Report& r) {
  const mc::Summary& s = r.summary;
  auto share = [&](std::uint64_t count) {
    return s.samples == 0
               ? QString()
               : fixed(100.0 * static_cast<double>(count) / static_cast<double>(s.samples), 2) +
                     QStringLiteral("%");
  };
  QList<QStringList> rows;
  rows.append({QString::number(s.done), share(s.done), QStringLiteral("计算到底"),
               QStringLiteral("按各自的 t_i、t_c、t_d 计入")});
  for (const mc::StopCount& stop : s.stops) {
    QString how;
    if (stop.status == mc::SampleStatus::Survived) {
      how = stop.cause.kind == mc::StopCause::Kind::Model &&
                    stop.cause.reason != model::StopReason::ZeroCarbonation
                ? QStringLiteral("锈蚀不发展：t_i 照常计入，开裂与耐久性终结在各年龄按未失效计")
                : QStringLiteral("永远达不到开始锈蚀：三个极限状态在各年龄均按未失效计");
    } else if (stop.cause.kind == mc::StopCause::Kind::NoCrossing) {
      how = QStringLiteral("开始锈蚀晚于 %1 a：从该年龄起计为失效（偏于安全），下界按未失效计")
                .arg(analysis::kCrossingLimit);
    } else {
      how =
          QStringLiteral("模型无法跟踪：按最早可能失效的年龄计为失效（偏于安全），下界按未失效计");
    }
    rows.append({QString::number(stop.count), share(stop.count), qs(mc::cause_text(r, stop)), how});
  }
  return rows;
}

}  // namespace pellucor::shell
