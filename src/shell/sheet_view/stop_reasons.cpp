#include "shell/sheet_view/stop_reasons.hpp"

#include <string_view>

#include "sheet/number_form.hpp"
#include "shell/kit/text.hpp"

namespace pellucor::shell {

namespace {

using model::StopReason;

const sheet::FieldRow* field(const sheet::SheetTable& table, std::string_view alias) {
  for (const auto& f : table.fields) {
    if (f.alias == alias) return &f;
  }
  return nullptr;
}

// What a sheet asks for and what Calculate read, by the boxes' console names.
class Sheet {
 public:
  Sheet(const sheet::SheetTable& table, const sheet::SheetInputs& in) : table_(table), in_(in) {}

  bool has(std::string_view alias) const { return field(table_, alias) != nullptr; }
  double value(std::string_view alias) const {
    const sheet::FieldRow* f = field(table_, alias);
    return f ? in_.box(sheet::text_box_number(f->control)) : 0.0;
  }
  // "环境湿度 0.45": the box's label and the value read from it.
  QString named(std::string_view alias) const {
    const sheet::FieldRow* f = field(table_, alias);
    if (f == nullptr) return {};
    const double v = value(alias);
    return qs(f->label) + QLatin1Char(' ') + (v < 0 ? QStringLiteral("-") : QString()) +
           qs(sheet::general_digits(v < 0 ? -v : v, 15));
  }
  // The labels of those of `aliases` the sheet has, joined for a sentence.
  QString labels(std::initializer_list<std::string_view> aliases) const {
    QStringList out;
    for (const std::string_view a : aliases) {
      if (const sheet::FieldRow* f = field(table_, a)) out << qs(f->label);
    }
    return out.join(QStringLiteral("、"));
  }
  // Whether the option named `alias` is chosen.
  bool chosen(std::string_view alias) const {
    for (const auto& g : table_.groups) {
      for (const auto& o : g.options) {
        if (o.alias == alias) return in_.option(sheet::option_number(o.control));
      }
    }
    return false;
  }
  int number() const { return table_.number; }

 private:
  const sheet::SheetTable& table_;
  const sheet::SheetInputs& in_;
};

struct Explanation {
  QString cause;
  QString check;  // the boxes to look at
};

Explanation explain(const Sheet& s, StopReason reason, const QString& assumedTime) {
  const QString fromTime =
      assumedTime.isEmpty() ? QString() : QStringLiteral("（最后一次为 %1 a）").arg(assumedTime);
  switch (reason) {
    case StopReason::ZeroRate:
      return {QStringLiteral("保护层开裂前的钢筋锈蚀速度为零，开裂后的锈蚀速度因而也为零，"
                             "推算不出保护层开裂和耐久性终结的时间。"),
              s.labels({"environment", "temperature", "humidity", "strength", "cover"})};
    case StopReason::ZeroAssumedTime:
      return {QStringLiteral("保护层开裂时间的迭代中，初设开裂时间降到了零或零以下") + fromTime +
                  QStringLiteral("。"),
              s.labels({"cracking-time", "cover", "diameter", "surface", "critical"})};
    case StopReason::PassLimit:
      return {QStringLiteral("保护层开裂时间的迭代在 1000 次内没有收敛（相邻两次的开裂时间之差"
                             "始终不小于 0.01 a）") +
                  fromTime + QStringLiteral("。"),
              s.labels({"cracking-time", "cover", "diameter"})};
    case StopReason::SearchLimit:
      return {QStringLiteral("钢筋开始锈蚀时间的搜索在限定的步数内没有找到钢筋处氯离子浓度接近"
                             "临界浓度的时间。"),
              s.labels({"initiation-time", "t2", "accumulation", "stable-time", "critical"})};
    case StopReason::SearchTimeNotPositive:
      return {
          QStringLiteral("钢筋开始锈蚀时间的搜索退到了零龄期：在最早的时刻钢筋处的氯离子浓度"
                         "已高于临界浓度。"),
          s.labels({"initiation-time", "t2", "accumulation", "stable-time", "critical", "cover"})};
    case StopReason::NoInverse:
      return {QStringLiteral("由氯离子浓度之比反求误差函数时无解：实测氯浓度或氯临界浓度与表面"
                             "氯浓度之比超出了可以求解的范围。"),
              s.labels({"surface", "measured", "critical"})};
    case StopReason::InvalidHumidity: {
      const bool indoor = s.chosen("indoor");
      return {s.named("humidity") +
                  (indoor ? QStringLiteral(" 太低：室内构件的锈蚀速度公式要求环境湿度大于 0.5")
                          : QStringLiteral(" 太低：室外构件的锈蚀速度公式要求环境湿度大于 0.45")) +
                  QStringLiteral("（高于 0.8 时按 0.8 计）。"),
              s.labels({"humidity"}) + QStringLiteral("、结构工作条件")};
    }
    case StopReason::ZeroCarbonation:
      if (s.value("carbonation-depth") == 0 && s.value("humidity") >= 1) {
        return {s.named("humidity") +
                    QStringLiteral("：按二氧化碳系数推算时，环境湿度为 1 使碳化系数为零，"
                                   "钢筋开始锈蚀的时间无从算起。"),
                s.labels({"humidity", "carbonation-depth"})};
      }
      return {QStringLiteral("碳化系数为零或不是有限数，钢筋开始锈蚀的时间无从算起。"),
              s.labels({"co2", "humidity", "strength", "carbonation-depth", "age"})};
    case StopReason::InvalidDiffusion:
      if (s.has("water-cement") && s.chosen("from-water-cement") && s.value("diffusion") == 0) {
        return {QStringLiteral("由水灰比推算的扩散系数不为正：") + s.named("water-cement") +
                    QStringLiteral(" 太小（水灰比须大于 0.261）。"),
                s.labels({"water-cement", "temperature"})};
      }
      return {QStringLiteral("由实测氯浓度推算的扩散系数不是有限的正数。"),
              s.labels({"depth", "measured", "surface", "age"})};
    case StopReason::NonPositiveConcentration:
      if (s.number() == 5) {
        return {QStringLiteral("混凝土中的氯离子浓度不为正，锈蚀速度无法计算。"),
                s.labels({"chloride", "cracking-time"})};
      }
      return {QStringLiteral("保护层开裂时间的迭代中，钢筋处的氯离子浓度为零或负值（在初设开裂"
                             "时间") +
                  (assumedTime.isEmpty() ? QString() : QStringLiteral(" %1 a").arg(assumedTime)) +
                  QStringLiteral("时氯离子还没有到达钢筋），锈蚀速度无法计算。"),
              s.labels({"cracking-time", "cover", "surface", "diffusion", "accumulation"})};
    case StopReason::NotFinite:
      return {QStringLiteral("有一个结果超出了可以表示的范围（数值过大，或不是有限数）。"),
              QStringLiteral("全部输入")};
  }
  return {QStringLiteral("模型停止了计算。"), QStringLiteral("全部输入")};
}

}  // namespace

QStringList stop_explanation(const sheet::SheetTable& table, const sheet::SheetInputs& in,
                             std::optional<model::StopReason> reason, const QString& assumedTime) {
  const Sheet s(table, in);
  Explanation e;
  if (reason) {
    e = explain(s, *reason, assumedTime);
  } else {
    // The consistency of the concentrations, checked before the model runs.
    QStringList which;
    if (s.value("measured") >= s.value("surface")) which << s.named("measured");
    if (s.value("critical") >= s.value("surface")) which << s.named("critical");
    e.cause = (which.isEmpty() ? QStringLiteral("实测氯浓度或氯临界浓度")
                               : which.join(QStringLiteral("、"))) +
              QStringLiteral(" 不低于") + s.named("surface") +
              QStringLiteral("：氯离子浓度须由表面向内减小。");
    e.check = s.labels({"surface", "measured", "critical"});
  }
  return {QStringLiteral(" 计算未完成。"), QStringLiteral(" 原因：") + e.cause,
          QStringLiteral(" 请检查：") + e.check + QStringLiteral("。")};
}

}  // namespace pellucor::shell
