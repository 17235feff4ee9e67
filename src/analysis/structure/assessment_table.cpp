#include "analysis/structure/assessment_table.hpp"

#include <cmath>
#include <cstdio>

#include "modules/registry.hpp"

namespace pellucor::analysis::assess {

namespace {

std::string fixed(double v, int decimals) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string s = buf;
  if (s == "-0.0" || s == "-0.00") s.erase(0, 1);
  return s;
}

std::string sheet_of(const MemberResult& m) {
  return m.module != nullptr ? sheet_short_name(m.module->table()) : m.sheetName;
}

std::string limit_key_english(LimitState s) {
  return std::string(limit_state_english(s));
}

}  // namespace

std::string sheet_short_name(const sheet::SheetTable& table) {
  std::string s(table.menuCaption);
  if (const auto paren = s.find("(&"); paren != std::string::npos) s.erase(paren);
  return s;
}

std::string life_text(double years) {
  return fixed(years, 1);
}

std::string margin_text(double margin) {
  return fixed(margin, 2);
}

std::string remaining_cell(const MemberAssessment& a) {
  const LimitStateMargin& g = a.governingState();
  if (g.passed()) {
    // A limit state the sheet reaches at 0 whatever the member says why, beside the age.
    return "已超过（" + life_text(g.time) + " a 时达到" +
           (g.byConstruction.empty() ? std::string() : "：" + g.byConstruction) + "）";
  }
  return life_text(g.remaining);
}

std::string margin_cell(const MemberAssessment& a) {
  const LimitStateMargin& g = a.governingState();
  return g.passed() ? std::string("已超过") : margin_text(*g.margin);
}

AssessmentTable assessment_table(const StructureAssessment& s) {
  AssessmentTable t;
  t.header = {"构件", "计算表", "控制极限状态", "剩余寿命 (a)", "裕度 ξ", "等级"};
  t.textColumns = {true, true, true, false, false, true};
  if (s.reliability) {
    const std::string at = "β(" + life_text(s.settings.targetLife) + " a)";
    t.header.insert(t.header.end(), {at, "目标 β", "按 β 的等级", "按 β 控制的极限状态"});
    t.textColumns.insert(t.textColumns.end(), {false, false, true, true});
  }
  t.header.emplace_back("说明");
  t.textColumns.push_back(true);
  for (const MemberResult& m : s.members) {
    std::vector<std::string> row{m.name, sheet_of(m)};
    std::string note = m.failure;
    if (m.assessment) {
      const MemberAssessment& a = *m.assessment;
      row.emplace_back(limit_state_name(a.governing));
      row.push_back(remaining_cell(a));
      row.push_back(margin_cell(a));
      row.emplace_back(grade_name(a.grade));
      for (const auto& n : a.notes) note += (note.empty() ? "" : "；") + n;
    } else {
      row.insert(row.end(), {"", "", "", "未评定"});
    }
    if (s.reliability) {
      if (m.reliability) {
        const ReliabilityMargin& g = m.reliability->governingState();
        row.push_back(mc::index_text(g.betaAtTarget, 2));
        row.push_back(fixed(g.targetBeta, 2));
        row.emplace_back(grade_name(m.reliability->grade));
        row.emplace_back(limit_state_name(m.reliability->governing));
      } else {
        row.insert(row.end(), {"", "", "", ""});
        if (!m.reliabilityFailure.empty()) {
          note += (note.empty() ? "" : "；") + m.reliabilityFailure;
        }
      }
    }
    row.push_back(note);
    t.rows.push_back(std::move(row));
    t.notAssessed.push_back(!m.assessed());
  }
  return t;
}

std::vector<std::string> grade_summary_lines(const StructureAssessment& s) {
  const GradeSummary& g = s.summary;
  std::vector<std::string> lines;
  lines.push_back("构件共 " + std::to_string(s.members.size()) + " 个：a 级 " +
                  std::to_string(g.counts[0]) + " 个，b 级 " + std::to_string(g.counts[1]) +
                  " 个，c 级 " + std::to_string(g.counts[2]) + " 个，未评定 " +
                  std::to_string(g.notAssessed) + " 个。");
  if (s.reliability) {
    lines.push_back("按可靠指标：a 级 " + std::to_string(g.reliabilityCounts[0]) + " 个，b 级 " +
                    std::to_string(g.reliabilityCounts[1]) + " 个，c 级 " +
                    std::to_string(g.reliabilityCounts[2]) + " 个，无可靠度结果 " +
                    std::to_string(g.withoutReliability) + " 个。");
  }
  if (g.notAssessed > 0) {
    lines.push_back("未评定的构件未计入等级统计，原因见构件表的说明栏。");
  }
  if (!g.worst.empty()) {
    const std::size_t assessed = s.members.size() - g.notAssessed;
    lines.push_back(assessed > g.worst.size()
                        ? "最不利的 " + std::to_string(g.worst.size()) + " 个构件（共 " +
                              std::to_string(assessed) + " 个已评定）："
                        : std::string("最不利的构件："));
    for (std::size_t i : g.worst) {
      const MemberResult& m = s.members[i];
      lines.push_back("  " + m.name + "（" + sheet_of(m) + "）：" + m.assessment->summary());
    }
  }
  return lines;
}

std::vector<std::string> grade_summary_english(const StructureAssessment& s) {
  const GradeSummary& g = s.summary;
  std::vector<std::string> lines;
  lines.push_back(std::to_string(s.members.size()) + " members: grade a " +
                  std::to_string(g.counts[0]) + ", b " + std::to_string(g.counts[1]) + ", c " +
                  std::to_string(g.counts[2]) + ", not assessed " + std::to_string(g.notAssessed));
  if (s.reliability) {
    lines.push_back("graded by beta: a " + std::to_string(g.reliabilityCounts[0]) + ", b " +
                    std::to_string(g.reliabilityCounts[1]) + ", c " +
                    std::to_string(g.reliabilityCounts[2]) + ", without a run " +
                    std::to_string(g.withoutReliability));
  }
  if (!g.worst.empty()) {
    lines.push_back("worst " + std::to_string(g.worst.size()) + " of " +
                    std::to_string(s.members.size() - g.notAssessed) + " assessed members:");
    for (std::size_t i : g.worst) {
      const MemberResult& m = s.members[i];
      const MemberAssessment& a = *m.assessment;
      const LimitStateMargin& gs = a.governingState();
      lines.push_back("  " + m.name + " (" + m.sheetName + "): grade " +
                      std::string(grade_name(a.grade)) + ", " + limit_key_english(a.governing) +
                      (gs.passed() ? ", passed at " + life_text(gs.time) + " a"
                                   : ", remaining " + life_text(gs.remaining) + " a, margin " +
                                         margin_text(*gs.margin)));
    }
  }
  return lines;
}

}  // namespace pellucor::analysis::assess
