#include "analysis/mc/report.hpp"

#include <cstdio>

namespace pellucor::analysis::mc {

namespace {

std::string fixed(double v, int decimals = 2) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string padded(std::string s, std::size_t width) {
  if (s.size() < width) s.insert(0, width - s.size(), ' ');
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
    if (problem.base.box(n) == 0) continue;
    r.inputs.push_back({n, std::string(f.alias), std::string(f.label), problem.base.box(n),
                        problem.scatter[static_cast<std::size_t>(n)], f.lo, f.hi});
  }
  r.settings = settings;
  r.summary = std::move(summary);
  return r;
}

std::vector<std::string> summary_lines(const Report& report) {
  const Summary& s = report.summary;
  std::vector<std::string> lines;
  lines.push_back("samples " + std::to_string(s.samples) + ", seed " +
                  std::to_string(report.settings.seed) + ": " + std::to_string(s.done) +
                  " ran to the end; plausibility stops: " + std::to_string(s.stopped) +
                  " in the model, " + std::to_string(s.rejected) +
                  " at the sheet's consistency checks (not counted in the probabilities)");
  lines.push_back("percentiles, a          5%        50%        95%");
  const char* names[] = {"initiation t_i   ", "cracking t_c     ", "end of life t_d  ",
                         "remaining life   "};
  for (std::size_t i = 0; i < s.percentiles.size(); ++i) {
    std::string line = std::string("  ") + names[i];
    if (const auto& p = s.percentiles[i]) {
      line += padded(fixed(p->p5), 11) + padded(fixed(p->p50), 11) + padded(fixed(p->p95), 11);
    } else {
      line += "  (no sample ran to the end)";
    }
    lines.push_back(line);
  }
  lines.push_back("age at which beta falls below " + fixed(s.targetBeta) + ", a");
  const char* ageNames[] = {"initiation t_i   ", "cracking t_c     ", "end of life t_d  "};
  for (std::size_t i = 0; i < s.targetAge.size(); ++i) {
    const auto& age = s.targetAge[i];
    lines.push_back(std::string("  ") + ageNames[i] +
                    (age ? padded(fixed(*age), 11) : std::string("  not reached")));
  }
  return lines;
}

}  // namespace pellucor::analysis::mc
