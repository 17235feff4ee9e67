#include "analysis/update/update_report.hpp"

#include <cmath>
#include <cstdio>
#include <ostream>

#include "analysis/batch/csv.hpp"
#include "analysis/update/digits.hpp"

namespace pellucor::analysis::update {

namespace {

std::string padded(std::string s, std::size_t width) {
  if (s.size() < width) s.insert(0, width - s.size(), ' ');
  return s;
}

std::string right(std::string s, std::size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

// A text cell of the CSV, quoted and made harmless as the member tables write text.
std::string cell(const std::string& text) {
  std::string s;
  batch::append_csv_field(s, text);
  return s;
}

std::string percent(double share) {
  return fixed(100 * share, 1) + "%";
}

const char* const kTimeNames[] = {"initiation t_i", "cracking t_c", "end of life t_d",
                                  "remaining life"};

std::string percentiles_text(const std::optional<mc::Percentiles>& p) {
  if (!p) return "  (no sample has a time)";
  const double v[3] = {p->p5, p->p50, p->p95};
  std::string s;
  for (std::size_t j = 0; j < 3; ++j) s += padded(p->never[j] ? "never" : fixed(v[j]), 9);
  return s;
}

}  // namespace

std::vector<std::string> warning_lines(const UpdateResult& r) {
  std::vector<std::string> lines;
  const Diagnostics& d = r.diagnostics;
  if (!d.passed) {
    lines.push_back("注意：按检测数据更新的诊断未通过，以下后验结果不可靠，不据以评级：");
    for (const auto& f : d.failures) lines.push_back("  " + f.zh);
  }
  std::uint64_t impossible = 0;
  for (std::size_t k = 1; k < r.impossible.size(); ++k) impossible += r.impossible[k];
  if (impossible > 0) {
    const double share = static_cast<double>(impossible) / static_cast<double>(r.priorDraws);
    lines.push_back("注意：计算了似然的 " + std::to_string(r.priorDraws) + " 个先验样本中有 " +
                    std::to_string(impossible) + " 个（" + fixed(100 * share, 2) +
                    "%）给不出这些测量值，其似然为 0，后验中不含这类输入：");
    for (std::size_t k = 1; k < r.impossible.size(); ++k) {
      if (r.impossible[k] == 0) continue;
      lines.push_back("  " + std::to_string(r.impossible[k]) + " 个，" +
                      impossible_text(static_cast<Impossible>(k)) + "；");
    }
  }
  for (const auto& o : r.outOfReach) lines.push_back("注意：" + o.text);
  return lines;
}

std::vector<std::string> update_lines(const UpdateResult& r) {
  std::vector<std::string> lines;
  lines.push_back("update with the member's measurements:");
  for (const auto& l : measurement_lines_english(r.measurements)) lines.push_back("  " + l);
  if (r.cover) lines.push_back("  " + cover_line_english(*r.cover));
  const Diagnostics& d = r.diagnostics;
  lines.push_back("sampler: " + std::string(method_english(d.method)) + "; " +
                  std::to_string(d.draws) + " draws, effective sample size " +
                  fixed(d.effective, 0) + " (" +
                  percent(d.effective / static_cast<double>(d.draws)) + "), Pareto k of the " +
                  "largest weights " + (d.paretoK ? fixed(*d.paretoK, 3) : std::string("-")));
  if (d.method == Method::TemperedImportance) {
    std::size_t fewest = SIZE_MAX, most = 0;
    for (const auto& island : d.stages) {
      fewest = std::min(fewest, island.size());
      most = std::max(most, island.size());
    }
    std::string temperatures;
    if (!d.stages.empty()) {
      for (const auto& s : d.stages.front()) {
        temperatures += (temperatures.empty() ? "" : ", ") + num(s.phi, 3);
      }
    }
    lines.push_back(
        "  tempered sequential Monte Carlo: " + std::to_string(d.islands) + " islands of " +
        std::to_string(d.particles) + " particles, " + std::to_string(fewest) +
        (most != fewest ? "-" + std::to_string(most) : "") + " stages (island 1: " + temperatures +
        "); lowest acceptance of the moves " + fixed(d.minAcceptance, 3) +
        "; correlation of the particles before and after the last moves at most " +
        fixed(d.lastCorrelation, 3) + "; R-hat across the islands at most " + fixed(d.maxRHat, 4));
  }
  if (d.passed) {
    lines.push_back(
        "diagnostics: met (effective samples at least " +
        fixed(std::max(kMinEffective, kMinEffectiveShare * static_cast<double>(d.draws)), 0) +
        ", Pareto k at most " + fixed(kMaxParetoK, 2) +
        (d.method == Method::TemperedImportance
             ? ", R-hat at most " + fixed(kMaxRHat, 2) + ", acceptance at least " +
                   fixed(kMinAcceptance, 2)
             : std::string()) +
        "): the posterior may be graded");
  } else {
    lines.push_back("diagnostics: NOT met; the posterior is not graded:");
    for (const auto& f : d.failures) lines.push_back("  " + f.en);
  }
  std::uint64_t impossible = 0;
  for (std::size_t k = 1; k < r.impossible.size(); ++k) impossible += r.impossible[k];
  if (impossible > 0) {
    lines.push_back("prior samples that cannot give the measurements (likelihood 0), of " +
                    std::to_string(r.priorDraws) + " weighed:");
    for (std::size_t k = 1; k < r.impossible.size(); ++k) {
      if (r.impossible[k] == 0) continue;
      lines.push_back("  " + padded(std::to_string(r.impossible[k]), 9) + "  " +
                      impossible_english(static_cast<Impossible>(k)));
    }
  }
  for (const auto& o : r.outOfReach) lines.push_back("out of reach: " + o.english);

  const mc::Summary& prior = r.prior.summary;
  const mc::Summary& post = r.posterior;
  const double age = post.atTarget.age;
  lines.push_back("prior against posterior at the target age " + num(age, 6) +
                  " a:            prior     posterior  (posterior SE)");
  const char* pNames[] = {"P(t_i <= age)", "P(t_c <= age)", "P(t_d <= age)"};
  for (std::size_t k = 0; k < mc::kTimes; ++k) {
    lines.push_back("  " + right(pNames[k], 36) + padded(fixed(prior.atTarget.p[k], 5), 10) +
                    padded(fixed(post.atTarget.p[k], 5), 14) + "  (" +
                    fixed(post.atTarget.se[k], 5) + ")");
  }
  for (std::size_t k = 0; k < mc::kTimes; ++k) {
    lines.push_back(
        "  " +
        right("beta " + std::string(kTimeNames[k]) + " (target " + fixed(post.targets[k]) + ")",
              36) +
        padded(mc::index_text(prior.atTarget.index[k]), 10) +
        padded(mc::index_text(post.atTarget.index[k]), 14));
  }
  lines.push_back("age at which beta falls below its target, a:   prior     posterior");
  for (std::size_t k = 0; k < mc::kTimes; ++k) {
    auto text = [](const std::optional<double>& a) {
      return a ? fixed(*a) : std::string("not reached");
    };
    lines.push_back("  " + right(kTimeNames[k], 36) + padded(text(prior.targetAge[k]), 10) +
                    padded(text(post.targetAge[k]), 14));
  }
  lines.push_back("percentiles, a (5% 50% 95%):       prior                       posterior");
  for (std::size_t k = 0; k < prior.percentiles.size(); ++k) {
    lines.push_back("  " + right(kTimeNames[k], 18) + percentiles_text(prior.percentiles[k]) +
                    "  " + percentiles_text(post.percentiles[k]));
  }
  lines.push_back("inputs: mean, CoV and 90% interval, prior | posterior:");
  for (const auto& in : r.inputs) {
    auto part = [&](std::size_t j) {
      return num(in.mean[j]) + " CoV " + fixed(in.cov[j], 3) + " [" + num(in.p5[j]) + ", " +
             num(in.p95[j]) + "]";
    };
    lines.push_back("  " + right(in.name, 26) + part(0) + "  |  " + part(1));
  }
  const std::size_t d2 = r.inputs.size();
  if (d2 > 1) {
    lines.push_back("posterior correlations:");
    std::string head = "  " + right("", 26);
    for (std::size_t b = 0; b < d2; ++b) head += padded("(" + std::to_string(b + 1) + ")", 7);
    lines.push_back(head);
    for (std::size_t a = 0; a < d2; ++a) {
      std::string line = "  " + right("(" + std::to_string(a + 1) + ") " + r.inputs[a].name, 26);
      for (std::size_t b = 0; b < d2; ++b) line += padded(fixed(r.correlation[a * d2 + b], 2), 7);
      lines.push_back(line);
    }
  }
  for (const auto& c : r.curves) {
    const bool depth = c.kind == PredictiveCurve::Kind::DepthAgainstAge;
    lines.push_back(depth ? "posterior predictive carbonation depth, mm, against age (5/50/95% of "
                            "the model, prior | posterior; 5-95% of a new reading):"
                          : "posterior predictive chloride, kg/m3, of core '" + c.name + "' at " +
                                num(c.age) +
                                " a against depth, mm (5/50/95% of the model, prior | posterior; "
                                "5-95% of a new layer):");
    for (std::size_t g = 0; g < c.points.size(); g += 5) {
      const PredictivePoint& p = c.points[g];
      lines.push_back("  " + padded(num(p.at), 7) + "  " + num(p.prior[0]) + " " + num(p.prior[1]) +
                      " " + num(p.prior[2]) + "  |  " + num(p.posterior[0]) + " " +
                      num(p.posterior[1]) + " " + num(p.posterior[2]) + "  (" + num(p.measured[0]) +
                      "-" + num(p.measured[2]) + ")");
    }
  }
  return lines;
}

void write_update_csv(std::ostream& out, const UpdateResult& r) {
  out << "age_a";
  for (const char* when : {"prior", "posterior"}) {
    for (const char* t : {"ti", "tc", "td"}) {
      out << ",P_" << t << '_' << when << ",beta_" << t << '_' << when << ",beta_bound_" << t << '_'
          << when;
    }
  }
  out << "\r\n";
  const auto precision = out.precision(10);
  const mc::Summary* summaries[2] = {&r.prior.summary, &r.posterior};
  for (std::size_t a = 0; a < r.posterior.curve.size(); ++a) {
    out << r.posterior.curve[a].age;
    for (const mc::Summary* s : summaries) {
      const mc::CurvePoint& p = s->curve[a];
      for (std::size_t k = 0; k < mc::kTimes; ++k) {
        const mc::IndexValue& b = p.index[k];
        out << ',' << p.p[k] << ',' << b.value << ','
            << (b.kind == mc::IndexValue::Kind::Above   ? ">"
                : b.kind == mc::IndexValue::Kind::Below ? "<"
                                                        : "");
      }
    }
    out << "\r\n";
  }
  out.precision(precision);
}

void write_predictive_csv(std::ostream& out, const UpdateResult& r) {
  const auto precision = out.precision(10);
  out << "curve,at,unit_at,prior_5,prior_50,prior_95,posterior_5,posterior_50,posterior_95,"
         "measurement_5,measurement_50,measurement_95,unit\r\n";
  for (const auto& c : r.curves) {
    const bool depth = c.kind == PredictiveCurve::Kind::DepthAgainstAge;
    const std::string name = depth ? "carbonation depth" : "core " + c.name;
    for (const auto& p : c.points) {
      out << cell(name) << ',' << p.at << ',' << (depth ? "a" : "mm");
      for (const auto* q : {&p.prior, &p.posterior, &p.measured}) {
        for (double v : *q) out << ',' << v;
      }
      out << ',' << (depth ? "mm" : "kg/m3") << "\r\n";
    }
  }
  out << "\r\ncurve,at,unit_at,measured,unit,in_likelihood\r\n";
  for (const auto& c : r.curves) {
    const bool depth = c.kind == PredictiveCurve::Kind::DepthAgainstAge;
    const std::string name = depth ? "carbonation depth" : "core " + c.name;
    for (std::size_t i = 0; i < c.measured.size(); ++i) {
      out << cell(name) << ',' << c.measured[i][0] << ',' << (depth ? "a" : "mm") << ','
          << c.measured[i][1] << ',' << (depth ? "mm" : "kg/m3") << ','
          << (c.used[i] ? "yes" : "no") << "\r\n";
    }
  }
  out.precision(precision);
}

}  // namespace pellucor::analysis::update
