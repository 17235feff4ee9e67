#include "analysis/mc/report.hpp"

#include <cstdio>

#include "sheet/control_names.hpp"
#include "sheet/number_form.hpp"

namespace pellucor::analysis::mc {

namespace {

std::string fixed(double v, int decimals = 2) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string percent(double share) {
  return fixed(100 * share, 2) + "%";
}

std::string digits(double v) {
  std::string s = v < 0 ? "-" : "";
  return s + sheet::general_digits(std::fabs(v), 6);
}

std::string padded(std::string s, std::size_t width) {
  if (s.size() < width) s.insert(0, width - s.size(), ' ');
  return s;
}

std::string right(std::string s, std::size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

const ReportInput* input_of(const Report& report, int box) {
  for (const auto& in : report.inputs) {
    if (in.box == box) return &in;
  }
  return nullptr;
}

std::string box_label(const Report& report, int box) {
  if (const ReportInput* in = input_of(report, box)) return in->label;
  return std::string(sheet::control_name(sheet::text_box(box)));
}

std::string box_english(const Report& report, int box) {
  std::string s(sheet::control_name(sheet::text_box(box)));
  if (const ReportInput* in = input_of(report, box)) s += " (" + in->name + ")";
  return s;
}

}  // namespace

Report make_report(const Problem& problem, const RunSettings& settings, Summary summary) {
  Report r;
  const sheet::SheetTable& table = problem.module->table();
  r.sheet = table.number;
  r.caption = std::string(table.caption);
  for (const auto& f : table.fields) {
    const int n = sheet::text_box_number(f.control);
    const double mean = problem.base.box(n);
    if (mean == 0) continue;
    ReportInput in;
    in.box = n;
    in.name = std::string(f.alias);
    in.label = std::string(f.label);
    in.unit = std::string(f.typed.unit);
    in.mean = mean;
    in.scatter = problem.scatter[static_cast<std::size_t>(n)];
    in.lo = f.lo;
    in.hi = f.hi;
    if (in.scatter.scatters()) in.effect = truncation_effect(mean, in.scatter, f.lo, f.hi);
    if (problem.defaultScatter(n)) in.source = default_scatter(f.alias, mean).source;
    r.inputs.push_back(std::move(in));
  }
  r.modelUncertainty = problem.modelUncertainty;
  r.hasBinder = problem.hasBinder();
  r.binder = problem.binder;
  r.settings = settings;
  r.summary = std::move(summary);
  return r;
}

std::string cause_text(const Report& report, const StopCount& stop) {
  switch (stop.cause.kind) {
    case StopCause::Kind::Model:
      return "模型停止：" + std::string(model::describe_chinese(stop.cause.reason));
    case StopCause::Kind::Check:
      if (stop.status == SampleStatus::Survived) return "一致性检查：临界浓度不低于表面浓度";
      if (stop.cause.box == 0) return "一致性检查：实测浓度不低于表面浓度";
      return "未输入检查：" + box_label(report, stop.cause.box);
    case StopCause::Kind::NoCrossing:
      return "钢筋处氯离子浓度在 " + digits(kCrossingLimit) + " a 内未达到临界浓度";
    case StopCause::Kind::None:
      break;
  }
  return "未知原因";
}

std::string cause_english(const Report& report, const StopCount& stop) {
  switch (stop.cause.kind) {
    case StopCause::Kind::Model:
      return "model: " + std::string(model::describe(stop.cause.reason));
    case StopCause::Kind::Check:
      if (stop.status == SampleStatus::Survived) {
        return "consistency check: critical concentration at or above the surface one";
      }
      if (stop.cause.box == 0) {
        return "consistency check: measured concentration at or above the surface one";
      }
      return "not-entered check of " + box_english(report, stop.cause.box);
    case StopCause::Kind::NoCrossing:
      return "the chloride at the bar stays below the critical concentration up to " +
             digits(kCrossingLimit) + " a";
    case StopCause::Kind::None:
      break;
  }
  return "unknown";
}

std::vector<std::string> warning_lines(const Report& report) {
  const Summary& s = report.summary;
  std::vector<std::string> lines;
  if (s.samples > 0 && s.notDoneShare() > kStopWarningShare) {
    lines.push_back("注意：" + std::to_string(s.samples) + " 个样本中有 " +
                    std::to_string(s.samples - s.done) + " 个（" + percent(s.notDoneShare()) +
                    "）未算到底，均计入概率，没有舍弃：");
    for (const StopCount& stop : s.stops) {
      const std::string count =
          "  " + std::to_string(stop.count) + " 个，" + cause_text(report, stop) + "：";
      if (stop.status == SampleStatus::Survived && stop.cause.kind == StopCause::Kind::Model &&
          stop.cause.reason != model::StopReason::ZeroCarbonation) {
        lines.push_back(count +
                        "锈蚀不发展：开始锈蚀时间照常计入，保护层开裂与耐久性终结在各年龄均按"
                        "未失效计；");
      } else if (stop.status == SampleStatus::Survived) {
        lines.push_back(count + "永远达不到开始锈蚀，三个极限状态在各年龄均按未失效计；");
      } else if (stop.cause.kind == StopCause::Kind::NoCrossing) {
        lines.push_back(count + "开始锈蚀晚于 " + digits(kCrossingLimit) + " a，从 " +
                        digits(kCrossingLimit) + " a 起计为失效（偏于安全）；");
      } else {
        lines.push_back(count + "模型无法跟踪，按最早可能失效的年龄计为失效（偏于安全）；");
      }
    }
    if (s.stopped + s.rejected > 0) {
      lines.push_back(
          "  "
          "概率取偏于安全的上界；另给出将无法跟踪的样本按未失效计的下界（图中为两者之间的范围）。");
    }
  }
  for (const auto& in : report.inputs) {
    if (!in.effect || !in.effect->warn()) continue;
    const TruncationEffect& e = *in.effect;
    std::string line = "注意：" + in.label + "的样本限于 " + digits(in.lo) + "--" + digits(in.hi) +
                       "：均值 " + digits(e.truncatedMean) + "（输入 " + digits(e.mean) +
                       "），变异系数 " + fixed(e.truncatedCov, 3) + "（要求 " + fixed(e.cov, 3) +
                       "）；";
    line += e.meanMoves ? "输入值在范围端点，样本均值只能向内移动。"
                        : "在此范围内保持均值时变异系数不能更大，离散性偏小。";
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> input_lines(const Report& report) {
  std::vector<std::string> lines;
  lines.push_back(
      "inputs (mean from the sheet; scatter asked for, distribution, range; the samples' mean and "
      "CoV, kept at those asked for where the range allows; the law before truncation):");
  for (const auto& in : report.inputs) {
    std::string name = box_english(report, in.box);
    name.resize(std::max<std::size_t>(name.size(), 28), ' ');
    std::string line = "  " + name + ' ' + sheet::general_digits(in.mean, 15);
    if (in.effect) {
      const Scatter& sc = in.scatter;
      line += sc.sd > 0 ? "  sd " + sheet::general_digits(sc.sd, 15)
                        : "  CoV " + sheet::general_digits(sc.cov, 15);
      line += ' ' + std::string(distribution_name(sc.dist)) + " in " +
              sheet::general_digits(in.lo, 15) + ".." + sheet::general_digits(in.hi, 15) +
              (in.source != nullptr ? " (default)" : " (given)");
      const TruncationEffect& e = *in.effect;
      line += "; samples: mean " + digits(e.truncatedMean) + ", CoV " + fixed(e.truncatedCov, 3);
      if (e.meanMoves) {
        line += "  [the mean lies at an end of the range: the samples' mean moves inward]";
      } else if (e.covShrinks) {
        line += "  [the range cannot carry the CoV asked for with this mean]";
      }
      line += "; law before truncation: mean " + digits(e.parentMean) + ", CoV " +
              digits(e.parentCov) + ", " + percent(e.massCut) + " of it outside the range";
    } else {
      line += "  as typed";
    }
    lines.push_back(line);
  }
  bool anySource = false;
  for (const auto& in : report.inputs) {
    if (!in.effect || in.source == nullptr) continue;
    if (!anySource) lines.push_back("sources of the default scatter:");
    anySource = true;
    lines.push_back("  " + in.name + ": " + std::string(in.source->english));
  }
  if (report.hasBinder) {
    lines.push_back("binder (sets the default scatter of the ageing exponent): " +
                    std::string(binder_name(report.binder)));
  }
  const auto& mu = report.modelUncertainty;
  if (mu.any()) {
    lines.push_back(
        "model-uncertainty factors (lognormal, mean 1; JCSS Probabilistic Model "
        "Code): CoV t_i " +
        fixed(mu.cov[0], 3) + ", t_c " + fixed(mu.cov[1], 3) + ", t_d " + fixed(mu.cov[2], 3));
  }
  return lines;
}

std::vector<std::string> summary_lines(const Report& report) {
  const Summary& s = report.summary;
  std::vector<std::string> lines;
  if (s.hasVariants) {
    lines.push_back("initiation time: " + std::string(variant_text(s.variant)) + " (" +
                    std::string(variant_name(s.variant)) + ")");
  }
  lines.push_back("samples " + std::to_string(s.samples) + ", seed " +
                  std::to_string(report.settings.seed) + ": " + std::to_string(s.done) +
                  " ran to the end; " + std::to_string(s.survived) +
                  " never reach a limit state (not failed); " + std::to_string(s.stopped) +
                  " stopped in the model and " + std::to_string(s.rejected) +
                  " refused by the sheet's checks (failed from the earliest age they could "
                  "fail in the headline, not failed in the lower bound)");
  if (s.stopCov > 0) {
    lines.push_back(std::string("stopping rule: CoV of P(t_d <= target age) below ") +
                    fixed(s.stopCov, 3) +
                    (s.stoppedByRule ? ": met" : ": not met within the most samples"));
  }
  for (const StopCount& stop : s.stops) {
    lines.push_back("  " + padded(std::to_string(stop.count), 9) + "  " +
                    (stop.status == SampleStatus::Survived ? "survivor  " : "not followed  ") +
                    cause_english(report, stop));
  }
  lines.push_back("percentiles, a          5%        50%        95%   (conservative)");
  const char* names[] = {"initiation t_i   ", "cracking t_c     ", "end of life t_d  ",
                         "remaining life   "};
  for (std::size_t i = 0; i < s.percentiles.size(); ++i) {
    std::string line = std::string("  ") + names[i];
    if (const auto& p = s.percentiles[i]) {
      const double v[3] = {p->p5, p->p50, p->p95};
      for (std::size_t j = 0; j < 3; ++j) {
        line += padded(p->never[j] ? std::string("never") : fixed(v[j]), 11);
      }
    } else {
      line += "  (no sample has a time)";
    }
    lines.push_back(line);
  }
  const AtAge& at = s.atTarget;
  lines.push_back("at the target age " + digits(at.age) +
                  " a: P (lower bound), standard error, CoV, exact 95% interval, beta");
  const char* pNames[] = {"P(t_i <= age)   ", "P(t_c <= age)   ", "P(t_d <= age)   "};
  for (std::size_t i = 0; i < kTimes; ++i) {
    lines.push_back("  " + std::string(pNames[i]) + fixed(at.p[i], 5) + " (" +
                    fixed(at.pLow[i], 5) + ")  SE " + fixed(at.se[i], 5) + "  CoV " +
                    (at.cov[i] ? fixed(*at.cov[i], 3) : std::string("-")) + "  95% " +
                    fixed(at.lo95[i], 5) + ".." + fixed(at.hi95[i], 5) + "  beta " +
                    index_text(at.index[i]));
  }
  bool bound = false;
  for (const auto& b : at.index) bound = bound || b.kind != IndexValue::Kind::Exact;
  if (bound) lines.push_back("  beta bounds: " + std::string(kIndexBoundRule));
  lines.push_back("age at which beta falls below its target (t_i " + fixed(s.targets[0]) +
                  ", t_c " + fixed(s.targets[1]) + ", t_d " + fixed(s.targets[2]) +
                  "), a (lower bound)");
  const char* ageNames[] = {"initiation t_i   ", "cracking t_c     ", "end of life t_d  "};
  for (std::size_t i = 0; i < s.targetAge.size(); ++i) {
    const auto& age = s.targetAge[i];
    std::string line = std::string("  ") + ageNames[i] +
                       (age ? padded(fixed(*age), 11) : std::string("  not reached"));
    if (age) {
      line += s.targetAgeLow[i] ? " (" + fixed(*s.targetAgeLow[i]) + ")" : " (not reached)";
    }
    lines.push_back(line);
  }
  if (!s.tornado.empty()) {
    lines.push_back("rank correlation (Spearman) with t_i, t_c, t_d over the first " +
                    std::to_string(s.tornadoSamples) + " samples:");
    for (const auto& rc : s.tornado) {
      std::string line = "  " + right(box_english(report, rc.box), 28);
      for (const auto& rho : rc.rho) line += padded(rho ? fixed(*rho, 3) : std::string("-"), 9);
      lines.push_back(line);
    }
  }
  return lines;
}

}  // namespace pellucor::analysis::mc
